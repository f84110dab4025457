#pragma once

#include <string>
#include <string_view>

namespace clipnest {

// Text from elsewhere (a server's answer, a settings file, a visitor's comment, a file name) as a terminal or a
// window may show it: on one line and unable to steer what shows it. Line breaks become \n (CR LF one of them), CR
// \r, tab \t, every other control character (ESC, BEL, DEL) \xHH and the C1 controls as UTF-8 writes them \u00HH,
// the marks that turn text around (U+202A to U+202E, U+2066 to U+2069) \uHHHH, and a byte that is no part of a UTF-8
// character \xHH. So no such text can move the cursor, erase lines, retitle a terminal or print a line that seems the
// program's own. Everything else, letters of any script included, stays as it is; a backslash too, unless `backslash`
// asks for it doubled, where a reader must tell an escape from the same characters typed (a comment's text).
enum class Backslash { AsIs, Doubled };
std::string safeText(std::string_view text, Backslash backslash = Backslash::AsIs);

} // namespace clipnest
