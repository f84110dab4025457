#pragma once

namespace clipnest {

class Form;

// Timer20: puts the stored title and message after their markers and writes the homepage.
void updateTitleAndMessage(Form& form);

} // namespace clipnest
