#include "media/poster.h"

#include "media/ffmpeg.h"
#include "platform/program.h"
#include "text/document.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace clipnest::media {

namespace {

// The clip's length in seconds, or nothing when ffprobe cannot tell.
std::optional<double> durationOf(const WorkingFolder& folder, const std::string& video) {
    std::vector<std::string> argv{"ffprobe", "-v", "error"};
    for (const std::string& word : inputOf(folder.pathOf(video))) {
        argv.push_back(word);
    }
    argv.insert(argv.end(), {"-show_entries", "format=duration", "-of", "csv=p=0"});
    const ProgramRun run = runProgram(argv, 256);
    double seconds = 0;
    if (!run.started || run.status != 0 ||
        std::from_chars(run.out.data(), run.out.data() + run.out.size(), seconds).ec != std::errc() || !(seconds > 0)) {
        return std::nullopt;
    }
    return seconds;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// How far the frame at `seconds` is from a single colour: the spread (standard deviation) of the brightness of a
// 32x18 copy of it, 0 to 255; nothing when there is no frame there.
std::optional<double> spreadAt(const WorkingFolder& folder, const std::string& video, double seconds) {
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-loglevel", "error", "-ss", secondsText(seconds)};
    for (const std::string& word : inputOf(folder.pathOf(video))) {
        argv.push_back(word);
    }
    argv.insert(argv.end(), {"-frames:v", "1", "-vf", "scale=32:18", "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    const ProgramRun run = runProgram(argv, 32 * 18);
    if (!run.started || run.status != 0 || run.out.empty()) {
        return std::nullopt;
    }
    double sum = 0, squares = 0;
    for (const char c : run.out) {
        const double v = static_cast<unsigned char>(c);
        sum += v;
        squares += v * v;
    }
    const double n = static_cast<double>(run.out.size());
    return std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)));
}

// Below this spread a frame shows one colour to the eye (a black or white screen, a title card's ground).
constexpr double FlatSpread = 4.0;

} // namespace

std::string posterName(std::string_view video) {
    return std::string(withoutExtension(video)) + ".jpg";
}

PosterFrame writePosterFrame(WorkingFolder& folder, const std::string& video, std::optional<double> at) {
    if (!isPlainName(video) || folder.isLink(video) || !folder.exists(video)) {
        return {std::nullopt, video + " is not in the folder"};
    }
    if (!canConvert()) {
        return {std::nullopt, "ffmpeg is not installed"};
    }
    double chosen = at.value_or(1.0);
    if (!at) {
        const std::optional<double> length = durationOf(folder, video);
        std::vector<double> times{length && *length < 2 ? *length / 2 : 1.0};
        if (length) {
            for (const double share : {0.1, 0.25, 0.5}) {
                times.push_back(*length * share);
            }
        }
        // The first frame that is not one colour; else the one that is furthest from it.
        double best = -1;
        for (const double t : times) {
            const std::optional<double> spread = spreadAt(folder, video, t);
            if (spread && *spread > best) {
                best = *spread;
                chosen = t;
            }
            if (spread && *spread >= FlatSpread) {
                break;
            }
        }
    }
    const std::optional<std::string> part = folder.createTemporary();
    if (!part) {
        return {std::nullopt, "Clipnest could not make a file in the folder to write into"};
    }
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-ss", secondsText(chosen)};
    for (const std::string& word : inputOf(folder.pathOf(video))) {
        argv.push_back(word);
    }
    argv.insert(argv.end(), {"-frames:v", "1", "-vf", "scale=640:-2", "-c:v", "mjpeg", "-q:v", "3", "-f", "mjpeg",
                             "file:" + folder.pathOf(*part).string()});
    const ProgramRun run = runProgram(argv);
    const std::string bytes = run.started && run.status == 0 ? folder.read(*part).value_or("") : "";
    // A JPEG starts with its start-of-image marker and ends with its end-of-image one: nothing cut off.
    if (bytes.size() < 4 || !bytes.starts_with("\xFF\xD8") || !bytes.ends_with("\xFF\xD9")) {
        folder.remove(*part);
        return {std::nullopt, at ? "ffmpeg found no frame of " + video + " at " + secondsText(*at) + " s"
                                 : "ffmpeg could not read a frame of " + video};
    }
    return {*part, ""};
}

} // namespace clipnest::media
