#include "cli/demo.h"
#include "platform/file_lock.h"
#include "publish/manifest.h"
#include "support/support.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
constexpr auto npos = std::string::npos;

struct Result {
    int status = -1;
    std::string out, err;
};

// Runs the built program in a folder of its own, as a script would, without a display.
class CommandLine : public ::testing::Test {
protected:
    Result clipnest(const std::vector<std::string>& args, const std::string& input = "") {
        const TempDir io;
        writeFile(io.path() / "in", input);
        std::string command = "cd " + quoted(dir()) + " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                              environment + std::string(CLIPNEST_PROGRAM);
        for (const std::string& arg : args) {
            command += " " + quoted(arg);
        }
        Result r;
        shell("(" + command + " < " + quoted(io.path() / "in") + " > " + quoted(io.path() / "out") + " 2> " +
                  quoted(io.path() / "err") + ")",
              &r.status);
        r.out = readFile(io.path() / "out");
        r.err = readFile(io.path() / "err");
        return r;
    }
    std::string file(const std::string& name) const { return readFile(dir() / name); }
    bool has(const std::string& name) const { return fs::exists(dir() / name); }
    void put(const std::string& name, const std::string& bytes) const { writeFile(dir() / name, bytes); }
    const fs::path& dir() const { return dir_->path(); }
    void freshFolder() { dir_ = std::make_unique<TempDir>(); }
    // Put before the program on its command line: NAME=value pairs, each followed by a space.
    std::string environment;

private:
    std::unique_ptr<TempDir> dir_ = std::make_unique<TempDir>();
};

// A host's session from the folder above the channel, each command working on the folder -C names before the
// command or after it: the files the window writes, the listing, and nothing written where it ran.
TEST_F(CommandLine, SessionOfCommands) {
    fs::create_directory(dir() / "channel");
    useTestSecret(dir() / "channel");
    const auto in = [this](const std::string& name) { return file("channel/" + name); };
    Result r = clipnest(
        {"-C", "channel", "entry", "clip7.mp4", "--homepage", "My first clip", "--individual", "A longer story"});
    EXPECT_EQ(r.status, 0);
    // A first run in an empty folder: the start-up notice, as a note.
    EXPECT_EQ(r.err, "note: A homepage.html file will be created in the folder with this app. If you want to work "
                     "with a previously created homepage.html file instead, you can place one in the folder now.\n"
                     "Added clip7.mp4: clip7.php and homepage.html written. No poster for clip7.mp4: clip7.mp4 is not "
                     "in the folder.\n");
    EXPECT_EQ(expected("homepage.html"), in("homepage.html"));
    EXPECT_EQ(expected("clip7.php"), in("clip7.php"));
    for (const auto& [command, said] :
         {std::pair<std::vector<std::string>, std::string>{
              {"entry", "three.mp4", "--homepage", "Fish & chips <b> café ☕", "-C", "channel"},
              "Added three.mp4: three.php, homepage.html and clip7.php written. No poster for three.mp4: three.mp4 is "
              "not in the folder.\n"},
          {{"-C", "channel", "title", "--title", "My Channel", "--message", "New clips every week"},
           "Updated the title and message: homepage.html written.\n"}}) {
        r = clipnest(command);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, said);
    }
    EXPECT_TRUE(contains(in("homepage.html"), "Fish &amp; chips &lt;b&gt; caf&#233; &#9749;"));
    EXPECT_TRUE(contains(in("homepage.html"), "My Channel\n") && contains(in("homepage.html"), "every week\n"));
    r = clipnest({"list", "-C", "channel"});
    EXPECT_EQ(r.out, "clip7.mp4\tMy first clip\nthree.mp4\tFish & chips <b> café ☕\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(filesOf(dir()), Files{}) << "nothing written where it ran";
}

// What each command answers, in an empty folder or in one with the entries a.mp4 and b.mp4: the exit status and
// standard error, exactly (or, with a leading '~', holding the text), and a refusal or usage error leaves the
// homepage as it was.
TEST_F(CommandLine, RepliesToEachCommand) {
    struct Row {
        bool made;
        std::vector<std::string> args;
        int status;
        std::string err;
        std::string input = "";
        std::function<void()> setup = [] {};
    };
    const auto folderAs = [this](const char* name) { return [this, name] { fs::create_directory(dir() / name); }; };
    const std::string missingPage = "An Individual page for the entered file name could not be found. If you want to "
                                    "create a new individual page for this name, simply click Create/Change Entry "
                                    "again and it will be created.\n";
    const std::string invalid = "Please enter a valid file name: ";
    const std::string notStored = invalid + "the name holds a character the pages cannot store (they keep Windows-1252 "
                                            "names).\n";
    const std::string nothing = "Nothing was changed.\n";
    const std::string noHomepage = "A homepage.html file was not found in your local folder. Please place one there.\n";
    const auto removed = [this](const char* name) { return [this, name] { fs::remove(dir() / name); }; };
    // clang-format off
    const Row rows[] = {
        {false, {"bogus"}, 2, "~unknown command 'bogus'"},
        {false, {"Entry", "a.mp4"}, 2, "~unknown command 'Entry'; did you mean 'entry'?\n"},
        {false, {"lsit"}, 2, "~unknown command 'lsit'; did you mean 'list'?\n"},
        {false, {"frobnicate"}, 2, "~unknown command 'frobnicate'; the commands are entry, delete, insert"},
        // Three letters off is too far for a guess, the last letters and short words counted too.
        {false, {"undoxyz"}, 2, "~unknown command 'undoxyz'; the commands are"},
        {false, {"zz"}, 2, "~unknown command 'zz'; the commands are"},
        {false, {"entry"}, 2, "~NAME"},
        {false, {"insert", "a.mp4"}, 2, "~--above"},
        {false, {"rename", "a.mp4"}, 2, "~"},
        {false, {"entry", "a.mp4", "--nope"}, 2, "~--nope"},
        {false, {"-C", "."}, 2, "~A subcommand is required"},
        {false, {"-C"}, 2, "~-C"},
        // A folder named like a command does not turn the command into a folder to open.
        {true, {"list"}, 0, "", "", folderAs("list")},
        {false, {"entry", "a.mp4", "--homepage", "x", "--homepage=y"}, 2, "~--homepage given twice\n"},
        // A batch is read whole before its first line runs.
        {false, {"batch"}, 2, "batch: line 2: unknown command 'Delete'; did you mean 'delete'?; nothing was done\n",
         "entry a.mp4\nDelete a.mp4\n"},
        {true, {"batch", "-"}, 2, "batch: line 2: a quote ' is not closed; nothing was done\n", "delete a.mp4\nentry 'b\n"},
        {true, {"batch"}, 2, "batch: line 2: a quote \" is not closed; nothing was done\n", "delete a.mp4\nentry \"b\n"},
        {true, {"batch"}, 2, "batch: line 2: longer than 1000000 bytes; nothing was done\n",
         "delete a.mp4\nentry b.mp4 --homepage " + std::string(10 * 1024 * 1024, 'x') + "\n"},
        {true, {"batch"}, 2, "batch: line 3: not valid UTF-8; nothing was done\n", "delete a.mp4\n\nentry caf\xE9.mp4\n"},
        {true, {"batch"}, 2, "batch: line 2: holds a NUL character; nothing was done\n", "delete a.mp4\nentry c.mp4 --homepage \"A" + std::string(1, '\0') + "B\"\n"},
        {true, {"batch"}, 2, "~batch: line 2: ", "delete a.mp4\nbatch other\n"},
        {true, {"batch"}, 2, "~batch: line 2: ", "delete a.mp4\nhistory\n"},
        {true, {"batch"}, 2, "~batch: line 2: ", "delete a.mp4\nentry\n"},
        {true, {"batch"}, 2, "batch: line 2: help is no command of a batch; nothing was done\n", "delete a.mp4\nlist --help\n"},
        {true, {"batch", "no-such-file"}, 2, "batch: cannot read no-such-file\n"},
        // A refused line stops the batch, or with --keep-going the lines after it run too.
        {true, {"batch"}, 1, "line 1: An entry for the entered file name was not found on the Homepage.\nbatch: stopped at line 1; 1 command after it was not run\n", "delete nowhere.mp4\ndelete b.mp4\n"},
        {true, {"batch", "--keep-going"}, 1, "~batch: 2 of 2 commands failed (lines 1, 2)\n", "delete nowhere.mp4\nentry .mp4\n"},
        {true, {"batch"}, 0, "", "# nothing but a comment\n"},
        // No command, or only a folder to open: the window.
#ifdef CLIPNEST_WITH_WINDOW
        {false, {}, 2, "clipnest: no display to open the window on; run a command instead (clipnest --help)\n"},
        {false, {"."}, 2, "clipnest: no display to open the window on; run a command instead (clipnest --help)\n"},
#else
        {false, {}, 2, "clipnest: built without the window; run a command (clipnest --help)\n"},
        {false, {"."}, 2, "clipnest: built without the window; run a command (clipnest --help)\n"},
#endif
        {false, {"list"}, 1, noHomepage},
        {false, {"insert", "a.mp4", "--above", "b.mp4"}, 1, "An entry for the file name b.mp4 was not found on the Homepage.\n"},
        {false, {"rename", "../../index.php", "../evil.php"}, 1, "~" + invalid + "\"../../index.php\" holds /, so it is a path: give the file's name alone"},
        // The rename page never turns a comment into a program, a page into text, or itself into anything.
        {true, {"rename", "a_comments.txt", "evil.php"}, 1, "Clipnest did not write change_file_name.php: a_comments.txt holds a video's comments, which only its page writes.\n"},
        // The server's own files, however the letters are spelt: a host on a case-blind file system serves one name as the other.
        {true, {"rename", "notes.txt", "A_COMMENTS.TXT"}, 1, "~A_COMMENTS.TXT holds a video's comments, which only its page writes"},
        {true, {"rename", "notes.txt", "Comment_Moderation.txt"}, 1, "~Comment_Moderation.txt holds which comments are hidden, which only Clipnest writes"},
        {true, {"rename", "notes.txt", "COMMENT_RATE_LIMITS.TXT"}, 1, "~COMMENT_RATE_LIMITS.TXT holds a video's comments, which only its page writes"},
        {true, {"rename", "Change_File_Name.PHP", "x.mp4"}, 1, "~Change_File_Name.PHP is the rename page itself"},
        {true, {"rename", "a.mp4", "evil.php.mp4"}, 1, "~evil.php.mp4 is a name the server runs as a program"},
        {true, {"rename", "a.php", "a.txt"}, 1, "~a.php is a name the server runs as a program"},
        {true, {"rename", "change_file_name.php", "x.mp4"}, 1, "~change_file_name.php is the rename page itself"},
        {true, {"entry", "change_file_name.mp4", "--homepage", "x"}, 1, "~change_file_name.mp4 cannot have an entry: its page would be change_file_name.php"},
        {false, {"entry", "hash#x.mp4", "--homepage", "x"}, 1, "~" + invalid + "\"hash#x.mp4\" holds #, which no file name here may hold.\n"},
        {true, {"entry", "mug\u2615.mp4"}, 1, notStored},
        {true, {"entry", "\xFF.mp4"}, 1, notStored},
        {true, {"delete", "missing.mp4"}, 1, "An entry for the entered file name was not found on the Homepage.\n"},
        {true, {"insert", "a.mp4", "--above", "b.mp4"}, 1, "There is already an entry with the entered file name on the Homepage.\n"},
        {true, {"insert", "c", "--above", "a.mp4"}, 1, "Please enter valid file names.\n"},
        {true, {"insert", "c.mp4", "--above", "nowhere.mp4"}, 1, "An entry for the file name nowhere.mp4 was not found on the Homepage.\n"},
        {true, {"entry", "a.mp4"}, 0, nothing},
        {true, {"entry", "a.mp4", "--homepage-only"}, 0, nothing},
        {true, {"title"}, 0, nothing},
        // One page per name: a second video of the same name works on the first one's page, and says so.
        {true, {"entry", "a.webm", "--homepage", "WebM"}, 0, "note: a.webm shares a.php with the entry a.mp4; its descriptions were changed\nChanged a.webm: a.php and homepage.html written.\n"},
        {true, {"insert", "a.mov", "--above", "b.mp4", "--homepage", "MOV"}, 0, "note: a.mov shares a.php with the entry a.mp4; the page was left as it was\nInserted a.mov above b.mp4: homepage.html and b.php written. No poster for a.mov: a.mov is not in the folder.\n"},
        // The window's notice asks for a second click; --create-page makes the page in the same run.
        {true, {"entry", "a.mp4", "--homepage", "A2"}, 1, missingPage + "note: add --create-page to create the page.\n", "", removed("a.php")},
        {true, {"entry", "a.mp4", "--homepage", "A2", "--create-page"}, 0, "note: " + missingPage + "Added a.mp4: a.php, homepage.html and b.php written.\n", "", removed("a.php")},
        // Nothing is written over a folder, a read-only file, or a homepage found under its other name.
        {false, {"rename", "a.mp4", "b.mp4"}, 1, "~Clipnest could not write change_file_name.php. The file on disk was left as it was.\n", "", folderAs("change_file_name.php")},
        {false, {"title", "--title", "T"}, 1, "~Clipnest could not write homepage.html. The file on disk was left as it was.\n", "", folderAs("homepage.html")},
        {true, {"entry", "c.mp4", "--homepage", "C"}, 1, "~Clipnest did not write homepage.html: the file is read-only.", "",
         [this] { fs::permissions(dir() / "homepage.html", fs::perms::owner_read); }},
        {true, {"entry", "c.mp4", "--homepage", "C"}, 0, "note: The homepage was read from Homepage.htm and written as homepage.html: upload homepage.html from now on; Homepage.htm was left as it was.\nAdded c.mp4: c.php, homepage.html and b.php written. No poster for c.mp4: c.mp4 is not in the folder.\n", "",
         [this] { fs::rename(dir() / "homepage.html", dir() / "Homepage.htm"); }},
        {false, {"-C", "missing", "entry", "a.mp4"}, 2, "clipnest: cannot work in missing: no such folder\n"},
        {true, {"list", "-C", "a.php"}, 2, "clipnest: cannot work in a.php: not a folder\n"},
        // The marker file is no part of the work.
        {false, {"entry", "a.mp4", "--homepage", "A"}, 0, "~note: Clipnest could not create AppDocs.txt", "", folderAs("AppDocs.txt")},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE((row.args.empty() ? std::string("(none)") : row.args[0]) + " " +
                     (row.args.size() > 1 ? row.args[1] : ""));
        freshFolder();
        if (row.made) {
            clipnest({"entry", "a.mp4", "--homepage", "A"});
            clipnest({"entry", "b.mp4", "--homepage", "B"});
        }
        row.setup();
        const std::string before = file("homepage.html");
        const Result r = clipnest(row.args, row.input);
        EXPECT_EQ(r.status, row.status);
        if (row.err.starts_with("~")) {
            EXPECT_NE(r.err.find(row.err.substr(1)), npos) << r.err;
        } else {
            EXPECT_EQ(r.err, row.err);
        }
        if (row.status != 0 || row.err == nothing) {
            EXPECT_EQ(file("homepage.html"), before);
        }
    }
    // A command's help names its options; the longest names the folder takes still work.
    EXPECT_NE(clipnest({"insert", "--help"}).out.find("--above"), npos);
    const std::string longName = std::string(250, 'n') + ".mp4";
    EXPECT_EQ(clipnest({"entry", longName, "--homepage", "Long"}).status, 0);
    EXPECT_TRUE(has(std::string(250, 'n') + ".php"));
}

// A name a server would run, read as its settings, or take for another is neither an entry's nor a rename target,
// however it is spelt; a comment's number starts at 1.
TEST_F(CommandLine, NamesAServerRunsAreRefusedByOneRule) {
    freshFolder();
    clipnest({"entry", "a.mp4", "--homepage", "A"});
    const std::string before = file("homepage.html");
    for (const std::string name : {"clip.py", "clip.PL", "clip.cgi", "clip.fcgi", "clip.aspx", "clip.jsp", "clip.shtm",
                                   "clip.stm", "clip.php5", "clip.pl.mp4", "clip.mp4.", "php.ini", "web.config"}) {
        SCOPED_TRACE(name);
        Result r = clipnest({"entry", name, "--homepage", "x"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("\"" + name + "\" is a name the server runs as a program"), npos) << r.err;
        r = clipnest({"rename", "a.mp4", name});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(name + " is a name the server runs as a program"), npos) << r.err;
    }
    for (const std::string name : {".htaccess", ".user.ini", "x.php ", "x.mp4 ."}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(clipnest({"entry", name, "--homepage", "x"}).status, 1);
        EXPECT_EQ(clipnest({"rename", "a.mp4", name}).status, 1);
    }
    EXPECT_EQ(file("homepage.html"), before);
    EXPECT_FALSE(has("change_file_name.php"));
    EXPECT_EQ(clipnest({"entry", "clip.mp4", "--homepage", "x"}).status, 0) << "a video's name still is one";

    const Result zero = clipnest({"hide", "a.mp4", "0"});
    EXPECT_EQ(zero.status, 2);
    EXPECT_NE(zero.err.find("comments are numbered from 1"), npos) << zero.err;
    EXPECT_EQ(zero.err.find("1797693"), npos) << zero.err;
}

// An operation done says what it did in the status line's words, on standard error (a batch line's after its
// number); --quiet, before the command or after it, leaves only what went wrong and the notes. A name with a path
// says it is one.
TEST_F(CommandLine, DoneOperationsSayWhatTheyDidUnlessQuiet) {
    const std::string quiet = clipnest({"-q", "entry", "a.mp4", "--homepage", "A"}).err;
    EXPECT_EQ(quiet.find("Added"), npos) << quiet;
    EXPECT_TRUE(quiet.ends_with("\nnote: No poster for a.mp4: a.mp4 is not in the folder.\n")) << quiet;
    EXPECT_EQ(
        clipnest({"entry", "b.mp4", "--homepage", "B"}).err,
        "Added b.mp4: b.php, homepage.html and a.php written. No poster for b.mp4: b.mp4 is not in the folder.\n");
    EXPECT_EQ(clipnest({"insert", "c.mp4", "--above", "b.mp4", "--homepage", "C"}).err,
              "Inserted c.mp4 above b.mp4: c.php, homepage.html, a.php and b.php written. No poster for c.mp4: c.mp4 "
              "is not in the folder.\n");
    EXPECT_EQ(clipnest({"delete", "c.mp4"}).err, "Deleted c.mp4 from the homepage; c.php is still in the folder.\n");
    EXPECT_EQ(clipnest({"rename", "x.txt", "y.txt"}).err,
              "Wrote change_file_name.php (rename x.txt y.txt): upload it and call it up in a browser once.\n");
    EXPECT_EQ(
        clipnest({"rename", "a.mp4", "d.mp4"}).err,
        "Renamed a.mp4 to d.mp4 here (homepage.html, d.php, a.php, change_file_name.php and b.php changed): "
        "publish, then call up change_file_name.php, which holds 2 renames, in a browser once to rename them on the "
        "server.\n");
    EXPECT_EQ(clipnest({"entry", "b.mp4", "--homepage", "B2", "--quiet"}).err, "");
    EXPECT_NE(file("homepage.html").find("B2"), npos);

    const std::string batch = "entry b.mp4 --homepage B3\ndelete nowhere.mp4\n";
    const std::string failed = "line 2: An entry for the entered file name was not found on the Homepage.\n"
                               "batch: 1 of 2 commands failed (line 2)\n";
    Result r = clipnest({"batch", "--keep-going"}, batch);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "line 1: Changed b.mp4: b.php and homepage.html written.\n" + failed);
    r = clipnest({"--quiet", "batch", "--keep-going"}, batch);
    EXPECT_EQ(r.err, failed) << "said nothing of what was done, all of what failed";

    for (const std::string name : {"../x.mp4", "clips/x.mp4", "..\\x.mp4"}) {
        r = clipnest({"entry", name, "--homepage", "X"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Please enter a valid file name: \"" + name + "\" holds " + name[name.find_first_of("/\\")] +
                             ", so it is a path: give the file's name alone, as it stands in the channel folder.\n");
    }
}

// A first start's demo channel is a channel like any other: three entries with their pages, a title, a message, each
// homepage description saying what its clip shows. Its clips are ones browsers play and start at once, so the
// channel passes its own check.
TEST_F(CommandLine, TheDemoChannelPassesItsOwnCheckAndTakesNoFolderThatIsThere) {
    const fs::path demo = dir() / "demo";
    ASSERT_TRUE(cli::makeDemoChannel(demo));
    Result r = clipnest({"-C", demo.string(), "list"});
    EXPECT_EQ(r.out,
              "welcome.mp4\tWelcome: a test picture that counts three seconds\n"
              "colour-bars.mp4\tColour bars, as a studio sends them\nstripes.mp4\tRed, green and blue stripes\n");
    for (const std::string page : {"welcome.php", "colour-bars.php", "stripes.php"}) {
        EXPECT_TRUE(fs::exists(demo / page)) << page;
    }
    EXPECT_NE(readFile(demo / "homepage.html").find("My Video Channel"), npos);
    if (onPath("ffmpeg ffprobe")) {
        r = clipnest({"-C", demo.string(), "check"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + quoted(demo / "stripes.mp4")),
                  "h264\n");
    }
    EXPECT_FALSE(cli::makeDemoChannel(demo)) << "a folder that is there is never written into";
}

// check names exactly the videos and pages a visitor would have trouble with, and how to mend each; --fix moves an
// MP4's index to the front; publish --strict uploads nothing while a problem stands.
TEST_F(CommandLine, CheckNamesWhatWouldTroubleVisitorsAndMendsSlowStarts) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    const auto video = [this](const std::string& name, const std::string& codec, bool fastStart) {
        int rc = 0;
        shell("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120:rate=10 -f lavfi -i "
              "sine=frequency=440 -t 1 -c:v " +
                  codec + " -pix_fmt yuv420p -c:a aac " + (fastStart ? "-movflags +faststart " : "") +
                  quoted(dir() / name),
              &rc);
        ASSERT_EQ(rc, 0) << name;
    };
    video("good.mp4", "libx264", true);
    video("slow.mp4", "libx264", false);
    video("hevc.mp4", "libx265", true);
    for (const std::string name : {"good.mp4", "slow.mp4", "hevc.mp4", "missing.mp4", "gone.mp4"}) {
        ASSERT_EQ(clipnest({"entry", name, "--homepage", "About " + name}).status, 0) << name;
    }
    // The name as another code page's bytes on disk: the entry of the name as typed waits for its video.
    put("\xE9t\xE9.mp4", "not a video either");
    Result refused = clipnest({"entry", "\xC3\xA9t\xC3\xA9.mp4", "--homepage", "Summer"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("\xC3\xA9t\xC3\xA9.mp4 is not in the folder. Its name has letters beyond ASCII"), npos)
        << refused.err;
    EXPECT_EQ(file("homepage.html").find("t&#233;"), npos);
    ASSERT_EQ(clipnest({"delete", "gone.mp4"}).status, 0);
    Result r = clipnest({"check"});
    EXPECT_EQ(r.status, 1);
    const auto said = [&r](const std::string& start) {
        std::size_t lines = 0;
        for (std::size_t at = r.out.find(start); at != npos; at = r.out.find(start, at + 1)) {
            lines += at == 0 || r.out[at - 1] == '\n';
        }
        return lines;
    };
    EXPECT_EQ(said("slow.mp4: its index is at the end"), 1u) << r.out;
    EXPECT_EQ(said("hevc.mp4: its video is hevc, which most browsers do not play"), 1u) << r.out;
    EXPECT_EQ(said("missing.mp4: the homepage links it, but it is not in the folder"), 1u) << r.out;
    // A file whose name on disk is no UTF-8 (the bytes of another code page) is named, by its bytes, as one no page
    // can name.
    EXPECT_EQ(said("\\xE9t\\xE9.mp4: its name on disk is not UTF-8"), 1u) << r.out;
    EXPECT_EQ(r.out.find("does not survive an address"), npos) << r.out;
    EXPECT_EQ(said("gone.php: a video page that no entry of the homepage links"), 1u) << r.out;
    EXPECT_EQ(r.out.find("good.mp4"), npos) << r.out;
    EXPECT_EQ(r.out.find("homepage.html:"), npos) << "Clipnest's own text is ASCII: " << r.out;
    const std::string homepage = file("homepage.html");
    put("homepage.html", with(homepage, "</body>", "<p>Caf\xE9 au lait</p>\n</body>"));
    r = clipnest({"check"});
    EXPECT_EQ(said("homepage.html: line " +
                   std::to_string(std::count(homepage.begin(), homepage.begin() + homepage.find("</body>"), '\n') + 1) +
                   " holds letters beyond ASCII as windows-1252 bytes"),
              1u)
        << r.out;
    put("homepage.html", homepage);

    r = clipnest({"check", "--fix"});
    EXPECT_NE(r.out.find("Moved the index of slow.mp4 to its front.\n"), npos) << r.out;
    EXPECT_EQ(r.out.find("slow.mp4: "), npos) << r.out;
    EXPECT_EQ(shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + quoted(dir() / "slow.mp4")),
              "h264\naac\n")
        << "the same streams, copied";
    // The video browsers do not play is converted under its own name, its original kept.
    EXPECT_EQ(r.out.find("hevc.mp4: "), npos) << r.out;
    EXPECT_NE(r.err.find("Converted hevc.mp4 ("), npos) << r.err;
    EXPECT_EQ(shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + quoted(dir() / "hevc.mp4")),
              "h264\naac\n");
    EXPECT_TRUE(has(".clipnest/originals/hevc.mp4"));

    put(".clipnest/publish.conf", "max_upload = 1K\n");
    EXPECT_NE(clipnest({"check"}).out.find("good.mp4: it is 0.0 MB, over max_upload"), npos);
    r = clipnest({"publish", "--dry-run", "--strict", "--to", "sftp://nobody@127.0.0.1:1/x/"});
    EXPECT_EQ(r.status, 1);
    // A publish checks only what it would upload: the file no page can name is not among that.
    EXPECT_NE(r.err.find("publish: clipnest check finds 4 problems (good.mp4, slow.mp4, hevc.mp4, missing.mp4)"), npos)
        << r.err;
    EXPECT_NE(r.err.find("nothing was uploaded"), npos) << r.err;
}

// QuickTime and .m4v files are MP4s to a browser: played when their streams are, and named when their index is at the
// end.
TEST_F(CommandLine, CheckTakesQuickTimeAndM4vForMp4) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    for (const auto& [name, fastStart] : {std::pair{"slow.mov", false}, std::pair{"good.m4v", true}}) {
        int rc = 0;
        shell(std::string("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120:rate=10 -t 1 -c:v libx264 "
                          "-pix_fmt yuv420p ") +
                  (fastStart ? "-movflags +faststart -f mp4 " : "") + quoted(dir() / name),
              &rc);
        ASSERT_EQ(rc, 0) << name;
        ASSERT_EQ(clipnest({"entry", name, "--homepage", "About"}).status, 0) << name;
    }
    const Result r = clipnest({"check"});
    EXPECT_EQ(r.out, "slow.mov: its index is at the end, so it starts only after the browser fetched the end: clipnest "
                     "check --fix moves it to the front (ffmpeg -i IN -c copy -movflags +faststart OUT)\n");
}

// FFmpeg reads only the folder's own files as the containers browsers play, and writes only into a new file of the
// folder: a playlist named .mp4 is not followed out of the folder, a video that is a link is named and left alone, a
// link planted where a rewrite might write is not written through, and a second check probes nothing again.
TEST_F(CommandLine, CheckKeepsFfmpegInsideTheFolder) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    const TempDir outside;
    int rc = 0;
    shell("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120:rate=10 -t 1 -c:v libx264 -pix_fmt "
          "yuv420p " +
              quoted(outside.path() / "clip.ts") + " && cp " + quoted(outside.path() / "clip.ts") + " " +
              quoted(outside.path() / "clip.mp4") +
              " && ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120:rate=10 -t 1 -c:v libx264 "
              "-pix_fmt yuv420p " +
              quoted(dir() / "victim.mp4"),
          &rc);
    ASSERT_EQ(rc, 0);
    writeFile(outside.path() / "secret.txt", "untouched");
    put("hls.mp4", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + (outside.path() / "clip.ts").string() +
                       "\n#EXT-X-ENDLIST\n");
    fs::create_symlink(outside.path() / "clip.mp4", dir() / "linked.mp4");
    fs::create_symlink(outside.path() / "secret.txt", dir() / ".victim.mp4.clipnest-faststart.mp4");
    for (const std::string name : {"hls.mp4", "linked.mp4", "victim.mp4"}) {
        ASSERT_EQ(clipnest({"entry", name, "--homepage", "About " + name}).status, 0) << name;
    }
    // ffprobe as installed, counting its runs.
    fs::create_directories(outside.path() / "bin");
    writeFile(outside.path() / "bin/ffprobe",
              "#!/bin/sh\necho run >> " + quoted(outside.path() / "runs") + "\nexec /usr/bin/ffprobe \"$@\"\n");
    fs::permissions(outside.path() / "bin/ffprobe", fs::perms::owner_all);
    const auto check = [&](const std::string& args) {
        return shell("cd " + quoted(dir()) + " && PATH=" + quoted(outside.path() / "bin") + ":$PATH " +
                     CLIPNEST_PROGRAM + " check " + args + " 2>&1");
    };
    std::string out = check("");
    EXPECT_NE(out.find("hls.mp4: ffprobe cannot read it as an MP4 or WebM video"), npos) << out;
    EXPECT_EQ(out.find("ffmpeg -i hls.mp4"), npos) << "no conversion that would follow the playlist: " << out;
    EXPECT_NE(out.find("linked.mp4: it is a symbolic link, which Clipnest never follows"), npos) << out;
    EXPECT_NE(out.find("victim.mp4: its index is at the end"), npos) << out;
    const std::string runs = readFile(outside.path() / "runs");
    EXPECT_EQ(runs, "run\nrun\n") << "the playlist and the video are probed, the link is not";
    EXPECT_EQ(check(""), out);
    EXPECT_EQ(readFile(outside.path() / "runs"), runs) << "nothing changed, nothing probed again";

    out = check("--fix");
    EXPECT_NE(out.find("Moved the index of victim.mp4 to its front."), npos) << out;
    EXPECT_EQ(readFile(outside.path() / "secret.txt"), "untouched");
    EXPECT_FALSE(fs::is_symlink(dir() / "victim.mp4"));
    EXPECT_TRUE(fs::is_symlink(dir() / ".victim.mp4.clipnest-faststart.mp4")) << "the planted link is left alone";
    EXPECT_EQ(readFile(dir() / "linked.mp4"), readFile(outside.path() / "clip.mp4"));
}

// A picture or a video frame as ffmpeg reads it, independently of Clipnest: 32x18 pixels of RGB.
std::string pixelsOf(const fs::path& file, const std::string& at = "") {
    const TempDir out;
    int rc = 0;
    shell("ffmpeg -nostdin -loglevel error " + (at.empty() ? "" : "-ss " + at + " ") + "-i " + quoted(file) +
              " -frames:v 1 -vf scale=32:18 -f rawvideo -pix_fmt rgb24 " + quoted(out.path() / "rgb"),
          &rc);
    return rc == 0 ? readFile(out.path() / "rgb") : "";
}
// The mean difference of two such pictures, per byte; and how far one is from a single colour (the spread of its
// bytes).
double difference(const std::string& a, const std::string& b) {
    EXPECT_EQ(a.size(), b.size());
    double sum = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        sum += std::abs(static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]));
    }
    return a.empty() ? 255 : sum / static_cast<double>(a.size());
}
double spread(const std::string& pixels) {
    double sum = 0, squares = 0;
    for (const char c : pixels) {
        const double v = static_cast<unsigned char>(c);
        sum += v;
        squares += v * v;
    }
    const double n = std::max<double>(1, static_cast<double>(pixels.size()));
    return std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)));
}

// With ffmpeg and the video in the folder, a new entry gets NAME.jpg: a JPEG 640 pixels wide of its own clip 1 s in,
// or of a later frame when that one is a single colour (a fade from black), or the middle of a clip shorter than 2 s.
// The tags of the entry and its page name it, play inline and fetch nothing of the video before it is played. A
// poster the host put there is kept.
TEST_F(CommandLine, NewEntriesGetPostersOfTheirOwnClips) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    const auto clip = [this](const std::string& name, const std::string& source) {
        int rc = 0;
        shell("ffmpeg -nostdin -loglevel error -f lavfi -i " + quoted(source) + " -c:v libx264 -pix_fmt yuv420p " +
                  quoted(dir() / name),
              &rc);
        ASSERT_EQ(rc, 0) << name;
    };
    clip("bars.mp4", "smptebars=size=320x240:rate=25:duration=3");
    clip("test.mp4", "testsrc=size=320x240:rate=25:duration=3");
    clip("fade.mp4", "testsrc=size=320x240:rate=25:duration=4,fade=in:0:60");
    clip("late.mp4", "testsrc=size=320x240:rate=25:duration=5,fade=in:50:10"); // black for its first 2 s
    clip("one.mp4", "testsrc=size=320x240:rate=25:duration=1");
    clip("host.mp4", "testsrc=size=320x240:rate=25:duration=1");
    // 1.5 s: the test picture until 0.9 s, then colour bars; its middle is the test picture.
    int rc = 0;
    shell("ffmpeg -nostdin -loglevel error -filter_complex \"testsrc=size=320x240:rate=25:duration=0.9[a];"
          "smptebars=size=320x240:rate=25:duration=0.6[b];[a][b]concat=n=2:v=1:a=0\" -c:v libx264 -pix_fmt yuv420p " +
              quoted(dir() / "short.mp4"),
          &rc);
    ASSERT_EQ(rc, 0);
    put("host.jpg", "the host's own poster");
    // The page of the entry before, which each new one's links.
    std::string before;
    for (const std::string name :
         {"bars.mp4", "test.mp4", "fade.mp4", "late.mp4", "one.mp4", "host.mp4", "short.mp4"}) {
        const Result r = clipnest({"entry", name, "--homepage", "About " + name});
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string less = name.substr(0, name.find('.'));
        const std::string written = less + ".jpg, " + less + ".php" +
                                    (before.empty() ? " and homepage.html" : ", homepage.html and " + before) +
                                    " written.\n";
        before = less + ".php";
        if (name != "host.mp4") {
            EXPECT_TRUE(r.err.ends_with("\nAdded " + name + ": " + written) ||
                        r.err == "Added " + name + ": " + written)
                << r.err;
            EXPECT_EQ(shell("ffprobe -v error -show_entries stream=codec_name,width -of csv=p=0 " +
                            quoted(dir() / (less + ".jpg"))),
                      "mjpeg,640\n")
                << name;
        }
    }
    const std::string bars = pixelsOf(dir() / "bars.jpg"), test = pixelsOf(dir() / "test.jpg");
    EXPECT_LT(difference(bars, pixelsOf(dir() / "bars.mp4", "1")), 8);
    EXPECT_GT(difference(bars, pixelsOf(dir() / "test.mp4", "1")), 30) << "the right clip's frame";
    EXPECT_LT(difference(test, pixelsOf(dir() / "test.mp4", "1")), 8);
    const std::string middle = pixelsOf(dir() / "short.jpg");
    EXPECT_LT(difference(middle, pixelsOf(dir() / "short.mp4", "0.75")), 8) << "the middle of a short clip";
    EXPECT_GT(difference(middle, pixelsOf(dir() / "short.mp4", "1")), 30);
    ASSERT_LT(spread(pixelsOf(dir() / "late.mp4", "1")), 2) << "one colour 1 s in";
    for (const std::string name : {"fade.jpg", "late.jpg", "one.jpg"}) {
        EXPECT_GT(spread(pixelsOf(dir() / name)), 20) << name << " shows a picture, not one colour";
    }
    EXPECT_EQ(file("host.jpg"), "the host's own poster");

    const std::string homepage = file("homepage.html");
    EXPECT_NE(homepage.find("<video controls=\"\" preload=\"none\" playsinline poster=\"bars.jpg\"> \n"
                            "<!-- t9b3 HOSTS!, PLEASE don't delete this marker tag, or insert anything in between "
                            "this tag and the 'FileName' value below. -->\n      <source src=\"bars.mp4\""),
              npos)
        << homepage;
    EXPECT_NE(homepage.find("poster=\"host.jpg\""), npos);
    EXPECT_NE(file("late.php").find("<video controls=\"controls\" preload=\"none\" playsinline poster=\"late.jpg\">"),
              npos);
}

// posters makes or remakes the posters of the entries named (all when none is), at --at seconds when given, and puts
// the poster, preload="none" and playsinline on their tags and nothing else; undo takes it all back. Without ffmpeg
// an entry is made as before and says why it has no poster.
TEST_F(CommandLine, PostersAreRemadeAtATimeOnTheTagsAlone) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    int rc = 0;
    // Red for its first second, then blue.
    shell("ffmpeg -nostdin -loglevel error -filter_complex \"color=red:s=320x240:r=25:d=1[a];"
          "color=blue:s=320x240:r=25:d=2[b];[a][b]concat=n=2:v=1:a=0\" -c:v libx264 -pix_fmt yuv420p " +
              quoted(dir() / "rb.mp4"),
          &rc);
    ASSERT_EQ(rc, 0);
    const TempDir noPrograms;
    const auto withoutFfmpeg = [&](const std::string& args) {
        Result r;
        shell("(cd " + quoted(dir()) + " && env PATH=" + quoted(noPrograms.path()) + " " + CLIPNEST_PROGRAM + " " +
                  args + " 2> " + quoted(noPrograms.path() / "err") + ")",
              &r.status);
        r.err = readFile(noPrograms.path() / "err");
        return r;
    };
    Result r = withoutFfmpeg("entry rb.mp4 --homepage Colours");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Added rb.mp4: rb.php and homepage.html written. No poster for rb.mp4: ffmpeg is not "
                         "installed.\n"),
              npos)
        << r.err;
    EXPECT_FALSE(has("rb.jpg"));
    EXPECT_EQ(file("homepage.html").find("poster="), npos);
    r = withoutFfmpeg("posters");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No poster for rb.mp4: ffmpeg is not installed."), npos) << r.err;

    // The host's own tag: only its preload changes and the two attributes join it.
    const std::string tag = "<video controls=\"\" preload=\"none\" playsinline>";
    put("homepage.html", with(file("homepage.html"), tag, "<video class=\"wide\" preload=\"auto\" controls>"));
    const std::string homepage = file("homepage.html"), page = file("rb.php");
    r = clipnest({"posters", "--at", "0.5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Posters: rb.jpg, rb.php and homepage.html written.\n");
    // (Every file read and written again gains a line break in front of its last one, as every operation's does.)
    const auto again = [](const std::string& text) { return with(text, "</html>\r\n", "</html>\n\r\n"); };
    EXPECT_TRUE(file("homepage.html") ==
                again(with(homepage, "<video class=\"wide\" preload=\"auto\" controls>",
                           "<video class=\"wide\" preload=\"none\" controls playsinline poster=\"rb.jpg\">")));
    EXPECT_TRUE(file("rb.php") == again(with(page, "playsinline>", "playsinline poster=\"rb.jpg\">")));
    const auto colour = [this] {
        const std::string pixels = pixelsOf(dir() / "rb.jpg");
        return pixels.size() < 3                ? "none"
               : (unsigned char)pixels[0] > 200 ? "red"
               : (unsigned char)pixels[2] > 200 ? "blue"
                                                : "other";
    };
    EXPECT_STREQ(colour(), "red");
    const std::string red = file("rb.jpg");
    r = clipnest({"posters", "rb.mp4", "--at", "2"});
    EXPECT_EQ(r.err, "Posters: rb.jpg written.\n") << "the tags have it already";
    EXPECT_STREQ(colour(), "blue");
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(file("rb.jpg"), red);
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_FALSE(has("rb.jpg"));
    EXPECT_EQ(file("homepage.html"), homepage);
    EXPECT_EQ(file("rb.php"), page);

    r = clipnest({"posters", "other.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Clipnest made no posters: the homepage has no entry for other.mp4.\n");
    r = clipnest({"posters", "rb.mp4", "--at", "60"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Nothing was written for posters rb.mp4. No poster for rb.mp4: ffmpeg found no frame of rb.mp4 at "
                     "60.000 s.\n");
    fs::remove(dir() / "rb.mp4");
    r = clipnest({"posters"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No poster for rb.mp4: rb.mp4 is not in the folder."), npos) << r.err;
    EXPECT_EQ(filesOf(dir()).count("rb.jpg"), 0u);
}

// Caption files beside the video become the page's tracks when the entry is made and whenever the page is written;
// an .srt is converted once, a .vtt the host has is kept; captions brings the pages in step, undo takes it back; check
// names a caption file that is not WebVTT; a rename takes them along.
TEST_F(CommandLine, CaptionFilesBecomeTracksOfTheVideoPage) {
    put("roses.srt", "1\r\n00:00:00,500 --> 00:00:02,000\r\nPruning, first\r\n");
    put("roses.en.vtt", "WEBVTT\n\n00:00.500 --> 00:02.000\nPruning\n");
    Result r = clipnest({"entry", "roses.mp4", "--homepage", "Roses"});
    EXPECT_TRUE(r.err.ends_with("Added roses.mp4: roses.vtt, roses.php and homepage.html written. No poster for "
                                "roses.mp4: roses.mp4 is not in the folder.\n"))
        << r.err;
    EXPECT_EQ(file("roses.vtt"), "WEBVTT\n\n1\n00:00:00.500 --> 00:00:02.000\nPruning, first\n");
    const std::string tracks =
        "<source src=\"roses.mp4\" type=\"video/mp4\" />\n"
        "                <track kind=\"captions\" src=\"roses.vtt\" label=\"Captions\" default>\n"
        "                <track kind=\"captions\" src=\"roses.en.vtt\" srclang=\"en\" "
        "label=\"English\"></video>";
    EXPECT_NE(file("roses.php").find(tracks), npos) << file("roses.php");

    put("roses.vtt", "WEBVTT\n\nthe host's own edit\n");
    put("roses.fr.vtt", "1\n00:00:00,500 --> 00:00:02,000\nTaille\n");
    r = clipnest({"captions"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Captions: roses.php written.\n");
    EXPECT_EQ(file("roses.vtt"), "WEBVTT\n\nthe host's own edit\n") << "converted once, kept since";
    EXPECT_NE(file("roses.php")
                  .find(with(tracks, "label=\"English\">",
                             "label=\"English\">\n                <track "
                             "kind=\"captions\" src=\"roses.fr.vtt\" "
                             "srclang=\"fr\" label=\"Fran&#231;ais\">")),
              npos)
        << file("roses.php");
    EXPECT_EQ(clipnest({"captions", "roses.mp4"}).err,
              "Nothing was changed: the pages name their caption files already.\n");
    r = clipnest({"check"});
    EXPECT_NE(r.out.find("roses.fr.vtt: it is not WebVTT (it does not start with WEBVTT)"), npos) << r.out;
    EXPECT_EQ(r.out.find("roses.en.vtt"), npos) << r.out;
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_NE(file("roses.php").find(tracks), npos) << "undo takes the track back";

    EXPECT_EQ(clipnest({"rename", "roses.mp4", "tulips.mp4"}).status, 0);
    for (const std::string name : {"tulips.vtt", "tulips.en.vtt", "tulips.fr.vtt", "tulips.srt"}) {
        EXPECT_TRUE(has(name)) << name;
    }
    EXPECT_NE(file("tulips.php").find("<track kind=\"captions\" src=\"tulips.en.vtt\" srclang=\"en\""), npos);
    EXPECT_EQ(file("tulips.php").find("roses."), npos);
}

// Commands start without the network library: libcurl (and all it loads) is in the FTP module, loaded only by an FTP
// publish or fetch, from beside the program; without the module, FTP says so and fails, and the rest still works.
TEST_F(CommandLine, OnlyFtpLoadsTheNetworkLibrary) {
    const fs::path program = CLIPNEST_PROGRAM;
    const std::string libraries = shell("ldd " + quoted(program));
    for (const char* library : {"libcurl", "libcrypto", "libssl", "libgnutls", "libQt"}) {
        EXPECT_EQ(libraries.find(library), npos) << library << " in\n" << libraries;
    }
    EXPECT_NE(shell("ldd " + quoted(program.parent_path() / "clipnest-ftp.so")).find("libcurl"), npos);

    clipnest({"entry", "a.mp4", "--homepage", "A"});
    // Nothing answers on port 1: libcurl tries, and says the connection failed.
    Result r = clipnest({"publish", "--to", "ftps://someone@127.0.0.1:1/x/"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("could not connect to ftps://someone@127.0.0.1:1/x/"), npos) << r.err;

    const TempDir alone;
    fs::copy_file(program, alone.path() / "clipnest");
    const std::string there = "cd " + quoted(dir()) + " && " + quoted(alone.path() / "clipnest") + " ";
    int rc = 0;
    EXPECT_EQ(shell(there + "list", &rc), "a.mp4\tA\n");
    const std::string said = shell(there + "publish --to ftps://someone@127.0.0.1:1/x/", &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_NE(said.find("Clipnest's FTP support is missing: clipnest-ftp.so is not in " + alone.path().string()), npos)
        << said;
    put(".clipnest/publish.conf", "to = ftps://someone@127.0.0.1:1/x/\n");
    EXPECT_NE(shell(there + "comments", &rc).find("FTP support is missing"), npos);
    EXPECT_EQ(rc, 1);
}

// Lines typed on the command line end as the window's boxes end them, CR LF, wherever they break; a CR LF stays one.
TEST_F(CommandLine, TypedLineBreaksAreWrittenAsTheWindowWritesThem) {
    EXPECT_EQ(clipnest({"entry", "a.mp4", "--homepage", "one\ntwo\r\nthree\nfour", "--create-page"}).status, 0);
    const std::string home = file("homepage.html");
    EXPECT_NE(home.find("one\r\ntwo\r\nthree\r\nfour"), npos);
    EXPECT_EQ(home.find("\r\r"), npos);
}

// Many commands in one session, as the window runs them in turn.
TEST_F(CommandLine, BatchRunsLinesInOneSession) {
    clipnest({"entry", "a.mp4", "--homepage", "A"});
    clipnest({"entry", "b.mp4", "--homepage", "B"});
    Result r = clipnest({"batch"}, "# two changes\n"
                                   "entry a.mp4 --individual 'The story of a'\r\n"
                                   "\n"
                                   "  entry b.mp4 --individual \"The story of \\\"b\\\"\"\n"
                                   "insert c.mp4 --above b.mp4 --homepage 'C, with a quote: \"'\n"
                                   "list\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "line 2: Changed a.mp4: a.php written.\nline 4: Changed b.mp4: b.php written.\n"
                     "line 5: Inserted c.mp4 above b.mp4: c.php and homepage.html written. No poster for c.mp4: c.mp4 "
                     "is not in the folder.\n");
    EXPECT_EQ(r.out, "a.mp4\tA\nc.mp4\tC, with a quote: \"\nb.mp4\tB\n");
    EXPECT_NE(file("a.php").find("The story of a"), npos);
    EXPECT_NE(file("b.php").find("The story of &quot;b&quot;"), npos) << file("b.php");
    // The run's end gives the pages next to the new entry their links to it.
    EXPECT_NE(file("a.php").find("<a rel=\"next\" href=\"c.php\">Next: C, with a quote: &quot;</a>"), npos);
    EXPECT_NE(file("b.php").find("<a rel=\"prev\" href=\"c.php\">Previous: C, with a quote: &quot;</a>"), npos);
    EXPECT_NE(file("c.php").find("<a rel=\"prev\" href=\"a.php\">Previous: A</a>"), npos);

    // The lines that edit the pages are one operation to undo, which takes them all back.
    r = clipnest({"history"});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
    EXPECT_NE(r.out.find("\tbatch, lines 2 to 5\ta.php b.php c.php homepage.html\n"), npos) << r.out;
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(file("a.php").find("The story of a"), npos);
    EXPECT_FALSE(std::filesystem::exists(dir() / "c.php"));
    EXPECT_EQ(clipnest({"list"}).out, "a.mp4\tA\nb.mp4\tB\n");
    EXPECT_NE(file("a.php").find("<a rel=\"next\" href=\"b.php\">Next: B</a>"), npos) << "undo puts the links back";

    // Entries added one after another link each other once the run ends; the pages before the last one's are not
    // written.
    r = clipnest({"batch"}, "entry x.mp4 --homepage X\nentry y.mp4 --homepage Y\nentry z.mp4 --homepage Z\n");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string history = clipnest({"history"}).out;
    EXPECT_NE(history.find("\tbatch, lines 1 to 3\tx.php homepage.html y.php z.php b.php\n"), npos) << history;
    EXPECT_NE(file("b.php").find("<a rel=\"next\" href=\"x.php\">Next: X</a>"), npos);
    EXPECT_NE(file("y.php").find("<a rel=\"prev\" href=\"x.php\">Previous: X</a>\n"
                                 "            <a rel=\"next\" href=\"z.php\">Next: Z</a>"),
              npos);
    EXPECT_NE(file("z.php").find("<a rel=\"prev\" href=\"y.php\">Previous: Y</a>\n        </nav>"), npos);
}

// A homepage that cannot be read fails the command that meets it, even one that then writes what it was asked to
// (the rename page names no homepage); in a batch it fails the first line only, which met it.
TEST_F(CommandLine, AFailureAtStartFailsTheFirstCommandOnly) {
    std::filesystem::create_symlink("/etc/hostname", dir() / "homepage.html");
    Result r = clipnest({"rename", "x.jpg", "y.jpg", "--file-only"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("it is a symbolic link"), npos) << r.err;
    EXPECT_NE(file("change_file_name.php").find("y.jpg"), npos);
    std::filesystem::remove(dir() / "change_file_name.php");
    r = clipnest({"batch", "--keep-going"}, "rename x.jpg y.jpg --file-only\nrename p.jpg q.jpg --file-only\n");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("batch: 1 of 2 commands failed (line 1)"), npos) << r.err;
}

TEST_F(CommandLine, UndoAndHistory) {
    EXPECT_EQ(clipnest({"undo"}).err, "There is nothing to undo.\n");
    clipnest({"entry", "a.mp4", "--homepage", "A"});
    const Files one = filesOf(dir());
    clipnest({"entry", "a.mp4", "--homepage", "A2", "--individual", "Story"});
    clipnest({"rename", "a.mp4", "b.mp4", "--file-only"});
    const std::regex row(R"(3\t\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\trename a.mp4 b.mp4\tchange_file_name.php\n)"
                         R"(2\t.*\tentry a.mp4\ta.php homepage.html\n1\t.*\tentry a.mp4\t.*\n)");
    EXPECT_TRUE(std::regex_match(clipnest({"history"}).out, row));
    Result r = clipnest({"undo"});
    EXPECT_TRUE(
        std::regex_match(r.out, std::regex(R"(Undid rename a.mp4 b.mp4 \(.*\): change_file_name.php removed.\n)")))
        << r.out;
    // A hand edit after the operation stops undo; --force goes ahead.
    put("a.php", file("a.php") + "mine");
    r = clipnest({"undo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("a.php was changed after it"), npos) << r.err;
    EXPECT_TRUE(file("a.php").ends_with("mine"));
    EXPECT_EQ(clipnest({"undo", "--force"}).status, 0);
    EXPECT_EQ(filesOf(dir()), one);

    // The host bounds the history: older operations go at once and with every later one.
    for (const std::string t : {"T1", "T2", "T3"}) {
        clipnest({"title", "--title", t});
    }
    r = clipnest({"history", "--limit", "2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "note: The history keeps the last 2 operations.\n");
    EXPECT_TRUE(std::regex_match(r.out, std::regex(R"(4\t.*\ttitle\thomepage.html\n3\t.*\ttitle\thomepage.html\n)")))
        << r.out;
    clipnest({"title", "--title", "T4"});
    const std::string two = clipnest({"history"}).out;
    EXPECT_TRUE(two.starts_with("5\t") && two.find("\n4\t") != npos && two.find("\n3\t") == npos) << two;
    EXPECT_EQ(clipnest({"history", "--limit", "0"}).status, 2);
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(clipnest({"undo"}).err, "There is nothing to undo.\n");
}

// A rename joins those already on the rename page, each undone on its own. A name renamed again goes on from where
// the page takes it (a to d, then d to e), the same name renamed twice keeps the later rename, and a rename to a name
// the page still renames away waits, as the server would refuse it.
TEST_F(CommandLine, RenamesQueueOnTheRenamePage) {
    clipnest({"entry", "a.mp4", "--homepage", "A"});
    clipnest({"rename", "x.txt", "y.txt"});
    const std::string one = file("change_file_name.php");
    const auto rows = [&] {
        std::string text = file("change_file_name.php"), said;
        for (std::size_t at = text.find("array(\""); at != npos; at = text.find("array(\"", at + 1)) {
            said += text.substr(at, text.find(')', at) - at + 1) + "\n";
        }
        return said;
    };
    Result r = clipnest({"rename", "a.mp4", "d.mp4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("call up change_file_name.php, which holds 2 renames, in a browser once"), npos) << r.err;
    EXPECT_EQ(rows(), "array(\"x.txt\", \"y.txt\")\narray(\"a.mp4\", \"d.mp4\")\n"
                      "array(\"a_comments.txt\", \"d_comments.txt\")\n");
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(file("change_file_name.php"), one) << "undo takes back that rename alone";
    EXPECT_TRUE(has("a.php"));

    EXPECT_EQ(clipnest({"rename", "a.mp4", "d.mp4"}).status, 0);
    r = clipnest({"rename", "d.mp4", "e.mp4"});
    EXPECT_NE(r.err.find("which holds 3 renames"), npos) << r.err;
    r = clipnest({"rename", "x.txt", "z.txt"});
    EXPECT_EQ(r.err,
              "Wrote change_file_name.php (rename x.txt z.txt; it holds 3 renames): upload it and call it up in a "
              "browser once.\n");
    EXPECT_EQ(rows(), "array(\"a.mp4\", \"d.mp4\")\narray(\"a_comments.txt\", \"d_comments.txt\")\n"
                      "array(\"d.mp4\", \"e.mp4\")\narray(\"d_comments.txt\", \"e_comments.txt\")\n"
                      "array(\"x.txt\", \"z.txt\")\n");
    const std::string three = file("change_file_name.php");
    r = clipnest({"rename", "w.txt", "x.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Clipnest did not write change_file_name.php: it still renames x.txt to another name"), npos)
        << r.err;
    EXPECT_EQ(file("change_file_name.php"), three);
    if (onPath("php")) {
        int rc = 0;
        const std::string lint = shell("php -l " + quoted(dir() / "change_file_name.php"), &rc);
        EXPECT_EQ(rc, 0) << lint;
    }
}

// A video renamed everywhere takes its thread's moderation along: the closed thread stays closed under the new name,
// the other lines stay as they were (hidden comments are known by their content), and undo puts the line back. A
// thread that is not closed leaves the file alone.
TEST_F(CommandLine, ARenameTakesTheClosedThreadAlong) {
    clipnest({"entry", "tulips.mp4", "--homepage", "Tulips"});
    clipnest({"entry", "roses.mp4", "--homepage", "Roses"});
    ASSERT_EQ(clipnest({"close", "tulips.mp4"}).status, 0);
    const std::string hidden = "hide " + std::string(64, 'e') + "\r\n";
    put("comment_moderation.txt", hidden + file("comment_moderation.txt") + "close tulipsx_comments.txt\n");
    const std::string closed = file("comment_moderation.txt");
    ASSERT_EQ(closed, hidden + "close tulips_comments.txt\nclose tulipsx_comments.txt\n");

    Result r = clipnest({"rename", "tulips.mp4", "lilies.mp4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("comment_moderation.txt"), npos) << "named among the files changed: " << r.err;
    EXPECT_EQ(file("comment_moderation.txt"), hidden + "close lilies_comments.txt\nclose tulipsx_comments.txt\n");
    EXPECT_NE(file("lilies.php").find("lilies_comments.txt"), npos) << "the line the page looks for";
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(file("comment_moderation.txt"), closed);

    r = clipnest({"rename", "roses.mp4", "peonies.mp4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("comment_moderation.txt"), npos) << r.err;
    EXPECT_EQ(file("comment_moderation.txt"), closed);
}

// A name beyond ASCII, typed as UTF-8, is the same name to every command: moderation lists, hides and closes it (the
// server's page reads the closed thread's file by its UTF-8 name), a rename takes the closed thread along.
TEST_F(CommandLine, ModerationKnowsNamesBeyondAscii) {
    const std::string cafe = "caf\xC3\xA9";
    put(cafe + ".mp4", "video");
    ASSERT_EQ(clipnest({"entry", cafe + ".mp4", "--homepage", "Coffee"}).status, 0);
    EXPECT_TRUE(has(cafe + ".php"));
    const std::string spam = "Buy now\n2026-12-02 09:00:00\r\n\n";
    fs::create_directories(dir() / ".clipnest/comments");
    put(".clipnest/comments/" + cafe + "_comments.txt", "Nice\n2026-12-01 08:00:00\r\n\n" + spam);
    EXPECT_EQ(clipnest({"comments", "--offline"}).out, cafe + ".mp4\t1\t2026-12-01 08:00:00\tAnonymous\tNice\n" + cafe +
                                                           ".mp4\t2\t2026-12-02 09:00:00\tAnonymous\tBuy now\n");
    EXPECT_EQ(clipnest({"hide", cafe + ".mp4", "2"}).status, 0);
    Result r = clipnest({"close", cafe + ".mp4"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Closed the comments of " + cafe + ".mp4"), npos) << r.out;
    EXPECT_EQ(file("comment_moderation.txt"),
              "hide " + publish::sha256Hex(spam) + "\nclose " + cafe + "_comments.txt\n");
    EXPECT_NE(clipnest({"comments", "--offline"}).out.find("\t[hidden] Buy now"), npos);
    EXPECT_EQ(clipnest({"unhide", cafe + ".mp4", "2"}).status, 0);
    EXPECT_EQ(file("comment_moderation.txt"), "close " + cafe + "_comments.txt\n");
    EXPECT_EQ(clipnest({"hide", cafe + ".mp4", "2"}).status, 0);
    EXPECT_EQ(clipnest({"rename", cafe + ".mp4", "th\xC3\xA9.mp4"}).status, 0);
    EXPECT_NE(file("comment_moderation.txt").find("\nclose th\xC3\xA9_comments.txt\n"), npos);
    r = clipnest({"close", "caf\xE9.mp4"});
    EXPECT_EQ(r.status, 1) << "bytes of another code page name no entry";
    // Addresses for the outside world name the file's UTF-8, percent-encoded.
    ASSERT_EQ(clipnest({"publish", "--site", "https://example.net/garden/"}).status, 0);
    EXPECT_NE(file("th\xC3\xA9.php").find("content=\"https://example.net/garden/th%C3%A9.php\""), npos);
    EXPECT_NE(file("feed.xml").find("<enclosure url=\"https://example.net/garden/th%C3%A9.mp4\""), npos)
        << file("feed.xml");
}

// A channel an earlier Clipnest wrote holds a name beyond ASCII as its Windows-1252 byte, in the homepage and in its
// page's file name. Its entry is still found by every operation; check names the homepage's link and the old page,
// which is left as it is; a change writes the page under the name browsers ask for.
TEST_F(CommandLine, AnOlderChannelsNamesBeyondAsciiAreFoundAndNamed) {
    const std::string cafe = "caf\xC3\xA9";
    put(cafe + ".mp4", "video");
    ASSERT_EQ(clipnest({"entry", cafe + ".mp4", "--homepage", "Coffee", "--individual", "Mine"}).status, 0);
    ASSERT_EQ(clipnest({"entry", "tea.mp4", "--homepage", "Tea"}).status, 0);
    std::string homepage = file("homepage.html");
    homepage = std::regex_replace(homepage, std::regex("caf&#233;"), "caf\xE9");
    put("homepage.html", homepage);
    fs::rename(dir() / (cafe + ".php"), dir() / "caf\xE9.php");
    const std::string oldPage = file("caf\xE9.php");

    Result r = clipnest({"check"});
    EXPECT_NE(r.out.find(cafe + ".mp4: the homepage holds the name's letters beyond ASCII as Windows-1252 bytes"), npos)
        << r.out;
    EXPECT_NE(r.out.find("caf\\xE9.php: an earlier Clipnest wrote this page under the Windows-1252 bytes of its name"),
              npos)
        << r.out;
    EXPECT_EQ(r.out.find("a video page that no entry of the homepage links"), npos) << r.out;

    r = clipnest({"entry", cafe + ".mp4", "--homepage", "Coffee, hot", "--create-page"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(cafe + ".php")) << "written under the name browsers ask for";
    EXPECT_EQ(file("caf\xE9.php"), oldPage) << "the old page is the host's to delete";
    EXPECT_NE(file("homepage.html").find("Coffee, hot"), npos);
    EXPECT_EQ(clipnest({"insert", "milk.mp4", "--above", cafe + ".mp4", "--homepage", "Milk"}).status, 0);
    EXPECT_LT(file("homepage.html").find("milk.mp4"), file("homepage.html").find("caf\xE9.mp4"));
    r = clipnest({"rename", cafe + ".mp4", "mocha.mp4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(file("homepage.html").find("<a href=\"mocha.php\">"), npos) << file("homepage.html");
    EXPECT_EQ(file("homepage.html").find("caf\xE9"), npos);
    EXPECT_EQ(clipnest({"delete", "mocha.mp4"}).status, 0);
    EXPECT_EQ(file("homepage.html").find("mocha"), npos);
}

// A write killed halfway leaves its temporary file; the next operation removes it and says so. A temporary file of
// a process still writing is left alone.
TEST_F(CommandLine, TemporaryFilesOfKilledWritesAreRemoved) {
    clipnest({"entry", "a.mp4", "--homepage", "A"});
    const std::string live = ".clipnest-tmp-" + std::to_string(::getpid()) + "-abcdef";
    put(".clipnest-tmp-999999999-abcdef", "left by a killed write");
    put(live, "being written");
    // An older version's name for them, .NAME.tmp-XXXXXX, counts once a minute old; the host's hidden files never.
    const auto putOld = [this](const std::string& name) {
        put(name, "older");
        fs::last_write_time(dir() / name, fs::file_time_type::clock::now() - std::chrono::minutes(2));
    };
    putOld(".homepage.html.tmp-abcdef");
    // Names that only look like ours are the host's, however old.
    const char* const lookAlikes[] = {
        ".host-notes.txt",       ".clipnest-tmp-12x-abcdef",        ".clipnest-tmp-0-abcdef",
        ".clipnest-tmp--abcdef", ".clipnest-tmp-999999999-abcdefg", ".clipnest-tmp-999999999"};
    for (const char* name : lookAlikes) {
        putOld(name);
    }
    clipnest({"list"});
    EXPECT_TRUE(has(".clipnest-tmp-999999999-abcdef")) << "list only reads";
    const Result r = clipnest({"title", "--message", "M"});
    EXPECT_NE(r.err.find("note: Clipnest removed 2 temporary files"), npos) << r.err;
    EXPECT_FALSE(has(".clipnest-tmp-999999999-abcdef") || has(".homepage.html.tmp-abcdef"));
    EXPECT_TRUE(has(live));
    for (const char* name : lookAlikes) {
        EXPECT_TRUE(has(name)) << name;
    }
}

// An undo killed at any moment leaves every file as it was before the undo or after it, never a mix: the next run
// rolls back one cut off before it began to put files in place and finishes one cut off after, so a plain undo
// always goes on.
TEST_F(CommandLine, AnUndoKilledAtAnyMomentIsRolledBackOrFinished) {
    const std::string big = with(expected("homepage.html"), "</body>", std::string(50'000'000, 'x') + "\n</body>");
    std::mt19937 random(7);
    for (int round = 0; round < 4; ++round) {
        freshFolder();
        put("homepage.html", big);
        ASSERT_EQ(clipnest({"title", "--title", "T"}).status, 0);
        const Files titled = filesOf(dir());
        ASSERT_EQ(clipnest({"entry", "a.mp4", "--homepage", "A"}).status, 0);
        const TempDir log;
        Process undo({CLIPNEST_PROGRAM, "-C", dir().string(), "undo"}, log.path() / "log");
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1000));
        undo.stop(SIGKILL);
        const Result again = clipnest({"undo"});
        EXPECT_EQ(again.status, 0) << again.err;
        // The killed undo, then this one: the entry's undo and the title's, or the entry's alone.
        const Files now = filesOf(dir());
        const Files untouched = {{"AppDocs.txt", "\r\n"}, {"homepage.html", big}};
        EXPECT_TRUE(now == titled || now == untouched)
            << "round " << round << ": " << now.begin()->first << " " << again.out << again.err;
    }
}

// A batch killed at any moment leaves the files of before its run of edits or after it, never a mix: a run cut off
// after its journal is finished by the next command that opens the history, one cut off before leaves nothing
// staged.
TEST_F(CommandLine, ABatchKilledAtAnyMomentLeavesTheOldFilesOrTheNew) {
    const std::string big = with(expected("homepage.html"), "</body>", std::string(10'000'000, 'x') + "\n</body>");
    std::string lines;
    for (int i = 0; i < 20; ++i) {
        lines +=
            "entry v" + std::to_string(i) + ".mp4 --homepage 'Video " + std::to_string(i) + "' --individual 'More'\n";
    }
    lines += "title --title T --message M\n";
    const auto start = [&] {
        freshFolder();
        put("homepage.html", big);
        put("lines.txt", lines);
        // Made first by every session, on its own; and the pages' secret is the same in every folder.
        put("AppDocs.txt", "\r\n");
        useTestSecret(dir());
    };
    const auto files = [&] {
        Files now = filesOf(dir());
        // A write killed halfway leaves its temporary file until the next command that writes.
        std::erase_if(now, [](const auto& f) { return f.first.starts_with(".clipnest-tmp-"); });
        return now;
    };
    start();
    const Files before = files();
    ASSERT_EQ(clipnest({"batch", "lines.txt"}).status, 0);
    const Files after = files();
    ASSERT_NE(after, before);
    std::mt19937 random(11);
    for (int round = 0; round < 8; ++round) {
        start();
        const TempDir log;
        Process batch({CLIPNEST_PROGRAM, "-C", dir().string(), "batch", "lines.txt"}, log.path() / "log");
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 500));
        batch.stop(SIGKILL);
        EXPECT_EQ(clipnest({"history"}).status, 0);
        const Files now = files();
        EXPECT_TRUE(now == before || now == after) << "round " << round;
    }
    // Cut off after the journal named the files: the next command puts them in place.
    start();
    put(".clipnest-undo-999999999-put-0", "staged homepage");
    put(".clipnest-undo-999999999-put-1", "staged page");
    fs::create_directories(dir() / ".clipnest/history");
    put(".clipnest/history/putting", "put .clipnest-undo-999999999-put-0 homepage.html\n"
                                     "put .clipnest-undo-999999999-put-1 v.php\n");
    EXPECT_EQ(clipnest({"history"}).status, 0);
    EXPECT_TRUE(file("homepage.html") == "staged homepage" && file("v.php") == "staged page");
    EXPECT_FALSE(has(".clipnest/history/putting") || has(".clipnest-undo-999999999-put-0"));
}

// An entry moves as its whole block, the host's own lines in it byte for byte: to the end and above another, each one
// undo step; names without an entry are refused with nothing written.
TEST_F(CommandLine, MoveTakesTheBlockAsItStands) {
    for (const std::string n : {"a", "b", "c"}) {
        ASSERT_EQ(clipnest({"entry", n + ".mp4", "--homepage", "About " + n}).status, 0);
    }
    std::string page = file("homepage.html");
    const std::string desc = "<div class=\"desc\">About b</div>";
    ASSERT_NE(page.find(desc), npos);
    page.insert(page.find(desc) + desc.size(), "\n<p class=\"mine\">Planted  in\tMay</p>");
    put("homepage.html", page);
    const std::string handMade = file("homepage.html");
    const std::size_t from = handMade.find("<a href=\"b.php\">");
    const std::string bOwn = handMade.substr(from, handMade.find("</p>") + 4 - from);
    const auto sortedLines = [](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        // Each read of a written page adds an empty line at its end, as it always has.
        for (std::string line; std::getline(in, line);) {
            if (line != "" && line != "\r") {
                lines.push_back(line);
            }
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    const auto order = [this] { return clipnest({"list"}).out; };
    const std::string abc = "a.mp4\tAbout a\nb.mp4\tAbout b\nc.mp4\tAbout c\n";

    Result r = clipnest({"move", "b.mp4", "--to-end"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Moved b.mp4 to the end: homepage.html, a.php, b.php and c.php written.\n");
    EXPECT_EQ(order(), "a.mp4\tAbout a\nc.mp4\tAbout c\nb.mp4\tAbout b\n");
    EXPECT_NE(file("homepage.html").find(bOwn), npos) << "the host's line moved with its entry";
    EXPECT_EQ(sortedLines(file("homepage.html")), sortedLines(handMade)) << "the same lines, in another order";
    EXPECT_LT(file("homepage.html").rfind("<source src=\"b.mp4\""), file("homepage.html").find("p4yFileName"))
        << "the sample entry stays behind the last entry";

    r = clipnest({"move", "b.mp4", "--above", "a.mp4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Moved b.mp4 above a.mp4: homepage.html, a.php, b.php and c.php written.\n");
    EXPECT_EQ(order(), "b.mp4\tAbout b\na.mp4\tAbout a\nc.mp4\tAbout c\n");
    EXPECT_NE(file("homepage.html").find(bOwn), npos);
    EXPECT_EQ(sortedLines(file("homepage.html")), sortedLines(handMade));

    r = clipnest({"move", "b.mp4", "--above", "a.mp4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Nothing was changed: the entry stands there already.\n");

    const std::string before = file("homepage.html");
    const std::string history = clipnest({"history"}).out;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"move", "zz.mp4", "--above", "a.mp4"},
                                                 {"move", "a.mp4", "--above", "zz.mp4"},
                                                 {"move", "zz.mp4", "--to-end"}}) {
        r = clipnest(args);
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_NE(r.err.find("Clipnest moved no entry: the homepage has no entry for zz.mp4."), npos) << r.err;
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"move", "a.mp4"}, {"move", "a.mp4", "--above", "c.mp4", "--to-end"}}) {
        EXPECT_EQ(clipnest(args).status, 2) << args.size();
    }
    EXPECT_EQ(file("homepage.html"), before) << "nothing written";
    EXPECT_EQ(clipnest({"history"}).out, history) << "nothing to undo";

    EXPECT_NE(history.find("move b.mp4 above a.mp4"), npos) << history;
    ASSERT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(order(), "a.mp4\tAbout a\nc.mp4\tAbout c\nb.mp4\tAbout b\n");
    ASSERT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(order(), abc);
    EXPECT_EQ(file("homepage.html"), handMade) << "undo puts back the host's page byte for byte";
}

// add: the videos named (by name or by a path into the folder) become entries behind the last one, described by their
// names, in one operation undo takes back whole; every other file is named with why it was skipped, and the exit
// status says something was.
TEST_F(CommandLine, AddMakesEntriesOfTheVideosAsOneOperation) {
    for (const char* name : {"old.mp4", "rose_pruning-2026.mp4", "tulips.mp4", "lilies.webm"}) {
        put(name, "not really a video");
    }
    ASSERT_EQ(clipnest({"entry", "old.mp4", "--homepage", "Old"}).status, 0);
    const std::string before = file("homepage.html");
    const TempDir elsewhere;
    writeFile(elsewhere.path() / "away.mp4", "elsewhere");
    Result r = clipnest({"add", "rose_pruning-2026.mp4", "old.mp4", (dir() / "tulips.mp4").string(),
                         (elsewhere.path() / "away.mp4").string(), "missing.mp4", "bad#name.mp4", "tulips.mp4"});
    EXPECT_EQ(r.status, 1);
    for (const std::string& said : std::vector<std::string>{
             "Skipped old.mp4: it has an entry already.\n",
             "Skipped " + (elsewhere.path() / "away.mp4").string() + ": it is not in the channel folder.\n",
             "Skipped missing.mp4: it is not in the channel folder.\n", "Skipped bad#name.mp4: ",
             "Skipped tulips.mp4: it has an entry already.\n", "Added rose_pruning-2026.mp4: ", "Added tulips.mp4: "}) {
        EXPECT_NE(r.err.find(said), npos) << said << " in\n" << r.err;
    }
    EXPECT_EQ(clipnest({"list"}).out, "old.mp4\tOld\nrose_pruning-2026.mp4\tRose pruning 2026\ntulips.mp4\tTulips\n");
    EXPECT_NE(file("rose_pruning-2026.php").find("Rose pruning 2026"), npos);
    EXPECT_FALSE(has("lilies.php")) << "only the videos named";

    const std::string history = clipnest({"history"}).out;
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 2) << history;
    EXPECT_NE(history.find("\tadd rose_pruning-2026.mp4 and tulips.mp4\t"), npos) << history;
    ASSERT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_EQ(file("homepage.html"), before);
    EXPECT_FALSE(has("rose_pruning-2026.php") || has("tulips.php"));

    r = clipnest({"add", "old.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Skipped old.mp4: it has an entry already.\n");
    EXPECT_EQ(clipnest({"add"}).status, 2);
    EXPECT_EQ(file("homepage.html"), before);
}

// add --new: every video of the folder that no entry names, in name order, and nothing else; once each has one, there
// is nothing to do.
TEST_F(CommandLine, AddNewTakesEveryVideoWithoutAnEntryInNameOrder) {
    for (const char* name : {"b.mp4", "c.webm", "a.MOV", "notes.txt", "poster.jpg", "d.m4v"}) {
        put(name, "bytes");
    }
    ASSERT_EQ(clipnest({"entry", "b.mp4", "--homepage", "Bee"}).status, 0);
    Result r = clipnest({"add", "--new"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(clipnest({"list"}).out, "b.mp4\tBee\na.MOV\tA\nc.webm\tC\nd.m4v\tD\n");
    EXPECT_FALSE(has("notes.php") || has("poster.php"));
    const std::string history = clipnest({"history"}).out;
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 2) << "one operation: " << history;

    const std::string page = file("homepage.html");
    r = clipnest({"add", "--new"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Nothing was changed: every video in the folder has an entry.\n");
    put("e#.mp4", "bytes");
    r = clipnest({"add", "--new"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Skipped e#.mp4: "), npos) << r.err;
    EXPECT_EQ(file("homepage.html"), page);
}

// The videos added get posters of their own frames, on their tags on the homepage and their pages, and undo takes
// the posters back with the rest.
TEST_F(CommandLine, AddedVideosGetTheirPosters) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    for (const auto& [name, source] : {std::pair<std::string, std::string>{"bars", "smptebars"}, {"test", "testsrc"}}) {
        int rc = 0;
        shell("ffmpeg -nostdin -loglevel error -f lavfi -i " + source +
                  "=size=320x240:rate=25:duration=2 -c:v libx264 -pix_fmt yuv420p " + quoted(dir() / (name + ".mp4")),
              &rc);
        ASSERT_EQ(rc, 0) << name;
    }
    const Result r = clipnest({"add", "--new"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.ends_with("\nAdded bars.mp4: bars.jpg, bars.php and homepage.html written.\n"
                                "Added test.mp4: test.jpg, test.php and homepage.html written.\n"))
        << r.err;
    for (const std::string name : {"bars", "test"}) {
        EXPECT_EQ(shell("ffprobe -v error -show_entries stream=codec_name,width -of csv=p=0 " +
                        quoted(dir() / (name + ".jpg"))),
                  "mjpeg,640\n")
            << name;
        EXPECT_NE(file("homepage.html").find("poster=\"" + name + ".jpg\""), npos) << name;
        EXPECT_NE(file(name + ".php").find("poster=\"" + name + ".jpg\""), npos) << name;
    }
    EXPECT_GT(difference(pixelsOf(dir() / "bars.jpg"), pixelsOf(dir() / "test.jpg")), 30) << "each its own frame";
    ASSERT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_FALSE(has("bars.jpg") || has("test.jpg"));
}

// The channel's address: refused with the reason when it is none, kept when it is, and then the share tags, the feed
// and the sitemap are written at once, as one operation undo takes back; check says how to set it until it is.
TEST_F(CommandLine, PublishSiteSetsTheChannelsAddress) {
    EXPECT_EQ(clipnest({"entry", "a.mp4", "--homepage", "Roses"}).status, 0);
    Result r = clipnest({"check"});
    EXPECT_NE(r.err.find("clipnest publish --site https://"), npos) << r.err;
    for (const std::string bad : {"https://example.net/garden", "ftp://example.net/", "https://example.net/a b/",
                                  "https://example.net/?x=1/"}) {
        r = clipnest({"publish", "--site", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("the channel's address"), npos) << r.err;
        EXPECT_FALSE(has("feed.xml"));
    }
    EXPECT_FALSE(has(".clipnest/publish.conf"));
    r = clipnest({"publish", "--site", "https://example.net/garden/"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(file(".clipnest/publish.conf").find("site = https://example.net/garden/\n"), npos);
    EXPECT_NE(file("feed.xml").find("<link>https://example.net/garden/a.php</link>"), npos);
    EXPECT_NE(file("sitemap.xml").find("<loc>https://example.net/garden/a.php</loc>"), npos);
    EXPECT_NE(file("a.php").find("content=\"https://example.net/garden/a.php\""), npos);
    EXPECT_NE(r.err.find("feed.xml"), npos) << "what was written is said: " << r.err;
    r = clipnest({"check"});
    EXPECT_EQ(r.err.find("--site"), npos) << r.err;
    EXPECT_EQ(clipnest({"undo"}).status, 0);
    EXPECT_FALSE(has("feed.xml"));
    EXPECT_EQ(file("a.php").find("https://example.net"), npos);
}

// Two instances started together on one channel, many times: every entry made is on the homepage; a writer that
// found the channel busy past its wait said so, failed and wrote nothing. A writer that finds the lock held says so
// after its wait and leaves the folder as it was.
TEST_F(CommandLine, OneWriterAtATime) {
    EXPECT_EQ(clipnest({"entry", "first.mp4", "--homepage", "First"}).status, 0);
    std::vector<std::string> made{"first.mp4"};
    const TempDir io;
    const auto run = [&](const std::string& name, const std::string& as) {
        return "(" + std::string(CLIPNEST_PROGRAM) + " entry " + name + " --homepage " + as + " > /dev/null 2> " +
               quoted(io.path() / (as + ".err")) + "; echo $? > " + quoted(io.path() / (as + ".rc")) + ")";
    };
    for (int i = 0; i < 50; ++i) {
        const std::string p = "p" + std::to_string(i) + ".mp4", q = "q" + std::to_string(i) + ".mp4";
        shell("cd " + quoted(dir()) + " && { " + run(p, "P") + " & " + run(q, "Q") + " & wait; }");
        for (const auto& [name, as] : {std::pair{p, std::string("P")}, std::pair{q, std::string("Q")}}) {
            const std::string rc = readFile(io.path() / (as + ".rc")), err = readFile(io.path() / (as + ".err"));
            if (rc == "0\n") {
                EXPECT_NE(err.find("Added " + name), npos) << err;
                made.push_back(name);
            } else {
                EXPECT_EQ(err, "Another Clipnest is changing this channel; try again\n") << rc;
                EXPECT_FALSE(has(name.substr(0, name.size() - 4) + ".php"));
            }
        }
    }
    const std::string list = clipnest({"list"}).out;
    for (const std::string& name : made) {
        EXPECT_NE(list.find(name + "\t"), npos) << name << " was said to be added, but the homepage lost it";
    }
    EXPECT_GE(made.size(), 50U);

    const std::string homepage = file("homepage.html");
    bool busy = false;
    const std::unique_ptr<FileLock> other = FileLock::tryLock(dir() / ".clipnest/channel.lock", busy);
    ASSERT_TRUE(other);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"entry", "late.mp4", "--homepage", "Late"},
                                                 {"delete", "first.mp4"},
                                                 {"undo"},
                                                 {"title", "--title", "T"},
                                                 {"rename", "first.mp4", "other.mp4"},
                                                 {"close", "first.mp4"},
                                                 {"history", "--limit", "5"},
                                                 {"comments", "--to", "sftp://nobody@127.0.0.1:1/site"}}) {
        const Result r = clipnest(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("Another Clipnest is changing this channel; try again"), npos) << args[0] << r.err;
    }
    EXPECT_EQ(file("homepage.html"), homepage);
    EXPECT_FALSE(has("late.php") || has("change_file_name.php") || has("comment_moderation.txt") ||
                 has(".clipnest/history/limit") || has(".clipnest/comments"));
}

// A video ffprobe cannot finish in time (a stand-in that never ends) is named as such within the probe's time, with
// nothing advised to run on it, and the next check does not wait for it again.
TEST_F(CommandLine, CheckGivesUpOnAVideoThatTakesTooLong) {
    const TempDir bin;
    writeFile(bin.path() / "ffprobe", "#!/bin/sh\necho run >> " + quoted(bin.path() / "runs") + "\nexec sleep 120\n");
    fs::permissions(bin.path() / "ffprobe", fs::perms::owner_all);
    put("slow.webm", "\x1A\x45\xDF\xA3");
    ASSERT_EQ(clipnest({"entry", "slow.webm", "--homepage", "Slow"}).status, 0);
    const auto check = [&] {
        return shell("cd " + quoted(dir()) + " && PATH=" + quoted(bin.path()) + ":$PATH " + CLIPNEST_PROGRAM +
                     " check 2>&1");
    };
    const auto start = std::chrono::steady_clock::now();
    std::string out = check();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_NE(out.find("slow.webm: could not be read in time"), npos) << out;
    EXPECT_EQ(out.find("ffmpeg -i"), npos) << out;
    EXPECT_EQ(check(), out);
    EXPECT_EQ(readFile(bin.path() / "runs"), "run\n");
}

// The real ffprobe on a WebM whose header stands before 200 GB of nothing (a sparse file, a few hundred bytes on
// disk): it would read on for minutes; check stops it within its time and names the file.
TEST_F(CommandLine, CheckStopsTheRealProbeOnAFileMadeToKeepItBusy) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    shell("cd " + quoted(dir()) +
          " && ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v libvpx clip.webm"
          " && head -c 200 clip.webm > slow.webm && rm clip.webm && truncate -s 200G slow.webm");
    ASSERT_EQ(fs::file_size(dir() / "slow.webm"), std::uintmax_t{200} << 30);
    ASSERT_EQ(clipnest({"entry", "slow.webm", "--homepage", "Slow", "--create-page"}).status, 0);
    const auto start = std::chrono::steady_clock::now();
    const Result r = clipnest({"check"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40));
    EXPECT_NE(r.out.find("slow.webm: could not be read in time"), npos) << r.out;
}

// What check advises can be pasted into a shell as it stands: a name that holds the shell's own characters is one
// quoted word, and running the advice runs nothing the name holds.
TEST_F(CommandLine, AdviceIsQuotedForTheShell) {
    const std::string name = "a$(touch PWNED);b 'c'.mp4";
    ASSERT_EQ(clipnest({"entry", name, "--homepage", "Gone"}).status, 0);
    put("x.vtt", "not captions");
    put("x.mp4", "");
    ASSERT_EQ(clipnest({"entry", "x.mp4", "--homepage", "X"}).status, 0);
    const Result r = clipnest({"check"});
    std::vector<std::string> advised;
    for (const std::string prefix : {"clipnest delete ", "ffmpeg -i "}) {
        const std::size_t at = r.out.find(prefix);
        ASSERT_NE(at, npos) << prefix << r.out;
        const std::size_t end = r.out.find('\n', at);
        advised.push_back(r.out.substr(at + prefix.size(), end - at - prefix.size()));
    }
    // The advice's words after the command, echoed one a line by the shell.
    const TempDir run;
    std::string said = shell("cd " + quoted(run.path()) + " && sh -c " + quoted("printf '%s\\n' " + advised[0]));
    EXPECT_EQ(said, name + "\n");
    said = shell("cd " + quoted(run.path()) + " && sh -c " + quoted("printf '%s\\n' " + advised[1]));
    EXPECT_EQ(said.substr(0, said.find('\n')), "x.vtt");
    EXPECT_FALSE(fs::exists(run.path() / "PWNED"));
    EXPECT_FALSE(has("PWNED"));
}

// A name that begins with "-" stays a file name when the advice is pasted: clipnest is given it after "--", ffmpeg
// as ./NAME, and publish's --replace as its value.
TEST_F(CommandLine, AdviceNeverReadsANameAsAnOption) {
    ASSERT_EQ(clipnest({"entry", "--homepage", "Gone", "--", "-rf.mp4"}).status, 0);
    put("-x.vtt", "not captions");
    put("-x.mp4", "");
    ASSERT_EQ(clipnest({"entry", "--homepage", "X", "--", "-x.mp4"}).status, 0);
    const Result r = clipnest({"check"});
    const auto advice = [&](const std::string& prefix) {
        const std::size_t at = r.out.find(prefix);
        EXPECT_NE(at, npos) << prefix << r.out;
        return at == npos ? std::string() : r.out.substr(at + prefix.size(), r.out.find('\n', at) - at - prefix.size());
    };
    // The ffmpeg advice's first word, as the shell hands it over: a path to the file, no option.
    const std::string convert = advice("ffmpeg -i ");
    const std::string input = shell("cd " + quoted(dir()) + " && sh -c " + quoted("printf '%s\\n' " + convert));
    EXPECT_EQ(input.substr(0, input.find('\n')), "./-x.vtt") << convert;
    // The delete advice, pasted with the program in clipnest's place, deletes the entry.
    const std::string remove = advice("clipnest delete ");
    ASSERT_NE(remove, "");
    int status = -1;
    const std::string said = shell("cd " + quoted(dir()) + " && sh -c " +
                                       quoted(std::string(CLIPNEST_PROGRAM) + " delete " + remove) + " 2>&1",
                                   &status);
    EXPECT_EQ(status, 0) << remove << said;
    EXPECT_EQ(clipnest({"list"}).out, "-x.mp4\tX\n");
    // --replace=NAME takes a name that begins with "-" as the option's value.
    const Result publish = clipnest({"publish", "--replace=-rf.mp4"});
    EXPECT_NE(publish.err.find("publish: say where to"), npos) << publish.err;
}

// Captions: an .srt of SubRip cues becomes a track; one over 2 MB, or of random bytes, is not converted (a notice
// says so) and no page names it; check names a .vtt that is too large.
TEST_F(CommandLine, CaptionsAreBounded) {
    put("good.srt", "1\r\n00:00:01,000 --> 00:00:02,500\r\nHello\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nBye\r\n");
    std::string noise(4096, '\0');
    std::mt19937 random(7);
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    put("big.srt", "1\n00:00:01,000 --> 00:00:02,000\nHi\n\n" + std::string(3 << 20, 'x'));
    put("noise.srt", noise);
    for (const std::string video : {"good.mp4", "big.mp4", "noise.mp4"}) {
        const Result r = clipnest({"entry", video, "--homepage", video});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_EQ(file("good.vtt"), "WEBVTT\n\n1\n00:00:01.000 --> 00:00:02.500\nHello\n\n2\n00:00:03.000 --> "
                                "00:00:04.000\nBye\n");
    EXPECT_NE(file("good.php").find("src=\"good.vtt\""), npos);
    for (const std::string stem : {"big", "noise"}) {
        EXPECT_FALSE(has(stem + ".vtt")) << stem;
        EXPECT_EQ(file(stem + ".php").find("<track"), npos) << stem;
    }
    EXPECT_NE(clipnest({"captions", "big.mp4"}).err.find("big.srt was not converted to big.vtt: it is over 2 MB"),
              npos);
    EXPECT_NE(
        clipnest({"captions", "noise.mp4"}).err.find("noise.srt was not converted to noise.vtt: it is not SubRip"),
        npos);
    put("noise.vtt", "WEBVTT\n\n" + std::string(3 << 20, 'x'));
    // An .srt too large to convert is named too; one beside its own .vtt is not used, and not named.
    put("good.srt", std::string(3 << 20, 'y'));
    const Result r = clipnest({"check"});
    EXPECT_NE(r.out.find("noise.vtt: it is 3"), npos) << r.out;
    EXPECT_NE(r.out.find("over the 2 MB a caption file may have"), npos) << r.out;
    EXPECT_NE(r.out.find("big.srt: it is 3"), npos) << r.out;
    EXPECT_NE(r.out.find("it is not converted to big.vtt and the video shows none of its captions"), npos) << r.out;
    EXPECT_EQ(r.out.find("good.srt"), npos) << r.out;
    EXPECT_EQ(r.out.find("noise.srt"), npos) << r.out;
}

// A name with "&" reaches its file: the homepage's link and source and the video page's source write it as "&amp;",
// so a browser asks for exactly the name; the entry is found again to change, list and delete; an entry written
// before with a bare "&" is still found, and check names it.
TEST_F(CommandLine, NamesWithAmpersandsReachTheirFiles) {
    ASSERT_EQ(clipnest({"entry", "b&amp;c.mp4", "--homepage", "One"}).status, 0);
    std::string home = file("homepage.html");
    EXPECT_NE(home.find("href=\"b&amp;amp;c.php\""), npos) << home;
    EXPECT_NE(home.find("src=\"b&amp;amp;c.mp4\""), npos);
    EXPECT_NE(file("b&amp;c.php").find("src=\"b&amp;amp;c.mp4\""), npos);
    EXPECT_EQ(clipnest({"list"}).out, "b&amp;c.mp4\tOne\n");
    EXPECT_EQ(clipnest({"entry", "b&amp;c.mp4", "--homepage", "Changed"}).status, 0);
    EXPECT_EQ(clipnest({"list"}).out, "b&amp;c.mp4\tChanged\n");
    EXPECT_EQ(clipnest({"entry", "b&amp;c.mp4", "--homepage", "Twice"}).status, 0);
    EXPECT_EQ(clipnest({"insert", "d&e.mp4", "--above", "b&amp;c.mp4", "--homepage", "Above"}).status, 0);
    EXPECT_EQ(clipnest({"list"}).out, "d&e.mp4\tAbove\nb&amp;c.mp4\tTwice\n");
    EXPECT_EQ(clipnest({"check"}).out.find("bare"), npos);

    // The homepage as an older Clipnest wrote it: the name's "&" bare.
    home = file("homepage.html");
    for (std::size_t at; (at = home.find("d&amp;e")) != npos;) {
        home.replace(at, 7, "d&e");
    }
    put("homepage.html", home);
    put("d&e.mp4", "");
    Result r = clipnest({"check"});
    EXPECT_NE(r.out.find("d&e.mp4: the homepage writes the name with a bare \"&\""), npos) << r.out;
    r = clipnest({"delete", "d&e.mp4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(clipnest({"list"}).out, "b&amp;c.mp4\tTwice\n");
}

// What a server answers, what a settings file or a homepage holds, reaches the terminal escaped: no title set, no
// screen cleared, no line that seems the program's own.
TEST_F(CommandLine, TextFromElsewhereCannotSteerTheTerminal) {
    const std::string hostile = "\x1B]0;pwned\x07\x1B[2J\rUploaded 10 of 10 changed files.";
    const std::string shown = "\\x1B]0;pwned\\x07\\x1B[2J\\rUploaded 10 of 10 changed files.";
    const auto steers = [](const Result& r) {
        return (r.out + r.err).find_first_of(std::string("\x1B\x07\r", 3)) != npos;
    };
    EXPECT_EQ(clipnest({"entry", "a.mp4", "--homepage", "MARK"}).status, 0);

    // A server that answers the login with escapes (ssh's last words are the reason the connection failed).
    const TempDir bin;
    writeFile(bin.path() / "ssh",
              "#!/bin/sh\nprintf 'denied%s\\n' \"$(printf '\\033]0;pwned\\007\\033[2J\\rUploaded 10 "
              "of 10 changed files.')\" >&2\nexit 255\n");
    fs::permissions(bin.path() / "ssh", fs::perms::owner_all);
    environment = "CLIPNEST_SSH=" + quoted(bin.path() / "ssh") + " ";
    Result r = clipnest({"publish", "--to", "sftp://me@example.net/site/"});
    environment.clear();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("denied" + shown), npos) << r.err;
    EXPECT_FALSE(steers(r)) << r.err;

    // An address with escapes in publish.conf, echoed by a dry run; one with a CR is refused, and not echoed raw.
    put(".clipnest/publish.conf", "to = sftp://me@example.net/site\x1B]0;pwned\x07\x1B[2J/\n");
    r = clipnest({"publish", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("would be uploaded to sftp://me@example.net/site\\x1B]0;pwned\\x07\\x1B[2J/.\n"), npos)
        << r.out;
    EXPECT_FALSE(steers(r)) << r.out;
    put(".clipnest/publish.conf", "to = sftp://me@example.net/" + hostile + "/\n");
    r = clipnest({"publish", "--dry-run"});
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(steers(r)) << r.err;

    // A description whose character references are controls, as the listing reads the homepage.
    std::string homepage = file("homepage.html");
    homepage.replace(homepage.find("MARK"), 4, "&#27;]0;pwned&#7;&#x1b;[2J");
    put("homepage.html", homepage);
    r = clipnest({"list"});
    EXPECT_EQ(r.out, "a.mp4\t\\x1B]0;pwned\\x07\\x1B[2J\n");
}

// The host holds a thread's new comments for approval and approves one; the moderation file keeps the host's other
// decisions beside it, and a renamed video's thread stays held under its new name.
TEST_F(CommandLine, HeldCommentsAreApprovedBesideTheHostsOtherDecisions) {
    ASSERT_EQ(clipnest({"entry", "a.mp4", "--homepage", "A"}).status, 0);
    ASSERT_EQ(clipnest({"title", "--title", "Rose garden"}).status, 0);
    const std::string spam = "Buy\n2026-12-01 08:00:00\r\nn=0123456789abcdef\n",
                      held = "Hello\n2026-12-02 08:00:00\r\nn=0123456789abcdef h=1 a=Ann\n";
    fs::create_directories(dir() / ".clipnest/comments");
    put(".clipnest/comments/a_comments.txt", spam + held);
    EXPECT_EQ(clipnest({"hide", "a.mp4", "1"}).status, 0);
    EXPECT_EQ(clipnest({"close", "a.mp4"}).status, 0);
    Result r = clipnest({"hold", "a.mp4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "The new comments of a.mp4 wait for approval: publish to have the server's page do the same.\n");
    EXPECT_NE(clipnest({"comments", "--offline"}).out.find("\tAnn\t[held] Hello\n"), npos);

    r = clipnest({"approve", "a.mp4", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "comment 1 of a.mp4 is not held: it shows without approval\n");
    EXPECT_EQ(clipnest({"approve", "a.mp4", "3"}).status, 1);
    r = clipnest({"approve", "a.mp4", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string hide = "hide " + publish::sha256Hex(spam) + "\n",
                      approve = "approve " + publish::sha256Hex(held) + "\n";
    EXPECT_EQ(file("comment_moderation.txt"),
              hide + "close a_comments.txt\n" + approve + "hold a_comments.txt\nhost Rose garden\n");
    EXPECT_NE(clipnest({"comments", "--offline"}).out.find("\tAnn\tHello\n"), npos) << "approved, no longer held";

    ASSERT_EQ(clipnest({"rename", "a.mp4", "b.mp4"}).status, 0);
    EXPECT_EQ(file("comment_moderation.txt"),
              hide + "close b_comments.txt\n" + approve + "hold b_comments.txt\nhost Rose garden\n");
    EXPECT_EQ(clipnest({"unhold", "b.mp4"}).status, 0);
    EXPECT_EQ(clipnest({"open", "b.mp4"}).status, 0);
    EXPECT_EQ(file("comment_moderation.txt"), hide + approve + "host Rose garden\n");
}

// The comment settings are read strictly: a mail address with a blank, a line break or no @ is refused naming its
// line, as is a count or a choice that is none; check says when the mails would carry no link.
TEST_F(CommandLine, TheCommentSettingsAreCheckedWhenRead) {
    fs::create_directories(dir() / ".clipnest");
    for (const std::string line : {"notify = host example.net", "notify = host@", "notify = nobody",
                                   "notify = a@example.net\rBcc: b@example.net", "notify_per_day = 0",
                                   "notify_per_day = 5x", "comments = maybe"}) {
        SCOPED_TRACE(line);
        put(".clipnest/publish.conf", "site = https://example.net/g/\n" + line + "\n");
        const Result r = clipnest({"check"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(".clipnest/publish.conf line 2: " + line.substr(0, line.find(' ')) + " takes"), npos)
            << r.err;
    }
    // A publish reads them the same, and goes nowhere with a setting that is none.
    put(".clipnest/publish.conf", "to = sftp://h/x/\nconnections = 99\n");
    Result r = clipnest({"publish", "--dry-run"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(".clipnest/publish.conf line 2: connections takes a number from 1 to 8"), npos) << r.err;
    put(".clipnest/publish.conf", "notify = host@example.net\nnotify_per_day = 5\ncomments = held\n");
    const std::string noLink = "notify is set but the channel has no address (site): the mails will carry no link";
    r = clipnest({"check"});
    EXPECT_NE(r.err.find(noLink), npos) << r.err;
    // Setting the address keeps them as they were.
    r = clipnest({"publish", "--site", "https://example.net/g/"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string kept = file(".clipnest/publish.conf");
    for (const char* line : {"notify = host@example.net\n", "notify_per_day = 5\n", "comments = held\n"}) {
        EXPECT_NE(kept.find(line), npos) << kept;
    }
    r = clipnest({"check"});
    EXPECT_EQ(r.err.find(noLink), npos) << r.err;
    // A moderation file that cannot be brought up to date before a publish is a note: the publish goes on.
    fs::create_directory(dir() / "comment_moderation.txt");
    environment = "CLIPNEST_SSH=/bin/false ";
    r = clipnest({"publish", "--to", "sftp://me@127.0.0.1:1/site/"});
    environment.clear();
    EXPECT_TRUE(r.err.starts_with("note: Clipnest could not write comment_moderation.txt\npublish: ")) << r.err;
    fs::remove(dir() / "comment_moderation.txt");
    // While every thread is held, letting one go is said not to show its comments.
    ASSERT_EQ(clipnest({"entry", "a.mp4", "--homepage", "A"}).status, 0);
    r = clipnest({"unhold", "a.mp4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("still wait for approval, as every video's do while .clipnest/publish.conf says comments = "
                         "held"),
              npos)
        << r.out;
}

} // namespace
} // namespace clipnest::testing
