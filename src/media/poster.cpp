#include "media/poster.h"

#include "media/ffmpeg.h"
#include "platform/program.h"
#include "text/document.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace clipnest::media {

namespace {

// The clip's length in seconds: from an MP4's header, else as ffprobe tells it; nothing when neither can.
std::optional<double> lengthOf(const WorkingFolder& folder, const std::string& video, bool& slow) {
    if (const std::optional<double> seconds = movieLength(folder.pathOf(video)); seconds && *seconds > 0) {
        return seconds;
    }
    std::vector<std::string> argv{"ffprobe", "-v", "error"};
    for (const std::string& word : inputOf(folder.pathOf(video))) {
        argv.push_back(word);
    }
    argv.insert(argv.end(), {"-show_entries", "format=duration", "-of", "csv=p=0"});
    const ProgramRun run = runProgram(argv, 256, probeLimits());
    slow = run.timedOut;
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

// How far a frame is from a single colour: the spread (standard deviation) of the brightness of a 32x18 grey copy of
// it, 0 to 255; nothing when there is no frame.
std::optional<double> spreadOf(std::string_view grey) {
    if (grey.empty()) {
        return std::nullopt;
    }
    double sum = 0, squares = 0;
    for (const char c : grey) {
        const double v = static_cast<unsigned char>(c);
        sum += v;
        squares += v * v;
    }
    const double n = static_cast<double>(grey.size());
    return std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)));
}

// Below this spread a frame shows one colour to the eye (a black or white screen, a title card's ground).
constexpr double FlatSpread = 4.0;

// The frame at a time: its JPEG in a new file of the folder (only when whole), and its spread when asked for.
struct Taken {
    double seconds = 0;
    std::optional<std::string> part;
    std::optional<double> spread;
};

// The files a run writes a frame into: its JPEG and, when its spread is asked for, its grey copy.
struct Outputs {
    std::optional<std::string> jpeg, grey;
};

// The words of one ffmpeg run for the frames at `times`, each its own input sought to that time, so each frame is
// decoded once for both of its outputs.
std::vector<std::string> frameRun(const WorkingFolder& folder, const std::string& video,
                                  const std::vector<double>& times, const std::vector<Outputs>& outputs) {
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-loglevel", "error", "-y"}, maps;
    std::string graph;
    for (std::size_t i = 0; i < times.size(); ++i) {
        argv.insert(argv.end(), {"-ss", secondsText(times[i])});
        for (const std::string& word : inputOf(folder.pathOf(video))) {
            argv.push_back(word);
        }
        const std::string n = std::to_string(i), jpeg = "[j" + n + "]", grey = "[g" + n + "]";
        graph += (i ? ";[" : "[") + n + ":v]" +
                 (outputs[i].grey ? "split[a" + n + "][b" + n + "];[a" + n + "]scale=640:-2" + jpeg + ";[b" + n +
                                        "]scale=32:18" + grey
                                  : "scale=640:-2" + jpeg);
        maps.insert(maps.end(), {"-map", jpeg, "-frames:v", "1", "-c:v", "mjpeg", "-q:v", "3", "-f", "mjpeg",
                                 "file:" + folder.pathOf(*outputs[i].jpeg).string()});
        if (outputs[i].grey) {
            maps.insert(maps.end(), {"-map", grey, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "gray",
                                     "file:" + folder.pathOf(*outputs[i].grey).string()});
        }
    }
    argv.insert(argv.end(), {"-filter_complex", graph});
    argv.insert(argv.end(), maps.begin(), maps.end());
    return argv;
}

// The frames at `times` in one ffmpeg run: each written as a JPEG 640 pixels wide into a new file of the folder and,
// with `spreads`, measured for its spread. A frame whose JPEG is not whole has none.
std::vector<Taken> takeFrames(WorkingFolder& folder, const std::string& video, const std::vector<double>& times,
                              bool spreads, bool& slow) {
    std::vector<Outputs> outputs;
    bool ready = true;
    for (std::size_t i = 0; i < times.size(); ++i) {
        outputs.push_back({folder.createTemporary(), spreads ? folder.createTemporary() : std::nullopt});
        ready = ready && outputs.back().jpeg && (!spreads || outputs.back().grey);
    }
    // A frame is sought, not read up to: its time is a probe's and the time it is in, as a reader decodes its way.
    const double last = times.empty() ? 0 : *std::max_element(times.begin(), times.end());
    const ProgramRun run =
        ready ? runProgram(frameRun(folder, video, times, outputs), 0, convertLimits(last)) : ProgramRun{};
    slow = slow || run.timedOut;
    std::vector<Taken> taken;
    for (std::size_t i = 0; i < times.size(); ++i) {
        Taken frame{times[i], std::nullopt, std::nullopt};
        if (const std::optional<std::string>& jpeg = outputs[i].jpeg) {
            const std::string bytes = run.status == 0 ? folder.read(*jpeg).value_or("") : "";
            // A JPEG starts with its start-of-image marker and ends with its end-of-image one: nothing cut off.
            if (bytes.size() >= 4 && bytes.starts_with("\xFF\xD8") && bytes.ends_with("\xFF\xD9")) {
                frame.part = jpeg;
            } else {
                folder.remove(*jpeg);
            }
        }
        if (const std::optional<std::string>& grey = outputs[i].grey) {
            frame.spread = run.status == 0 ? spreadOf(folder.read(*grey).value_or("")) : std::nullopt;
            folder.remove(*grey);
        }
        taken.push_back(std::move(frame));
    }
    return taken;
}

// The frame a poster shows: the first that is not one colour, else the one furthest from it; its index, or none when
// no frame was read.
std::optional<std::size_t> chooseFrame(const std::vector<Taken>& taken) {
    std::optional<std::size_t> chosen;
    double best = -1;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        if (taken[i].spread && *taken[i].spread > best) {
            best = *taken[i].spread;
            chosen = i;
        }
        if (taken[i].spread && *taken[i].spread >= FlatSpread) {
            break;
        }
    }
    return chosen;
}

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
    bool slow = false;
    const PosterFrame tooSlow{std::nullopt, video + " " + std::string(NotReadInTime)};
    if (at) {
        const std::vector<Taken> taken = takeFrames(folder, video, {*at}, false, slow);
        return taken.front().part ? PosterFrame{taken.front().part, ""}
               : slow
                   ? tooSlow
                   : PosterFrame{std::nullopt, "ffmpeg found no frame of " + video + " at " + secondsText(*at) + " s"};
    }
    // 1 s in, or the middle of a shorter clip; most clips show a picture there, and one run makes the poster. A frame
    // of one colour (a fade from black) takes a second run for a tenth, a quarter and half into the clip.
    const std::optional<double> length = lengthOf(folder, video, slow);
    if (slow) {
        return tooSlow;
    }
    std::vector<Taken> taken = takeFrames(folder, video, {length && *length < 2 ? *length / 2 : 1.0}, true, slow);
    if (slow) {
        for (const Taken& t : taken) {
            if (t.part) {
                folder.remove(*t.part);
            }
        }
        return tooSlow;
    }
    if (length && !(taken.front().spread && *taken.front().spread >= FlatSpread)) {
        for (Taken& later : takeFrames(folder, video, {*length * 0.1, *length * 0.25, *length * 0.5}, true, slow)) {
            taken.push_back(std::move(later));
        }
    }
    const std::optional<std::size_t> chosen = chooseFrame(taken);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        if (taken[i].part && i != chosen) {
            folder.remove(*taken[i].part);
        }
    }
    if (!chosen || !taken[*chosen].part) {
        return {std::nullopt, "ffmpeg could not read a frame of " + video};
    }
    return {taken[*chosen].part, ""};
}

std::vector<PosterFrame> writePosterFrames(WorkingFolder& folder, const std::vector<std::string>& videos,
                                           std::optional<double> at) {
    std::vector<PosterFrame> frames(videos.size());
    sideBySide(videos.size(), [&](std::size_t i) { frames[i] = writePosterFrame(folder, videos[i], at); });
    return frames;
}

} // namespace clipnest::media
