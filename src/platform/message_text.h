#pragma once

#include <string>
#include <string_view>

namespace clipnest {

// A message for the user in UTF-8, from one whose parts may be either: the channel's names in the code page, the
// server's and the system's words in UTF-8. What is well-formed UTF-8 stays as it is; every other byte is read as the
// code page's (code_page.cpp).
std::string messageToUtf8(std::string_view mixed);

} // namespace clipnest
