#include "text/entries.h"

#include "text/markers.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

// The disabled blocks of the text, each from its "<!--n9h" to the end of its "s4j-->" (or the text's end).
std::vector<std::pair<std::size_t, std::size_t>> disabledBlocks(std::string_view text) {
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    for (std::size_t open = findText(text, markers::WrapOpen); open != std::string_view::npos;) {
        const std::size_t close = findText(text, markers::WrapClose, open + markers::WrapOpen.size());
        const std::size_t end = close == std::string_view::npos ? text.size() : close + markers::WrapClose.size();
        blocks.emplace_back(open, end);
        open = findText(text, markers::WrapOpen, end);
    }
    return blocks;
}

} // namespace

std::vector<LiveEntry> liveEntries(std::string_view pageText) {
    const auto blocks = disabledBlocks(pageText);
    auto block = blocks.begin();
    std::vector<LiveEntry> entries;
    for (std::size_t at = pageText.find(markers::SourceKey); at != std::string_view::npos;) {
        const std::size_t nameStart = at + markers::SourceKey.size();
        const std::size_t nameEnd = pageText.find('"', nameStart);
        const std::size_t next = pageText.find(markers::SourceKey, nameStart);
        while (block != blocks.end() && block->second <= at) {
            ++block;
        }
        const bool disabled = block != blocks.end() && block->first <= at;
        if (nameEnd != std::string_view::npos && !disabled) {
            const std::string_view name = pageText.substr(nameStart, nameEnd - nameStart);
            if (name.find(markers::FileNameKey) == std::string_view::npos) {
                LiveEntry entry{std::string(name), {}};
                const std::string_view own = pageText.substr(0, next);
                if (const auto content = contentAfterMarker(own, markers::EntryDescriptionTail, nameEnd)) {
                    entry.description = own.substr(content->first, content->second - content->first);
                }
                entries.push_back(std::move(entry));
            }
        }
        at = next;
    }
    return entries;
}

std::vector<LiveEntry> homepageEntries(const WorkingFolder& channel) {
    const std::optional<std::string> homepage = channel.read("homepage.html");
    return homepage ? liveEntries(*homepage) : std::vector<LiveEntry>{};
}

} // namespace clipnest
