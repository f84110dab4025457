// A session gives the files that the same commands give one by one: random sessions of requests run once as one
// batch (the window's way, one Form throughout) and once as separate commands in a fresh copy of the folder, and
// every file and every failing line must agree.
#include "cli/command_line.h"
#include "history/first_made.h"
#include "platform/clock.h"
#include "support/support.h"

#include <cstdlib>
#include <random>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

// Runs one command line in-process on `dir`; its exit status.
int run(const fs::path& dir, const Words& words, std::string* err = nullptr) {
    std::vector<const char*> argv = {"clipnest"};
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    std::ostringstream out, errors;
    const int status = cli::runCommandLine(static_cast<int>(argv.size()), argv.data(), dir, out, errors);
    if (err) {
        *err = errors.str();
    }
    return status;
}

// One batch line for the words: each quoted, a quote inside closed, escaped and opened again.
std::string lineOf(const Words& words) {
    std::string line;
    for (const std::string& w : words) {
        line += line.empty() ? "'" : " '";
        for (const char c : w) {
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        line += '\'';
    }
    return line;
}

// Where two folders differ, as "name: line N" with the two lines; empty when they agree. A file the design reads
// again gains an empty line at its end each time, so the line ends at the very end are left out.
std::string difference(const fs::path& one, const fs::path& other) {
    const auto lines = [](std::string bytes) {
        while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) {
            bytes.pop_back();
        }
        std::vector<std::string> lines;
        std::istringstream in(bytes);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    };
    const Files a = filesOf(one), b = filesOf(other);
    std::set<std::string> names;
    for (const Files* files : {&a, &b}) {
        for (const auto& [name, bytes] : *files) {
            names.insert(name);
        }
    }
    for (const std::string& name : names) {
        if (!a.contains(name) || !b.contains(name)) {
            return name + (a.contains(name) ? ": only in the batch's folder" : ": only in the commands' folder");
        }
        const std::vector<std::string> x = lines(a.at(name)), y = lines(b.at(name));
        for (std::size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
            const std::string l = i < x.size() ? x[i] : "(none)", r = i < y.size() ? y[i] : "(none)";
            if (l != r) {
                return name + ": line " + std::to_string(i + 1) + "\n  batch:    " + l + "\n  commands: " + r;
            }
        }
    }
    return {};
}

// Random sessions over few names, so that requests meet: entries of one name and two extensions share a page, bad
// anchors and refused names come up, pages go missing, and undo runs between any two of them.
class Sessions {
public:
    explicit Sessions(unsigned seed) : random_(seed) {}

    Files folder() {
        Files files;
        if (pick(3) > 0) {
            Names names;
            for (const char* n : {"a.mp4", "b.mp4", "c.mp4"}) {
                if (pick(2) == 0) {
                    names.push_back(n);
                }
            }
            files = channel(names);
            // A video page that went missing.
            for (const std::string& n : names) {
                if (pick(4) == 0) {
                    files.erase(n.substr(0, n.find('.')) + ".php");
                }
            }
        }
        if (pick(2) == 0) {
            files["AppDocs.txt"] = "\r\n";
        }
        return files;
    }

    std::vector<Words> session() {
        std::vector<Words> commands(3 + pick(10));
        for (Words& c : commands) {
            c = command();
        }
        return commands;
    }

private:
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    template <typename T, std::size_t N>
    const T& oneOf(const T (&items)[N]) {
        return items[pick(N)];
    }
    std::string name() { return oneOf({"a.mp4", "b.mp4", "b.webm", "c.mp4", "d.mov", "e.mp4", "no period", ".mp4"}); }
    void describe(Words& c, const char* option) {
        if (pick(2) == 0) {
            c.insert(c.end(), {option, oneOf({"", " ", "x", "Garden", "Tom & Jerry <3", "caf\xC3\xA9 \xE2\x98\x95"})});
        }
    }

    Words command() {
        Words c;
        switch (pick(8)) {
        case 0:
        case 1:
            c = {"entry", name()};
            describe(c, "--homepage");
            describe(c, "--individual");
            if (pick(4) == 0) {
                c.push_back("--homepage-only");
            }
            if (pick(4) == 0) {
                c.push_back("--create-page");
            }
            break;
        case 2:
            c = {"delete", name()};
            break;
        case 3:
            c = {"insert", name(), "--above", pick(4) == 0 ? "none.mp4" : name()};
            describe(c, "--homepage");
            describe(c, "--individual");
            break;
        case 4:
            c = {"title"};
            describe(c, "--title");
            describe(c, "--message");
            break;
        case 5:
            c = {"rename", name(), oneOf({"new.mp4", "../up.mp4", "b.mp4"})};
            break;
        case 6:
            c = {"undo"};
            if (pick(3) == 0) {
                c.push_back("--force");
            }
            break;
        default:
            c = {"list"};
            break;
        }
        return c;
    }

    std::mt19937 random_;
};

std::string described(const std::vector<Words>& commands) {
    std::string text;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        text += std::to_string(i + 1) + ": " + lineOf(commands[i]) + "\n";
    }
    return text;
}

// "batch: 2 of 5 commands failed (lines 1, 4)" read back as the failing line numbers.
std::set<std::size_t> failedLines(const std::string& err) {
    std::set<std::size_t> lines;
    const std::size_t at = err.find("commands failed (line");
    if (at == std::string::npos) {
        return lines;
    }
    std::istringstream numbers(err.substr(err.find(' ', at + 21)));
    for (std::string n; numbers >> n;) {
        lines.insert(std::stoul(n));
    }
    return lines;
}

const std::string Site = "https://example.net/garden/";

// Where the share tags, feed and sitemap an operation kept differ from those made from scratch, on a copy of the
// folder without the facts they were kept from, every page read again.
std::string differenceFromScratch(const fs::path& dir) {
    const TempDir scratch;
    fs::copy(dir, scratch.path());
    fs::create_directory(scratch.path() / ".clipnest");
    for (const char* kept : {"publish.conf", "first-made", "comment-secret"}) {
        if (fs::exists(dir / ".clipnest" / kept)) {
            fs::copy(dir / ".clipnest" / kept, scratch.path() / ".clipnest" / kept);
        }
    }
    EXPECT_EQ(run(scratch.path(), {"publish", "--site", Site}), 0);
    return difference(dir, scratch.path());
}

// Every other session has an address and a feed of two entries, so its feed, sitemap and share tags are kept by
// each operation from what changed; after every command they are those made from scratch.
TEST(Sessions, ABatchGivesTheFilesAndFailuresOfSeparateCommands) {
    const char* seedText = std::getenv("CLIPNEST_SESSION_SEED");
    const unsigned seed = seedText ? static_cast<unsigned>(std::stoul(seedText)) : 1;
    const int count = std::getenv("CLIPNEST_SESSIONS") ? std::atoi(std::getenv("CLIPNEST_SESSIONS")) : 300;
    // One clock for both folders, so an entry made in either has the same date.
    const auto clock = setWallClock([] { return std::int64_t{1'765'000'000}; });
    Sessions sessions(seed);
    for (int s = 0; s < count; ++s) {
        Files start = sessions.folder();
        const std::vector<Words> commands = sessions.session();
        const bool site = s % 2 == 1;
        SCOPED_TRACE("session " + std::to_string(s) + " of seed " + std::to_string(seed) +
                     (site ? ", with an address" : "") + ":\n" + described(commands));

        const TempDir together, oneByOne, io;
        for (const fs::path& dir : {together.path(), oneByOne.path()}) {
            useTestSecret(dir);
            for (const auto& [name, bytes] : start) {
                writeFile(dir / name, bytes);
            }
            // The address set as the user sets it, which makes the lists from scratch; not for the session to undo.
            if (site) {
                writeFile(dir / ".clipnest/publish.conf", "feed_items = 2\n");
                ASSERT_EQ(run(dir, {"publish", "--site", Site}), 0);
                fs::remove_all(dir / ".clipnest/history");
            }
        }
        std::string lines;
        for (const Words& c : commands) {
            lines += lineOf(c) + "\n";
        }
        writeFile(io.path() / "batch", lines);
        std::string err;
        const int status = run(together.path(), {"batch", (io.path() / "batch").string(), "--keep-going"}, &err);
        ASSERT_NE(status, 2) << err;

        std::set<std::size_t> failed;
        for (std::size_t i = 0; i < commands.size(); ++i) {
            if (run(oneByOne.path(), commands[i]) != 0) {
                failed.insert(i + 1);
            }
            if (site) {
                ASSERT_EQ(differenceFromScratch(oneByOne.path()), "") << "after command " << i + 1;
            }
        }
        ASSERT_EQ(failedLines(err), failed) << err;
        ASSERT_EQ(difference(together.path(), oneByOne.path()), "");
    }
    setWallClock(clock);
}

// A batch adds entries reading only the end of the homepage; the lines between that edit it elsewhere (a change, a
// description on the homepage only, a delete, a title) give it the files of separate commands all the same.
TEST(Sessions, NewEntriesBetweenOtherEditsInABatchAreSeparateCommands) {
    const auto sameAsSeparate = [](const std::vector<Words>& commands) {
        const TempDir together, oneByOne, io;
        for (int i = 0; i < 12; ++i) {
            const std::string name = "clip" + std::to_string(i) + ".mp4";
            ASSERT_EQ(run(together.path(), {"entry", name, "--homepage", "About " + name}), 0);
        }
        fs::copy(together.path(), oneByOne.path(), fs::copy_options::recursive);
        std::string lines;
        for (const Words& c : commands) {
            lines += lineOf(c) + "\n";
            ASSERT_EQ(run(oneByOne.path(), c), 0) << lineOf(c);
        }
        writeFile(io.path() / "batch", lines);
        ASSERT_EQ(run(together.path(), {"batch", (io.path() / "batch").string()}), 0);
        EXPECT_EQ(difference(together.path(), oneByOne.path()), "") << lines;
        // The first-made record knows the same entries and sets the same ones aside; the channel's own keep the
        // dates they had (a new entry's is the clock's).
        const auto kept = [](const fs::path& dir) {
            std::vector<std::string> names;
            for (const auto& [name, date] : readFirstMade(WorkingFolder(dir))) {
                names.push_back(name + (name.starts_with("clip")     ? " " + date
                                        : date.starts_with(SetAside) ? " -"
                                                                     : ""));
            }
            return names;
        };
        EXPECT_EQ(kept(together.path()), kept(oneByOne.path()));
        EXPECT_GT(kept(together.path()).size(), 12u) << "the channel's entries and the new ones";
    };
    sameAsSeparate({{"entry", "n1.mp4", "--homepage", "N1"},
                    {"entry", "clip2.mp4", "--homepage", "Changed"},
                    {"entry", "n0.mp4", "--homepage", "N0"},
                    {"entry", "n2.mp4", "--homepage", "N2"},
                    {"entry", "clip3.mp4", "--homepage", "C3", "--homepage-only"},
                    {"entry", "n3.mp4", "--homepage", "N3"},
                    {"delete", "clip1.mp4"},
                    {"entry", "n4.mp4", "--homepage", "N4"},
                    {"title", "--title", "T"},
                    {"entry", "n5.mp4"},
                    {"entry", "n5.mp4", "--homepage", "Again"},
                    {"entry", "n6.mp4", "--homepage", "N6"},
                    {"entry", "clip5.mp4", "--homepage", "Changed last"}});
    // A change that ends the batch right after an append: nothing after it writes the homepage whole again.
    sameAsSeparate(
        {{"entry", "n1.mp4", "--homepage", "N1"}, {"entry", "clip3.mp4", "--homepage", "C3", "--homepage-only"}});
}

// Fifty commands, each a session of its own as a user runs them, on a homepage whose bulk stands after every place
// they edit: the history keeps a few homepages' worth, not fifty (each session's write also grows the blank lines
// near the page's end, so what differs is two places apart), and fifty undos give back every state byte for byte.
TEST(Sessions, FiftyCommandsKeepAFewHomepagesAndUndoByteForByte) {
    const TempDir dir;
    useTestSecret(dir.path());
    Names names;
    for (int i = 0; i < 400; ++i) {
        names.push_back("clip" + std::to_string(i) + ".mp4");
    }
    for (const auto& [name, bytes] : channel(names)) {
        writeFile(dir.path() / name, bytes);
    }
    std::vector<Files> states{filesOf(dir.path())};
    for (int i = 0; i < 50; ++i) {
        const std::string n = std::to_string(i), some = "clip" + std::to_string(i * 3) + ".mp4";
        const Words commands[] = {{"entry", some, "--homepage", "Changed " + n, "--homepage-only"},
                                  {"entry", "new" + n + ".mp4", "--homepage", "New " + n},
                                  {"insert", "above" + n + ".mp4", "--above", some, "--homepage", "Above"},
                                  {"delete", some},
                                  {"title", "--title", "Title " + n}};
        ASSERT_EQ(run(dir.path(), commands[i % 5]), 0) << i;
        states.push_back(filesOf(dir.path()));
    }
    std::set<std::pair<std::uintmax_t, std::uintmax_t>> inodes;
    std::uintmax_t kept = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir.path() / ".clipnest")) {
        struct stat st {};
        if (e.is_regular_file() && ::lstat(e.path().c_str(), &st) == 0 &&
            inodes.insert({st.st_dev, st.st_ino}).second) {
            kept += static_cast<std::uintmax_t>(st.st_size);
        }
    }
    const std::uintmax_t homepage = fs::file_size(dir.path() / "homepage.html");
    // Besides, the pages whose links to their neighbours a command changed, two a command on average, each whole.
    const std::uintmax_t pages = 2 * 50 * fs::file_size(dir.path() / "clip1.php");
    EXPECT_LE(kept, 3 * homepage + pages) << "bytes kept for 50 commands, against a homepage of " << homepage;
    for (int k = 49; k >= 0; --k) {
        ASSERT_EQ(run(dir.path(), {"undo"}), 0) << k;
        ASSERT_EQ(filesOf(dir.path()), states[static_cast<std::size_t>(k)]) << "after undoing command " << k;
    }
}

} // namespace
} // namespace clipnest::testing
