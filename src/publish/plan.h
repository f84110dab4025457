#pragma once

#include "publish/manifest.h"
#include "publish/settings.h"
#include "text/rename_page.h"

#include <filesystem>
#include <string>
#include <vector>

namespace clipnest::publish {

// The order files go up in, so that nothing on the live site names a file before it is there: the server's rules,
// then what pages name (videos, posters, captions, the moderation file, the extra files), then the pages, then the
// feed, the sitemap and the pages of renamed videos, then the homepage that links them all.
enum class Stage { Rules, Media, Pages, Lists, Homepage };

// A file of the channel, as it stands in the folder now.
struct ChannelFile {
    std::string name;
    Published now;
    bool changed = false; // its content differs from what was last published there, or it never was
    Stage stage = Stage::Media;
    // The files this one names that go up before it: a video page's video, poster and captions. The feed, the sitemap
    // and the homepage name everything, so any file before them that did not arrive holds them back.
    std::vector<std::string> needs;
};

struct Plan {
    std::vector<ChannelFile> files; // in upload order
    std::vector<std::string> notes; // names listed or linked that are not in the folder, or may not be published
    std::string error;              // why there is nothing to publish at all
    std::size_t hashed = 0;         // files read to hash them (the others' size and time were as last published)
    // The renames the pending rename page holds, in its order, and the page's hash; none when there is no page.
    std::vector<RenamePair> renames;
    std::string renamePage;
};

// The channel's files: the homepage, each entry's video page, video, poster and captions when they are in the
// folder, change_file_name.php and comment_moderation.txt when present, the server's rules (Clipnest's block of
// .htaccess, hashed as that block: it is merged into the server's own file when it goes up) and the extra files of the
// settings. Never a file the visitors' posts write (the comments, the rate-limit file) nor anything else hidden. A
// file whose size and modification time are as `record` has them keeps its recorded hash.
Plan planPublish(const std::filesystem::path& channel, const Settings& settings, const Record& record);

// Whether `file` differs from what `record` says the server has.
bool changedSince(const ChannelFile& file, const Record& record);

} // namespace clipnest::publish
