#pragma once

namespace clipnest {

class Form;

// Step::Insert: inserts a new entry above an existing one, handing over to the routing Step between phases 3 and 4.
void insertEntry(Form& form);

// Drops an insert that waits for the routing Step, when the request ends there without handing back: the next
// Create/Change click must not be taken for the insert.
void abandonInsert(Form& form);

} // namespace clipnest
