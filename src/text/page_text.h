#pragma once

#include "platform/code_page.h"

#include <optional>
#include <string>
#include <string_view>

namespace clipnest {

// What the user types arrives as UTF-8; files hold Windows-1252 bytes. These and the two of platform/code_page.h are
// the only conversions between them.

// Text for page content: &, <, > and " become entities, every other character becomes its Windows-1252 byte, and a
// character the code page lacks becomes a numeric character reference (so an emoji still shows on the page).
// Malformed UTF-8 becomes U+FFFD. A sequence by which the tool finds its way in a page (a placeholder's "p4y", a
// marker's "t9b3", a wrapper's "n9h" ...) gets one character as a numeric reference, so it is never read back as one.
std::string toPageText(std::string_view utf8);

// Windows-1252 bytes with every byte above 127 written as a numeric character reference, for a page that declares
// UTF-8.
std::string asciiWithReferences(std::string_view codePage);

// The code point of UTF-8 at `pos`, which moves past it; a malformed sequence reads as U+FFFD and moves one byte.
char32_t nextCodePoint(std::string_view utf8, std::size_t& pos);

// When `text` holds at `pos` a sequence by which the tool finds its way in a page (see toPageText): the offset in it
// of the character that typed text writes as a reference, so it never reads back as one.
std::optional<std::size_t> findableAt(std::string_view text, std::size_t pos);

// Whether `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// Page text between two tags as a browser shows it, as UTF-8: every run of white space becomes one space (none at
// either end), the bytes are read as Windows-1252, and numeric character references and the entities &amp; &lt;
// &gt; &quot; &apos; and &nbsp; are decoded. Any other "&" stays as it stands.
std::string shownText(std::string_view pageText);
// The same, appended to `out`.
void appendShownText(std::string& out, std::string_view pageText);

} // namespace clipnest
