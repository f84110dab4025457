#include "comments/moderation.h"

#include "history/channel_lock.h"
#include "platform/code_page.h"
#include "platform/working_folder.h"
#include "publish/manifest.h"
#include "publish/remote.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/page_text.h"

#include <algorithm>
#include <charconv>
#include <sstream>
#include <tuple>

namespace clipnest::publish {

namespace {

constexpr std::string_view FetchedFolder = "comments";
constexpr std::string_view SeenFile = "seen", NewFile = "new";

// The folder the fetched comment files are kept in, made when `create`; nothing when it is not a real folder.
std::optional<WorkingFolder> fetchedFolder(const WorkingFolder& channel, bool create) {
    const std::optional<WorkingFolder> hidden = channel.subfolder(".clipnest", create);
    return hidden ? hidden->subfolder(FetchedFolder, create) : std::nullopt;
}

bool isDate(std::string_view s) {
    static constexpr std::string_view Shape = "dddd-dd-dd dd:dd:dd";
    if (s.size() != Shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (Shape[i] == 'd' ? (s[i] < '0' || s[i] > '9') : s[i] != Shape[i]) {
            return false;
        }
    }
    return true;
}

bool isHex16(std::string_view s) {
    return s.size() >= 16 && s.substr(0, 16).find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

int hexValue(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// rawurlencode() read back; a "%" not followed by two hex digits stays as it is.
std::string percentDecoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// A set of hashes, one a line, as the fetched folder keeps them.
std::set<std::string> hashLines(std::string_view text) {
    std::set<std::string> hashes;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            hashes.insert(line);
        }
    }
    return hashes;
}

} // namespace

void readServerLine(std::string_view line, StoredComment& comment) {
    if (line.starts_with("host s=") && isHex16(line.substr(7))) {
        comment.host = true;
        return;
    }
    if (!line.starts_with("n=") || !isHex16(line.substr(2))) {
        return;
    }
    line.remove_prefix(18);
    if (line.starts_with(" h=1")) {
        comment.held = true;
        line.remove_prefix(4);
    }
    if (line.starts_with(" t=") && isHex16(line.substr(3))) {
        line.remove_prefix(19);
    }
    if (line.starts_with(" a=")) {
        line.remove_prefix(3);
        comment.name = percentDecoded(line.substr(0, line.find(' ')));
    }
}

std::vector<StoredComment> parseComments(std::string_view bytes) {
    std::vector<StoredComment> comments;
    std::size_t from = 0;
    // Each comment ends at the first line break that a date line and a line after it follow, as the page's lazy
    // pattern finds it.
    for (std::size_t lf = bytes.find('\n', from); lf != std::string_view::npos; lf = bytes.find('\n', lf + 1)) {
        const std::string_view date = bytes.substr(lf + 1, 19);
        if (!isDate(date) || bytes.substr(lf + 20, 2) != "\r\n") {
            continue;
        }
        const std::size_t end = bytes.find('\n', lf + 22);
        if (end == std::string_view::npos) {
            break;
        }
        const std::size_t textEnd = lf > from && bytes[lf - 1] == '\r' ? lf - 1 : lf;
        const std::string_view record = bytes.substr(from, end + 1 - from);
        StoredComment comment{
            std::string(bytes.substr(from, textEnd - from)), std::string(date), sha256Hex(record), {}};
        readServerLine(bytes.substr(lf + 22, end - (lf + 22)), comment);
        comments.push_back(std::move(comment));
        from = end + 1;
        lf = end;
    }
    return comments;
}

Moderation readModeration(const std::filesystem::path& channel) {
    Moderation moderation;
    std::istringstream lines(WorkingFolder(channel).read(CommentModerationFile).value_or(""));
    // The server's pages compare a thread's line with their comments file's name on disk, in UTF-8.
    const auto fileName = [](const std::string& file) { return toCodePage(file).value_or(file); };
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        if (value.empty()) {
            continue;
        }
        if (key == "hide") {
            moderation.hidden.insert(value);
        } else if (key == "close") {
            moderation.closed.insert(fileName(value));
        } else if (key == "approve") {
            moderation.approved.insert(value);
        } else if (key == "hold" && value == "*") {
            moderation.holdAll = true;
        } else if (key == "hold") {
            moderation.held.insert(fileName(value));
        } else if (key == "notify") {
            moderation.notify = value;
        } else if (key == "notify_per_day") {
            std::from_chars(value.data(), value.data() + value.size(), moderation.notifyPerDay);
        } else if (key == "site") {
            moderation.site = value;
        } else if (key == "host") {
            moderation.host = value;
        }
    }
    return moderation;
}

std::string moderationText(const Moderation& m) {
    std::string text;
    for (const auto& [key, set, file] :
         {std::tuple{"hide ", &m.hidden, false}, std::tuple{"close ", &m.closed, true},
          std::tuple{"approve ", &m.approved, false}, std::tuple{"hold ", &m.held, true}}) {
        for (const std::string& value : *set) {
            text += key + (file ? codePageToUtf8(value) : value) + "\n";
        }
    }
    text += m.holdAll ? "hold *\n" : "";
    text += m.notify.empty() ? "" : "notify " + m.notify + "\n";
    text += m.notify.empty() || m.notifyPerDay <= 0 ? "" : "notify_per_day " + std::to_string(m.notifyPerDay) + "\n";
    text += m.site.empty() ? "" : "site " + m.site + "\n";
    text += m.host.empty() ? "" : "host " + m.host + "\n";
    return text;
}

namespace {

// The homepage's title as a visitor reads it, on one line.
std::string channelTitle(const WorkingFolder& folder) {
    const std::optional<std::string> homepage = folder.read(markers::HomepageFile);
    const std::optional<std::string_view> value = homepage ? valueAfterMarker(*homepage, markers::Title) : std::nullopt;
    std::string title = value ? shownText(*value) : std::string();
    std::erase_if(title, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
    return title;
}

// `moderation` with the lines derived from the settings and the homepage as they are now; false, and nothing
// changed, when the settings cannot be read. The address and the title go along only with something else to say, or
// the title once the host has a reply on the server (`replied`, or one among the comments fetched).
bool derive(const std::filesystem::path& channel, Moderation& moderation, bool replied) {
    const Result<Settings> settings = loadSettings(channel);
    if (!settings) {
        return false;
    }
    moderation.holdAll = settings->commentsHeld;
    moderation.notify = settings->notify;
    moderation.notifyPerDay = settings->notifyPerDay ? settings->notifyPerDay : DefaultNotifyPerDay;
    const std::string title = channelTitle(WorkingFolder(channel));
    const bool decisions = !moderation.hidden.empty() || !moderation.closed.empty() || !moderation.approved.empty() ||
                           !moderation.held.empty() || moderation.holdAll || !moderation.notify.empty();
    const auto isReply = [](const ListedComment& c) { return c.comment.host; };
    const std::vector<ListedComment> fetched =
        decisions || replied ? std::vector<ListedComment>() : fetchedComments(channel);
    replied = replied || std::any_of(fetched.begin(), fetched.end(), isReply);
    moderation.host = decisions || replied ? title : std::string();
    moderation.site = decisions || !moderation.host.empty() ? settings->site : std::string();
    return true;
}

bool writeText(const std::filesystem::path& channel, const std::string& text) {
    WorkingFolder folder(channel);
    if (text.empty()) {
        return !folder.exists(CommentModerationFile) || folder.remove(CommentModerationFile);
    }
    return folder.write(CommentModerationFile, text);
}

} // namespace

bool writeModeration(const std::filesystem::path& channel, const Moderation& moderation) {
    Moderation written = moderation;
    derive(channel, written, false);
    return writeText(channel, moderationText(written));
}

std::optional<std::string> updateModeration(const std::filesystem::path& channel, bool replied, int waitMs) {
    ChannelLock lock;
    if (!lock.take(WorkingFolder(channel), waitMs)) {
        return std::string(ChannelLock::BusyWords) + "; " + CommentModerationFile + " was not brought up to date";
    }
    Moderation moderation = readModeration(channel);
    if (!derive(channel, moderation, replied)) {
        return std::nullopt; // what the settings lack is said where they are read
    }
    const std::string text = moderationText(moderation);
    if (text == WorkingFolder(channel).read(CommentModerationFile).value_or("")) {
        return std::nullopt;
    }
    if (!writeText(channel, text)) {
        return std::string("Clipnest could not write ") + CommentModerationFile;
    }
    return std::nullopt;
}

namespace {

bool setMember(const std::filesystem::path& channel, std::set<std::string> Moderation::*which, const std::string& key,
               bool member) {
    Moderation moderation = readModeration(channel);
    std::set<std::string>& set = moderation.*which;
    if (set.contains(key) == member) {
        return true;
    }
    if (member) {
        set.insert(key);
    } else {
        set.erase(key);
    }
    return writeModeration(channel, moderation);
}

} // namespace

bool setHidden(const std::filesystem::path& channel, const std::string& hash, bool hidden) {
    return setMember(channel, &Moderation::hidden, hash, hidden);
}

bool setClosed(const std::filesystem::path& channel, std::string_view video, bool closed) {
    return setMember(channel, &Moderation::closed, commentsFileOf(video), closed);
}

bool setApproved(const std::filesystem::path& channel, const std::string& hash, bool approved) {
    return setMember(channel, &Moderation::approved, hash, approved);
}

bool setHeld(const std::filesystem::path& channel, std::string_view video, bool held) {
    return setMember(channel, &Moderation::held, commentsFileOf(video), held);
}

std::string commentsFileOf(std::string_view video) {
    return std::string(withoutExtension(video)) + "_comments.txt";
}

std::vector<ListedComment> fetchedComments(const std::filesystem::path& channel) {
    const WorkingFolder folder(channel);
    const Moderation moderation = readModeration(channel);
    const std::optional<WorkingFolder> fetched = fetchedFolder(folder, false);
    std::vector<ListedComment> listed;
    if (!fetched) {
        return listed;
    }
    const std::set<std::string> fresh = hashLines(fetched->read(NewFile).value_or(""));
    for (const LiveEntry& entry : homepageEntries(folder)) {
        const std::string file = commentsFileOf(entry.fileName);
        if (!isPlainName(file)) {
            continue;
        }
        int number = 0;
        for (StoredComment& comment : parseComments(fetched->read(file).value_or(""))) {
            const bool hidden = moderation.hidden.contains(comment.hash),
                       approved = moderation.approved.contains(comment.hash), isNew = fresh.contains(comment.hash);
            listed.push_back({entry.fileName, ++number, std::move(comment), hidden, approved, isNew});
        }
    }
    return listed;
}

std::vector<ListedComment> newComments(const std::filesystem::path& channel) {
    std::vector<ListedComment> listed = fetchedComments(channel);
    std::erase_if(listed, [](const ListedComment& c) { return !c.isNew; });
    return listed;
}

FetchReport fetchComments(const std::filesystem::path& channel, const Target& target, const Settings& settings) {
    const std::unique_ptr<Remote> server = openRemote(target, settings);
    return fetchComments(channel, *server);
}

FetchReport fetchComments(const std::filesystem::path& channel, Remote& server) {
    FetchReport report;
    const WorkingFolder folder(channel);
    std::optional<WorkingFolder> fetched = fetchedFolder(folder, true);
    if (!fetched) {
        report.error = "Clipnest could not make the folder .clipnest/comments to keep them in";
        return report;
    }
    for (const LiveEntry& entry : homepageEntries(folder)) {
        const std::string file = commentsFileOf(entry.fileName);
        if (!isPlainName(file)) {
            continue;
        }
        std::string bytes;
        bool missing = false;
        const std::string problem = server.get(file, bytes, missing);
        if (!problem.empty()) {
            // The first video that fails for want of a connection or a login fails them all.
            if (report.videos == 0 && report.failed.empty()) {
                report.error = problem;
                return report;
            }
            report.failed.emplace_back(entry.fileName, problem);
            continue;
        }
        ++report.videos;
        if (missing ? (fetched->exists(file) && !fetched->remove(file)) : !fetched->write(file, bytes)) {
            report.failed.emplace_back(entry.fileName, "Clipnest could not keep its comments in .clipnest/comments");
            continue;
        }
        report.comments += parseComments(bytes).size();
    }
    // What none of the fetches before saw: every comment of the first fetch, and never the host's own replies.
    const std::optional<std::string> seenText = fetched->read(SeenFile);
    std::set<std::string> seen = hashLines(seenText.value_or(""));
    std::string fresh, all;
    for (const ListedComment& c : fetchedComments(channel)) {
        if (!c.comment.host && (!seenText || !seen.contains(c.comment.hash))) {
            fresh += c.comment.hash + "\n";
            ++report.fresh;
            if (report.freshByVideo.empty() || report.freshByVideo.back().first != c.video) {
                report.freshByVideo.emplace_back(c.video, 0);
            }
            ++report.freshByVideo.back().second;
        }
        seen.insert(c.comment.hash);
    }
    for (const std::string& hash : seen) {
        all += hash + "\n";
    }
    if (!fetched->write(NewFile, fresh) || !fetched->write(SeenFile, all)) {
        report.unrecorded = "Clipnest could not keep in .clipnest/comments which comments it has seen";
    }
    return report;
}

} // namespace clipnest::publish
