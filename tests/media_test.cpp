// What the check finds and what the posters show, through the media library as the commands call it: the homepage's
// bytes beyond ASCII read once for all entries, a check limited to the files a publish uploads, and posters from one
// FFmpeg run that show the frame the earlier three runs chose.
#include "media/check.h"
#include "media/poster.h"
#include "support/support.h"
#include "text/default_homepage.h"
#include "text/document.h"

#include <cmath>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
constexpr auto npos = std::string::npos;

// The line the check names for the homepage's bytes beyond ASCII, or 0 when it names none.
long homepageLine(const media::CheckReport& report) {
    for (const media::Problem& problem : report.problems) {
        if (problem.file == "homepage.html") {
            return std::stol(problem.text.substr(5));
        }
    }
    return 0;
}

long lineOf(const std::string& text, const std::string& part) {
    return std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(text.find(part)), '\n') + 1;
}

// A homepage as an earlier Clipnest wrote it, the entries' names as they stand: Windows-1252 bytes.
std::string olderHomepage(const Names& names) {
    std::string entries;
    for (const std::string& name : names) {
        std::string entry = buildSampleEntry();
        replaceAll(entry, markers::FileNameToken, name);
        replaceAll(entry, markers::FileNameLessExtToken, std::string(withoutExtension(name)));
        replaceAll(entry, markers::HomepageDescripToken, "About it");
        replaceAll(entry, markers::WrapOpen, "");
        replaceAll(entry, markers::WrapClose, "");
        entries += entry + "\n";
    }
    return buildDefaultHomepage("Garden", "Welcome", entries + buildSampleEntry());
}

// In a homepage an earlier Clipnest wrote, the entries' names are Windows-1252 bytes: those bytes are the entries'
// own and are named with each entry. Only a byte of the host's own text is the homepage's, and the first such byte's
// line is named, wherever it stands among hundreds of names.
TEST(Check, OnlyTheHostsOwnBytesBeyondAsciiAreTheHomepagesProblem) {
    Names names;
    for (int i = 0; i < 300; ++i) {
        names.push_back("caf\xE9 " + std::to_string(i) + (i % 2 ? ".mp4" : ".webm"));
    }
    names.push_back("\xE9t\xE9.mp4");
    names.push_back("\xE9t\xE9 long.mp4"); // the shorter name stands inside it
    const std::string homepage = olderHomepage(names);
    const TempDir dir;
    const auto lineFound = [&](const std::string& text) {
        writeFile(dir.path() / "homepage.html", text);
        return homepageLine(media::checkChannel(dir.path(), {}));
    };
    EXPECT_EQ(lineFound(homepage), 0);
    // The host names a video in its own words: the name covers its bytes there too.
    const std::string named = with(homepage, "</body>", "<p>See caf\xE9 7.mp4 and \xE9t\xE9</p>\n</body>");
    EXPECT_EQ(lineFound(named), 0);
    // A byte right behind a name, the same byte alone, and a host's word: each the homepage's own.
    for (const std::string own : {"caf\xE9 12.webm\xE9", "\xE9", "Caf\xE9 au lait", "caf\xE9"}) {
        const std::string text = with(named, "</body>", "<p>" + own + "</p>\n</body>");
        EXPECT_EQ(lineFound(text), lineOf(text, "<p>" + own)) << own;
    }
    // The first of two is named: one in front of every entry, one behind them.
    const std::string two = with(with(named, "</body>", "<p>\xFC</p>\n</body>"), "<body>", "<body>\xE0");
    EXPECT_EQ(lineFound(two), lineOf(two, "\xE0"));
}

// A publish checks only what goes up: the entries whose video or page goes up (and probes only such videos), the
// homepage's bytes when the homepage goes up, the caption files that go up. Nothing else of the folder is named,
// though a whole check names it all.
TEST(Check, APublishChecksOnlyTheFilesItUploads) {
    Harness h;
    h.put("big.mp4", "over the largest upload the host takes");
    for (const std::string name : {"kept.mp4", "big.mp4", "gone.mp4"}) {
        h.entry(name, "About " + name);
    }
    h.remove("gone.mp4");
    h.put("kept.vtt", "not captions");
    h.put("homepage.html", with(h.file("homepage.html"), "</body>", "<p>Caf\xE9</p>\n</body>"));
    const auto named = [&](const std::optional<std::set<std::string>>& files) {
        std::set<std::string> found;
        for (const media::Problem& problem : media::checkChannel(h.dir(), {10, "", std::nullopt, files}).problems) {
            found.insert(problem.file);
        }
        return found;
    };
    using Found = std::set<std::string>;
    EXPECT_EQ(named(std::nullopt), (Found{"kept.mp4", "big.mp4", "gone.php", "kept.vtt", "homepage.html"}));
    EXPECT_EQ(named(Found{"big.mp4", "big.php"}), Found{"big.mp4"});
    EXPECT_EQ(named(Found{"kept.php"}), Found{"kept.mp4"}) << "its page links a video that is not in the folder";
    EXPECT_EQ(named(Found{"kept.vtt", "homepage.html"}), (Found{"kept.vtt", "homepage.html"}));
    EXPECT_EQ(named(Found{"gone.php", "other.mp4"}), Found{});
}

// How a picture or a frame looks: 32x18 pixels of RGB as ffmpeg reads them, independently of Clipnest.
std::string pixelsOf(const fs::path& file, const std::string& at = "") {
    const TempDir out;
    int rc = 0;
    shell("ffmpeg -nostdin -loglevel error " + (at.empty() ? "" : "-ss " + at + " ") + "-i " + quoted(file) +
              " -frames:v 1 -vf scale=32:18 -f rawvideo -pix_fmt rgb24 " + quoted(out.path() / "rgb"),
          &rc);
    return rc == 0 ? readFile(out.path() / "rgb") : "";
}

double difference(const std::string& a, const std::string& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        sum += std::abs(static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]));
    }
    return a.size() != b.size() || a.empty() ? 255 : sum / static_cast<double>(a.size());
}

// The frame the three runs chose: the length from ffprobe, then the brightness spread of a 32x18 grey copy at 1 s
// (the middle of a clip under 2 s), a tenth, a quarter and half into it; the first that is not one colour, else the
// one furthest from it.
double threeRunChoice(const fs::path& clip) {
    const double length =
        std::stod(shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " + quoted(clip)));
    double chosen = 0, best = -1;
    for (const double at : {length < 2 ? length / 2 : 1.0, length * 0.1, length * 0.25, length * 0.5}) {
        const std::string grey = shell("ffmpeg -nostdin -loglevel error -ss " + std::to_string(at) + " -i " +
                                       quoted(clip) + " -frames:v 1 -vf scale=32:18 -f rawvideo -pix_fmt gray -");
        double sum = 0, squares = 0;
        for (const char c : grey) {
            sum += static_cast<unsigned char>(c);
            squares += static_cast<double>(static_cast<unsigned char>(c)) * static_cast<unsigned char>(c);
        }
        const double n = static_cast<double>(grey.size());
        const double spread = std::sqrt(std::max(0.0, squares / n - sum / n * (sum / n)));
        if (spread > best) {
            best = spread;
            chosen = at;
        }
        if (spread >= 4) {
            break;
        }
    }
    return chosen;
}

// A clip whose first second shows a picture takes one FFmpeg run and nothing else; a fade-in from black and a
// one-colour start take a second run, and their posters show the frame the three runs chose, not the one-colour
// first frame nor the brightest later one. Several clips are made side by side, each its own poster.
TEST(Posters, OneRunShowsTheFrameThreeRunsChose) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    const TempDir dir, bin;
    WorkingFolder folder(dir.path());
    // A picture from the start; black for 1.2 s, then 4 s of fading in (dim 2 s in, bright 4 s in); red for 2.5 s.
    const std::map<std::string, std::string> clips = {
        {"bars.mp4", "smptebars=size=320x240:rate=25:duration=3"},
        {"fade.mp4", "testsrc=size=320x240:rate=25:duration=8,fade=in:30:100"},
        {"red.mp4", "color=red:size=320x240:rate=25:duration=2.5[a];testsrc2=size=320x240:rate=25:duration=3.5[b];"
                    "[a][b]concat=n=2:v=1:a=0"}};
    for (const auto& [name, source] : clips) {
        int rc = 0;
        shell("ffmpeg -nostdin -loglevel error -filter_complex " + quoted(source) + " -c:v libx264 -pix_fmt yuv420p " +
                  quoted(dir.path() / name),
              &rc);
        ASSERT_EQ(rc, 0) << name;
    }
    // The programs as installed, each run counted.
    for (const std::string program : {"ffmpeg", "ffprobe"}) {
        writeFile(bin.path() / program, "#!/bin/sh\necho " + program + " >> " + quoted(bin.path() / "runs") +
                                            "\nexec /usr/bin/" + program + " \"$@\"\n");
        fs::permissions(bin.path() / program, fs::perms::owner_all);
    }
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.path().string() + ":" + path).c_str(), 1);
    EXPECT_TRUE(media::writePosterFrame(folder, "bars.mp4", std::nullopt).part);
    const std::string runs = readFile(bin.path() / "runs");
    const std::vector<media::PosterFrame> frames =
        media::writePosterFrames(folder, {"fade.mp4", "red.mp4", "bars.mp4"}, std::nullopt);
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(runs, "ffmpeg\n") << "the length is the MP4's own";
    EXPECT_EQ(readFile(bin.path() / "runs"), runs + "ffmpeg\nffmpeg\nffmpeg\nffmpeg\nffmpeg\n");
    ASSERT_EQ(frames.size(), 3u);
    const std::vector<std::pair<std::string, Names>> others = {{"fade.mp4", {"1", "4"}}, {"red.mp4", {"1", "5"}}};
    for (std::size_t i = 0; i < others.size(); ++i) {
        const fs::path clip = dir.path() / others[i].first;
        ASSERT_TRUE(frames[i].part) << frames[i].why;
        const std::string poster = pixelsOf(folder.pathOf(*frames[i].part));
        const double chosen = threeRunChoice(clip);
        EXPECT_GT(chosen, 1) << clip << " shows one colour at 1 s";
        EXPECT_LT(difference(poster, pixelsOf(clip, std::to_string(chosen))), 2) << clip;
        for (const std::string& other : others[i].second) {
            EXPECT_GT(difference(poster, pixelsOf(clip, other)), 10) << clip << " at " << other;
        }
    }
    EXPECT_LT(difference(pixelsOf(folder.pathOf(*frames[2].part)), pixelsOf(dir.path() / "bars.mp4", "1")), 8);
    EXPECT_EQ(filesOf(dir.path()).size(), clips.size() + 4) << "the clips, four posters, nothing left behind";
}

} // namespace
} // namespace clipnest::testing
