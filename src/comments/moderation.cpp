#include "comments/moderation.h"

#include "platform/code_page.h"
#include "platform/working_folder.h"
#include "publish/manifest.h"
#include "publish/remote.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/individual_page.h"

#include <sstream>

namespace clipnest::publish {

namespace {

constexpr std::string_view FetchedFolder = "comments";

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

} // namespace

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
        comments.push_back({std::string(bytes.substr(from, textEnd - from)), std::string(date), sha256Hex(record)});
        from = end + 1;
        lf = end;
    }
    return comments;
}

Moderation readModeration(const std::filesystem::path& channel) {
    Moderation moderation;
    std::istringstream lines(WorkingFolder(channel).read(CommentModerationFile).value_or(""));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.starts_with("hide ")) {
            moderation.hidden.insert(line.substr(5));
        } else if (line.starts_with("close ")) {
            // The server's pages compare the line with their comments file's name on disk, in UTF-8.
            const std::string file = line.substr(6);
            moderation.closed.insert(toCodePage(file).value_or(file));
        }
    }
    return moderation;
}

bool writeModeration(const std::filesystem::path& channel, const Moderation& moderation) {
    std::string text;
    for (const std::string& hash : moderation.hidden) {
        text += "hide " + hash + "\n";
    }
    for (const std::string& file : moderation.closed) {
        text += "close " + codePageToUtf8(file) + "\n";
    }
    WorkingFolder folder(channel);
    if (text.empty()) {
        return !folder.exists(CommentModerationFile) || folder.remove(CommentModerationFile);
    }
    return folder.write(CommentModerationFile, text);
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
    for (const LiveEntry& entry : homepageEntries(folder)) {
        const std::string file = commentsFileOf(entry.fileName);
        if (!isPlainName(file)) {
            continue;
        }
        int number = 0;
        for (StoredComment& comment : parseComments(fetched->read(file).value_or(""))) {
            const bool hidden = moderation.hidden.contains(comment.hash);
            listed.push_back({entry.fileName, ++number, std::move(comment), hidden});
        }
    }
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
    return report;
}

} // namespace clipnest::publish
