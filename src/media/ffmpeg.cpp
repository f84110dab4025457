#include "media/ffmpeg.h"

#include "platform/program.h"
#include "text/document.h"

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>

namespace clipnest::media {

namespace {

// The demuxers of the containers browsers play; ffmpeg opens nothing else.
constexpr const char* VideoFormats = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm";

} // namespace

std::vector<std::string> inputOf(const std::filesystem::path& file) {
    return {"-protocol_whitelist", "file", "-format_whitelist", VideoFormats, "-i", "file:" + file.string()};
}

bool canProbe() {
    return onPath("ffprobe");
}

bool canConvert() {
    return onPath("ffmpeg");
}

std::optional<Streams> probe(const WorkingFolder& folder, const std::string& video) {
    if (!isPlainName(video) || folder.isLink(video) || !folder.exists(video)) {
        return std::nullopt;
    }
    std::vector<std::string> argv{"ffprobe", "-v", "error"};
    for (const std::string& word : inputOf(folder.pathOf(video))) {
        argv.push_back(word);
    }
    argv.insert(argv.end(), {"-show_entries", "format=format_name:stream=codec_type,codec_name", "-of", "csv=p=0"});
    const ProgramRun run = runProgram(argv);
    if (!run.started || run.status != 0) {
        return std::nullopt;
    }
    Streams found;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ',')) {
            line.pop_back();
        }
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos) {
            found.container = line;
            continue;
        }
        std::string a = line.substr(0, comma), b = line.substr(comma + 1);
        if (a == "video" || a == "audio") {
            std::swap(a, b);
        }
        if (b == "video" || b == "audio") {
            found.streams.push_back(b + ":" + a);
        }
    }
    return found;
}

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

std::string moveIndexToFront(WorkingFolder& folder, const std::string& video) {
    if (!isPlainName(video) || folder.isLink(video) || !folder.exists(video)) {
        return "only files right in the channel folder are changed, and no link";
    }
    const std::optional<Streams> before = probe(folder, video);
    if (!before) {
        return "ffprobe cannot read it as an MP4 or WebM video; the original is as it was";
    }
    const std::optional<std::string> part = folder.createTemporary();
    if (!part) {
        return "Clipnest could not make a file in the folder to write into; the original is as it was";
    }
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-loglevel", "error", "-y"};
    for (const std::string& word : inputOf(folder.pathOf(video))) {
        argv.push_back(word);
    }
    const std::string muxer = extensionOf(video) == "mov" ? "mov" : "mp4";
    argv.insert(argv.end(), {"-map", "0", "-c", "copy", "-movflags", "+faststart", "-f", muxer,
                             "file:" + folder.pathOf(*part).string()});
    const ProgramRun run = runProgram(argv);
    const std::optional<Streams> after = run.started && run.status == 0 ? probe(folder, *part) : std::nullopt;
    if (!run.started) {
        folder.remove(*part);
        return "ffmpeg is not installed";
    }
    // The new file must hold what the old one held, with its index in front.
    if (!after || after->streams != before->streams || indexAtEnd(folder.pathOf(*part))) {
        folder.remove(*part);
        return "ffmpeg could not rewrite it; the original is as it was";
    }
    if (folder.isLink(video) || !folder.replace(*part, video)) {
        folder.remove(*part);
        return "the rewritten file could not take its place; the original is as it was";
    }
    return "";
}

bool makeTestClip(WorkingFolder& folder, const std::string& video, const std::string& pattern) {
    const std::optional<std::string> part = folder.createTemporary();
    if (!part) {
        return false;
    }
    const ProgramRun run = runProgram({"ffmpeg",
                                       "-nostdin",
                                       "-loglevel",
                                       "error",
                                       "-y",
                                       "-f",
                                       "lavfi",
                                       "-i",
                                       pattern + "=size=320x240:rate=10",
                                       "-t",
                                       "3",
                                       "-c:v",
                                       "libx264",
                                       "-pix_fmt",
                                       "yuv420p",
                                       "-movflags",
                                       "+faststart",
                                       "-f",
                                       "mp4",
                                       "file:" + folder.pathOf(*part).string()});
    if (run.started && run.status == 0 && !folder.isLink(video) && folder.replace(*part, video)) {
        return true;
    }
    folder.remove(*part);
    return false;
}

} // namespace clipnest::media
