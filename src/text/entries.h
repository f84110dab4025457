#pragma once

#include "platform/working_folder.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace clipnest {

// A live entry of the homepage, as page text (code-page bytes, references not decoded).
struct LiveEntry {
    std::string fileName;
    // The content of the entry's description element; empty when the entry has none.
    std::string description;
};

// The live entries of held homepage text, in page order. An entry is found by its source line ("<source src=" and a
// quote, then the file name up to the next quote), as the editing Steps find it; lines inside a disabled "<!--n9h"
// ... "s4j-->" block and lines that still hold a file-name token (the sample entry's) are not entries. The
// description is the element after the entry's description marker, looked for only up to the next source line.
std::vector<LiveEntry> liveEntries(std::string_view pageText);

// The same entries, each handed to `each` as views into `pageText` (file name, description), without a copy: one
// pass over the text, for listing a homepage of any size.
void forEachLiveEntry(std::string_view pageText,
                      const std::function<void(std::string_view fileName, std::string_view description)>& each);

// The same for a homepage that comes in pieces (read a megabyte at a time): each entry is handed on as soon as it is
// whole, with only the text of the entry not yet whole held.
class LiveEntryReader final : public PieceSink {
public:
    using Each = std::function<void(std::string_view fileName, std::string_view description)>;
    explicit LiveEntryReader(Each each) : each_(std::move(each)) {}
    // The next piece of the text.
    void take(std::string_view piece);
    // The text's end: the last entry is whole.
    void finish();

    // The same as take(), with the piece read straight into the held text.
    char* room(std::size_t size) override;
    void filled(std::size_t size) override;

private:
    Each each_;
    std::unique_ptr<char[]> held_; // the text not yet whole, then room for the next piece
    std::size_t size_ = 0, capacity_ = 0;
    bool inside_ = false; // the held text begins inside a disabled block
};

// The live entries of the folder's homepage.html; none when it has none.
std::vector<LiveEntry> homepageEntries(const WorkingFolder& channel);

} // namespace clipnest
