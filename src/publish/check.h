#pragma once

#include "publish/settings.h"

#include <filesystem>
#include <string>
#include <vector>

namespace clipnest::publish {

// What would trouble a visitor once the channel is up: a file and what is wrong with it, with the way to mend it.
struct Problem {
    std::string file;
    std::string text;
    bool slowStart = false; // an MP4 whose index is at the end, which `check --fix` mends
};

struct CheckReport {
    std::vector<Problem> problems;
    std::vector<std::string> notes; // what could not be checked
};

// Checks the channel folder before it goes up: entries whose video is not in the folder, video pages that no entry
// links, names that do not survive an address, videos over the settings' `max_upload`, MP4s whose index is at the
// end, and (when ffprobe is there) videos browsers do not play.
CheckReport checkChannel(const std::filesystem::path& channel, const Settings& settings);

// Whether an MP4 (or QuickTime) file's index (its moov box) comes after its media data, so that a browser must
// fetch the end of the file before it can start.
bool indexAtEnd(const std::filesystem::path& file);

// Moves the index of `video` to the front with ffmpeg (streams copied, nothing re-encoded); the original stays until
// the new file is whole. Empty when done, else why not.
std::string moveIndexToFront(const std::filesystem::path& channel, const std::string& video);

} // namespace clipnest::publish
