#pragma once

#include <optional>
#include <string>
#include <string_view>

// The edits of the homepage's entries, as the Steps make them: every piece of the entry markup they need is here, so
// a change of that markup is a change of src/text.
namespace clipnest {

// Turns the disabled sample entry into the live entry of the video and puts a fresh sample entry behind it: what an
// append does to the homepage text. A text without the sample's tokens loses only its wrappers. Everything is looked
// for from `from` on: the caller knows nothing of it begins before.
void makeSampleLive(std::string& pageText, std::string_view fileName, std::string_view fileNameLessExt,
                    std::string_view homepageDescrip, std::string_view sampleEntry, std::size_t from = 0);

// Puts a new entry block (the sample entry's lines unwrapped, tokens in place) in front of the gallery opening of the
// entry whose source line starts with `anchorFileName` (a prefix of a file name finds that entry too). False, and no
// change, when no entry does.
bool insertBlockAbove(std::string& pageText, std::string_view anchorFileName);

// Fills the first file-name, name-without-extension and description tokens: the block insertBlockAbove put in, which
// stands in front of the sample entry, so the sample keeps its own.
void fillFirstBlock(std::string& pageText, std::string_view fileName, std::string_view fileNameLessExt,
                    std::string_view homepageDescrip);

// Cuts the entry of exactly this file name out of the homepage text, with the blanks and line breaks around it, as a
// delete does; a disabled block (the sample's, or one the host disabled) is never cut into. False, and no change,
// when the text has no such entry.
bool cutEntryOut(std::string& pageText, std::string_view fileName);

// Points the live entry of `oldName` at `newName`: its source line, its poster and the link to its video page (the
// name without extension, then ".php", as the entry was made). False, and no change, when the text has no entry of
// exactly that name; a link the host changed by hand is left as it is.
bool renameEntry(std::string& pageText, std::string_view oldName, std::string_view newName);

// Moves the block of the live entry of exactly `fileName` (page text, as liveEntries names it) in front of the block
// of the entry of exactly `aboveFileName`, or behind the last entry when that is nothing. An entry's block runs from
// the line of its gallery opening to its last non-blank line before the next gallery opening (a live entry's, a
// disabled block's or the sample's) or the end marker: whatever the host added inside it moves with it, byte for
// byte, and the text between the blocks stays where it stood. Nothing, and the text moved (or as it was when the
// entry stands there already); else the problem in words that follow "Clipnest moved no entry: ", the text unchanged.
std::optional<std::string> moveEntryBlock(std::string& pageText, std::string_view fileName,
                                          std::optional<std::string_view> aboveFileName);

} // namespace clipnest
