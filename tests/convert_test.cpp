// Converting the videos browsers do not play, through the built program as a host runs it: what FFmpeg made of each
// clip (ffprobe's word), how the entry and its files follow a new name, what undo puts back, the kept originals, and
// a conversion stopped part way.
#include "media/convert.h"
#include "media/ffmpeg.h"
#include "support/support.h"

#include <chrono>
#include <thread>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
constexpr auto npos = std::string::npos;

struct Result {
    int status = -1;
    std::string out, err;
};

class Convert : public ::testing::Test {
protected:
    void SetUp() override { useTestSecret(dir()); }

    Result clipnest(const std::vector<std::string>& args) {
        const TempDir io;
        std::string command = "cd " + quoted(dir()) + " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                              environment + std::string(CLIPNEST_PROGRAM);
        for (const std::string& arg : args) {
            command += " " + quoted(arg);
        }
        Result r;
        shell("(" + command + " < /dev/null > " + quoted(io.path() / "out") + " 2> " + quoted(io.path() / "err") + ")",
              &r.status);
        r.out = readFile(io.path() / "out");
        r.err = readFile(io.path() / "err");
        return r;
    }
    // A clip of FFmpeg's test sources: `video` and `audio` are the options of each stream ("" for no sound).
    void clip(const std::string& name, const std::string& video, const std::string& audio,
              const std::string& size = "320x240") const {
        int rc = 0;
        const std::string log = shell("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=" + size + ":rate=10 " +
                                          (audio.empty() ? "" : "-f lavfi -i sine=frequency=440 ") + "-t 1 " + video +
                                          " " + audio + " -x265-params log-level=error " + quoted(dir() / name),
                                      &rc);
        ASSERT_EQ(rc, 0) << name << ": " << log;
    }
    // ffprobe's word on the streams: "h264 yuv420p 320x240;aac;".
    std::string streams(const std::string& name) const {
        return shell("ffprobe -v error -show_entries stream=codec_name,pix_fmt,width,height -of "
                     "default=nw=1:nk=1 " +
                     quoted(dir() / name) + " | tr '\\n' ' '");
    }
    std::string file(const std::string& name) const { return readFile(dir() / name); }
    bool has(const std::string& name) const { return fs::exists(dir() / name); }
    const fs::path& dir() const { return dir_.path(); }
    // The temporary files of writes and conversions left in the folder.
    Names leftovers() const {
        Names found;
        for (const auto& e : fs::directory_iterator(dir())) {
            if (e.path().filename().string().starts_with(WorkingFolder::TemporaryPrefix)) {
                found.push_back(e.path().filename().string());
            }
        }
        return found;
    }
    // A stand-in ffmpeg, first on the PATH of the program (and of this process while it lives): `script` is its
    // shell body; the real one is /usr/bin/ffmpeg.
    void standIn(const std::string& script) {
        writeFile(tools_.path() / "ffmpeg", "#!/bin/sh\n" + script);
        fs::permissions(tools_.path() / "ffmpeg", fs::perms::owner_all);
        environment = "PATH=" + quoted(tools_.path().string() + ":" + std::getenv("PATH")) + " ";
    }
    std::string environment;
    TempDir tools_;

private:
    TempDir dir_;
};

// An encoder list that has them both, for a stand-in.
constexpr const char* Encoders = "case \"$*\" in *-encoders*) echo ' V....D libx264 H.264'; echo ' A..... aac AAC';"
                                 " exit 0;; esac\n";

// A phone's HEVC .mov with an entry, a poster and captions: clip.mp4 of H.264 and AAC, its index in front, takes the
// entry, the page's source and the server's rename; the poster and captions stay with the page. Undo puts every byte
// back and drops the kept original; once the originals are removed, undo says it cannot and changes nothing.
TEST_F(Convert, HevcMovBecomesAnMp4ItsEntryFollowsAndUndoPutsItBack) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    clip("clip.mov", "-c:v libx265 -pix_fmt yuv420p", "-c:a aac");
    writeFile(dir() / "clip.vtt", "WEBVTT\n\n00:00.000 --> 00:01.000\nHello\n");
    ASSERT_EQ(clipnest({"entry", "clip.mov", "--homepage", "Roses"}).status, 0);
    const Files before = filesOf(dir());
    ASSERT_NE(file("clip.php").find("clip.vtt"), npos);

    Result r = clipnest({"convert", "clip.mov"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "") << "no progress line when the output is no terminal";
    EXPECT_NE(r.err.find("Converted clip.mov to clip.mp4"), npos) << r.err;
    EXPECT_EQ(streams("clip.mp4"), "h264 320 240 yuv420p aac ");
    EXPECT_FALSE(media::indexAtEnd(dir() / "clip.mp4"));
    EXPECT_FALSE(has("clip.mov"));
    EXPECT_EQ(file(".clipnest/originals/clip.mov"), before.at("clip.mov"));
    EXPECT_NE(file("homepage.html").find("src=\"clip.mp4\""), npos);
    EXPECT_EQ(file("homepage.html").find("clip.mov"), npos);
    EXPECT_NE(file("clip.php").find("clip.mp4"), npos);
    EXPECT_EQ(file("clip.php").find("clip.mov"), npos);
    EXPECT_NE(file("clip.php").find("clip.vtt"), npos) << "the captions stay on the page";
    EXPECT_EQ(file("clip.jpg"), before.at("clip.jpg"));
    EXPECT_NE(file("change_file_name.php").find("array(\"clip.mov\", \"clip.mp4\")"), npos);
    EXPECT_NE(file(".clipnest/first-made").find("clip.mp4"), npos) << "the entry keeps the day it was first made";
    EXPECT_EQ(file(".clipnest/first-made").find("clip.mov"), npos);
    EXPECT_TRUE(leftovers().empty());
    r = clipnest({"publish", "--dry-run", "--to", "sftp://nobody@127.0.0.1:1/x/"});
    EXPECT_NE(r.out.find("clip.mp4"), npos) << r.out << r.err;
    EXPECT_EQ(r.out.find("originals"), npos) << "the original stays here: " << r.out;
    r = clipnest({"check"});
    EXPECT_EQ(r.out, "") << "nothing left to mend";
    EXPECT_NE(r.err.find("note: Originals kept: 1 file, "), npos) << r.err;
    EXPECT_NE(r.err.find("; clipnest originals --remove frees them"), npos) << r.err;

    r = clipnest({"undo"});
    ASSERT_EQ(r.status, 0) << r.err;
    Files now = filesOf(dir());
    for (const auto& [name, bytes] : before) {
        if (!name.starts_with(".clipnest/")) {
            EXPECT_EQ(now[name], bytes) << name;
        }
    }
    EXPECT_FALSE(has("clip.mp4"));
    EXPECT_FALSE(has("change_file_name.php"));
    EXPECT_FALSE(has(".clipnest/originals/clip.mov")) << "back in the folder, no longer kept apart";

    // Converted again, its original removed: the undo cannot be done, and says so without touching a file.
    ASSERT_EQ(clipnest({"convert", "clip.mov"}).status, 0);
    r = clipnest({"originals"});
    EXPECT_NE(r.out.find("Originals kept: 1 file, "), npos) << r.out;
    r = clipnest({"originals", "--remove"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Removed 1 original"), npos) << r.out;
    EXPECT_FALSE(has(".clipnest/originals/clip.mov"));
    now = filesOf(dir());
    for (const auto& [name, bytes] : now) {
        EXPECT_EQ(name.find("clip.mov"), npos) << name << ": every copy of the original is gone, so its space is free";
    }
    r = clipnest({"undo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot undo convert clip.mov clip.mp4"), npos) << r.err;
    EXPECT_NE(r.err.find("its original clip.mov was removed (clipnest originals --remove); nothing was changed"), npos)
        << r.err;
    EXPECT_EQ(filesOf(dir()), now);
}

// Each kind of clip as it must come out: MPEG-2 with sound, a portrait clip tagged to be turned, a clip without sound,
// an HEVC .mp4 replaced under its own name; the height bound and --small; a name that is taken; and the clips browsers
// play already, left alone.
TEST_F(Convert, EachKindOfClipComesOutAsBrowsersPlayIt) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    clip("dvd.mpg", "-c:v mpeg2video", "-c:a mp2");
    // A phone writes the frame as the sensor sees it and tags it to be turned when shown.
    clip("landscape.mov", "-c:v libx265 -pix_fmt yuv420p", "-c:a aac");
    shell("ffmpeg -nostdin -loglevel error -i " + quoted(dir() / "landscape.mov") +
          " -c copy -metadata:s:v:0 rotate=90 " + quoted(dir() / "portrait.mov"));
    fs::remove(dir() / "landscape.mov");
    ASSERT_EQ(shell("ffprobe -v error -show_entries stream_side_data=rotation -of default=nw=1:nk=1 " +
                    quoted(dir() / "portrait.mov")),
              "90\n");
    clip("silent.mov", "-c:v libx265 -pix_fmt yuv420p", "");
    clip("phone.mp4", "-c:v libx265 -pix_fmt yuv420p", "-c:a aac");
    clip("big.mov", "-c:v mpeg4", "", "640x480");
    clip("good.webm", "-c:v libvpx-vp9 -b:v 100k", "-c:a libopus");
    clip("good.mp4", "-c:v libx264 -pix_fmt yuv420p -movflags +faststart", "-c:a aac");
    ASSERT_EQ(streams("portrait.mov").substr(0, 12), "hevc 320 240");

    // check names a camera's container as one to convert.
    ASSERT_EQ(clipnest({"entry", "dvd.mpg", "--homepage", "Holidays"}).status, 0);
    Result r = clipnest({"check"});
    EXPECT_NE(r.out.find("dvd.mpg: browsers do not play .mpg files; MP4 (H.264 video, AAC sound) plays in all of them: "
                         "clipnest convert dvd.mpg (or clipnest check --fix) makes an MP4 of it"),
              npos)
        << r.out;
    r = clipnest({"convert", "dvd.mpg", "portrait.mov", "silent.mov"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(streams("dvd.mp4"), "h264 320 240 yuv420p aac ");
    // Turned as it was shown: upright, with no rotation left for a player to apply again.
    EXPECT_EQ(streams("portrait.mp4"), "h264 240 320 yuv420p aac ");
    EXPECT_EQ(shell("ffprobe -v error -show_entries stream_side_data=rotation:stream_tags=rotate -of "
                    "default=nw=1:nk=1 " +
                    quoted(dir() / "portrait.mp4")),
              "");
    EXPECT_EQ(streams("silent.mp4"), "h264 320 240 yuv420p ");
    for (const std::string name : {"dvd.mp4", "portrait.mp4", "silent.mp4"}) {
        EXPECT_FALSE(media::indexAtEnd(dir() / name)) << name;
    }

    // Under its own name, the made file takes the original's place; undo puts the original back there.
    const std::string phone = file("phone.mp4");
    ASSERT_EQ(clipnest({"convert", "phone.mp4"}).status, 0);
    EXPECT_EQ(streams("phone.mp4"), "h264 320 240 yuv420p aac ");
    EXPECT_EQ(file(".clipnest/originals/phone.mp4"), phone);
    ASSERT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(file("phone.mp4"), phone);

    // The height as set, even; --small gives 720 at most and never makes a clip larger.
    writeFile(dir() / ".clipnest/publish.conf", "max_height = 145\n");
    ASSERT_EQ(clipnest({"convert", "big.mov"}).status, 0);
    EXPECT_EQ(streams("big.mp4"), "h264 192 144 yuv420p ");
    ASSERT_EQ(clipnest({"undo"}).status, 0);
    writeFile(dir() / ".clipnest/publish.conf", "");
    ASSERT_EQ(clipnest({"convert", "--small", "big.mov"}).status, 0);
    EXPECT_EQ(streams("big.mp4"), "h264 640 480 yuv420p ");
    // Over max_upload once converted: converted again at the small size.
    clip("tall.mov", "-c:v mpeg4", "", "1280x960");
    writeFile(dir() / ".clipnest/publish.conf", "max_upload = 1K\n");
    r = clipnest({"convert", "tall.mov"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("note: tall.mov converted was "), npos) << r.err;
    EXPECT_NE(r.err.find(", over max_upload in .clipnest/publish.conf: converted it again at 720 lines"), npos)
        << r.err;
    EXPECT_EQ(streams("tall.mp4"), "h264 960 720 yuv420p ");
    writeFile(dir() / ".clipnest/publish.conf", "crf = 60\n");
    r = clipnest({"convert", "good.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("crf takes 0 to 51; '60' is none"), npos) << r.err;
    writeFile(dir() / ".clipnest/publish.conf", "");

    // A name that is taken is refused before anything is converted.
    clip("taken.mov", "-c:v libx265 -pix_fmt yuv420p", "");
    writeFile(dir() / "taken.mp4", "the host's own");
    const Files kept = filesOf(dir());
    r = clipnest({"convert", "taken.mov"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("taken.mov was not converted: taken.mp4 is in the folder already; nothing was changed."), npos)
        << r.err;
    EXPECT_EQ(filesOf(dir()), kept);

    // What browsers play already stays as it is, and says so.
    r = clipnest({"convert", "good.webm", "good.mp4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("good.webm: it plays in every browser already (vp9, opus); it was left as it is.\n"), npos)
        << r.out;
    EXPECT_NE(r.out.find("good.mp4: it plays in every browser already (h264, aac)"), npos) << r.out;
    EXPECT_EQ(filesOf(dir()), kept);
    EXPECT_TRUE(leftovers().empty());
}

// Ctrl+C while the second of two videos converts: the first stays converted (its own undo step), the second is as it
// was and no part of its conversion is left. A stand-in ffmpeg hangs on the second.
TEST_F(Convert, InterruptedConversionLeavesTheOriginalAndKeepsTheOnesDone) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    clip("first.mov", "-c:v libx265 -pix_fmt yuv420p", "-c:a aac");
    clip("second.mov", "-c:v libx265 -pix_fmt yuv420p", "-c:a aac");
    const std::string second = file("second.mov");
    const fs::path started = tools_.path() / "started";
    standIn(std::string(Encoders) + "case \"$*\" in *second.mov*) echo out_time_us=100000; echo speed=0.5x; " +
            "echo progress=continue; touch " + quoted(started) +
            "; exec sleep 60;; esac\nexec /usr/bin/ffmpeg \"$@\"\n");
    const TempDir logs;
    Process run({"sh", "-c",
                 "cd " + quoted(dir()) + " && exec env " + environment + quoted(CLIPNEST_PROGRAM) +
                     " convert first.mov second.mov"},
                logs.path() / "log");
    for (int i = 0; i < 600 && !fs::exists(started); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(started)) << readFile(logs.path() / "log");
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(run.stop(SIGINT), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5)) << "ffmpeg was not waited for";
    EXPECT_NE(readFile(logs.path() / "log")
                  .find("Cancelled: second.mov is as it was; the videos converted before it stay so, each its own step "
                        "for undo."),
              npos)
        << readFile(logs.path() / "log");
    EXPECT_EQ(file("second.mov"), second);
    EXPECT_FALSE(has("second.mp4"));
    EXPECT_TRUE(leftovers().empty()) << leftovers().front();
    EXPECT_EQ(streams("first.mp4"), "h264 320 240 yuv420p aac ");
    environment.clear();
    const Result history = clipnest({"history"});
    EXPECT_NE(history.out.find("convert first.mov first.mp4"), npos) << history.out;
    EXPECT_EQ(history.out.find("second"), npos) << history.out;
}

// The cancel flag of the media room itself, set from the first progress it is told: the temporary file goes, the
// original stays; and the progress is read from ffmpeg's own lines against the clip's length.
TEST_F(Convert, CancelFromProgressRemovesTheTemporaryFile) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    clip("clip.mov", "-c:v libx265 -pix_fmt yuv420p", "");
    standIn("echo out_time_us=250000; echo speed=2.00x; echo progress=continue; exec sleep 60\n");
    const std::string path = std::getenv("PATH");
    setenv("PATH", (tools_.path().string() + ":" + path).c_str(), 1);
    WorkingFolder folder(dir());
    std::atomic<bool> cancel = false;
    std::vector<media::ConvertProgress> told;
    const media::Conversion c = media::convertVideo(
        folder, "clip.mov", {},
        [&](const media::ConvertProgress& p) {
            told.push_back(p);
            cancel = true;
        },
        &cancel);
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(c.result, media::Conversion::Result::Cancelled) << c.message;
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NEAR(told[0].done, 0.25, 0.01);
    EXPECT_NEAR(told[0].speed, 2.0, 0.01);
    EXPECT_NEAR(told[0].secondsLeft, 0.375, 0.01);
    EXPECT_TRUE(leftovers().empty());
    EXPECT_TRUE(has("clip.mov"));
}

// An ffmpeg without an H.264 encoder is named as the reason, before anything is done.
TEST_F(Convert, AnFfmpegWithoutH264SaysSo) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    clip("clip.mov", "-c:v libx265 -pix_fmt yuv420p", "");
    standIn("echo ' A..... aac AAC'; echo ' V....D libx265 H.265'\n");
    const Files before = filesOf(dir());
    const Result r = clipnest({"convert", "clip.mov"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("This FFmpeg has no H.264 encoder (libx264); install one with H.264"), npos) << r.err;
    EXPECT_EQ(filesOf(dir()), before);
}

} // namespace
} // namespace clipnest::testing
