#pragma once

namespace clipnest {

class Form;

// Timer31: finds and reads the homepage for a delete, then hands over to Timer23.
void findHomepageForDelete(Form& form);
// Timer23: cuts the entry out of the homepage text and writes the homepage.
void cutEntry(Form& form);
// Timer30: shows, then hides, the entry-not-found notice.
void reportEntryNotFound(Form& form);

} // namespace clipnest
