#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace clipnest {

// The first position of `part` at or after `from`, or npos. The same as std::string_view::find, but it looks first for
// the part's first digit when it has one: the markers and tokens all carry digits, which are rare in a page, so a
// search through a large homepage stops at far fewer places.
std::size_t findText(std::string_view text, std::string_view part, std::size_t from = 0);

// The last position of `part`, or npos; like std::string_view::rfind, with the same first-digit shortcut.
std::size_t findLastText(std::string_view text, std::string_view part);

inline bool contains(std::string_view text, std::string_view part) {
    return findText(text, part) != std::string_view::npos;
}

// The same answer as contains(), found from the end: for the sample entry's tokens, which stand near the end of a
// homepage, this reads a few lines instead of the whole page.
inline bool containsNearEnd(std::string_view text, std::string_view part) {
    return findLastText(text, part) != std::string_view::npos;
}

// Replaces every occurrence of `token` in one left-to-right pass: a value holding the token is inserted once, and
// text formed by a replacement is not searched again.
void replaceAll(std::string& text, std::string_view token, std::string_view value);

// The pieces one after another, as one string. A literal put in front of a temporary string ("'" + f(x)) makes GCC
// 12's optimiser warn of a copy that overlaps itself, which cannot happen (-Wrestrict); this says the same without it.
inline std::string joined(std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        size += piece.size();
    }
    std::string text;
    text.reserve(size);
    for (const std::string_view piece : pieces) {
        text.append(piece);
    }
    return text;
}

// Replaces every occurrence of several tokens in one left-to-right pass: at each place the token found first (the
// earlier-listed one on a tie) is replaced, and replacement values are not searched again. Only text from `from` on
// is searched: the caller knows no token begins before it.
void replaceEach(std::string& text, std::initializer_list<std::pair<std::string_view, std::string_view>> tokens,
                 std::size_t from = 0);

// The position of the first run of `count` copies of `c`, or npos. Only runs from `from` on are looked for: the
// caller knows none begins before it.
std::size_t findRun(std::string_view text, char c, std::size_t count, std::size_t from = 0);

// Replaces the first occurrence of `token`, if any.
void replaceFirst(std::string& text, std::string_view token, std::string_view value);

// Removes leading and trailing space characters (only the space; tabs and line breaks stay).
std::string_view stripBlanks(std::string_view text);

// The text with A to Z as a to z; every other byte as it is.
std::string lowerAscii(std::string_view text);

// `text` as one word of a command to paste into a POSIX shell: as it is when it holds only letters, digits and
// . _ - + / , : @ % = (nothing a shell reads), else in single quotes, each ' in it as '\''. The shell then runs
// nothing a file name holds.
std::string shellWord(std::string_view text);

// A file `name` of the current folder as a word for a program that reads it as a path (ffmpeg -i): shellWord, with
// "./" before a name that begins with "-", which the program would otherwise read as an option.
std::string shellPath(std::string_view name);

// A file `name` as the operand of a command that ends its options at "--" (clipnest): shellWord, after "-- " when it
// begins with "-". What follows it in the command is read as an operand too, never as an option.
std::string shellOperand(std::string_view name);

// Whether `text` begins with `lowerName` (in lower case), whatever the case of its ASCII letters: a tag's name.
bool startsWithIgnoringCase(std::string_view text, std::string_view lowerName);

// Where the content of the first element that follows `marker` (searched from `from`) begins and ends: from just
// after that element's opening tag to the next "<". Nothing when the marker, the tag or the following "<" is missing.
std::optional<std::pair<std::size_t, std::size_t>> contentAfterMarker(std::string_view text, std::string_view marker,
                                                                      std::size_t from = 0);

// Sets the content of the first element that follows `marker` (searched from `from`): the text between that
// element's opening tag and the next "<" becomes `value`; the marker's own line, the gap up to the tag, the tag and
// everything from the next "<" on stay. Returns false, leaving `text` unchanged, when the marker, the tag or the
// following "<" is missing.
bool setContentAfterMarker(std::string& text, std::string_view marker, std::string_view value, std::size_t from = 0);

// A size as people read it: bytes, KB, MB or GB (powers of 1000, as file managers show them), e.g. "62.6 MB".
std::string readableSize(std::uintmax_t bytes);

} // namespace clipnest
