#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace clipnest::cli {

// Splits a line into words as a shell does: blanks part them; '...' keeps what it holds; "..." too, but a backslash
// in it keeps a following quote, backslash, dollar or backquote; a backslash outside quotes keeps the character
// after it. False, with the reason, on an open quote.
bool splitWords(std::string_view line, std::vector<std::string>& words, std::string& error);

} // namespace clipnest::cli
