#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace clipnest::media {

// Many names looked for in one pass over a text (Aho and Corasick's automaton): a homepage of 20,000 entries is read
// once for all their names, never once a name.
class NameCover {
public:
    explicit NameCover(const std::vector<std::string_view>& names);

    // The first byte above 127 of `text` that stands in no occurrence of any of the names, or npos. Only the stretches
    // around such bytes are read with the automaton, so a text of ASCII costs one quick look for them.
    std::size_t firstUncoveredHighByte(std::string_view text) const;

private:
    std::uint32_t step(std::uint32_t state, unsigned char byte) const;

    // Each state's edges by (state << 8 | byte); its fall-back state; the longest name that ends there.
    std::unordered_map<std::uint64_t, std::uint32_t> edges_;
    std::vector<std::uint32_t> fallBack_;
    std::vector<std::size_t> longestEnding_;
    std::size_t longestName_ = 0;
};

} // namespace clipnest::media
