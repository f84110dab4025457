#include "media/name_cover.h"

#include <algorithm>

namespace clipnest::media {

namespace {

std::uint64_t edgeKey(std::uint32_t state, unsigned char byte) {
    return (std::uint64_t{state} << 8) | byte;
}

std::size_t nextHighByte(std::string_view text, std::size_t from) {
    const auto high = std::find_if(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return high == text.end() ? std::string_view::npos : static_cast<std::size_t>(high - text.begin());
}

} // namespace

NameCover::NameCover(const std::vector<std::string_view>& names) : fallBack_(1, 0), longestEnding_(1, 0) {
    std::vector<std::vector<std::pair<unsigned char, std::uint32_t>>> children(1);
    for (const std::string_view name : names) {
        std::uint32_t state = 0;
        for (const char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            const auto [edge, added] = edges_.try_emplace(edgeKey(state, byte), fallBack_.size());
            if (added) {
                children[state].emplace_back(byte, edge->second);
                children.emplace_back();
                fallBack_.push_back(0);
                longestEnding_.push_back(0);
            }
            state = edge->second;
        }
        longestEnding_[state] = std::max(longestEnding_[state], name.size());
        longestName_ = std::max(longestName_, name.size());
    }
    // Breadth first, so a state's fall-back (the longest proper suffix of its text that is a state) is done first.
    std::vector<std::uint32_t> queue{0};
    for (std::size_t next = 0; next < queue.size(); ++next) {
        const std::uint32_t from = queue[next];
        for (const auto& [byte, to] : children[from]) {
            std::uint32_t back = fallBack_[from];
            while (from != 0 && back != 0 && !edges_.contains(edgeKey(back, byte))) {
                back = fallBack_[back];
            }
            const auto edge = edges_.find(edgeKey(back, byte));
            fallBack_[to] = from != 0 && edge != edges_.end() ? edge->second : 0;
            longestEnding_[to] = std::max(longestEnding_[to], longestEnding_[fallBack_[to]]);
            queue.push_back(to);
        }
    }
}

std::uint32_t NameCover::step(std::uint32_t state, unsigned char byte) const {
    for (;;) {
        if (const auto edge = edges_.find(edgeKey(state, byte)); edge != edges_.end()) {
            return edge->second;
        }
        if (state == 0) {
            return 0;
        }
        state = fallBack_[state];
    }
}

std::size_t NameCover::firstUncoveredHighByte(std::string_view text) const {
    if (longestName_ == 0) {
        return nextHighByte(text, 0);
    }
    // A name that covers a byte starts at most `reach` before it and ends at most `reach` after it.
    const std::size_t reach = longestName_ - 1;
    std::vector<std::size_t> pending; // bytes above 127 read and not covered yet, in text order
    std::size_t at = 0;
    std::uint32_t state = 0;
    for (;;) {
        if (!pending.empty() && at > pending.front() + reach) {
            return pending.front(); // no name that ends from here on reaches back to it
        }
        if (pending.empty()) {
            const std::size_t high = nextHighByte(text, at);
            if (high == std::string_view::npos) {
                return high;
            }
            // Nothing before `high - reach` can cover it, so the automaton starts afresh there.
            if (const std::size_t start = high > reach ? high - reach : 0; start > at) {
                at = start;
                state = 0;
            }
        }
        if (at == text.size()) {
            return pending.empty() ? std::string_view::npos : pending.front();
        }
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x80) {
            pending.push_back(at);
        }
        state = step(state, byte);
        for (const std::size_t length = longestEnding_[state]; !pending.empty() && pending.back() + length > at;) {
            pending.pop_back();
        }
        ++at;
    }
}

} // namespace clipnest::media
