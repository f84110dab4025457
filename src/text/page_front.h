#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace clipnest {

// The front of a homepage that appending an entry never reaches. Nothing an append looks for starts in it (an end
// marker, a placeholder or the sample's key, a disabled block's ends, a run of six blank lines), so an append's
// searches may begin at searchFrom(); and its entries are known, so looking a name up or listing the entries reads
// only what follows entriesEnd().
//
// It stays true only while every edit of the text is at or after end() (or a few bytes before it, where an append
// lengthens a run of blank lines): nothing before searchFrom() changes. follow() then brings it up to the text as it
// stands, reading only from searchFrom(). Any other edit makes it wrong: drop it.
class PageFront {
public:
    // Reads the whole text. Nothing when the text has no end marker B or C: an append then puts its sample in front
    // of the last "</div>", wherever that is.
    static std::optional<PageFront> of(std::string_view text);

    // Brings the front up to the text after edits at or after end(); nothing when the end marker went, or when an
    // edit completed something that begins in the front: it is then built again, from the whole text.
    static std::optional<PageFront> follow(PageFront front, std::string_view text);

    std::size_t end() const { return end_; }
    // Where a search for anything an append looks for may begin: an edit at end() can complete a marker that began
    // a little before it.
    std::size_t searchFrom() const { return end_ < Margin ? 0 : end_ - Margin; }
    // Every entry source line that begins before this is in the front's entries.
    std::size_t entriesEnd() const { return entriesEnd_; }

    // The names of the front's entries as the page lists them (as forEachLiveEntry gives them), in page order.
    const std::vector<std::string>& names() const { return names_; }

    // The name (as the page writes it, up to its closing quote) of the first front entry whose name as written is
    // `stem` followed by a period; nothing when no front entry's is.
    std::optional<std::string_view> nameWithStem(std::string_view stem) const;

private:
    // Longer than any marker or placeholder an append looks for.
    static constexpr std::size_t Margin = 256;

    // Takes in the source lines from entriesEnd_ that end (at their closing quote) before searchFrom().
    void takeEntries(std::string_view text);

    std::size_t end_ = 0;
    std::size_t entriesEnd_ = 0;
    std::vector<std::string> names_;
    // The first source line's name for each stem (the name as written, up to its first period).
    std::unordered_map<std::string, std::string> byStem_;
};

} // namespace clipnest
