#pragma once

#include "publish/settings.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace clipnest::publish {

class Remote;

// One comment as a video page stores it: its text, a line break, the server's date and time, CR LF, the server's line
// about it, a line break. `hash` is the SHA-256 of those bytes, by which the page knows a hidden or approved comment.
// The server's line of a visitor's comment starts with "n=" and the network mark, then " h=1" when it was posted while
// its thread held comments, " t=" and the form's token id, " a=" and the name the visitor gave (percent-encoded UTF-8),
// each only when there is one; the host's reply's line is "host s=" and the start of its signature.
struct StoredComment {
    std::string text, date, hash;
    std::string name;  // the visitor's name as given (UTF-8); empty when none
    bool host = false; // the host's own reply
    bool held = false; // waits for the host's approval before it shows
};

// The server's line read into `comment` (name, host, held); a line of neither shape leaves them as they are.
void readServerLine(std::string_view line, StoredComment& comment);

// The comments of a comments file, oldest first, read as the page reads them.
std::vector<StoredComment> parseComments(std::string_view bytes);

// What the pages follow (comment_moderation.txt). The host's decisions: comments hidden and held comments approved,
// by hash; threads closed and threads that hold new comments for approval, by their comments file's name (code-page
// bytes). Then what Clipnest derives from the settings and the homepage whenever it writes the file: `hold *` for
// `comments = held`, where the notes of new comments go and how many a day, the channel's address and title.
struct Moderation {
    std::set<std::string> hidden, closed, approved, held;
    bool holdAll = false;
    std::string notify;
    int notifyPerDay = 0;
    std::string site, host;
};
Moderation readModeration(const std::filesystem::path& channel);
// The file's text for `moderation`, its lines in a fixed order; empty when it has nothing to say.
std::string moderationText(const Moderation& moderation);
// Writes the file whole (safely), with the lines derived from the channel's settings and homepage as they are now
// (those of `moderation` when the settings cannot be read); no file when it has nothing to say. False when it cannot
// be written.
bool writeModeration(const std::filesystem::path& channel, const Moderation& moderation);
// Brings the file's derived lines up to the settings and the homepage, as every publish does before it starts, so a
// changed setting reaches the server with it; written only when that changes it. `replied`: the host has a reply on
// the server, under the channel's title from now on. It holds the channel's lock for it, waiting up to `waitMs` for
// another writer. Nothing when done, else why not.
std::optional<std::string> updateModeration(const std::filesystem::path& channel, bool replied = false,
                                            int waitMs = 4000);

// Hides the comment of `hash` (or shows it again), or closes the thread of `video` (or opens it); the file is
// written only when that changes it. False when it cannot be written.
bool setHidden(const std::filesystem::path& channel, const std::string& hash, bool hidden);
bool setClosed(const std::filesystem::path& channel, std::string_view video, bool closed);
// Lets the held comment of `hash` show; holds the new comments of `video` for approval (or no longer).
bool setApproved(const std::filesystem::path& channel, const std::string& hash, bool approved);
bool setHeld(const std::filesystem::path& channel, std::string_view video, bool held);

// The name of a video's comments file: its name without extension and "_comments.txt".
std::string commentsFileOf(std::string_view video);

// A comment of the fetched ones, numbered from 1 for the oldest of its video.
struct ListedComment {
    std::string video;
    int number = 0;
    StoredComment comment;
    bool hidden = false;
    bool approved = false; // a held comment the host let through
    bool isNew = false;    // first seen by the last fetch
    // Held and not yet approved: the page does not show it.
    bool waiting() const { return comment.held && !approved; }
};

// The comments last fetched for the homepage's entries, in the homepage's order, oldest first within a video.
std::vector<ListedComment> fetchedComments(const std::filesystem::path& channel);

// The comments the last fetch saw first (.clipnest/comments/new holds their hashes; .clipnest/comments/seen those of
// every comment fetched before), in the order fetchedComments lists them. The host's own replies are never new.
std::vector<ListedComment> newComments(const std::filesystem::path& channel);

struct FetchReport {
    std::size_t videos = 0, comments = 0;
    // The comments none of the fetches before had seen (all of them at the first fetch), by video in the homepage's
    // order; a video without new ones is not named.
    std::size_t fresh = 0;
    std::vector<std::pair<std::string, std::size_t>> freshByVideo;
    std::vector<std::pair<std::string, std::string>> failed; // video, why
    std::string error;                                       // why nothing was fetched
    std::string unrecorded;                                  // why the record of what was seen could not be kept
};

// Reads every entry's comments file from the server into .clipnest/comments (a video without one has none), over
// one connection.
FetchReport fetchComments(const std::filesystem::path& channel, const Target& target, const Settings& settings);
// The same over `server`, a Remote not yet connected.
FetchReport fetchComments(const std::filesystem::path& channel, Remote& server);

} // namespace clipnest::publish
