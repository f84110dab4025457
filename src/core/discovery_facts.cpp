#include "core/discovery_facts.h"

#include "history/first_made.h"
#include "media/shape.h"

#include <charconv>

namespace clipnest {

namespace {

constexpr const char* EntryFactsFile = "entry-facts";

std::string stampWord(const std::optional<FileStamp>& stamp) {
    return stamp ? std::to_string(stamp->size) + ":" + std::to_string(stamp->modifiedNs) + ":" +
                       std::to_string(stamp->inode)
                 : "-";
}

template <typename Number>
std::optional<Number> numberOf(std::string_view word) {
    Number n{};
    const auto [end, problem] = std::from_chars(word.data(), word.data() + word.size(), n);
    return problem == std::errc() && end == word.data() + word.size() ? std::optional<Number>(n) : std::nullopt;
}

std::optional<FileStamp> stampOf(std::string_view word) {
    const std::size_t one = word.find(':'), two = word.rfind(':');
    if (one == two) {
        return std::nullopt;
    }
    const auto size = numberOf<std::uintmax_t>(word.substr(0, one));
    const auto time = numberOf<std::int64_t>(word.substr(one + 1, two - one - 1));
    const auto inode = numberOf<std::uint64_t>(word.substr(two + 1));
    return size && time && inode ? std::optional<FileStamp>({*size, *time, *inode}) : std::nullopt;
}

template <typename Number>
std::string numberWord(const std::optional<Number>& n) {
    if (!n) {
        return "-";
    }
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, *n).ptr);
}

// The next blank-separated word of `line` from `at`, which moves past it.
std::string_view wordAt(std::string_view line, std::size_t& at) {
    const std::size_t end = std::min(line.find(' ', at), line.size());
    const std::string_view word = line.substr(at, end - at);
    at = end + 1;
    return word;
}

// One line of the file, or nothing when it is none.
std::optional<std::pair<std::string, KeptFacts>> factsLine(std::string_view line) {
    std::size_t at = 0;
    std::string_view words[8];
    for (std::string_view& word : words) {
        word = wordAt(line, at);
    }
    const std::optional<std::uint64_t> hash = numberOf<std::uint64_t>(words[0]);
    if (!hash || at >= line.size()) {
        return std::nullopt;
    }
    KeptFacts kept;
    kept.hash = *hash;
    kept.video = stampOf(words[1]);
    kept.shape = {numberOf<int>(words[2]), numberOf<int>(words[3]), numberOf<double>(words[4])};
    kept.poster = stampOf(words[5]);
    const std::optional<int> width = numberOf<int>(words[6]), height = numberOf<int>(words[7]);
    if (width && height) {
        kept.posterSize = std::pair{*width, *height};
    }
    return std::pair{std::string(line.substr(at)), kept};
}

} // namespace

EntryFacts readEntryFacts(const WorkingFolder& channel) {
    EntryFacts facts;
    const std::optional<WorkingFolder> hidden = channel.subfolder(".clipnest", false);
    const std::string text = hidden ? hidden->read(EntryFactsFile).value_or("") : "";
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        if (std::optional<std::pair<std::string, KeptFacts>> line = factsLine(text.substr(from, end - from))) {
            facts.order.push_back(line->first);
            facts.byName.insert_or_assign(std::move(line->first), line->second);
        }
        from = end + 1;
    }
    return facts;
}

std::string entryFactsText(const std::vector<std::string_view>& order, const EntryFacts& facts) {
    std::string text;
    for (const std::string_view name : order) {
        const auto found = facts.byName.find(std::string(name));
        if (found == facts.byName.end() || name.find_first_of("\r\n") != std::string_view::npos) {
            continue;
        }
        const KeptFacts& k = found->second;
        const std::optional<int> pw = k.posterSize ? std::optional(k.posterSize->first) : std::nullopt;
        const std::optional<int> ph = k.posterSize ? std::optional(k.posterSize->second) : std::nullopt;
        text.append(numberWord(std::optional(k.hash))).append(" ").append(stampWord(k.video)).append(" ");
        text.append(numberWord(k.shape.width)).append(" ").append(numberWord(k.shape.height)).append(" ");
        text.append(numberWord(k.shape.seconds)).append(" ").append(stampWord(k.poster)).append(" ");
        text.append(numberWord(pw)).append(" ").append(numberWord(ph)).append(" ").append(name).append("\n");
    }
    return text;
}

bool writeEntryFacts(const WorkingFolder& channel, const std::string& text) {
    std::optional<WorkingFolder> hidden = channel.subfolder(".clipnest", true);
    return hidden && (hidden->read(EntryFactsFile) == text || hidden->write(EntryFactsFile, text));
}

void keepShapes(const WorkingFolder& channel, EntryFacts& facts, const std::vector<std::string>& videos) {
    if (videos.empty()) {
        return;
    }
    const std::map<std::string, media::Shape, std::less<>> shapes = media::shapesOf(channel, videos);
    for (const std::string& video : videos) {
        KeptFacts& kept = facts.byName[video];
        const auto shape = shapes.find(video);
        // Without ffprobe nothing is known, and the video is asked about again the next time.
        kept.video = shape == shapes.end() ? std::nullopt : channel.stamp(video);
        kept.shape = shape == shapes.end() ? media::Shape{} : shape->second;
    }
}

} // namespace clipnest
