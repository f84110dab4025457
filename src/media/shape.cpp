#include "media/shape.h"

#include "media/ffmpeg.h"
#include "platform/program.h"

#include <charconv>
#include <map>
#include <sstream>

namespace clipnest::media {

namespace {

constexpr const char* ShapesFile = "shapes";

std::optional<int> dimension(const std::string& text) {
    int value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    return problem == std::errc() && end == text.data() + text.size() && value > 0 ? std::optional(value)
                                                                                   : std::nullopt;
}

std::optional<double> length(const std::string& text) {
    std::istringstream in(text);
    double value = 0;
    return in >> value && in.peek() == std::char_traits<char>::eof() && value > 0 ? std::optional(value) : std::nullopt;
}

std::string field(const std::optional<int>& v) {
    return v ? std::to_string(*v) : "-";
}

// ffprobe's answer, "key=value" lines: the first video stream's width and height, the container's duration.
Shape probeShape(const WorkingFolder& folder, const std::string& video) {
    std::vector<std::string> argv{"ffprobe", "-v", "error", "-select_streams", "v:0"};
    for (const std::string& word : inputOf(folder.pathOf(video))) {
        argv.push_back(word);
    }
    argv.insert(argv.end(), {"-show_entries", "stream=width,height:format=duration", "-of", "default=nw=1"});
    const ProgramRun run = runProgram(argv, std::size_t{1} << 20, probeLimits());
    Shape shape;
    if (!run.started || run.status != 0) {
        return shape;
    }
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t eq = line.find('=');
        const std::string key = line.substr(0, eq), value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (key == "width" && !shape.width) {
            shape.width = dimension(value);
        } else if (key == "height" && !shape.height) {
            shape.height = dimension(value);
        } else if (key == "duration") {
            shape.seconds = length(value);
        }
    }
    return shape;
}

} // namespace

std::map<std::string, Shape, std::less<>> shapesOf(const WorkingFolder& folder,
                                                   const std::vector<std::string>& videos) {
    std::optional<WorkingFolder> hidden = folder.subfolder(".clipnest", true);
    // "size time inode width height seconds name", one line a video; a file that changed is read again.
    const std::string before = hidden ? hidden->read(ShapesFile).value_or("") : "";
    struct Kept {
        std::string stamp, line;
        Shape shape;
    };
    std::map<std::string, Kept, std::less<>> kept;
    std::istringstream lines(before);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string size, time, inode, width, height, seconds, name;
        if ((fields >> size >> time >> inode >> width >> height >> seconds) && fields.get() == ' ' &&
            std::getline(fields, name)) {
            kept[name] = {
                size + " " + time + " " + inode, line, {dimension(width), dimension(height), length(seconds)}};
        }
    }
    std::map<std::string, Shape, std::less<>> shapes;
    std::string after;
    const bool probing = canProbe();
    for (const std::string& video : videos) {
        const std::optional<FileStamp> stamp =
            isPlainName(video) && !folder.isLink(video) ? folder.stamp(video) : std::nullopt;
        if (!stamp || video.find_first_of("\r\n") != std::string::npos || shapes.contains(video)) {
            continue;
        }
        const std::string key =
            std::to_string(stamp->size) + " " + std::to_string(stamp->modifiedNs) + " " + std::to_string(stamp->inode);
        if (const auto k = kept.find(video); k != kept.end() && k->second.stamp == key) {
            shapes[video] = k->second.shape;
            after += k->second.line + "\n";
        } else if (probing) {
            const Shape shape = probeShape(folder, video);
            shapes[video] = shape;
            std::ostringstream seconds;
            seconds.precision(17);
            seconds << shape.seconds.value_or(0);
            after += key + " " + field(shape.width) + " " + field(shape.height) + " " +
                     (shape.seconds ? seconds.str() : "-") + " " + video + "\n";
        }
    }
    // Only the videos asked about stay: the file follows the channel's entries.
    if (hidden && after != before) {
        hidden->write(ShapesFile, after);
    }
    return shapes;
}

std::optional<std::pair<int, int>> jpegSize(const WorkingFolder& folder, const std::string& picture) {
    const std::optional<std::string> bytes =
        isPlainName(picture) && !folder.isLink(picture) ? folder.read(picture) : std::nullopt;
    if (!bytes || !bytes->starts_with("\xFF\xD8")) {
        return std::nullopt;
    }
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>((*bytes)[i]); };
    // Segment after segment: a marker (FF and its kind), then, but for the markers that stand alone, a two-byte
    // length that counts itself. A start-of-frame segment holds the precision, the height and the width.
    for (std::size_t i = 2; i + 4 <= bytes->size();) {
        if (at(i) != 0xFF) {
            return std::nullopt;
        }
        const unsigned char kind = at(i + 1);
        if (kind == 0xFF) {
            ++i; // fill
            continue;
        }
        if (kind == 0x01 || (kind >= 0xD0 && kind <= 0xD8)) {
            i += 2;
            continue;
        }
        if (kind == 0xD9 || kind == 0xDA) {
            return std::nullopt; // the picture's data begins before any frame header
        }
        const std::size_t length = (std::size_t{at(i + 2)} << 8) | at(i + 3);
        const bool frame = kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC;
        if (frame && length >= 7 && i + 9 <= bytes->size()) {
            const int height = (at(i + 5) << 8) | at(i + 6), width = (at(i + 7) << 8) | at(i + 8);
            return width > 0 && height > 0 ? std::optional(std::pair{width, height}) : std::nullopt;
        }
        if (length < 2) {
            return std::nullopt;
        }
        i += 2 + length;
    }
    return std::nullopt;
}

} // namespace clipnest::media
