#pragma once

#include "platform/clock.h"
#include "platform/working_folder.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace clipnest {

// When each entry was first made, kept in .clipnest/first-made: one line each, the date and time as ISO 8601 with its
// zone, a blank, then the video's file name as the homepage has it (code-page bytes). The dates are kept as written.
// A deleted entry's date is set aside, a "-" before it, for an undo of the delete to find; it is not the entry's any
// more, and an entry made again under that name gets a date of its own.
inline constexpr const char* FirstMadeFile = "first-made";
inline constexpr char SetAside = '-';
using FirstMade = std::map<std::string, std::string, std::less<>>;

// The record of the channel folder; empty when there is none (an older channel) or it cannot be read.
FirstMade readFirstMade(const WorkingFolder& channel);
// Writes it whole, in one step; false when it could not be.
bool writeFirstMade(const WorkingFolder& channel, const FirstMade& record);

} // namespace clipnest
