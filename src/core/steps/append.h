#pragma once

namespace clipnest {

class Form;

// Timer12: writes the new entry's individual page and makes the sample entry its live homepage entry.
void appendEntry(Form& form);

} // namespace clipnest
