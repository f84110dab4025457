#pragma once

namespace clipnest {

class Form;

// Timer14: replaces an existing entry's homepage description, individual description or both.
void changeEntry(Form& form);

} // namespace clipnest
