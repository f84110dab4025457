#pragma once

namespace clipnest {

class Form;

// Step::FindHomepage: finds and reads the homepage for a delete, then hands over to Step::CutEntry.
void findHomepageForDelete(Form& form);
// Step::CutEntry: cuts the entry out of the homepage text and writes the homepage.
void cutEntry(Form& form);
// How long the entry-not-found notice stays up; every later run of its Step keeps that rhythm.
inline constexpr int EntryNotFoundShownMs = 20000;

// Step::EntryNotFound: shows, then hides, the entry-not-found notice.
void reportEntryNotFound(Form& form);

} // namespace clipnest
