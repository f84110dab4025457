#pragma once

namespace clipnest {

class Form;

// Step::Insert: once the routing Step has loaded the homepage and the page, puts the new entry above the anchor entry
// and writes its page and the homepage.
void insertEntry(Form& form);

} // namespace clipnest
