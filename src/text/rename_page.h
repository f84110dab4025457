#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace clipnest {

// change_file_name.php for one file, from the first page of templates/rename_page.php. Each name is escaped for a PHP
// double-quoted string, so the server renames exactly the typed file. After one successful rename the page deletes
// itself.
std::string buildRenamePage(std::string_view oldName, std::string_view newName);

// One file the rename page renames on the server.
struct RenamePair {
    std::string from, to;
    bool operator==(const RenamePair&) const = default;
};

// change_file_name.php for a video and its comments file, the video's pair first, from the second page of
// templates/rename_page.php. It renames all of them in one call or none: when any target exists, or the video is not
// there, it renames nothing and says why; when a rename fails, the ones before it are turned back. A target that holds
// the same bytes as its old file already is left, and so is the old file: the page deletes nothing it did not rename.
// A pair whose file is missing (no comments yet) is skipped. A rename whose video is not there when its turn comes
// (an earlier call did it, or it never arrived) is passed over with its comments; when none is left, nothing is
// renamed. After a call that renamed, the page deletes itself.
std::string buildRenamePage(std::span<const RenamePair> pairs);

// The rename page that renames what `pending` (the page in the folder, as this file wrote it) renames and then
// `pairs`, as one call's work, in that order; a pending pair of a name that `pairs` rename again goes. Without a
// pending page it is the page for `pairs` alone, the one-file page when `onePage` and there is one pair.
std::string queuedRenamePage(std::string_view pending, std::span<const RenamePair> pairs, bool onePage);

// Whether the rename page text renames `name` to another name. The page checks every new name before it renames
// anything, so a rename to that name must wait until the page has run.
bool renamesAway(std::string_view pageText, std::string_view name);

// How many renames the rename page text holds: a file, or a video with its page and comments, each one.
std::size_t renamesHeld(std::string_view pageText);

// Whether the rename page text renames `from` to `to` on the server, at once or through names between.
bool renamesOnServer(std::string_view pageText, std::string_view from, std::string_view to);
// The names the file takes there, `from` first and `to` last; nothing when the page does not take it there.
std::vector<std::string> renameSteps(std::string_view pageText, std::string_view from, std::string_view to);

// The renames the rename page text holds, in the order the server does them, as code-page names.
std::vector<RenamePair> renamePairs(std::string_view pageText);

// The rename page's own name, which no entry's page may take.
inline constexpr std::string_view RenamePageFile = "change_file_name.php";

// Whether the visitors write the file of this name on the server, through the video pages: a video's comments
// (`*_comments.txt`), the count of recent posts (comment_rate_limits.txt) or of the day's mails to the host
// (comment_mail_count.txt), in any case, as a host whose file system
// ignores case holds them under any case.
bool isVisitorsFile(std::string_view name);

// Why the rename page must not rename `oldName` to `newName` (both code-page names that pass isRenameName), or
// nothing when it may. It never renames itself, a visitors' file or the moderation file, in any case, nor a file to or
// from a name the server would run as a program: a comment turned into code would run for every visitor, and a page
// turned into text would show its code.
std::optional<std::string> renameRefusal(std::string_view oldName, std::string_view newName);

// Whether a server may run a file of this name as a program or read it as its own settings: one of its extensions
// (.php, .phtml, .shtml, .cgi, .fcgi, .pl, .py, .aspx, .jsp, ...) is a handler's, as a host's "AddHandler" may take
// any of them; it is .htaccess, .user.ini or another settings file; or it ends in a dot or a blank, which a Windows
// server drops. Neither an entry nor the rename page takes such a name.
bool runsOnServer(std::string_view name);

} // namespace clipnest
