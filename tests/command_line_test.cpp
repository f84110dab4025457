#include "app/panels.h"
#include "cli/session.h"
#include "homepage/markers.h"
#include "support/test_support.h"

#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;
using testing::TempDir;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the built program with `args` in `dir`, as a script would, without a display.
Result run(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    const TempDir capture;
    const std::string outPath = capture.path() / "out";
    const std::string errPath = capture.path() / "err";
    std::vector<std::string> argv = {CLIPNEST_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv) {
        cargs.push_back(a.data());
    }
    cargs.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(dir.c_str()) != 0) {
            ::_exit(127);
        }
        ::unsetenv("DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        ::execv(cargs[0], cargs.data());
        ::_exit(127);
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    Result r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

std::string lines(std::initializer_list<std::string> items) {
    std::string text;
    for (const std::string& item : items) {
        text += item + "\n";
    }
    return text;
}

class CommandLine : public ::testing::Test {
protected:
    Result clipnest(const std::vector<std::string>& args) { return run(dir_.path(), args); }
    std::string file(const std::string& name) const { return readFile(dir_.path() / name); }
    bool has(const std::string& name) const { return std::filesystem::exists(dir_.path() / name); }
    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_.path() / name, std::ios::binary) << bytes;
    }
    const std::filesystem::path& dir() const { return dir_.path(); }

private:
    TempDir dir_;
};

// A host's session from an empty folder: every command once, with the files and listings it leaves.
TEST_F(CommandLine, SessionOfCommands) {
    Result r = clipnest({"entry", "one.mp4", "--homepage", "First clip"});
    EXPECT_EQ(r.status, 0) << r.err;
    // A first run in an empty folder: the start-up notice, as a note.
    EXPECT_EQ(r.err, "note: A homepage.html file will be created in the folder with this app. If you want to work "
                     "with a previously created homepage.html file instead, you can place one in the folder now.\n");
    EXPECT_EQ(clipnest({"entry", "two.mp4", "--homepage", "Second", "--individual", "All about two"}).status, 0);
    r = clipnest({"entry", "three.mp4", "--homepage", "Fish & chips <b> café ☕"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(has("one.php") && has("two.php") && has("three.php") && has("AppDocs.txt"));
    EXPECT_NE(file("two.php").find("All about two"), std::string::npos);
    // Code-page bytes on the homepage, references for what the code page lacks, markup escaped.
    EXPECT_NE(file("homepage.html").find("Fish &amp; chips &lt;b&gt; caf\xE9 &#9749;"), std::string::npos);

    r = clipnest({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, lines({"one.mp4\tFirst clip", "two.mp4\tSecond", "three.mp4\tFish & chips <b> café ☕"}));

    EXPECT_EQ(clipnest({"entry", "one.mp4", "--homepage", "First, changed", "--individual", "New story"}).status, 0);
    EXPECT_NE(file("one.php").find("New story"), std::string::npos);
    EXPECT_EQ(clipnest({"delete", "two.mp4"}).status, 0);
    EXPECT_EQ(clipnest({"insert", "zero.mp4", "--above", "one.mp4", "--homepage", "Before all"}).status, 0);
    EXPECT_TRUE(has("zero.php"));
    EXPECT_EQ(clipnest({"title", "--title", "My Channel", "--message", "New clips every week"}).status, 0);
    EXPECT_NE(file("homepage.html").find("My Channel"), std::string::npos);
    EXPECT_NE(file("homepage.html").find("New clips every week"), std::string::npos);
    EXPECT_EQ(clipnest({"rename", "three.mp4", "3.mp4"}).status, 0);
    EXPECT_NE(file("change_file_name.php").find("three.mp4"), std::string::npos);

    r = clipnest({"list"});
    EXPECT_EQ(r.out, lines({"zero.mp4\tBefore all", "one.mp4\tFirst, changed", "three.mp4\tFish & chips <b> café ☕"}));
    EXPECT_EQ(r.err, "");
}

// Every file of a folder, to open the window anew on them.
std::vector<std::pair<std::string, std::string>> filesOf(const std::filesystem::path& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files.emplace_back(entry.path().filename().string(), readFile(entry.path()));
        }
    }
    return files;
}

// The command line goes through the same Form and Steps as the window: each command gives the bytes the window gives
// when it is opened anew for that one click.
TEST_F(CommandLine, WritesWhatTheWindowWrites) {
    const std::vector<std::function<void(Harness&)>> clicks = {
        [](Harness& h) { testing::createEntry(h, "a.mp4", "Alpha", "Alpha's story"); },
        [](Harness& h) { testing::createEntry(h, "b.mp4", "Beta"); },
        [](Harness& h) { testing::insertEntry(h, "c.mp4", "b.mp4", "Gamma"); },
        [](Harness& h) { testing::updateTitle(h, "Title", "Message"); },
        [](Harness& h) { testing::deleteEntry(h, "a.mp4"); },
    };
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& click : clicks) {
        Harness h(files);
        click(h);
        files = filesOf(h.dir());
    }

    clipnest({"entry", "a.mp4", "--homepage", "Alpha", "--individual", "Alpha's story"});
    clipnest({"entry", "b.mp4", "--homepage", "Beta"});
    clipnest({"insert", "c.mp4", "--above", "b.mp4", "--homepage", "Gamma"});
    clipnest({"title", "--title", "Title", "--message", "Message"});
    clipnest({"delete", "a.mp4"});
    EXPECT_EQ(filesOf(dir()).size(), files.size());
    for (const auto& [name, bytes] : files) {
        EXPECT_TRUE(testing::sameText(bytes, file(name))) << name;
    }
}

TEST_F(CommandLine, RefusalsExitOneWithThePanelsMessage) {
    clipnest({"entry", "a.mp4", "--homepage", "A"});
    const std::string before = file("homepage.html");

    Result r = clipnest({"entry", ".mp4", "--homepage", "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Please enter a valid file name.\n");
    EXPECT_EQ(clipnest({"entry", "bad/name.mp4"}).status, 1);
    EXPECT_EQ(clipnest({"entry", "mug☕.mp4"}).status, 1);
    EXPECT_EQ(clipnest({"entry", "\xFF.mp4"}).status, 1);

    r = clipnest({"delete", "missing.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "An entry for the entered file name was not found on the Homepage.\n");

    r = clipnest({"insert", "a.mp4", "--above", "a.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "There is already an entry with the entered file name on the Homepage.\n");
    r = clipnest({"insert", "b", "--above", "a.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Please enter valid file names.\n");
    // The window says nothing when the anchor is not on the page; a script is told.
    r = clipnest({"insert", "b.mp4", "--above", "nowhere.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "An entry for the file name nowhere.mp4 was not found on the Homepage.\n");

    EXPECT_EQ(file("homepage.html"), before);
    EXPECT_FALSE(has("b.php"));
}

TEST_F(CommandLine, DeleteWithoutHomepage) {
    put("AppDocs.txt", "\r\n");
    const Result r = clipnest({"delete", "a.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "note: A homepage.html file was not found in your local folder. Please place one there or one "
                     "will be created by this App.\n"
                     "A homepage.html file was not found in your local folder. Please place one there.\n");
    EXPECT_FALSE(has("homepage.html"));
}

TEST_F(CommandLine, NothingToChangeExitsZero) {
    clipnest({"entry", "a.mp4", "--homepage", "A"});
    const std::string before = file("homepage.html");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"entry", "a.mp4"}, {"entry", "a.mp4", "--homepage-only"}, {"title"}}) {
        const Result r = clipnest(args);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.err, "Nothing was changed.\n") << args[0];
    }
    EXPECT_EQ(file("homepage.html"), before);
}

// The window's notice asks for a second click; --create-page makes it in the same run.
TEST_F(CommandLine, MissingPageNeedsCreatePage) {
    clipnest({"entry", "a.mp4", "--homepage", "A"});
    std::filesystem::remove(dir() / "a.php");

    Result r = clipnest({"entry", "a.mp4", "--homepage", "A2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "An Individual page for the entered file name could not be found. If you want to create a new "
                     "individual page for this name, simply click Create/Change Entry again and it will be created.\n"
                     "note: add --create-page to create the page.\n");
    EXPECT_FALSE(has("a.php"));
    EXPECT_EQ(clipnest({"list"}).out, "a.mp4\tA\n");

    r = clipnest({"entry", "a.mp4", "--homepage", "A2", "--create-page"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.starts_with("note: An Individual page")) << r.err;
    EXPECT_NE(file("a.php").find("A2"), std::string::npos);
    EXPECT_EQ(clipnest({"list"}).out, "a.mp4\tA2\n");
}

TEST_F(CommandLine, FileFailuresExitOne) {
    std::filesystem::create_directory(dir() / "change_file_name.php");
    put("change_file_name.php/keep", "x");
    const Result r = clipnest({"rename", "a.mp4", "b.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Clipnest could not write change_file_name.php. The file on disk was left as it was."),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(has("change_file_name.php/keep"));

    // A folder in the homepage's place is no homepage, and nothing can be written over it.
    std::filesystem::create_directory(dir() / "homepage.html");
    const Result t = clipnest({"title", "--title", "T"});
    EXPECT_EQ(t.status, 1);
    EXPECT_TRUE(t.err.ends_with("Clipnest could not write homepage.html. The file on disk was left as it was.\n"))
        << t.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir() / "homepage.html"));
}

TEST_F(CommandLine, UsageHelpAndVersion) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"bogus"},
                                               {"entry"},
                                               {"insert", "a.mp4"},
                                               {"rename", "a.mp4"},
                                               {"entry", "a.mp4", "--nope"},
                                               {"entry", "a.mp4", "--homepage", "x", "--homepage", "y"}}) {
        const Result r = clipnest(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err, "") << args[0];
    }
    Result r = clipnest({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* command : {"entry", "delete", "insert", "title", "rename", "list"}) {
        EXPECT_NE(r.out.find(command), std::string::npos) << command;
    }
    r = clipnest({"insert", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--above"), std::string::npos);
    r = clipnest({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("clipnest ")) << r.out;
    // Neither help nor a usage error touches the folder.
    EXPECT_TRUE(std::filesystem::is_empty(dir()));
}

TEST_F(CommandLine, ListReadsWithoutWriting) {
    Result r = clipnest({"list"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "A homepage.html file was not found in your local folder. Please place one there.\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir()));

    // A hand-edited page: an entry the host disabled, one without a description, references in a description.
    std::string page = testing::homepageWith({"a.mp4", "b.mp4", "c.mp4"});
    page = testing::with(page, testing::liveEntry("b.mp4"),
                         std::string(markers::WrapOpen) + " " + testing::liveEntry("b.mp4") + " " +
                             std::string(markers::WrapClose));
    page = testing::with(page, "About a.mp4", "  Tea &amp;\n cake &#9749; &#x263A; &hearts;  ");
    page = testing::with(page, "<div class=\"desc\">About c.mp4</div>", "");
    put("Homepage.htm", page);
    r = clipnest({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, lines({"a.mp4\tTea & cake ☕ ☺ &hearts;", "c.mp4\t"}));
    EXPECT_FALSE(has("AppDocs.txt"));
}

} // namespace
} // namespace clipnest
