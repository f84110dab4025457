#include "media/check.h"

#include "media/convert.h"
#include "media/ffmpeg.h"
#include "media/name_cover.h"
#include "platform/code_page.h"
#include "platform/working_folder.h"
#include "text/captions.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>

namespace clipnest::media {

namespace {

// What in a name a browser or server reads as something else in an address, or nothing when it survives one. A
// space is fine: the browser percent-encodes it; so is a letter above 127, which the pages write as a reference, so
// the browser asks for its UTF-8, the name the file has on disk.
std::string addressTrouble(std::string_view name) {
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '#') {
            return "a # ends the address there";
        }
        if (c == '?') {
            return "a ? starts a query there";
        }
        if (c == '%') {
            return "a % starts an escape";
        }
        if (byte < 0x20 || byte == 0x7F) {
            return "it holds a control character";
        }
    }
    return "";
}

} // namespace

// Why browsers will not play a video of these streams in this container, or nothing when they will.
std::string playTrouble(const std::string& extension, const std::vector<std::string>& streams) {
    std::set<std::string> videos, audios;
    if (extension == "mp4" || extension == "m4v" || extension == "mov") {
        videos = {"h264", "av1"};
        audios = {"aac"};
    } else if (extension == "webm") {
        videos = {"vp8", "vp9", "av1"};
        audios = {"vorbis", "opus"};
    } else {
        return "browsers do not play ." + extension + " files; MP4 (H.264 video, AAC sound) plays in all of them";
    }
    bool anyVideo = false;
    for (const std::string& stream : streams) {
        const std::string kind = stream.substr(0, 5), codec = stream.substr(6);
        if (kind == "video") {
            anyVideo = true;
            if (!videos.contains(codec) && codec != "mjpeg" && codec != "png") {
                return "its video is " + codec + ", which most browsers do not play (some play the sound alone)";
            }
        } else if (!audios.contains(codec)) {
            return "its sound is " + codec + ", which browsers do not play in a ." + extension + " file";
        }
    }
    return anyVideo ? "" : "it holds no video";
}

namespace {

// The containers cameras and older software write, which only a conversion reads (see probeSource).
bool cameraContainer(const std::string& extension) {
    return extension == "mpg" || extension == "mpeg" || extension == "m2v" || extension == "vob" || extension == "ts" ||
           extension == "mts" || extension == "m2ts" || extension == "avi" || extension == "wmv" || extension == "asf";
}

std::string sizeText(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// What the check looks at: everything, or only what concerns the files of CheckOptions::files.
struct Scope {
    const std::optional<std::set<std::string>>& files;

    bool has(const std::string& name) const { return !files || files->contains(name); }
    bool hasEntry(const LiveEntry& entry) const {
        return has(entry.fileName) || has(std::string(withoutExtension(entry.fileName)) + ".php");
    }
};

// The names the homepage's source lines hold written with references (caf&#233;.mp4, a&amp;b.mp4), read in one pass
// over the homepage when the first name beyond ASCII or with an "&" asks.
class ReferencedSources {
public:
    explicit ReferencedSources(std::string_view homepage) : homepage_(homepage) {}

    bool has(const std::string& inPage) {
        if (!names_) {
            names_.emplace();
            const std::size_t key = markers::SourceKey.size();
            for (std::size_t at = findText(homepage_, markers::SourceKey); at != std::string_view::npos;
                 at = findText(homepage_, markers::SourceKey, at + key)) {
                const std::size_t end = homepage_.find('"', at + key);
                const std::string_view name = homepage_.substr(at + key, end - std::min(end, at + key));
                if (end != std::string_view::npos && name.find('&') != std::string_view::npos) {
                    names_->emplace(name);
                }
            }
        }
        return names_->contains(inPage);
    }

private:
    std::string_view homepage_;
    std::optional<std::set<std::string, std::less<>>> names_;
};

// What ffprobe found, kept by the file's stamp: "size time inode name<TAB>container<TAB>stream stream".
using Probed = std::map<std::string, std::pair<FileStamp, std::optional<Streams>>>;
constexpr const char* ProbesFile = "probes";
// A video ffprobe was stopped on, kept so that the next check does not spend that time again.
constexpr std::string_view SlowMark = "~";

Probed loadProbes(const WorkingFolder& folder) {
    Probed probed;
    const std::optional<WorkingFolder> hidden = folder.subfolder(".clipnest", false);
    std::istringstream lines(hidden ? hidden->read(ProbesFile).value_or("") : "");
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        FileStamp stamp;
        std::string rest;
        if (!(fields >> stamp.size >> stamp.modifiedNs >> stamp.inode) || fields.get() != ' ' ||
            !std::getline(fields, rest)) {
            continue;
        }
        const std::size_t tab = rest.find('\t'), second = rest.find('\t', tab + 1);
        if (tab == std::string::npos || second == std::string::npos) {
            continue;
        }
        std::optional<Streams> streams;
        if (rest.substr(tab + 1, second - tab - 1) == SlowMark) {
            streams = Streams{{}, {}, true};
        } else if (rest.substr(tab + 1, second - tab - 1) != "-") {
            streams = Streams{rest.substr(tab + 1, second - tab - 1), {}};
            std::istringstream words(rest.substr(second + 1));
            for (std::string word; words >> word;) {
                streams->streams.push_back(word);
            }
        }
        probed[rest.substr(0, tab)] = {stamp, streams};
    }
    return probed;
}

void saveProbes(const WorkingFolder& folder, const Probed& probed) {
    std::string text;
    for (const auto& [name, found] : probed) {
        if (name.find_first_of("\t\r\n") != std::string::npos) {
            continue;
        }
        const auto& [stamp, streams] = found;
        text += std::to_string(stamp.size) + " " + std::to_string(stamp.modifiedNs) + " " +
                std::to_string(stamp.inode) + " " + name + "\t" +
                (streams && streams->slow                 ? std::string(SlowMark)
                 : streams && !streams->container.empty() ? streams->container
                 : streams                                ? "?"
                                                          : "-") +
                "\t";
        for (std::size_t i = 0; streams && i < streams->streams.size(); ++i) {
            text += (i ? " " : "") + streams->streams[i];
        }
        text += "\n";
    }
    if (std::optional<WorkingFolder> hidden = folder.subfolder(".clipnest", true)) {
        hidden->write(ProbesFile, text);
    }
}

// Probes the videos whose stamp is not the one kept, side by side on every core.
void probeChanged(const WorkingFolder& folder, const std::vector<std::pair<std::string, FileStamp>>& videos,
                  Probed& probed) {
    std::vector<std::pair<std::string, FileStamp>> todo;
    for (const auto& [video, stamp] : videos) {
        const auto kept = probed.find(video);
        if (kept == probed.end() || !(kept->second.first == stamp)) {
            todo.emplace_back(video, stamp);
        }
    }
    if (todo.empty()) {
        return;
    }
    std::mutex mutex;
    sideBySide(todo.size(), [&](std::size_t i) {
        std::optional<Streams> streams = probe(folder, todo[i].first);
        const std::lock_guard guard(mutex);
        probed[todo[i].first] = {todo[i].second, std::move(streams)};
    });
    saveProbes(folder, probed);
}

// The linked videos' stamps (none for a link or a missing file) and what ffprobe says of the ones to probe.
struct LinkedVideos {
    std::map<std::string, std::optional<FileStamp>> stamps;
    Probed probed;
};

LinkedVideos probeLinkedVideos(const WorkingFolder& folder, const std::vector<LiveEntry>& entries,
                               const CheckOptions& options, const Scope& scope, bool canRead) {
    LinkedVideos videos;
    std::vector<std::pair<std::string, FileStamp>> toProbe;
    for (const LiveEntry& entry : entries) {
        const std::string& video = entry.fileName;
        if (!isPlainName(video) || videos.stamps.contains(video) || !scope.hasEntry(entry)) {
            continue;
        }
        const std::optional<FileStamp> stamp = folder.isLink(video) ? std::nullopt : folder.stamp(video);
        videos.stamps[video] = stamp;
        if (stamp && canRead && scope.has(video) && (!options.probeOnly || options.probeOnly->contains(video))) {
            toProbe.emplace_back(video, *stamp);
        }
    }
    if (!toProbe.empty()) {
        videos.probed = loadProbes(folder);
        probeChanged(folder, toProbe, videos.probed);
    }
    return videos;
}

// What keeps one entry's video from playing for a visitor: its name, its place, its size, its index and its streams.
void checkVideo(const WorkingFolder& folder, ReferencedSources& referenced, const std::string& video,
                const LinkedVideos& videos, const CheckOptions& options, std::vector<Problem>& problems) {
    if (const std::string trouble = addressTrouble(video); !trouble.empty()) {
        problems.push_back({video, "the name does not survive an address (" + trouble +
                                       "): rename it with clipnest rename " + shellOperand(video) + " NEW"});
    }
    if (!isPlainName(video)) {
        return;
    }
    const std::string inPage = nameInPage(video);
    if (inPage != video && !referenced.has(inPage) && video.find('&') != std::string::npos) {
        problems.push_back({video,
                            "the homepage writes the name with a bare \"&\", which a browser reads as the start of "
                            "a character reference, so its address may not reach the file: delete the entry and "
                            "make it again, and Clipnest writes it as \"&amp;\""});
    } else if (inPage != video && !referenced.has(inPage)) {
        problems.push_back(
            {video, "the homepage holds the name's letters beyond ASCII as Windows-1252 bytes, as Clipnest wrote "
                    "them before, and a server that sends UTF-8 breaks that link: write them as references in "
                    "homepage.html (" +
                        inPage + "), or delete the entry and make it again"});
    }
    if (folder.isLink(video)) {
        problems.push_back({video, "it is a symbolic link, which Clipnest never follows and publish does "
                                   "not upload: put the video itself in the folder"});
        return;
    }
    const std::optional<FileStamp> stamp = videos.stamps.at(video);
    if (!stamp) {
        problems.push_back({video, "the homepage links it, but it is not in the folder: put it there, "
                                   "or delete its entry with clipnest delete " +
                                       shellOperand(video)});
        return;
    }
    if (options.maxUpload && stamp->size > options.maxUpload) {
        problems.push_back({video, "it is " + sizeText(stamp->size) + ", over max_upload in " + options.settingsFile +
                                       ": make it smaller, for example with ffmpeg -i " + shellPath(video) +
                                       " -crf 28 SMALLER.mp4"});
    }
    const std::string extension = extensionOf(video);
    if ((extension == "mp4" || extension == "m4v" || extension == "mov") && indexAtEnd(folder.pathOf(video))) {
        problems.push_back({video,
                            "its index is at the end, so it starts only after the browser fetched the "
                            "end: clipnest check --fix moves it to the front (ffmpeg -i IN -c copy "
                            "-movflags +faststart OUT)",
                            true});
    }
    if (const auto found = videos.probed.find(video); found != videos.probed.end()) {
        const std::optional<Streams>& streams = found->second.second;
        // Only a real video is worth converting: ffmpeg reading a playlist or a list of files as its input would
        // fetch what it names.
        const std::string convert = ": clipnest convert " + shellOperand(video) +
                                    " (or clipnest check --fix) makes an MP4 of it every browser plays, and keeps "
                                    "the original";
        if (!streams && cameraContainer(extension)) {
            problems.push_back({video, playTrouble(extension, {}) + convert, false, true});
        } else if (!streams) {
            problems.push_back({video, "ffprobe cannot read it as an MP4 or WebM video (another container, a "
                                       "playlist or a damaged file): put the video itself in its place"});
        } else if (streams->slow) {
            problems.push_back({video, std::string(NotReadInTime) +
                                           " (ffprobe was stopped): a damaged file, or one made to keep a reader "
                                           "busy; put the video itself in its place"});
        } else if (const std::string trouble = playTrouble(extension, streams->streams); !trouble.empty()) {
            problems.push_back({video, trouble + convert, false, true});
        }
    }
}

// Clipnest writes what it puts in the homepage as ASCII with references; a byte beyond ASCII is someone else's, in a
// code page a server that sends UTF-8 shows wrongly. (A video's name is named on its own line, so a byte within an
// entry's name, or its name without the extension, does not count here.)
void checkHomepageBytes(std::string_view text, const std::vector<LiveEntry>& entries, std::vector<Problem>& problems) {
    std::vector<std::string_view> names;
    for (const LiveEntry& entry : entries) {
        for (const std::string_view name : {std::string_view(entry.fileName), withoutExtension(entry.fileName)}) {
            // Only a name with such a byte can cover one.
            if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
                names.push_back(name);
            }
        }
    }
    if (const std::size_t beyond = NameCover(names).firstUncoveredHighByte(text); beyond != std::string_view::npos) {
        const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(beyond), '\n') + 1;
        problems.push_back({"homepage.html",
                            "line " + std::to_string(line) +
                                " holds letters beyond ASCII as windows-1252 bytes, which a server that sends "
                                "charset=UTF-8 (many do) shows wrongly: write them as references such as &#233;, "
                                "or have the server send windows-1252 (AddDefaultCharset windows-1252 in .htaccess)"});
    }
}

// Browsers read captions only as WebVTT: a caption file the pages name that is something else shows nothing. The
// caption files are sorted by the video they may belong to (NAME.vtt, NAME.LANG.vtt, and the .srt of each) once, not
// looked through once an entry.
void checkCaptions(const WorkingFolder& folder, const std::vector<std::string>& names,
                   const std::vector<LiveEntry>& entries, const Scope& scope, std::vector<Problem>& problems) {
    std::map<std::string_view, std::vector<std::string>> byStem;
    for (const std::string& name : names) {
        if (!name.ends_with(".vtt") && !name.ends_with(".srt")) {
            continue;
        }
        const std::string_view stem = std::string_view(name).substr(0, name.size() - 4);
        byStem[stem].push_back(name);
        if (const std::size_t dot = stem.rfind('.'); dot != std::string_view::npos) {
            byStem[stem.substr(0, dot)].push_back(name);
        }
    }
    for (const LiveEntry& entry : entries) {
        const auto candidates = byStem.find(withoutExtension(entry.fileName));
        if (candidates == byStem.end()) {
            continue;
        }
        for (const CaptionFile& caption : captionFilesOf(entry.fileName, candidates->second)) {
            if (!scope.has(caption.name) || std::any_of(problems.begin(), problems.end(),
                                                        [&](const Problem& p) { return p.file == caption.name; })) {
                continue;
            }
            // Its size first: a file of hundreds of megabytes is not read to be told so.
            const std::optional<FileStamp> stamp = folder.stamp(caption.name);
            if (stamp && stamp->size > CaptionMaxBytes) {
                problems.push_back({caption.name, "it is " + sizeText(stamp->size) +
                                                      ", over the 2 MB a caption file may have: every visitor's "
                                                      "browser fetches it whole; it is no captions of one video"});
            } else if (!isWebVtt(folder.read(caption.name).value_or("").substr(0, 16))) {
                problems.push_back({caption.name, "it is not WebVTT (it does not start with WEBVTT), so "
                                                  "browsers show none of its captions: convert it, for "
                                                  "example with ffmpeg -i " +
                                                      shellPath(caption.name) + " NEW.vtt"});
            }
        }
        // A SubRip file too large is never converted, so its video shows none of its captions; beside its own .vtt it
        // is not used and harms nothing.
        for (const CaptionFile& caption : captionFilesOf(entry.fileName, candidates->second, "srt")) {
            const std::string vtt = caption.name.substr(0, caption.name.size() - 4) + ".vtt";
            if (!scope.has(caption.name) || folder.exists(vtt)) {
                continue;
            }
            const std::optional<FileStamp> stamp = folder.stamp(caption.name);
            if (stamp && stamp->size > CaptionMaxBytes) {
                problems.push_back({caption.name, "it is " + sizeText(stamp->size) +
                                                      ", over the 2 MB a caption file may have, so it is not "
                                                      "converted to " +
                                                      vtt + " and the video shows none of its captions"});
            }
        }
    }
}

// A name on disk that is no UTF-8 of code-page letters: no page can name it. A page of that kind is most likely one an
// earlier Clipnest wrote under the Windows-1252 bytes of its name, which no browser asks for.
void checkUnnamed(std::vector<std::string> unnamed, const std::vector<LiveEntry>& entries,
                  std::vector<Problem>& problems) {
    std::sort(unnamed.begin(), unnamed.end());
    for (const std::string& onDisk : unnamed) {
        // Named by its bytes, as a terminal cannot show them: caf\xE9.php.
        std::string escaped;
        for (const char c : onDisk) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            escaped += static_cast<unsigned char>(c) >= 0x80 ? std::string(hex) : std::string(1, c);
        }
        const std::string shown = codePageToUtf8(onDisk);
        const std::string extension = extensionOf(onDisk);
        const auto entry = std::find_if(entries.begin(), entries.end(), [&](const LiveEntry& e) {
            return std::string(withoutExtension(e.fileName)) + ".php" == onDisk;
        });
        if (extension == "php" && entry != entries.end()) {
            problems.push_back(
                {escaped, "an earlier Clipnest wrote this page under the Windows-1252 bytes of its name, which no "
                          "browser asks for; the entry's page is now " +
                              shown + " in UTF-8: clipnest entry --create-page " +
                              shellOperand(codePageToUtf8(entry->fileName)) +
                              " writes it; copy your own edits over, then delete the old file"});
        } else if (extension == "mp4" || extension == "m4v" || extension == "mov" || extension == "webm" ||
                   extension == "php") {
            problems.push_back({escaped, "its name on disk is not UTF-8 of letters the pages can write "
                                         "(Windows-1252), so no page can name it: rename the file"});
        }
    }
}

// The folder's files no page can name, then the pages Clipnest made (they hold the description's marker) that no
// entry links any more.
void checkFolderFiles(const std::filesystem::path& channel, const WorkingFolder& folder,
                      const std::vector<LiveEntry>& entries, std::vector<Problem>& problems) {
    std::set<std::string> pages;
    for (const LiveEntry& entry : entries) {
        pages.insert(std::string(withoutExtension(entry.fileName)) + ".php");
    }
    std::vector<std::string> orphans, unnamed;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(channel, ec), end; !ec && it != end; it.increment(ec)) {
        const std::optional<std::string> named = WorkingFolder::nameOf(it->path());
        if (!named) {
            unnamed.push_back(it->path().filename().string());
            continue;
        }
        const std::string& name = *named;
        if (name.size() > 4 && name.ends_with(".php") && name != "change_file_name.php" && !pages.contains(name) &&
            isPlainName(name) &&
            folder.read(name).value_or("").find(markers::IndividualDescriptionTail) != std::string::npos) {
            orphans.push_back(name);
        }
    }
    checkUnnamed(std::move(unnamed), entries, problems);
    std::sort(orphans.begin(), orphans.end());
    for (const std::string& name : orphans) {
        problems.push_back({name, "a video page that no entry of the homepage links: delete it, or give its "
                                  "video an entry again"});
    }
}

} // namespace

CheckReport checkChannel(const std::filesystem::path& channel, const CheckOptions& options) {
    CheckReport report;
    const WorkingFolder folder(channel);
    const std::optional<std::string> homepage = folder.read("homepage.html");
    if (!homepage) {
        report.problems.push_back({"homepage.html", "there is no homepage.html in the folder to check"});
        return report;
    }
    const Scope scope{options.files};
    const std::vector<LiveEntry> entries = liveEntries(*homepage);
    const bool canRead = canProbe();
    const LinkedVideos videos = probeLinkedVideos(folder, entries, options, scope, canRead);
    ReferencedSources referenced(*homepage);
    for (const LiveEntry& entry : entries) {
        if (scope.hasEntry(entry)) {
            checkVideo(folder, referenced, entry.fileName, videos, options, report.problems);
        }
    }
    if (scope.has("homepage.html")) {
        checkHomepageBytes(*homepage, entries, report.problems);
    }
    if (!canRead) {
        report.notes.push_back("ffprobe is not installed, so whether browsers play the videos was not checked "
                               "(Debian's ffmpeg package has it)");
    }
    // Only the files that go up are looked at when they are given: the folder is not listed for them.
    const std::vector<std::string> names =
        options.files ? std::vector<std::string>(options.files->begin(), options.files->end()) : folder.names();
    checkCaptions(folder, names, entries, scope, report.problems);
    if (!options.files) {
        checkFolderFiles(channel, folder, entries, report.problems);
    }
    return report;
}

} // namespace clipnest::media
