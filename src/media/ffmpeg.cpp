#include "media/ffmpeg.h"

#include "platform/program.h"
#include "text/document.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>

namespace clipnest::media {

namespace {

// The demuxers of the containers browsers play; ffmpeg opens nothing else.
constexpr const char* VideoFormats = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm";

} // namespace

std::vector<std::string> inputOf(const std::filesystem::path& file) {
    return {"-protocol_whitelist", "file", "-format_whitelist", VideoFormats, "-i", "file:" + file.string()};
}

void sideBySide(std::size_t count, const std::function<void(std::size_t)>& each) {
    std::atomic<std::size_t> next = 0;
    const auto work = [&] {
        for (std::size_t i; (i = next++) < count;) {
            each(i);
        }
    };
    const std::size_t threads =
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, std::max<std::size_t>(count, 1));
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < threads; ++i) {
        helpers.emplace_back(work);
    }
    work();
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

RunLimits probeLimits() {
    return {ProbeMs, RunMemoryBytes};
}

// 20 s, and a second for every 5 s of the clip past that, at most 10 minutes; 60 s where the length is not known.
RunLimits convertLimits(std::optional<double> seconds) {
    const double ms = seconds && *seconds > 0 ? 20000.0 + std::min(*seconds, 3000.0) * 200.0 : 60000.0;
    return {static_cast<int>(std::min(ms, 600000.0)), RunMemoryBytes};
}

RunLimits encodeLimits(std::optional<double> seconds) {
    const double ms = seconds && *seconds > 0 ? 60000.0 + std::min(*seconds, 86400.0) * 10000.0 : 7200000.0;
    return {static_cast<int>(std::min(ms, 2e9)), RunMemoryBytes};
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
    const ProgramRun run = runProgram(argv, std::size_t{1} << 20, probeLimits());
    if (run.timedOut) {
        return Streams{{}, {}, true};
    }
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

namespace {

// An MP4 box: its type, where it starts, its whole size and where its content starts.
struct Box {
    std::string type;
    std::uint64_t at = 0, size = 0, content = 0;
};

// The box that starts at `at` (a 32-bit size, or 1 and a 64-bit one), or nothing when none can be read there.
std::optional<Box> boxAt(std::FILE* in, std::uint64_t at) {
    std::array<unsigned char, 16> head{};
    if (std::fseek(in, static_cast<long>(at), SEEK_SET) != 0 || std::fread(head.data(), 1, 8, in) != 8) {
        return std::nullopt;
    }
    Box box{std::string(reinterpret_cast<const char*>(head.data()) + 4, 4), at,
            (std::uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3], at + 8};
    if (box.size == 1) {
        if (std::fread(head.data() + 8, 1, 8, in) != 8) {
            return std::nullopt;
        }
        box.size = 0;
        for (std::size_t i = 8; i < 16; ++i) {
            box.size = (box.size << 8) | head[i];
        }
        box.content += 8;
    }
    return box;
}

// The first box of that type among those from `at` to `end`, or nothing.
std::optional<Box> findBox(std::FILE* in, std::uint64_t at, std::uint64_t end, std::string_view type) {
    for (int boxes = 0; boxes < 1000 && at < end; ++boxes) {
        const std::optional<Box> box = boxAt(in, at);
        if (!box || box->type == type) {
            return box && box->size >= box->content - box->at ? box : std::nullopt;
        }
        if (box->size < 8) {
            return std::nullopt; // to the end of the file, or damaged
        }
        at += box->size;
    }
    return std::nullopt;
}

std::uint64_t bigEndian(const unsigned char* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

} // namespace

bool indexAtEnd(const std::filesystem::path& file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(openFileNoFollow(file), &std::fclose);
    std::uint64_t at = 0;
    for (int boxes = 0; in && boxes < 1000; ++boxes) {
        const std::optional<Box> box = boxAt(in.get(), at);
        if (!box || box->type == "moov") {
            return false;
        }
        if (box->type == "mdat") {
            return true;
        }
        if (box->size < 8) {
            return false; // to the end of the file, or damaged
        }
        at += box->size;
    }
    return false;
}

std::optional<double> movieLength(const std::filesystem::path& file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(openFileNoFollow(file), &std::fclose);
    const std::optional<Box> movie = in ? findBox(in.get(), 0, UINT64_MAX, "moov") : std::nullopt;
    const std::optional<Box> header =
        movie ? findBox(in.get(), movie->content, movie->at + movie->size, "mvhd") : std::nullopt;
    // Its version, three bytes of flags, two dates, the time scale and the duration: 32-bit values in version 0,
    // 64-bit dates and duration in version 1.
    std::array<unsigned char, 32> bytes{};
    if (!header || std::fseek(in.get(), static_cast<long>(header->content), SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), in.get()) != bytes.size() || bytes[0] > 1) {
        return std::nullopt;
    }
    const bool wide = bytes[0] == 1;
    const std::uint64_t scale = bigEndian(bytes.data() + (wide ? 20 : 12), 4);
    const std::uint64_t duration = bigEndian(bytes.data() + (wide ? 24 : 16), wide ? 8 : 4);
    // A duration of all ones is unknown (a fragmented file), as is none.
    if (scale == 0 || duration == 0 || duration == (wide ? UINT64_MAX : UINT32_MAX)) {
        return std::nullopt;
    }
    return static_cast<double>(duration) / static_cast<double>(scale);
}

std::string moveIndexToFront(WorkingFolder& folder, const std::string& video) {
    if (!isPlainName(video) || folder.isLink(video) || !folder.exists(video)) {
        return "only files right in the channel folder are changed, and no link";
    }
    const std::optional<Streams> before = probe(folder, video);
    if (before && before->slow) {
        return std::string(NotReadInTime) + "; the original is as it was";
    }
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
    const ProgramRun run = runProgram(argv, 0, convertLimits(movieLength(folder.pathOf(video))));
    if (run.timedOut) {
        folder.remove(*part);
        return std::string(NotReadInTime) + "; the original is as it was";
    }
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
                                       "file:" + folder.pathOf(*part).string()},
                                      0, convertLimits(3));
    if (run.started && run.status == 0 && !folder.isLink(video) && folder.replace(*part, video)) {
        return true;
    }
    folder.remove(*part);
    return false;
}

} // namespace clipnest::media
