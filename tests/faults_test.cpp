// Faults and bad input: every write of every operation made to fail in turn, files that cannot be read, names no
// entry may have, homepages no tool made (docs/bad-input.md has a row for each).
#include "history/first_made.h"
#include "history/history.h"
#include "support/support.h"

#include <functional>
#include <sstream>

namespace fs = std::filesystem;

namespace clipnest::testing {
namespace {

// A read adds a line break in front of the last one, so a retry that read a file once more may differ there only.
std::string withoutTrailingLfs(std::string text) {
    text.resize(text.ends_with("\r\n") ? text.size() - 2 : text.size());
    while (text.ends_with('\n')) {
        text.pop_back();
    }
    return text;
}

// A page with nothing between its neighbour markers: the links are written last, so a page an operation wrote before
// a write failed may still lack them (the next operation writes them).
std::string withoutLinks(std::string page) {
    const std::size_t open = page.find("links to the previous and next videos between it and the next one. -->\n");
    const std::size_t from = open == std::string::npos ? open : page.find('\n', open) + 1;
    const std::size_t close = from == std::string::npos ? from : page.find("<!-- t9b3 end of the links", from);
    return close == std::string::npos ? page : page.erase(from, close - from);
}

void threeEntries(Harness& h) {
    h.entry("clip1.mp4", "First");
    h.entry("clip2.mp4", "Second");
    h.entry("clip3.mp4", "Third");
    h.put("change_file_name.php", "old rename page");
}

struct Faulted {
    const char* name;
    std::function<void(Harness&)> setup, run;
};

const std::vector<Faulted>& operations() {
    static const std::vector<Faulted> ops = {
        {"append", threeEntries, [](Harness& h) { h.entry("fresh.mp4", "A fresh one"); }},
        {"append_to_the_default_homepage", [](Harness&) {}, [](Harness& h) { h.entry("first.mp4", "The first"); }},
        {"change_both", threeEntries, [](Harness& h) { h.entry("clip2.mp4", "Second, better", "The long story"); }},
        {"change_the_homepage_only", threeEntries, [](Harness& h) { h.entry("clip2.mp4", "Only here", "", true); }},
        {"delete", threeEntries, [](Harness& h) { h.remove("clip2.mp4"); }},
        {"insert", threeEntries, [](Harness& h) { h.insert("between.mp4", "clip2.mp4", "In between", "Words"); }},
        {"title_and_message", threeEntries, [](Harness& h) { h.title("My channel", "Welcome"); }},
        {"rename_page", threeEntries, [](Harness& h) { h.rename("old.mp4", "new.mp4"); }},
    };
    return ops;
}

class WriteFaults : public ::testing::TestWithParam<std::size_t> {};

// Each file then holds its old or its new bytes, the failure panel names the file and stays, and asking again gives
// the files of a run without the fault.
TEST_P(WriteFaults, EachWriteFailingLeavesOldOrNewFiles) {
    const Faulted& op = operations()[GetParam()];
    Files before;
    {
        Harness h;
        op.setup(h);
        before = filesOf(h.dir());
        std::erase_if(before, [](const auto& f) { return f.first.starts_with("."); });
    }
    Harness clean(before);
    const int startWrites = clean.folder().writes();
    op.run(clean);
    const int writes = clean.folder().writes() - startWrites;
    const Files after = filesOf(clean.dir());
    ASSERT_GT(writes, 0);
    ASSERT_FALSE(clean.shown(Message::FileFailure));

    for (int n = 1; n <= writes; ++n) {
        SCOPED_TRACE("failing write " + std::to_string(n) + " of " + std::to_string(writes));
        Harness h(before);
        h.folder().failWrite(n);
        op.run(h);
        EXPECT_FALSE(h.form().chainRunning());
        h.advance(2 * stepInterval(Step::HideNotices));
        EXPECT_TRUE(h.shown(Message::FileFailure));
        EXPECT_TRUE(contains(h.text(Message::FileFailure), h.folder().failed));
        const Files now = filesOf(h.dir());
        for (const auto& [name, bytes] : now) {
            const bool old = before.contains(name) && before.at(name) == bytes;
            const bool fresh = after.contains(name) && withoutLinks(after.at(name)) == withoutLinks(bytes);
            EXPECT_TRUE(old || fresh) << name << " is torn";
        }
        for (const auto& [name, bytes] : before) {
            EXPECT_TRUE(now.contains(name)) << name << " went missing";
        }
        h.form().clickMessage(Message::FileFailure);
        op.run(h);
        h.runUntilIdle();
        EXPECT_FALSE(h.shown(Message::FileFailure));
        const Files retried = filesOf(h.dir());
        ASSERT_EQ(retried.size(), after.size());
        for (const auto& [name, bytes] : after) {
            ASSERT_TRUE(retried.contains(name)) << name;
            if (!name.starts_with(".")) {
                EXPECT_EQ(withoutTrailingLfs(bytes), withoutTrailingLfs(retried.at(name))) << name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, WriteFaults, ::testing::Range<std::size_t>(0, operations().size()),
                         [](const auto& info) { return std::string(operations()[info.param].name); });

const std::string Old =
    "<html>\r\n<div class=\"gallery\">old</div>\r\n" + std::string(markers::EndA) + "\r\n</html>\r\n";

TEST(Faults, UnreadableFilesAreNeverReplacedAndAMissingMarkerFileIsAWarning) {
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", Old}}, false);
    h.folder().unreadable = "*";
    h.runChains();
    EXPECT_TRUE(h.shown(Message::FileFailure));
    EXPECT_FALSE(h.shown(Message::HomepageWillBeCreated) || h.shown(Message::HomepageNotFound));
    h.form().clickMessage(Message::FileFailure);
    h.entry("clip.mp4", "words");
    EXPECT_TRUE(h.shown(Message::FileFailure));
    EXPECT_EQ(h.file("homepage.html"), Old);
    EXPECT_FALSE(h.has("clip.php"));
    h.form().clickMessage(Message::FileFailure);
    h.remove("clip.mp4");
    EXPECT_TRUE(h.shown(Message::FileFailure));
    EXPECT_FALSE(h.form().chainRunning()) << "the delete ends at the unreadable file";
    h.form().clickMessage(Message::FileFailure);
    h.title("T", "");
    EXPECT_TRUE(h.shown(Message::FileFailure));
    EXPECT_EQ(h.file("homepage.html"), Old);
    EXPECT_TRUE(h.form().operationSummary().starts_with("Stopped")) << h.form().operationSummary();
    h.folder().unreadable.clear();
    h.entry("clip.mp4", "words");
    EXPECT_TRUE(contains(h.file("homepage.html"), "<div class=\"gallery\">old</div>"));
    EXPECT_EQ(h.entries(), Names{"clip.mp4"});

    Harness page({{"AppDocs.txt", "\r\n"}, {"clip.php", "hand-made page\r\n"}});
    page.folder().unreadable = "clip.php";
    for (int attempt = 0; attempt < 2; ++attempt) {
        page.entry("clip.mp4", "words");
        EXPECT_TRUE(contains(page.text(Message::FileFailure), "clip.php"));
        EXPECT_EQ(page.file("clip.php"), "hand-made page\r\n") << attempt;
        EXPECT_FALSE(page.has("homepage.html"));
    }

    // A page next to the edit that cannot be read keeps its links; the edit is done, and the notice says so.
    Harness next(channel({"a.mp4", "b.mp4"}));
    next.folder().unreadable = "a.php";
    const std::string a = next.file("a.php");
    next.insert("x.mp4", "b.mp4", "X");
    EXPECT_FALSE(next.shown(Message::FileFailure)) << next.text(Message::FileFailure);
    EXPECT_EQ(next.entries(), (Names{"a.mp4", "x.mp4", "b.mp4"}));
    EXPECT_TRUE(contains(next.text(Message::Notice), "a.php could not be read")) << next.text(Message::Notice);
    EXPECT_EQ(next.file("a.php"), a);
    EXPECT_TRUE(contains(next.file("b.php"), "<a rel=\"prev\" href=\"x.php\">Previous: X</a>"));

    // The marker file only remembers that the tool ran here: the entry after it is written and reported as done.
    Harness docs({}, false);
    docs.folder().failWrite(1);
    docs.runChains();
    EXPECT_FALSE(docs.has("AppDocs.txt"));
    EXPECT_TRUE(contains(docs.text(Message::Notice), "could not create AppDocs.txt"));
    docs.entry("clip.mp4", "words");
    EXPECT_EQ(docs.entries(), Names{"clip.mp4"});
    EXPECT_FALSE(docs.shown(Message::FileFailure));
}

// Nothing is written that could not be undone: where the history cannot be kept, the operation stops before its
// first write and says why; once it can, the same click works.
TEST(Faults, NoWriteWithoutACopyForUndo) {
    Harness h(channel({"a.mp4"}));
    const Files before = filesOf(h.dir());
    std::filesystem::remove_all(h.dir() / ".clipnest");
    h.put(".clipnest", "a file where the history folder goes");
    h.entry("a.mp4", "A2", "A new story");
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "could not keep a copy of")) << h.text(Message::FileFailure);
    EXPECT_FALSE(h.form().chainRunning());
    std::filesystem::remove(h.dir() / ".clipnest");
    EXPECT_EQ(filesOf(h.dir()), before);
    h.form().clickMessage(Message::FileFailure);
    h.entry("a.mp4", "A2", "A new story");
    EXPECT_TRUE(contains(h.file("a.php"), "A new story"));
    EXPECT_TRUE(h.form().undo());
    EXPECT_EQ(filesOf(h.dir()), before);
}

// A session that began without a homepage wrote one with its first entry; a write failing later must not take the
// session back to the empty homepage it started from, whose next write would drop that entry.
TEST(Faults, AFailedWriteAfterTheFirstEntryOfANewHomepageKeepsThatEntry) {
    Harness h;
    h.entry("a.mp4", "A");
    h.folder().failWrite(1);
    h.entry("b.mp4", "B");
    h.form().clickMessage(Message::FileFailure);
    h.folder().failWrite(1);
    h.title("T", "");
    h.form().clickMessage(Message::FileFailure);
    h.entry("c.mp4", "C");
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "c.mp4"}));
    // Before the first write, what a failed operation changed is dropped with the empty homepage built again.
    for (const int n : {1, 2}) {
        Harness fresh;
        fresh.folder().failWrite(n);
        fresh.entry("a.mp4", "A");
        fresh.form().clickMessage(Message::FileFailure);
        fresh.entry("b.mp4", "B");
        EXPECT_EQ(fresh.entries(), Names{"b.mp4"}) << n;
    }
}

// A history record that names a file outside the folder (by a relative or an absolute path, even with that file's
// real stamps), or whose copy of a file is a link, is refused whole: nothing is removed, written or read through it,
// with or without --force.
TEST(Faults, ATamperedHistoryRecordIsRefusedWhole) {
    const TempDir outside;
    writeFile(outside.path() / "victim.txt", "keep me");
    writeFile(outside.path() / "id_ed25519", "SECRET KEY");
    const FileStamp real = *WorkingFolder(outside.path()).stamp("victim.txt");
    const std::string stamps =
        std::to_string(real.size) + " " + std::to_string(real.modifiedNs) + " " + std::to_string(real.inode) + " ";
    const std::vector<std::function<void(const fs::path&)>> tampers = {
        [&](const fs::path& record) {
            writeFile(record / "operation", readFile(record / "operation") + "file absent " + stamps + "../" +
                                                outside.path().filename().string() + "/victim.txt\n");
        },
        [&](const fs::path& record) {
            writeFile(record / "operation", readFile(record / "operation") + "file absent " + stamps +
                                                (outside.path() / "victim.txt").string() + "\n");
        },
        [&](const fs::path& record) {
            fs::remove(record / "before/homepage.html");
            fs::create_symlink(outside.path() / "id_ed25519", record / "before/homepage.html");
        },
        // The kept copies' folder a link to one outside that holds a homepage of its own.
        [&](const fs::path& record) {
            fs::create_directories(outside.path() / "before");
            writeFile(outside.path() / "before/homepage.html", "SECRET KEY");
            fs::remove_all(record / "before");
            fs::create_symlink(outside.path() / "before", record / "before");
        },
        // The record folder itself a link: said as damaged, never passed over for an older record.
        [&](const fs::path& record) {
            fs::rename(record, outside.path() / "record");
            fs::create_symlink(outside.path() / "record", record);
        },
    };
    for (const auto& tamper : tampers) {
        Harness h;
        h.entry("a.mp4", "A");
        h.entry("b.mp4", "B");
        tamper(h.dir() / ".clipnest/history/000002");
        const Files before = filesOf(h.dir());
        for (const bool force : {false, true}) {
            EXPECT_FALSE(h.form().undo(force));
            EXPECT_TRUE(contains(h.text(Message::FileFailure), "history record 2 is damaged; nothing was undone"))
                << h.text(Message::FileFailure);
        }
        EXPECT_EQ(filesOf(h.dir()), before);
        EXPECT_EQ(readFile(outside.path() / "victim.txt"), "keep me");
        fs::remove_all(outside.path() / "record");
        fs::remove_all(outside.path() / "before");
    }
}

// A record that names a file Clipnest does not write (a video, the server's rules), even with its real stamps, is
// refused whole, with or without --force: nothing is removed or put back. A rename's record still moves the renamed
// video back, and a journal left by a tampered undo removes no video either.
TEST(Faults, UndoTouchesOnlyClipnestsFiles) {
    const auto stamped = [](const fs::path& dir, const std::string& name) {
        const FileStamp s = *WorkingFolder(dir).stamp(name);
        return std::to_string(s.size) + " " + std::to_string(s.modifiedNs) + " " + std::to_string(s.inode) + " " +
               name + "\n";
    };
    const std::vector<std::function<void(const fs::path&, const fs::path&)>> tampers = {
        [&](const fs::path& dir, const fs::path& record) {
            writeFile(record / "operation", readFile(record / "operation") + "file absent " + stamped(dir, "b.mp4"));
        },
        [&](const fs::path& dir, const fs::path& record) {
            writeFile(record / "operation",
                      readFile(record / "operation") + "file absent " + stamped(dir, ".htaccess"));
        },
        [&](const fs::path& dir, const fs::path& record) {
            writeFile(record / "before/.htaccess", "Options +Indexes\n");
            writeFile(record / "operation",
                      readFile(record / "operation") + "file present " + stamped(dir, ".htaccess"));
        },
        // A video put back over the one in the folder.
        [&](const fs::path& dir, const fs::path& record) {
            writeFile(record / "before/a.mp4", "other bytes");
            writeFile(record / "operation", readFile(record / "operation") + "file present " + stamped(dir, "a.mp4"));
        },
    };
    for (const auto& tamper : tampers) {
        Harness h;
        h.put("a.mp4", "video A");
        h.put("b.mp4", "video B");
        h.put(".htaccess", "Options -Indexes\n");
        h.entry("a.mp4", "A");
        h.entry("b.mp4", "B");
        tamper(h.dir(), h.dir() / ".clipnest/history/000002");
        const Files before = filesOf(h.dir());
        for (const bool force : {false, true}) {
            const UndoResult r = h.form().undo(force);
            EXPECT_FALSE(r);
            EXPECT_TRUE(contains(r.message, "which is no file Clipnest writes; nothing was changed")) << r.message;
        }
        EXPECT_EQ(filesOf(h.dir()), before);
        EXPECT_EQ(h.file("b.mp4"), "video B");
        EXPECT_EQ(h.file(".htaccess"), "Options -Indexes\n");
    }

    Harness h;
    h.put("a.mp4", "video A");
    h.put("b.mp4", "video B");
    h.entry("a.mp4", "A");
    h.rename("a.mp4", "c.mp4");
    ASSERT_TRUE(h.has("c.mp4") && !h.has("a.mp4"));
    EXPECT_TRUE(h.form().undo());
    EXPECT_EQ(h.file("a.mp4"), "video A");
    EXPECT_FALSE(h.has("c.mp4"));

    // An undo cut off after its journal, the journal then made to remove a video it does not put back.
    h.entry("d.mp4", "D");
    fs::path record;
    for (const auto& e : fs::directory_iterator(h.dir() / ".clipnest/history")) {
        record = e.is_directory() ? std::max(record, e.path()) : record;
    }
    ASSERT_TRUE(fs::exists(record / "operation"));
    writeFile(record / "undoing", "remove b.mp4\nremove d.php\n");
    History(h.folder()).entries();
    EXPECT_EQ(h.file("b.mp4"), "video B");
    EXPECT_FALSE(h.has("d.php")) << "the journal's own file goes";
}

// Two windows on one folder: a click's chain holds the channel from its click to its end, so the other window's click
// meanwhile is refused with the message and writes nothing; an idle window holds nothing, so each takes its turn and
// no entry is lost.
TEST(Faults, TwoWindowsOnOneFolderTakeTurns) {
    Harness h;
    VirtualClock clock;
    WorkingFolder folder(h.dir());
    Form other(clock, folder);
    other.setChannelWait(20);
    const auto runOther = [&] {
        runInVirtualTime(other.scheduler(), clock, clock.now + 600000, [&] { return other.chainRunning(); });
    };
    runOther();
    h.form().controls.first = {"a.mp4", "A", "", false};
    h.form().createOrChangeEntry(EntryPanel::First);
    ASSERT_TRUE(h.form().chainRunning());
    other.controls.first = {"b.mp4", "B", "", false};
    other.createOrChangeEntry(EntryPanel::First);
    EXPECT_FALSE(other.chainRunning());
    EXPECT_TRUE(other.isVisible(Message::FileFailure));
    EXPECT_EQ(other.messages().words(Message::FileFailure), "Another Clipnest is changing this channel; try again");
    EXPECT_FALSE(h.has("b.php"));
    h.runChains();
    EXPECT_EQ(h.entries(), Names{"a.mp4"});
    other.createOrChangeEntry(EntryPanel::First);
    runOther();
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "b.mp4"}));
    h.entry("c.mp4", "C");
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "b.mp4", "c.mp4"}));
    EXPECT_FALSE(h.shown(Message::FileFailure));
}

// A kept copy stored as the difference from the next newer one is refused when it no longer fits that copy.
TEST(Faults, ADeltaForAnotherNewerCopyIsRefused) {
    Harness h;
    h.entry("a.mp4", "A");
    h.entry("b.mp4", "B");
    h.entry("c.mp4", "C");
    const fs::path delta = h.dir() / ".clipnest/history/000002/differs/homepage.html";
    ASSERT_TRUE(fs::exists(delta));
    // Its head names the size of the newer copy it was taken from: one more is another copy.
    const std::string text = readFile(delta);
    const std::size_t lf = text.find('\n');
    std::istringstream head(text.substr(0, lf));
    std::string word, prefix, suffix, more;
    std::uint64_t size = 0;
    head >> word >> prefix >> suffix >> size;
    std::getline(head, more);
    writeFile(delta, word + " " + prefix + " " + suffix + " " + std::to_string(size + 1) + more + text.substr(lf));
    EXPECT_TRUE(h.form().undo());
    const Files before = filesOf(h.dir());
    EXPECT_FALSE(h.form().undo(true));
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "history record 2 is damaged")) << h.text(Message::FileFailure);
    EXPECT_EQ(filesOf(h.dir()), before);
}

// A kept copy gone from a record of two is found before anything changes: what was staged for the other goes again.
// Files staged by an undo that died before its journal go at the next undo, when their process is gone.
TEST(Faults, AnUndoStoppedBeforeItsJournalLeavesNothingStaged) {
    for (const std::string gone : {"homepage.html", "a.php"}) {
        Harness h;
        h.entry("a.mp4", "A");
        h.entry("a.mp4", "A2", "A new story");
        fs::remove(h.dir() / ".clipnest/history/000002/before" / gone);
        const Files before = filesOf(h.dir());
        EXPECT_FALSE(h.form().undo());
        EXPECT_TRUE(contains(h.text(Message::FileFailure), "the copy of " + gone + " cannot be read"));
        EXPECT_EQ(filesOf(h.dir()), before) << "nothing staged is left beside the files";
    }
    Harness h;
    h.entry("a.mp4", "A");
    h.put(".clipnest-undo-999999999-1-0", "staged by an undo that died");
    h.put(".clipnest-undo-1-1-0", "staged by a process that runs (init)");
    EXPECT_TRUE(h.form().undo());
    EXPECT_FALSE(h.has(".clipnest-undo-999999999-1-0"));
    EXPECT_TRUE(h.has(".clipnest-undo-1-1-0"));
}

// A batch whose files were not all renamed into place leaves its journal: the next start finishes what it can and
// keeps what it cannot, staged, for the start after (its process is gone, but the journal names it).
TEST(Faults, FilesPutTogetherAndCutOffAreFinishedOrKeptForTheNextStart) {
    const TempDir dir;
    const std::string a = ".clipnest-undo-999999999-put-0", b = ".clipnest-undo-999999999-put-1";
    writeFile(dir.path() / a, "new a");
    writeFile(dir.path() / b, "new b");
    fs::create_directories(dir.path() / "b.html" / "inside");
    fs::create_directories(dir.path() / ".clipnest/history");
    writeFile(dir.path() / ".clipnest/history/putting", "put " + a + " a.html\nput " + b + " b.html\n");
    const auto start = [&dir] {
        WorkingFolder folder(dir.path());
        const History history(folder);
    };
    start();
    EXPECT_EQ(readFile(dir.path() / "a.html"), "new a");
    EXPECT_EQ(readFile(dir.path() / b), "new b") << "a folder stands in b.html's place";
    EXPECT_TRUE(fs::exists(dir.path() / ".clipnest/history/putting"));
    fs::remove_all(dir.path() / "b.html");
    start();
    EXPECT_EQ(readFile(dir.path() / "b.html"), "new b");
    EXPECT_FALSE(fs::exists(dir.path() / b));
    EXPECT_FALSE(fs::exists(dir.path() / ".clipnest/history/putting"));
}

// A run of edits held in memory (a batch) is put in place at its end, whole or not at all: until then the folder is
// as it was; a file that cannot be staged leaves every file as it was, nothing staged and no record; put in place,
// the run is one operation that one undo takes back.
TEST(Faults, AHeldRunIsPutInPlaceWholeOrNotAtAll) {
    Harness h;
    h.entry("a.mp4", "A");
    const Files before = filesOf(h.dir());
    const auto run = [&h] {
        h.form().beginHeldRun();
        h.entry("b.mp4", "B", "The story of b");
        h.insert("c.mp4", "b.mp4", "C");
        h.entry("b.mp4", "B2");
        h.title("T", "M");
    };
    run();
    EXPECT_EQ(filesOf(h.dir()), before) << "nothing is written before the run ends";
    // The run's end first gives a.php, c.php and b.php their links to their neighbours; then the second file staged
    // fails.
    h.folder().failWrite(5);
    EXPECT_FALSE(h.form().endHeldRun("batch, lines 1 to 4"));
    EXPECT_FALSE(h.folder().failed.empty());
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "could not put the files of the last commands in place"));
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "The files are as they were before those commands."));
    EXPECT_EQ(filesOf(h.dir()), before) << "nothing staged is left";
    EXPECT_EQ(std::distance(fs::directory_iterator(h.dir() / ".clipnest/history"), {}), 1) << "no record of the run";
    const auto firstMade = [&h] {
        Names names;
        for (const auto& [name, date] : readFirstMade(h.folder())) {
            names.push_back(name);
        }
        return names;
    };
    EXPECT_EQ(firstMade(), Names{"a.mp4"}) << "the first-made record follows the files: no entry of the run";

    // Again, put in place: what the same edits make one by one, then one undo takes them all back.
    run();
    EXPECT_TRUE(h.form().endHeldRun("batch, lines 1 to 4"));
    EXPECT_EQ(firstMade(), (Names{"a.mp4", "b.mp4", "c.mp4"}));
    Harness oneByOne(before);
    oneByOne.entry("b.mp4", "B", "The story of b");
    oneByOne.insert("c.mp4", "b.mp4", "C");
    oneByOne.entry("b.mp4", "B2");
    oneByOne.title("T", "M");
    Files together = filesOf(h.dir()), separate = filesOf(oneByOne.dir());
    for (Files* files : {&together, &separate}) {
        std::erase_if(*files, [](const auto& f) { return f.first.starts_with("."); });
    }
    EXPECT_EQ(together, separate);
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "c.mp4", "b.mp4"}));
    EXPECT_TRUE(h.form().undo());
    EXPECT_EQ(filesOf(h.dir()), before);
    EXPECT_TRUE(h.form().undo()) << "the entry before the run is next";
    EXPECT_TRUE(h.entries().empty());
}

// A link in the place of the homepage or a video page is neither read nor written, wherever it points.
TEST(Faults, ALinkInAFilesPlaceIsNeitherReadNorWritten) {
    const TempDir outside;
    const std::string theirs = homepageOf({"a.mp4"});
    writeFile(outside.path() / "elsewhere.html", theirs);
    writeFile(outside.path() / "elsewhere.php", "not a page of this channel");
    Harness h({{"AppDocs.txt", "\r\n"}}, false);
    fs::create_symlink(outside.path() / "elsewhere.html", h.dir() / "homepage.html");
    h.runUntilIdle();
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "homepage.html: it is a symbolic link"))
        << h.text(Message::FileFailure);
    h.entry("b.mp4", "B");
    EXPECT_TRUE(fs::is_symlink(h.dir() / "homepage.html"));
    EXPECT_FALSE(h.has("b.php"));

    Harness pages(channel({"a.mp4"}));
    fs::remove(pages.dir() / "a.php");
    fs::create_symlink(outside.path() / "elsewhere.php", pages.dir() / "a.php");
    pages.entry("a.mp4", "A2", "Again", false);
    EXPECT_TRUE(contains(pages.text(Message::FileFailure), "a.php: it is a symbolic link"));
    EXPECT_TRUE(fs::is_symlink(pages.dir() / "a.php"));
    EXPECT_EQ(readFile(outside.path() / "elsewhere.html"), theirs);
    EXPECT_EQ(readFile(outside.path() / "elsewhere.php"), "not a page of this channel");
}

// A refused name is said with what is wrong with it, beside the start-up notice, until the next click; nothing is
// written.
TEST(BadNames, SaidWithWhatIsWrongUntilTheNextClickAndNothingWritten) {
    // clang-format off
    const std::pair<const char*, const char*> names[] = {{"clip", "\"clip\" has no period"}, {"", "the box is empty"},
        {"   ", "the box is empty"}, {".mp4", "starts with a period"}, {"  .mp4", "starts with a period"},
        {".clip.mp4", "starts with a period"}, {"a\\b.mp4", "holds \\"}, {"a/b.mp4", "holds /"}, {"a:b.mp4", "holds :"},
        {"a*b.mp4", "holds *"}, {"a?b.mp4", "holds ?"}, {"a\"b.mp4", "holds \""}, {"a<b.mp4", "holds <"},
        {"a>b.mp4", "holds >"}, {"a|b.mp4", "holds |"}, {"a\tb.mp4", "a control character"},
        {"a\nb.mp4", "a control character"}, {"clip\x7f.mp4", "a control character"},
        {"clip\U0001F600.mp4", "a character the pages cannot store"}, {"\xff\xfe.mp4", "cannot store"},
        {"clip\u0101.mp4", "cannot store"}, {"hash#x.mp4", "holds #"}, {"pct%2e.mp4", "holds %"},
        {"p4yFileNamep5y.mp4", "for their own marks"}, {"ap5y.mp4", "for their own marks"},
        {"a between this tag and the b.mp4", "for their own marks"}, {"clip.", "the server runs as a program"},
        {"clip.cgi", "the server runs as a program"}};
    // clang-format on
    for (const auto& [name, why] : names) {
        SCOPED_TRACE(name);
        Harness h;
        const std::string notice = h.text(Message::HomepageWillBeCreated);
        h.form().controls.first = {name, "x", "", std::string(name).size() % 2 == 1}; // both kinds of click
        h.form().createOrChangeEntry(EntryPanel::First);
        h.advance(stepInterval(Step::ShowInvalidName));
        EXPECT_TRUE(h.text(Message::InvalidName).starts_with("Please enter a valid file name: "));
        EXPECT_TRUE(contains(h.text(Message::InvalidName), why)) << h.text(Message::InvalidName);
        h.advance(2 * stepInterval(Step::HideNotices));
        EXPECT_TRUE(h.shown(Message::InvalidName)) << "it stays until the next click";
        EXPECT_EQ(h.text(Message::HomepageWillBeCreated), notice);
        h.form().clearEntryBoxes(EntryPanel::First);
        EXPECT_FALSE(h.shown(Message::InvalidName));
        h.runUntilIdle();
        EXPECT_EQ(filesOf(h.dir()), (Files{{"AppDocs.txt", "\r\n"}}));
    }
    // Insert and delete refuse them too; code-page letters are fine.
    Harness h;
    h.entry("clip.mp4", "words");
    h.put("caf\u00e9 \u20ac5.mp4", "video");
    h.entry("caf\u00e9 \u20ac5.mp4", "words");
    EXPECT_EQ(h.entries(), (Names{"clip.mp4", "caf\xe9 \x80"
                                              "5.mp4"}));
    const std::string homepage = h.file("homepage.html");
    for (const std::string name : {"noperiod", "a|b.mp4", "a\U0001F600.mp4"}) {
        h.insert(name, "clip.mp4");
        EXPECT_TRUE(h.shown(Message::InvalidNames)) << name;
        EXPECT_EQ(h.form().takeOutcome().said.back(), (Said{Message::InvalidNames, "Please enter valid file names."}));
        h.runUntilIdle();
        h.remove(name);
        h.advance(stepInterval(Step::ShowInvalidName));
        EXPECT_TRUE(h.shown(Message::InvalidName)) << name;
        h.runUntilIdle();
    }
    EXPECT_EQ(h.file("homepage.html"), homepage);
}

TEST(BadHomepages, APageWithoutOneEndMarkerRefusesEntriesAndCrOnlyOrBinaryKeepsItsText) {
    // No place, or several, for a new entry: said, and nothing is written.
    const auto refused = [](const std::string& homepage, const std::string& why) {
        Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", homepage}});
        h.entry("clip.mp4", "words");
        EXPECT_FALSE(h.has("clip.php"));
        EXPECT_EQ(h.file("homepage.html"), homepage);
        EXPECT_TRUE(contains(h.text(Message::FileFailure), "did not add clip.mp4: homepage.html " + why))
            << h.text(Message::FileFailure);
    };
    const std::string home = expected("homepage.html");
    refused("<html><body><p>mine</p></body></html>\r\n", "has no end marker");
    refused("", "has no end marker");
    refused(home.substr(0, home.size() / 2), "has no end marker");
    refused(home + home + home, "has the end marker 3 times");
    const std::string sampleSource = "<source src=\"p4yFileNamep5y\"";
    refused(with(home, sampleSource, sampleSource + "/>\n" + sampleSource), "holds the disabled sample entry 2 times");

    const auto afterAppend = [](const std::string& homepage) {
        Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", homepage}});
        h.entry("clip.mp4", "words");
        EXPECT_TRUE(h.has("clip.php"));
        EXPECT_FALSE(h.shown(Message::FileFailure));
        return h.file("homepage.html");
    };
    const std::string crOnly =
        afterAppend("<html>\r<div class=\"gallery2\">\r" + std::string(markers::EndA) + "\r</html>\r");
    EXPECT_TRUE(crOnly.starts_with("<html>\n<div class=\"gallery2\">\n"));
    EXPECT_LT(crOnly.find("<source src=\"clip.mp4\""), crOnly.find(markers::EndA));
    EXPECT_EQ(crOnly.find('\r'), crOnly.size() - 2);
    std::string binary;
    for (int b = 0; b < 256; ++b) {
        binary += b == '\r' || b == '\n' ? 'x' : static_cast<char>(b);
    }
    const std::string after =
        afterAppend("<html>\r\n" + binary + "\r\n" + std::string(markers::EndA) + "\r\n" + binary);
    EXPECT_TRUE(after.starts_with("<html>\n" + binary + "\n"));
    EXPECT_TRUE(after.ends_with("\n" + binary + "\n\r\n"));
    EXPECT_TRUE(contains(after, "<source src=\"clip.mp4\""));
}

} // namespace
} // namespace clipnest::testing

namespace clipnest::testing {
namespace {

// A converted video put in place while one of the writes that follow it fails: the entry, its page, the original and
// the rename page are as they were, the made file and the kept original are gone, and the message says so. The
// conversion itself is a file of the folder here; what it holds does not matter to its placing.
TEST(Faults, AConversionWhoseWriteFailsPutsEverythingBack) {
    Files before;
    {
        Harness h;
        h.put("clip.mov", "the phone's own bytes");
        h.entry("clip.mov", "Roses");
        before = filesOf(h.dir());
        std::erase_if(before, [](const auto& f) { return f.first.starts_with("."); });
    }
    const auto place = [](Harness& h) {
        const std::optional<std::string> made = h.folder().createTemporary();
        EXPECT_TRUE(made && WorkingFolder(h.dir()).write(*made, "converted"));
        return h.form().placeConverted("clip.mov", made.value_or(""), "clip.mp4", *h.folder().stamp("clip.mov"));
    };
    Harness clean(before);
    const int startWrites = clean.folder().writes();
    ASSERT_TRUE(place(clean));
    const int writes = clean.folder().writes() - startWrites;
    ASSERT_GT(writes, 0);
    EXPECT_EQ(clean.file("clip.mp4"), "converted");
    EXPECT_EQ(clean.file(".clipnest/originals/clip.mov"), "the phone's own bytes");
    for (int n = 1; n <= writes; ++n) {
        SCOPED_TRACE("failing write " + std::to_string(n) + " of " + std::to_string(writes));
        Harness h(before);
        h.folder().failWrite(n);
        EXPECT_FALSE(place(h));
        EXPECT_TRUE(h.shown(Message::FileFailure));
        EXPECT_TRUE(contains(h.text(Message::FileFailure), "nothing was converted")) << h.text(Message::FileFailure);
        Files now = filesOf(h.dir());
        EXPECT_FALSE(now.contains(".clipnest/originals/clip.mov")) << "back in its place, not kept apart";
        for (const auto& [name, bytes] : now) {
            EXPECT_FALSE(name.starts_with(WorkingFolder::TemporaryPrefix)) << name << ": the made file is left";
        }
        std::erase_if(now, [](const auto& f) { return f.first.starts_with("."); });
        EXPECT_EQ(now.size(), before.size());
        for (const auto& [name, bytes] : before) {
            EXPECT_EQ(withoutTrailingLfs(now[name]), withoutTrailingLfs(bytes)) << name;
        }
    }
}

} // namespace
} // namespace clipnest::testing
