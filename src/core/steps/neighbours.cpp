#include "core/form.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/neighbour_links.h"

#include <algorithm>
#include <unordered_map>

namespace clipnest {

namespace {

// The entries a page may link: those whose name can name a page. Descriptions are views into `text`.
struct Listed {
    std::vector<LinkedEntry> entries;
    std::vector<std::string_view> descriptions;
};

Listed listed(std::string_view text) {
    Listed out;
    forEachLiveEntry(text, [&](std::string_view name, std::string_view description) {
        if (isPlainName(name)) {
            out.entries.push_back({std::string(name), contentHash(description)});
            out.descriptions.push_back(description);
        }
    });
    return out;
}

std::string pageOf(std::string_view name) {
    return std::string(withoutExtension(name)) + ".php";
}

// Whether the entry at `i` of `list` and the one at `j` of `other` have the same entry on the side `step` says.
bool sameNeighbour(const std::vector<LinkedEntry>& list, std::size_t i, int step, const std::vector<LinkedEntry>& other,
                   std::size_t j) {
    const bool here = step < 0 ? i > 0 : i + 1 < list.size();
    const bool there = step < 0 ? j > 0 : j + 1 < other.size();
    return here == there && (!here || list[i + step] == other[j + step]);
}

constexpr std::size_t NoEntry = static_cast<std::size_t>(-1);
using PagesToLink = std::map<std::string, std::size_t, std::less<>>;

// The pages whose links are made again, each with the entry it links the neighbours of (NoEntry for none): `pages`
// and those of the entries whose neighbours are not the ones they had at `start`.
PagesToLink pagesToLink(const std::vector<LinkedEntry>& start, const std::vector<LinkedEntry>& end, bool everyPage,
                        std::set<std::string, std::less<>> pages) {
    // Most operations change a few entries in one place: the entries before it and after it stand as they stood,
    // and of those only the two next to it can link anything else.
    std::size_t front = 0;
    while (front < start.size() && front < end.size() && start[front] == end[front]) {
        ++front;
    }
    std::size_t back = 0;
    while (back < start.size() - front && back < end.size() - front &&
           start[start.size() - 1 - back] == end[end.size() - 1 - back]) {
        ++back;
    }
    const std::size_t firstLooked = front == 0 ? 0 : front - 1;
    const std::size_t startLooked = std::min(start.size(), start.size() - back + 1);
    const std::size_t endLooked = std::min(end.size(), end.size() - back + 1);
    std::unordered_map<std::string_view, std::size_t> wasAt, isAt;
    for (std::size_t i = firstLooked; i < startLooked; ++i) {
        wasAt.emplace(start[i].name, i);
    }
    for (std::size_t i = firstLooked; i < endLooked; ++i) {
        isAt.emplace(end[i].name, i);
        const auto was = wasAt.find(end[i].name);
        if (everyPage || was == wasAt.end() || !sameNeighbour(end, i, -1, start, was->second) ||
            !sameNeighbour(end, i, 1, start, was->second)) {
            pages.insert(pageOf(end[i].name));
        }
    }
    if (everyPage) {
        for (const LinkedEntry& entry : end) {
            pages.insert(pageOf(entry.name));
        }
    }
    // The entry each page links the neighbours of: a page two entries share (two kinds of one video) the later one's,
    // as its share tags are the later one's; a page whose entry went none, so it links no more, and reads the same
    // however the operations that took its entry were run (one by one, or held together).
    std::set<std::string, std::less<>> gone;
    for (std::size_t i = firstLooked; i < startLooked; ++i) {
        if (!isAt.contains(start[i].name)) {
            gone.insert(pageOf(start[i].name));
        }
    }
    PagesToLink linked;
    for (std::size_t i = 0; i < end.size() && !(pages.empty() && gone.empty()); ++i) {
        std::string page = pageOf(end[i].name);
        if (pages.contains(page) || gone.contains(page)) {
            linked.insert_or_assign(std::move(page), i);
        }
    }
    // A page that is no entry's links nothing: one whose entry went, one written for an entry that went in the same
    // run, and the pages that are no video's (the rename page, a moved page) have no markers.
    for (const auto* set : {&pages, &gone}) {
        for (const std::string& page : *set) {
            linked.try_emplace(page, NoEntry);
        }
    }
    return linked;
}

} // namespace

void Form::noteNeighboursAtStart() {
    neighboursDue_ = {};
    if (linkedAtEndRevision_ == homepageRevision_) {
        neighboursDue_.start = std::move(linkedAtEnd_);
    } else {
        neighboursDue_.start = listed(homepage_.PageText).entries;
    }
    linkedAtEnd_.clear();
    linkedAtEndRevision_ = -1;
}

bool Form::keepNeighbourLinks() {
    NeighboursDue due = std::exchange(neighboursDue_, {});
    const std::vector<LinkedEntry>& start = due.start;
    Listed now = listed(homepage_.PageText);
    const std::vector<LinkedEntry>& end = now.entries;
    std::set<std::string, std::less<>> pages = std::move(due.pages);
    pages.merge(linksOwed_);
    linksOwed_.clear();
    const PagesToLink linked = pagesToLink(start, end, due.everyPage, std::move(pages));
    const auto neighbour = [&](std::size_t i, std::string_view page) -> std::optional<Neighbour> {
        if (i >= end.size() || pageOf(end[i].name) == page) {
            return std::nullopt;
        }
        return Neighbour{end[i].name, now.descriptions[i]};
    };
    for (auto at = linked.begin(); at != linked.end(); ++at) {
        const auto& [page, i] = *at;
        if (!folder_.exists(page)) {
            continue;
        }
        // The page's bytes as they stand, its line ends too: only the block between the markers changes.
        const std::optional<std::string> bytes = folder_.read(page);
        std::string changed = bytes.value_or("");
        const std::string lines =
            i == NoEntry ? std::string()
                         : neighbourLines(i == 0 ? std::nullopt : neighbour(i - 1, page), neighbour(i + 1, page));
        // A page next to the edit that cannot be read stops nothing: it keeps the links it has, and the notice says
        // so.
        if (!bytes) {
            notice(page + " could not be read, so Clipnest did not give it its links to the videos next to it.");
            continue;
        }
        if (setNeighbourBlock(changed, lines) && changed != *bytes && !writeBytes(page, changed)) {
            // What was not written is the next operation's to write, whatever it changes.
            for (; at != linked.end(); ++at) {
                linksOwed_.insert(at->first);
            }
            return false;
        }
    }
    linkedAtEnd_ = std::move(now.entries);
    linkedAtEndRevision_ = homepageRevision_;
    return true;
}

} // namespace clipnest
