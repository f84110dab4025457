#pragma once

#include "platform/working_folder.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace clipnest::media {

// The poster of a video: the video's name without its extension, then ".jpg" ("roses.mp4" -> "roses.jpg").
std::string posterName(std::string_view video);

// A poster frame written into a new file of the folder (its name), or why there is none (a clause for a note:
// "ffmpeg is not installed").
struct PosterFrame {
    std::optional<std::string> part;
    std::string why;
};

// Writes a poster for `video`, a file of the folder, into a new file of the folder for the caller to rename into
// place (WorkingFolder::replace) or remove: a JPEG 640 pixels wide of the frame `at` seconds in, or when not given,
// of the frame 1 s in (the middle of a clip shorter than 2 s), or of a later one (a tenth, a quarter, half into the
// clip) when that one is nearly a single colour, as a fade from black starts. The video is read as `probe` reads
// it; what is handed back is a whole JPEG.
PosterFrame writePosterFrame(WorkingFolder& folder, const std::string& video, std::optional<double> at);

// The same for several videos, side by side on every core; in the order of `videos`.
std::vector<PosterFrame> writePosterFrames(WorkingFolder& folder, const std::vector<std::string>& videos,
                                           std::optional<double> at);

} // namespace clipnest::media
