#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace clipnest {

// Windows-1252, the code page the tool's files are written in, against Unicode. Names too are held as code-page bytes;
// on disk they stand in UTF-8, the system's file-name encoding, and the folder converts between the two.

// Windows-1252 bytes as UTF-8 (bytes the code page leaves undefined map to the C1 controls of the same value).
std::string codePageToUtf8(std::string_view codePage);

// The Windows-1252 bytes of `utf8`, or nothing when a character has no byte there or the UTF-8 is malformed.
std::optional<std::string> toCodePage(std::string_view utf8);

namespace codepage {

// The Unicode code point of a Windows-1252 byte.
char32_t unicodeOf(unsigned char byte);

// The Windows-1252 byte of a code point, or -1 when the code page has none for it.
int byteOf(char32_t cp);

// Decodes the UTF-8 code point at `pos` and advances past it; malformed input yields U+FFFD, one byte on, and `ok`
// false.
char32_t decode(std::string_view utf8, std::size_t& pos, bool& ok);

// Appends the UTF-8 of a code point.
void appendUtf8(std::string& out, char32_t cp);

} // namespace codepage

} // namespace clipnest
