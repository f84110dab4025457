#include "media/convert.h"

#include "media/ffmpeg.h"
#include "platform/program.h"
#include "text/document.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

namespace clipnest::media {

namespace {

// The demuxers a conversion reads: the containers browsers play, and those cameras, phones and older software write.
// Nothing else, so a playlist or a list of files named .mov is not followed.
constexpr const char* SourceFormats = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,mpeg,mpegts,mpegvideo,avi,asf";

std::vector<std::string> sourceInput(const std::filesystem::path& file) {
    return {"-protocol_whitelist", "file", "-format_whitelist", SourceFormats, "-i", "file:" + file.string()};
}

std::optional<double> number(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? std::optional(value) : std::nullopt;
}

// "streams.stream.0.codec_name=\"h264\"": the key and the value without its quotes.
std::pair<std::string, std::string> flatLine(const std::string& line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
        return {};
    }
    std::string value = line.substr(eq + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '"')) {
        value.pop_back();
    }
    if (!value.empty() && value.front() == '"') {
        value.erase(0, 1);
    }
    return {line.substr(0, eq), value};
}

// Follows ffmpeg's -progress lines ("out_time_us=1500000", "speed=2.5x", "progress=continue") and tells `progress`
// at the end of each block.
class ProgressReader {
public:
    ProgressReader(std::optional<double> seconds, const std::function<void(const ConvertProgress&)>& progress)
        : seconds_(seconds), progress_(progress) {}

    void take(std::string_view piece) {
        pending_.append(piece);
        for (std::size_t lf; (lf = pending_.find('\n')) != std::string::npos; pending_.erase(0, lf + 1)) {
            line(std::string_view(pending_).substr(0, lf));
        }
    }

private:
    void line(std::string_view text) {
        if (text.ends_with('\r')) {
            text.remove_suffix(1);
        }
        const std::size_t eq = text.find('=');
        if (eq == std::string_view::npos) {
            return;
        }
        const std::string_view key = text.substr(0, eq), value = text.substr(eq + 1);
        if (key == "out_time_us" || key == "out_time_ms") { // both are microseconds
            if (const std::optional<double> us = number(value); us && *us >= 0) {
                outSeconds_ = *us / 1e6;
            }
        } else if (key == "speed") {
            const std::optional<double> speed = number(value.substr(0, value.find('x')));
            speed_ = speed && *speed > 0 ? *speed : -1;
        } else if (key == "progress" && progress_) {
            ConvertProgress p;
            p.speed = speed_;
            if (seconds_ && *seconds_ > 0 && outSeconds_ >= 0) {
                p.done = std::clamp(outSeconds_ / *seconds_, 0.0, 1.0);
                if (speed_ > 0) {
                    p.secondsLeft = std::max(0.0, *seconds_ - outSeconds_) / speed_;
                }
            }
            if (value == "end") {
                p.done = 1;
                p.secondsLeft = 0;
            }
            progress_(p);
        }
    }

    std::optional<double> seconds_;
    const std::function<void(const ConvertProgress&)>& progress_;
    std::string pending_;
    double outSeconds_ = -1, speed_ = -1;
};

std::string playingWords(const SourceStreams& source) {
    std::string words = "it plays in every browser already (";
    for (std::size_t i = 0; i < source.streams.size(); ++i) {
        words += (i ? ", " : "") + source.streams[i].substr(6);
    }
    return words + "); it was left as it is";
}

} // namespace

std::string progressText(const ConvertProgress& p) {
    std::string text = p.done >= 0 ? std::to_string(static_cast<int>(p.done * 100)) + "%" : "converting";
    char part[48];
    if (p.speed > 0) {
        std::snprintf(part, sizeof part, ", %.1fx real time", p.speed);
        text += part;
    }
    if (p.secondsLeft >= 0) {
        const long left = std::lround(p.secondsLeft);
        std::snprintf(part, sizeof part, ", %ld:%02ld left", left / 60, left % 60);
        text += part;
    }
    return text;
}

std::optional<SourceStreams> probeSource(const WorkingFolder& folder, const std::string& video) {
    if (!isPlainName(video) || folder.isLink(video) || !folder.exists(video)) {
        return std::nullopt;
    }
    std::vector<std::string> argv{"ffprobe", "-v", "error"};
    for (const std::string& word : sourceInput(folder.pathOf(video))) {
        argv.push_back(word);
    }
    argv.insert(argv.end(), {"-show_entries", "format=duration:stream=codec_type,codec_name", "-of", "flat"});
    const ProgramRun run = runProgram(argv, std::size_t{1} << 20, probeLimits());
    if (run.timedOut) {
        return SourceStreams{{}, std::nullopt, true};
    }
    if (!run.started || run.status != 0) {
        return std::nullopt;
    }
    SourceStreams found;
    // Each stream's kind and codec by its index, in the order of the indexes.
    std::map<int, std::pair<std::string, std::string>> streams;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const auto [key, value] = flatLine(line);
        if (key == "format.duration") {
            found.seconds = number(value);
        } else if (key.starts_with("streams.stream.")) {
            const std::string rest = key.substr(15);
            const std::size_t dot = rest.find('.');
            int index = 0;
            if (dot == std::string::npos || std::from_chars(rest.data(), rest.data() + dot, index).ec != std::errc()) {
                continue;
            }
            (rest.substr(dot + 1) == "codec_type" ? streams[index].first : streams[index].second) = value;
        }
    }
    for (const auto& [index, stream] : streams) {
        if (stream.first == "video" || stream.first == "audio") {
            found.streams.push_back(stream.first + ":" + stream.second);
        }
    }
    return found;
}

std::string playsAlready(const std::string& video, const std::optional<SourceStreams>& source) {
    if (!source || source->slow ||
        std::none_of(source->streams.begin(), source->streams.end(),
                     [](const std::string& s) { return s.starts_with("video:"); })) {
        return "";
    }
    return playTrouble(extensionOf(video), source->streams).empty() ? playingWords(*source) : "";
}

std::string convertedName(const std::string& video) {
    const std::size_t dot = video.rfind('.');
    if (extensionOf(video) == "mp4" || dot == std::string::npos) {
        return video;
    }
    return video.substr(0, dot) + ".mp4";
}

std::string encoderProblem() {
    const ProgramRun run = runProgram({"ffmpeg", "-hide_banner", "-encoders"}, std::size_t{1} << 20, probeLimits());
    if (!run.started) {
        return "ffmpeg is not installed (Debian's ffmpeg package has it)";
    }
    // " V....D libx264   libx264 H.264 / AVC ...": the encoder's name is the second word of its line.
    std::set<std::string> encoders;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string flags, name;
        if (words >> flags >> name) {
            encoders.insert(name);
        }
    }
    if (!encoders.contains("libx264")) {
        return "This FFmpeg has no H.264 encoder (libx264); install one with H.264 (Debian's ffmpeg package has it), "
               "then convert again";
    }
    if (!encoders.contains("aac")) {
        return "This FFmpeg has no AAC encoder (aac); install one with AAC (Debian's ffmpeg package has it), then "
               "convert again";
    }
    return "";
}

namespace {

Conversion convertOnce(WorkingFolder& folder, const std::string& video, const ConvertSettings& settings,
                       const std::function<void(const ConvertProgress&)>& progress, const std::atomic<bool>* cancel,
                       const std::optional<SourceStreams>& known) {
    Conversion c;
    if (!isPlainName(video) || folder.isLink(video) || !folder.exists(video)) {
        c.message = "only files right in the channel folder are converted, and no link";
        return c;
    }
    const std::optional<SourceStreams> source = known ? known : probeSource(folder, video);
    if (source && source->slow) {
        c.message = std::string(NotReadInTime) + "; the original is as it was";
        return c;
    }
    if (!source || std::none_of(source->streams.begin(), source->streams.end(),
                                [](const std::string& s) { return s.starts_with("video:"); })) {
        c.message = "ffprobe cannot read it as a video (MP4, QuickTime, WebM, MPEG, AVI or WMV); the original is as "
                    "it was";
        return c;
    }
    c.seconds = source->seconds;
    if (playTrouble(extensionOf(video), source->streams).empty()) {
        c.result = Conversion::Result::AlreadyPlays;
        c.message = playingWords(*source);
        return c;
    }
    const std::optional<std::string> part = folder.createTemporary();
    if (!part) {
        c.message = "Clipnest could not make a file in the folder to write into; the original is as it was";
        return c;
    }
    const bool sound = std::any_of(source->streams.begin(), source->streams.end(),
                                   [](const std::string& s) { return s.starts_with("audio:"); });
    // The first video that is no cover picture (0:V). The rotation a phone tags its clip with is applied by ffmpeg
    // before the filters, so the height bound is the shown height; both sides are even, as yuv420p needs.
    const std::string height = std::to_string(std::max(2, settings.maxHeight));
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    for (const std::string& word : sourceInput(folder.pathOf(video))) {
        argv.push_back(word);
    }
    argv.insert(argv.end(), {"-map", "0:V:0", "-vf", "scale=-2:'2*trunc(min(ih," + height + ")/2)',format=yuv420p",
                             "-c:v", "libx264", "-crf", std::to_string(settings.crf), "-profile:v", "high", "-level:v",
                             "4.1", "-pix_fmt", "yuv420p"});
    if (sound) {
        argv.insert(argv.end(), {"-map", "0:a:0", "-c:a", "aac", "-b:a", "160k"});
    }
    argv.insert(argv.end(), {"-movflags", "+faststart", "-progress", "pipe:1", "-nostats", "-f", "mp4",
                             "file:" + folder.pathOf(*part).string()});
    ProgressReader reader(source->seconds, progress);
    RunWatch watch{[&reader](std::string_view piece) { reader.take(piece); }, cancel};
    const ProgramRun run = runProgram(argv, 0, encodeLimits(source->seconds), &watch);
    const auto fail = [&](Conversion::Result result, std::string why) {
        folder.remove(*part);
        c.result = result;
        c.message = std::move(why);
        return c;
    };
    if (run.cancelled) {
        return fail(Conversion::Result::Cancelled, "cancelled; the original is as it was");
    }
    if (!run.started) {
        return fail(Conversion::Result::Failed, "ffmpeg is not installed (Debian's ffmpeg package has it)");
    }
    if (run.timedOut) {
        return fail(Conversion::Result::Failed, std::string(NotReadInTime) + "; the original is as it was");
    }
    // What was made must be what browsers play: H.264, AAC when there was sound, the index in front.
    const std::optional<Streams> made = run.status == 0 ? probe(folder, *part) : std::nullopt;
    const std::vector<std::string> expected =
        sound ? std::vector<std::string>{"video:h264", "audio:aac"} : std::vector<std::string>{"video:h264"};
    if (!made || made->streams != expected || indexAtEnd(folder.pathOf(*part))) {
        return fail(Conversion::Result::Failed, "ffmpeg could not convert it; the original is as it was");
    }
    c.result = Conversion::Result::Made;
    c.made = *part;
    return c;
}

} // namespace

Conversion convertVideo(WorkingFolder& folder, const std::string& video, const ConvertSettings& settings,
                        const std::function<void(const ConvertProgress&)>& progress, const std::atomic<bool>* cancel,
                        const std::optional<SourceStreams>& known) {
    const std::optional<SourceStreams> source = known ? known : probeSource(folder, video);
    Conversion c = convertOnce(folder, video, settings, progress, cancel, source);
    const std::optional<FileStamp> made = c.result == Conversion::Result::Made ? folder.stamp(c.made) : std::nullopt;
    if (!made || settings.maxBytes == 0 || made->size <= settings.maxBytes ||
        settings.maxHeight <= ConvertSettings::SmallHeight) {
        return c;
    }
    folder.remove(c.made);
    ConvertSettings small = settings;
    small.maxHeight = ConvertSettings::SmallHeight;
    c = convertOnce(folder, video, small, progress, cancel, source);
    c.madeAgainFrom = made->size;
    return c;
}

} // namespace clipnest::media
