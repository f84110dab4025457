#pragma once

#include "platform/working_folder.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace clipnest::media {

// How a video is made into one every browser plays: H.264 (High profile, level 4.1, yuv420p) at this constant rate
// factor, its frame at most `maxHeight` high (never made larger), AAC sound when it has sound, index in front.
struct ConvertSettings {
    // 23: on a 6-second 1080p clip with a camera's grain (bench/convert_bench crf), 20 made the file 46% larger for
    // an SSIM of 0.9955 against 0.9934, and 26 a third smaller at 0.9904, the grain going first; 23 is also what
    // x264 takes when told nothing.
    static constexpr int DefaultCrf = 23;
    static constexpr int DefaultMaxHeight = 1080;
    // What --small gives.
    static constexpr int SmallHeight = 720;
    int crf = DefaultCrf;
    int maxHeight = DefaultMaxHeight;
    // The largest file the host takes (max_upload), 0 for any: a file made larger is made again at SmallHeight.
    std::uintmax_t maxBytes = 0;
};

// How far a conversion has come: the part of the clip done (0 to 1), how many seconds of the clip it makes a second,
// and the seconds it still needs; each negative while not known.
struct ConvertProgress {
    double done = -1;
    double speed = -1;
    double secondsLeft = -1;
};

// The progress in words: "42%, 2.1x real time, 0:12 left" (what is not known yet left out).
std::string progressText(const ConvertProgress& progress);

// What ffprobe finds in a video for a conversion: its streams as "video:hevc", "audio:ac3", and its length.
struct SourceStreams {
    std::vector<std::string> streams;
    std::optional<double> seconds;
    bool slow = false; // ffprobe was stopped at its bounds
};

// Reads a video of the folder for a conversion: as probe() does, from the file itself only, but also from the
// containers of the cameras browsers do not play (MPEG program and transport streams, AVI, ASF/WMV). Nothing when it
// is none of them or cannot be read.
std::optional<SourceStreams> probeSource(const WorkingFolder& folder, const std::string& video);

// Whether browsers play a video of these streams under this name ("" when they do, else why not); the rule `check`
// names unplayable videos by.
std::string playTrouble(const std::string& extension, const std::vector<std::string>& streams);

// The name a video has once converted: an MP4 keeps its name, any other takes .mp4 for its last extension.
std::string convertedName(const std::string& video);

// Why this ffmpeg cannot convert (it is not there, or it has no H.264 or AAC encoder), in words for the user; empty
// when it can.
std::string encoderProblem();

// A conversion: at the start no file of the folder is touched; at the end the made file stands under a new
// temporary name of the folder (the original untouched), or nothing was left.
struct Conversion {
    enum class Result { Made, AlreadyPlays, Failed, Cancelled } result = Result::Failed;
    std::string made;    // the temporary file holding the converted video, when Made
    std::string message; // why not, when Failed; what the video is, when AlreadyPlays
    std::optional<double> seconds;
    // The size of the first file made, when it was over ConvertSettings::maxBytes and the video was made again at
    // the small size.
    std::optional<std::uintmax_t> madeAgainFrom;
};

// When browsers play a video of these streams under this name already, what it is ("it plays in every browser
// already (h264, aac)"); empty when it is to be converted, or could not be read.
std::string playsAlready(const std::string& video, const std::optional<SourceStreams>& source);

// Converts `video` of the folder into a new temporary file of the folder with ffmpeg (see ConvertSettings), bounded in
// time by the clip's length and in memory; `progress` is told as ffmpeg goes, and when `cancel` is set, ffmpeg is
// stopped and its file removed. A video browsers play already is left alone. One made over `maxBytes` is made again
// from the original at the small size. `known`: what probeSource found of it just before, so it is not read twice.
Conversion convertVideo(WorkingFolder& folder, const std::string& video, const ConvertSettings& settings,
                        const std::function<void(const ConvertProgress&)>& progress = {},
                        const std::atomic<bool>* cancel = nullptr, const std::optional<SourceStreams>& known = {});

} // namespace clipnest::media
