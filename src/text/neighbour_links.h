#pragma once

#include <optional>
#include <string>
#include <string_view>

// The links from a video page to the pages of the entries before and after its own on the homepage, written between
// the page's neighbour markers (markers::NeighboursOpen and NeighboursClose).
namespace clipnest {

// An entry next to the page's own: its video's file name and its homepage description, both page text as the
// homepage holds them (code-page bytes, references not decoded).
struct Neighbour {
    std::string_view fileName;
    std::string_view description;
};

// How long a link's words may be, in characters; a longer description is cut at a blank and ends in "...".
inline constexpr std::size_t NeighbourWords = 80;

// The lines between the markers: a <nav> with a rel="prev" link to the previous entry's page and a rel="next" link to
// the next one's, each reading "Previous: " or "Next: " and the entry's description as plain text (its file name
// when it has none). Empty when the page has neither neighbour.
std::string neighbourLines(const std::optional<Neighbour>& previous, const std::optional<Neighbour>& next);

// Puts `lines` between the page's neighbour markers in place of what stood there; false, the page left as it was,
// when it lacks either marker.
bool setNeighbourBlock(std::string& pageText, std::string_view lines);

} // namespace clipnest
