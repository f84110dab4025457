#pragma once

namespace clipnest {

class Form;

// Timer28: inserts a new entry above an existing one, handing over to the routing Step between phases 3 and 4.
void insertEntry(Form& form);

} // namespace clipnest
