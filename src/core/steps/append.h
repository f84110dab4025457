#pragma once

namespace clipnest {

class Form;

// Step::Append: writes the new entry's individual page and makes the sample entry its live homepage entry.
void appendEntry(Form& form);

} // namespace clipnest
