#pragma once

#include "platform/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace clipnest::cli {

// Splits a line into words as a shell does: blanks part them; '...' keeps what it holds; "..." too, but a backslash
// in it keeps a following quote, backslash, dollar or backquote; a backslash outside quotes keeps the character
// after it. A failure, with the reason, on an open quote.
Result<std::vector<std::string>> splitWords(std::string_view line);

} // namespace clipnest::cli
