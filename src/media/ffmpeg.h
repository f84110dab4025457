#pragma once

#include "platform/program.h"
#include "platform/working_folder.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace clipnest::media {

// What ffprobe finds in a video: its container as ffmpeg names it, and its streams as "video:h264", "audio:aac".
struct Streams {
    std::string container;
    std::vector<std::string> streams;
    // ffprobe ran past its time (or its memory) on it and was stopped: a damaged file or one built to hold a reader.
    bool slow = false;
};

// Every run of ffmpeg and ffprobe is bounded: a file built to keep a reader busy (a sparse file of hundreds of
// gigabytes, an edit list of a million entries) is given up instead of holding the command or the window. A probe
// reads headers; a conversion or a frame gets time after the clip's length where it is known.
inline constexpr int ProbeMs = 8000;
inline constexpr std::uint64_t RunMemoryBytes = std::uint64_t{1536} << 20;
RunLimits probeLimits();
RunLimits convertLimits(std::optional<double> seconds);
// An encoding (not a copy of the streams) gets a minute and ten seconds for every second of the clip, as a slow
// machine encodes 1080p at a tenth of real time; two hours when its length is not known.
RunLimits encodeLimits(std::optional<double> seconds);
// What is said of a file whose run was stopped at its bounds.
inline constexpr std::string_view NotReadInTime = "could not be read in time";

// The words that open a video as every run opens it: from a file only (no other protocol), as one of the
// containers browsers play. Options that concern the input (such as -ss) go in front of them.
std::vector<std::string> inputOf(const std::filesystem::path& file);

// Calls `each` for 0 to count - 1, side by side on every core (each index once, in no order); returns when all are
// done. For runs of ffmpeg and ffprobe, which each take a core.
void sideBySide(std::size_t count, const std::function<void(std::size_t)>& each);

// Whether ffprobe and ffmpeg can be run.
bool canProbe();
bool canConvert();

// Reads a video of the folder with ffprobe. Only the file itself is opened (no other protocol, no link), and only as
// one of the containers browsers play (MP4/QuickTime, WebM/Matroska): a playlist or a list of other files is not
// followed, whatever its name. Nothing when it is none of them, or cannot be read.
std::optional<Streams> probe(const WorkingFolder& folder, const std::string& video);

// Rewrites an MP4 or QuickTime video of the folder with its index in front (streams copied, nothing re-encoded),
// read as probe reads it. ffmpeg writes into a new file of the folder made for it, which takes the video's place only
// when it is whole and its index is at the front; the original stays until then. Empty when done, else why not.
std::string moveIndexToFront(WorkingFolder& folder, const std::string& video);

// Makes `video` in the folder: a 3-second test clip of ffmpeg's test source `pattern` ("smptebars"), H.264 with its
// index in front, so browsers play it and start at once; written into a new file of the folder that takes its name
// when whole. False when ffmpeg is not there or fails.
bool makeTestClip(WorkingFolder& folder, const std::string& video, const std::string& pattern);

// Whether an MP4 (or QuickTime) file's index (its moov box) comes after its media data, so that a browser must fetch
// the end of the file before it can start.
bool indexAtEnd(const std::filesystem::path& file);

// An MP4 (or QuickTime) file's length in seconds as its movie header gives it, read without running a program; nothing
// for another container, or a header that does not tell.
std::optional<double> movieLength(const std::filesystem::path& file);

} // namespace clipnest::media
