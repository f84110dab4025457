#pragma once

namespace clipnest {

class Form;

// Step::FindHomepage: finds and reads the homepage for a delete, then hands over to Step::CutEntry.
void findHomepageForDelete(Form& form);
// Step::CutEntry: cuts the entry out of the homepage text and writes the homepage.
void cutEntry(Form& form);
// Step::EntryNotFound: shows, then hides, the entry-not-found notice.
void reportEntryNotFound(Form& form);

} // namespace clipnest
