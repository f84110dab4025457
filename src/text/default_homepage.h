#pragma once

#include <string>
#include <string_view>

namespace clipnest {

// The default homepage: 129 template lines joined by LF (no LF after the last), the title and message put right
// after their markers and the sample entry in place of line 122, giving 141 lines.
std::string buildDefaultHomepage(std::string_view title, std::string_view message, std::string_view sampleEntry);

} // namespace clipnest
