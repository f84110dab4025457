#pragma once

namespace clipnest {

class Form;

// Step::ChangeDescriptions: replaces an existing entry's homepage description, individual description or both.
void changeEntry(Form& form);

} // namespace clipnest
