#pragma once

#include <string>
#include <string_view>

namespace clipnest {

class Form;

// The default homepage: 129 template lines joined by LF (no LF after the last), the title and message put right
// after their markers and the sample entry in place of line 122, giving 141 lines.
std::string buildDefaultHomepage(std::string_view title, std::string_view message, std::string_view sampleEntry);

// Holds the default homepage, built with the stored title and message, as the text of a folder that has none.
void holdDefaultHomepage(Form& form);

// Timer25: looks for the homepage on its second run ever, reads it or builds the default homepage, and seeds.
void buildOrReadHomepage(Form& form);

} // namespace clipnest
