#pragma once

#include "platform/working_folder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clipnest {

// The videos as they were before a conversion, kept in the channel's hidden folder (never uploaded, never served)
// until the host frees them; a conversion's undo puts its original back from there.
inline constexpr std::string_view OriginalsFolder = ".clipnest/originals";

// Keeps the channel's file `name` among the originals under its own name (NAME-2.EXT, NAME-3.EXT ... when that is
// taken) as a second link to it, nothing read; a copy where links are not to be had. Its name there, or nothing when
// it could not be kept.
std::optional<std::string> keepOriginal(WorkingFolder& channel, std::string_view name);

struct OriginalsUse {
    std::size_t files = 0;
    std::uintmax_t bytes = 0;
};

// The originals kept and the space they take.
OriginalsUse originalsKept(const WorkingFolder& channel);

// Removes every kept original, and the undo history's copies of the same files, so the space is free: the undo of
// those conversions then says it cannot be done. What was removed.
OriginalsUse removeOriginals(WorkingFolder& channel);

// Removes the kept original that is the very file `name` of the channel is now (an undo put it back from there).
void forgetOriginal(WorkingFolder& channel, std::string_view name);

} // namespace clipnest
