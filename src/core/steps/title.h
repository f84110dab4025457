#pragma once

namespace clipnest {

class Form;

// Step::TitleAndMessage: puts the stored title and message after their markers and writes the homepage.
void updateTitleAndMessage(Form& form);

} // namespace clipnest
