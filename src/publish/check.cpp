#include "publish/check.h"

#include "shell/program.h"
#include "shell/working_folder.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/markers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <unistd.h>

namespace clipnest::publish {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string extensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? "" : lower(name.substr(dot + 1));
}

// What in a name a browser or server reads as something else in an address, or nothing when it survives one. A
// space is fine: the browser percent-encodes it. A byte above 127 is not: the page writes it in its code page, the
// browser asks for its UTF-8, and the server has neither name in common.
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
        if (byte >= 0x80) {
            return "a letter beyond ASCII is asked for in another encoding than the file's name is in";
        }
    }
    return "";
}

// The video and audio codecs of a file by ffprobe, as "video:h264" and "audio:aac" words; nothing when it cannot
// tell.
std::optional<std::vector<std::string>> streamsOf(const std::filesystem::path& file) {
    const ProgramRun run = runProgram(
        {"ffprobe", "-v", "error", "-show_entries", "stream=codec_type,codec_name", "-of", "csv=p=0", file.string()});
    if (!run.started || run.status != 0) {
        return std::nullopt;
    }
    std::vector<std::string> streams;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos) {
            continue;
        }
        std::string a = line.substr(0, comma), b = line.substr(comma + 1);
        while (!b.empty() && (b.back() == '\r' || b.back() == ',')) {
            b.pop_back();
        }
        if (a == "video" || a == "audio") {
            std::swap(a, b);
        }
        if (b == "video" || b == "audio") {
            streams.push_back(b + ":" + a);
        }
    }
    return streams;
}

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

std::string sizeText(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

} // namespace

bool indexAtEnd(const std::filesystem::path& file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(openFileNoFollow(file), &std::fclose);
    if (!in) {
        return false;
    }
    std::uint64_t at = 0;
    for (int boxes = 0; boxes < 1000; ++boxes) {
        std::array<unsigned char, 16> head{};
        if (std::fseek(in.get(), static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(head.data(), 1, 8, in.get()) != 8) {
            return false;
        }
        std::uint64_t size = (std::uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
        const std::string type(reinterpret_cast<const char*>(head.data()) + 4, 4);
        if (size == 1) {
            if (std::fread(head.data() + 8, 1, 8, in.get()) != 8) {
                return false;
            }
            size = 0;
            for (int i = 8; i < 16; ++i) {
                size = (size << 8) | head[static_cast<std::size_t>(i)];
            }
        }
        if (type == "moov") {
            return false;
        }
        if (type == "mdat") {
            return true;
        }
        if (size < 8) {
            return false; // to the end of the file, or damaged
        }
        at += size;
    }
    return false;
}

std::string moveIndexToFront(const std::filesystem::path& channel, const std::string& video) {
    if (!isPlainName(video) || WorkingFolder(channel).isLink(video)) {
        return "only files right in the channel folder are changed";
    }
    const std::filesystem::path original = channel / video;
    const std::filesystem::path part = channel / ("." + video + ".clipnest-faststart." + extensionOf(video));
    const ProgramRun run = runProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", original.string(),
                                       "-map", "0", "-c", "copy", "-movflags", "+faststart", part.string()});
    std::error_code ec;
    if (!run.started) {
        return "ffmpeg is not installed";
    }
    if (run.status != 0 || indexAtEnd(part)) {
        std::filesystem::remove(part, ec);
        return "ffmpeg could not rewrite it; the original is as it was";
    }
    std::filesystem::rename(part, original, ec);
    if (ec) {
        std::filesystem::remove(part, ec);
        return "the rewritten file could not take its place; the original is as it was";
    }
    return "";
}

CheckReport checkChannel(const std::filesystem::path& channel, const Settings& settings) {
    CheckReport report;
    const WorkingFolder folder(channel);
    const std::optional<std::string> homepage = folder.read("homepage.html");
    if (!homepage) {
        report.problems.push_back({"homepage.html", "there is no homepage.html in the folder to check"});
        return report;
    }
    const std::vector<LiveEntry> entries = liveEntries(*homepage);
    const bool probe = onPath("ffprobe");
    std::set<std::string> pages;
    for (const LiveEntry& entry : entries) {
        const std::string& video = entry.fileName;
        const std::string page = std::string(withoutExtension(video)) + ".php";
        pages.insert(page);
        if (const std::string trouble = addressTrouble(video); !trouble.empty()) {
            report.problems.push_back({video, "the name does not survive an address (" + trouble +
                                                  "): rename it with clipnest rename " + video + " NEW"});
        }
        if (!isPlainName(video) || folder.isLink(video)) {
            continue;
        }
        const std::optional<FileStamp> stamp = folder.stamp(video);
        if (!stamp) {
            report.problems.push_back({video, "the homepage links it, but it is not in the folder: put it there, "
                                              "or delete its entry with clipnest delete " +
                                                  video});
            continue;
        }
        if (settings.maxUpload && stamp->size > settings.maxUpload) {
            report.problems.push_back(
                {video, "it is " + sizeText(stamp->size) + ", over max_upload in " + std::string(SettingsFile) +
                            ": make it smaller, for example with ffmpeg -i " + video + " -crf 28 SMALLER.mp4"});
        }
        const std::string extension = extensionOf(video);
        if ((extension == "mp4" || extension == "m4v" || extension == "mov") && indexAtEnd(channel / video)) {
            report.problems.push_back({video,
                                       "its index is at the end, so it starts only after the browser fetched the "
                                       "end: clipnest check --fix moves it to the front (ffmpeg -i IN -c copy "
                                       "-movflags +faststart OUT)",
                                       true});
        }
        if (probe) {
            const std::optional<std::vector<std::string>> streams = streamsOf(channel / video);
            const std::string trouble = streams ? playTrouble(extension, *streams) : "ffprobe cannot read it";
            if (!trouble.empty()) {
                report.problems.push_back({video, trouble + ": convert it, for example with ffmpeg -i " + video +
                                                      " -c:v libx264 -c:a aac -movflags +faststart NEW.mp4"});
            }
        }
    }
    if (!probe) {
        report.notes.push_back("ffprobe is not installed, so whether browsers play the videos was not checked "
                               "(Debian's ffmpeg package has it)");
    }
    // A page Clipnest made (it holds the description's marker) that no entry links any more.
    std::vector<std::string> orphans;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(channel, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 4 && name.ends_with(".php") && name != "change_file_name.php" && !pages.contains(name) &&
            isPlainName(name) &&
            folder.read(name).value_or("").find(markers::IndividualDescriptionTail) != std::string::npos) {
            orphans.push_back(name);
        }
    }
    std::sort(orphans.begin(), orphans.end());
    for (const std::string& name : orphans) {
        report.problems.push_back({name, "a video page that no entry of the homepage links: delete it, or give its "
                                         "video an entry again"});
    }
    return report;
}

} // namespace clipnest::publish
