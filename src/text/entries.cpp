#include "text/entries.h"

#include "text/document.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>

namespace clipnest {

namespace {

// Finds a fixed text by its last byte, skipping ahead by up to its length at each look (Horspool's way).
class Searcher {
public:
    explicit Searcher(std::string_view part) : part_(part) {
        skip_.fill(part.size());
        for (std::size_t i = 0; i + 1 < part.size(); ++i) {
            skip_[static_cast<unsigned char>(part[i])] = part.size() - 1 - i;
        }
    }
    // The first place of the part within text[from, to), or npos.
    std::size_t find(std::string_view text, std::size_t from, std::size_t to) const {
        const std::size_t n = part_.size();
        const char last = part_[n - 1];
        for (std::size_t i = from + n - 1; i < to;) {
            const char c = text[i];
            if (c == last && std::memcmp(text.data() + i + 1 - n, part_.data(), n - 1) == 0) {
                return i + 1 - n;
            }
            i += skip_[static_cast<unsigned char>(c)];
        }
        return std::string_view::npos;
    }

private:
    std::string_view part_;
    std::array<std::size_t, 256> skip_{};
};

// The first place of `part` in text[from, to), found by its first and last byte looked for at 32 places at once; only
// where both stand is the rest compared. For a part of two bytes or more. Built for processors with AVX2 and for any
// other, the loader choosing: this look is where reading a large homepage's entries spends its time.
__attribute__((target_clones("avx2", "default"))) std::size_t findByEnds(std::string_view text, std::string_view part,
                                                                         std::size_t from, std::size_t to) {
    using Bytes = unsigned char __attribute__((vector_size(32)));
    const std::size_t n = part.size();
    if (to < n || from > to - n) {
        return std::string_view::npos;
    }
    const Bytes first = Bytes{} + static_cast<unsigned char>(part.front());
    const Bytes last = Bytes{} + static_cast<unsigned char>(part.back());
    const char* const data = text.data();
    const std::size_t end = to - n + 1; // one past the last place a match may start
    std::size_t i = from;
    for (; i + 32 <= end; i += 32) {
        Bytes a, b;
        std::memcpy(&a, data + i, 32);
        std::memcpy(&b, data + i + n - 1, 32);
        const auto both = (a == first) & (b == last);
        std::uint64_t parts[4];
        std::memcpy(parts, &both, 32);
        if ((parts[0] | parts[1] | parts[2] | parts[3]) == 0) {
            continue;
        }
        for (std::size_t k = 0; k < 32; ++k) {
            if (both[k] != 0 && std::memcmp(data + i + k + 1, part.data() + 1, n - 2) == 0) {
                return i + k;
            }
        }
    }
    for (; i < end; ++i) {
        if (std::memcmp(data + i, part.data(), n) == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The disabled blocks of the text, each from its "<!--n9h" to the end of its "s4j-->" (or the text's end); the first
// from the text's start when it begins inside one.
std::vector<std::pair<std::size_t, std::size_t>> disabledBlocks(std::string_view text, bool beginsInside) {
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    const auto find = [text](std::string_view part, std::size_t from) {
        return findByEnds(text, part, from, text.size());
    };
    if (beginsInside) {
        const std::size_t close = find(markers::WrapClose, 0);
        blocks.emplace_back(0, close == std::string_view::npos ? text.size() : close + markers::WrapClose.size());
    }
    for (std::size_t open = find(markers::WrapOpen, blocks.empty() ? 0 : blocks.back().second);
         open != std::string_view::npos;) {
        const std::size_t close = find(markers::WrapClose, open + markers::WrapOpen.size());
        const std::size_t end = close == std::string_view::npos ? text.size() : close + markers::WrapClose.size();
        blocks.emplace_back(open, end);
        open = find(markers::WrapOpen, end);
    }
    return blocks;
}

// The entries that begin before `limit`, each read up to the next source line (which may stand past the limit);
// returns whether `limit` stands inside a disabled block.
bool scanEntries(std::string_view pageText, std::size_t limit, bool beginsInside,
                 const std::function<void(std::string_view fileName, std::string_view description)>& each) {
    const auto blocks = disabledBlocks(pageText, beginsInside);
    auto block = blocks.begin();
    // The description's marker holds no digit, so findText would stop at every "b" of the page; this searcher skips
    // ahead by up to its length.
    const Searcher description(markers::EntryDescriptionTail);
    const std::size_t size = pageText.size();
    const auto findSource = [&](std::size_t from) { return findByEnds(pageText, markers::SourceKey, from, size); };
    for (std::size_t at = findSource(0); at != std::string_view::npos && at < limit;) {
        const std::size_t nameStart = at + markers::SourceKey.size();
        const std::size_t nameEnd = pageText.find('"', nameStart);
        const std::size_t next = findSource(nameStart);
        while (block != blocks.end() && block->second <= at) {
            ++block;
        }
        const bool disabled = block != blocks.end() && block->first <= at;
        if (nameEnd != std::string_view::npos && !disabled) {
            const std::string_view name = pageText.substr(nameStart, nameEnd - nameStart);
            if (name.find(markers::FileNameKey) == std::string_view::npos) {
                // The element after the description's marker, looked for only up to the next source line.
                const std::size_t own = next == std::string_view::npos ? size : next;
                std::string_view content;
                if (const std::size_t m = description.find(pageText, nameEnd, own); m != std::string_view::npos) {
                    const std::string_view rest = pageText.substr(0, own);
                    const std::size_t tagStart = rest.find('<', m + markers::EntryDescriptionTail.size());
                    const std::size_t tagEnd = rest.find('>', tagStart == std::string_view::npos ? own : tagStart);
                    const std::size_t tail = rest.find('<', tagEnd == std::string_view::npos ? own : tagEnd + 1);
                    if (tail != std::string_view::npos) {
                        content = rest.substr(tagEnd + 1, tail - tagEnd - 1);
                    }
                }
                if (name.find('&') == std::string_view::npos) {
                    each(name, content);
                } else {
                    // A name with "&" or a byte above 127 stands in the page with references: it is handed on as
                    // the name itself.
                    each(nameFromPage(name), content);
                }
            }
        }
        at = next;
    }
    for (const auto& [first, end] : blocks) {
        if (first < limit && limit < end) {
            return true;
        }
    }
    return false;
}

} // namespace

void forEachLiveEntry(std::string_view pageText,
                      const std::function<void(std::string_view fileName, std::string_view description)>& each) {
    scanEntries(pageText, std::string_view::npos, false, each);
}

char* LiveEntryReader::room(std::size_t size) {
    if (capacity_ - size_ < size) {
        capacity_ = std::max(size_ + size, capacity_ * 2);
        auto bigger = std::make_unique_for_overwrite<char[]>(capacity_);
        if (size_ > 0) {
            std::memcpy(bigger.get(), held_.get(), size_);
        }
        held_ = std::move(bigger);
    }
    return held_.get() + size_;
}

void LiveEntryReader::filled(std::size_t size) {
    // Only the new piece (and the end of the text before it) can hold a source line not seen yet.
    const std::size_t from = size_ < markers::SourceKey.size() ? 0 : size_ + 1 - markers::SourceKey.size();
    size_ += size;
    const std::string_view held(held_.get(), size_);
    // Every entry before the last source line held is whole: its own text ends at the next source line.
    const std::size_t found = held.substr(from).rfind(markers::SourceKey);
    const std::size_t last = found == std::string_view::npos ? 0 : from + found;
    if (last == 0) {
        return;
    }
    inside_ = scanEntries(held, last, inside_, each_);
    std::memmove(held_.get(), held_.get() + last, size_ - last);
    size_ -= last;
}

void LiveEntryReader::take(std::string_view piece) {
    if (piece.empty()) {
        return;
    }
    std::memcpy(room(piece.size()), piece.data(), piece.size());
    filled(piece.size());
}

void LiveEntryReader::finish() {
    scanEntries(std::string_view(held_.get(), size_), std::string_view::npos, inside_, each_);
    size_ = 0;
}

std::vector<LiveEntry> liveEntries(std::string_view pageText) {
    std::vector<LiveEntry> entries;
    forEachLiveEntry(pageText, [&](std::string_view name, std::string_view description) {
        entries.push_back({std::string(name), std::string(description)});
    });
    return entries;
}

std::vector<LiveEntry> homepageEntries(const WorkingFolder& channel) {
    const std::optional<std::string> homepage = channel.read("homepage.html");
    return homepage ? liveEntries(*homepage) : std::vector<LiveEntry>{};
}

} // namespace clipnest
