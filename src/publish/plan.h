#pragma once

#include "publish/manifest.h"
#include "publish/settings.h"

#include <filesystem>
#include <string>
#include <vector>

namespace clipnest::publish {

// A file of the channel, as it stands in the folder now.
struct ChannelFile {
    std::string name;
    Published now;
    bool changed = false; // its content differs from what was last published, or it never was
};

struct Plan {
    std::vector<ChannelFile> files; // in upload order: videos and pages first, the homepage last
    std::vector<std::string> notes; // names listed or linked that are not in the folder, or may not be published
    std::string error;              // why there is nothing to publish at all
    std::size_t hashed = 0;         // files read to hash them (the others' size and time were as last published)
    // New files the server has already under the name they were last published as, which the pending rename page
    // renames there: they are not uploaded again (that would make the rename page refuse, its target being taken).
    struct Renamed {
        ChannelFile file;
        std::string serverName;
        // The names the page takes it through on the way, which an earlier call may have left it under.
        std::vector<std::string> between;
    };
    std::vector<Renamed> renamedThere;
};

// The channel's files: the homepage, each entry's video page and video file when they are in the folder,
// change_file_name.php and comment_moderation.txt when present, the .htaccess whose Clipnest block it first brings up
// to date, and the extra files of the settings. Never a file the visitors' posts write (the comments, the rate-limit
// file) nor anything else hidden. A file whose size and modification time are as last published keeps its recorded
// hash.
Plan planPublish(const std::filesystem::path& channel, const Settings& settings, const Manifest& manifest);

} // namespace clipnest::publish
