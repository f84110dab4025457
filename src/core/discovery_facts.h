#pragma once

#include "media/shape.h"
#include "platform/working_folder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace clipnest {

// What the feed and the sitemap were last made from, kept in .clipnest/entry-facts so that an edit reads no page but
// those of the entries it changed: one line an entry, in the homepage's order, "HASH VIDEO WIDTH HEIGHT SECONDS
// POSTER PWIDTH PHEIGHT NAME": the hash of the entry's homepage description as the page text holds it, the stamps of
// its video and its poster ("SIZE:TIME:INODE", "-" for none) and what was read of each, "-" where nothing is known.
struct KeptFacts {
    std::uint64_t hash = 0;
    std::optional<FileStamp> video, poster;
    media::Shape shape;
    std::optional<std::pair<int, int>> posterSize;
};
struct EntryFacts {
    std::vector<std::string> order;
    std::unordered_map<std::string, KeptFacts> byName;
};

// The kept facts; none when there are none or they cannot be read, and then every entry is made again.
EntryFacts readEntryFacts(const WorkingFolder& channel);
// The file's text for the entries in `order` (the others are not kept).
std::string entryFactsText(const std::vector<std::string_view>& order, const EntryFacts& facts);
// Writes it unless it holds that already; false when it could not be written.
bool writeEntryFacts(const WorkingFolder& channel, const std::string& text);
// Reads the picture size and length of these videos of the folder (ffprobe, or its cache) into their facts, with
// the stamps they were read at.
void keepShapes(const WorkingFolder& channel, EntryFacts& facts, const std::vector<std::string>& videos);

} // namespace clipnest
