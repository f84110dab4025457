#pragma once

#include "platform/clock.h"
#include "platform/working_folder.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace clipnest {

// When each entry was first made, kept in .clipnest/first-made: one line each, the date and time as ISO 8601 with its
// zone, a blank, then the video's file name as the homepage has it (code-page bytes). The dates are kept as written.
// A deleted entry's date is set aside, a "-" before it, for an undo of the delete to find; it is not the entry's any
// more, and an entry made again under that name gets a date of its own.
inline constexpr const char* FirstMadeFile = "first-made";
inline constexpr char SetAside = '-';
using FirstMade = std::map<std::string, std::string, std::less<>>;

// The names one list of entries holds and the other does not, both ways, in the order of their lists. An operation
// changes a few entries in one place, so the lists are alike at both ends; only the names between are looked up.
struct NamesChanged {
    std::vector<std::string_view> added, gone;
};
NamesChanged namesChanged(std::span<const std::string> before, std::span<const std::string> after);
inline NamesChanged namesChanged(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    return namesChanged(std::span(before), std::span(after));
}

// Brings the record up to the entries: an added name is dated `now` (made again, it gets a new date); a gone name's
// date is set aside. Whether the record changed.
bool followEntries(FirstMade& record, const NamesChanged& changed, std::string_view now);

// The record of the channel folder; empty when there is none (an older channel) or it cannot be read.
FirstMade readFirstMade(const WorkingFolder& channel);
// Writes it whole, in one step; false when it could not be.
bool writeFirstMade(const WorkingFolder& channel, const FirstMade& record);

} // namespace clipnest
