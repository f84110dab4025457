#include "text/page_front.h"

#include "text/document.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <algorithm>

namespace clipnest {

namespace {

bool hasEndMarker(std::string_view text, std::size_t from) {
    return findText(text, markers::EndB, from) != std::string_view::npos ||
           findText(text, markers::EndC, from) != std::string_view::npos;
}

// Where the first thing an append looks for begins, from `from` on (the text's end when nothing is there). The
// sample's key begins every file-name placeholder, and end marker B ends end marker A.
std::size_t firstLookedFor(std::string_view text, std::size_t from) {
    std::size_t first = std::min(text.size(), findRun(text, '\n', 6, from));
    for (const std::string_view part : {markers::EndB, markers::EndC, markers::FileNameKey,
                                        markers::HomepageDescripToken, markers::WrapOpen, markers::WrapClose}) {
        first = std::min(first, findText(text, part, from));
    }
    return first;
}

} // namespace

std::optional<PageFront> PageFront::of(std::string_view text) {
    if (!hasEndMarker(text, 0)) {
        return std::nullopt;
    }
    PageFront front;
    front.end_ = firstLookedFor(text, 0);
    front.takeEntries(text);
    return front;
}

std::optional<PageFront> PageFront::follow(PageFront front, std::string_view text) {
    const std::size_t from = front.searchFrom();
    if (!hasEndMarker(text, from)) {
        return std::nullopt;
    }
    const std::size_t end = firstLookedFor(text, from);
    if (end < front.end_) {
        return std::nullopt;
    }
    front.end_ = end;
    front.takeEntries(text);
    return front;
}

void PageFront::takeEntries(std::string_view text) {
    const std::size_t limit = searchFrom();
    std::size_t at = findText(text, markers::SourceKey, entriesEnd_);
    for (; at < limit; at = findText(text, markers::SourceKey, at + markers::SourceKey.size())) {
        const std::size_t nameStart = at + markers::SourceKey.size();
        const std::size_t quote = text.find('"', nameStart);
        if (quote >= limit) {
            // Its name is not closed where no edit reaches: the line stays with the rest of the text.
            break;
        }
        const std::string_view name = text.substr(nameStart, quote - nameStart);
        names_.push_back(name.find('&') == std::string_view::npos ? std::string(name) : nameFromPage(name));
        if (const std::size_t period = name.find('.'); period != std::string_view::npos) {
            byStem_.emplace(name.substr(0, period), name);
        }
    }
    entriesEnd_ = std::min(at, limit);
}

std::optional<std::string_view> PageFront::nameWithStem(std::string_view stem) const {
    const auto found = byStem_.find(std::string(stem));
    if (found == byStem_.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace clipnest
