#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace clipnest::media {

// What would trouble a visitor once the channel is up: a file and what is wrong with it, with the way to mend it.
struct Problem {
    std::string file;
    std::string text;
    bool slowStart = false;  // an MP4 whose index is at the end, which `check --fix` mends
    bool unplayable = false; // a video browsers do not play, which `check --fix` converts
};

struct CheckReport {
    std::vector<Problem> problems;
    std::vector<std::string> notes; // what could not be checked
};

struct CheckOptions {
    std::uintmax_t maxUpload = 0; // the largest file the host takes; 0 for no limit
    std::string settingsFile;     // where maxUpload is set, for the message
    // Only these videos are probed with ffprobe; all when not given.
    std::optional<std::set<std::string>> probeOnly;
    // Only what these files bring to the server is checked (a publish checks what it is about to upload): the
    // entries whose video or page is among them (only their videos probed), the homepage's own bytes when
    // homepage.html is, the caption files among them; the folder's other files are not looked at. All when not given.
    std::optional<std::set<std::string>> files = std::nullopt;
};

// Checks the channel folder before it goes up: entries whose video is not in the folder or is a link, video pages
// that no entry links, names that do not survive an address, videos over `maxUpload`, MP4s whose index is at the
// end, and (when ffprobe is there) videos browsers do not play. What ffprobe found is kept in .clipnest/probes by
// each file's size and time, so a file is probed again only when it changed; probes run side by side. The homepage is
// read once for all its entries, so the check grows with the entries, not with entries times homepage.
CheckReport checkChannel(const std::filesystem::path& channel, const CheckOptions& options);

} // namespace clipnest::media
