#pragma once

#include "publish/settings.h"

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace clipnest::publish {

class Remote;

// One comment as a video page stores it: its text, a line break, the server's date and time, CR LF, the poster's
// network mark and the posted date field, a line break. `hash` is the SHA-256 of those bytes, by which the page knows
// a hidden comment.
struct StoredComment {
    std::string text, date, hash;
};

// The comments of a comments file, oldest first, read as the page reads them.
std::vector<StoredComment> parseComments(std::string_view bytes);

// The host's decisions that the pages follow (comment_moderation.txt): comments hidden, by hash; threads closed, by
// their comments file's name.
struct Moderation {
    std::set<std::string> hidden, closed;
};
Moderation readModeration(const std::filesystem::path& channel);
// Writes the file whole (safely); false when it cannot be written.
bool writeModeration(const std::filesystem::path& channel, const Moderation& moderation);

// Hides the comment of `hash` (or shows it again), or closes the thread of `video` (or opens it); the file is
// written only when that changes it. False when it cannot be written.
bool setHidden(const std::filesystem::path& channel, const std::string& hash, bool hidden);
bool setClosed(const std::filesystem::path& channel, std::string_view video, bool closed);

// The name of a video's comments file: its name without extension and "_comments.txt".
std::string commentsFileOf(std::string_view video);

// A comment of the fetched ones, numbered from 1 for the oldest of its video.
struct ListedComment {
    std::string video;
    int number = 0;
    StoredComment comment;
    bool hidden = false;
};

// The comments last fetched for the homepage's entries, in the homepage's order, oldest first within a video.
std::vector<ListedComment> fetchedComments(const std::filesystem::path& channel);

struct FetchReport {
    std::size_t videos = 0, comments = 0;
    std::vector<std::pair<std::string, std::string>> failed; // video, why
    std::string error;                                       // why nothing was fetched
};

// Reads every entry's comments file from the server into .clipnest/comments (a video without one has none), over
// one connection.
FetchReport fetchComments(const std::filesystem::path& channel, const Target& target, const Settings& settings);
// The same over `server`, a Remote not yet connected.
FetchReport fetchComments(const std::filesystem::path& channel, Remote& server);

} // namespace clipnest::publish
