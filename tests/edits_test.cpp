// The host's own edits to the homepage and the video pages survive every operation of a session, and every
// operation can be undone, byte for byte.
#include "support/test_support.h"
#include "text/entries.h"
#include "text/text_ops.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> entryNames(const Harness& h) {
    std::vector<std::string> names;
    for (const LiveEntry& e : liveEntries(h.file("homepage.html"))) {
        names.push_back(e.fileName);
    }
    return names;
}

using Names = std::vector<std::string>;

const std::string HostNote = "<!-- the host's own note -->";

// The host adds a line of their own in front of the page's closing tag.
void editByHand(Harness& h, const std::string& name) {
    h.put(name, with(h.file(name), "</html>", HostNote + "\n</html>"));
}

TEST(HostEdits, MarkupNamingTheVideoIsNoEntry) {
    // The host's picture and link of the same name stand around the entries; only an entry's source line counts.
    const std::string own = "<img src=\"roses.jpg\"><a href=\"roses.php\">Roses</a>\n";
    Harness h({{"homepage.html", with(homepageWith({"tulips.mp4"}), "<body>\n", "<body>\n" + own) + "\r\n"}});
    createEntry(h, "roses.mp4", "Roses");
    EXPECT_EQ(entryNames(h), (Names{"tulips.mp4", "roses.mp4"}));
    EXPECT_TRUE(contains(h.file("homepage.html"), own)) << "the host's markup stays";

    // A name that differs from an entry's only in its extension is that entry: one page per name.
    createEntry(h, "roses.webm", "Roses again");
    EXPECT_EQ(entryNames(h), (Names{"tulips.mp4", "roses.mp4"}));
    createEntry(h, "tulips.mov", "", "The tulip story");
    EXPECT_EQ(entryNames(h), (Names{"tulips.mp4", "roses.mp4"}));
}

TEST(HostEdits, EveryRequestOfASessionReadsItsOwnPage) {
    Harness h;
    createEntry(h, "a.mp4", "A", "About a");
    createEntry(h, "b.mp4", "B", "About b");
    editByHand(h, "a.php");
    editByHand(h, "b.php");
    createEntry(h, "a.mp4", "A2", "More about a");
    createEntry(h, "b.mp4", "B2", "More about b");
    for (const std::string page : {"a.php", "b.php"}) {
        SCOPED_TRACE(page);
        EXPECT_TRUE(contains(h.file(page), HostNote));
    }
    EXPECT_TRUE(contains(h.file("b.php"), "More about b"));
    EXPECT_FALSE(contains(h.file("b.php"), "About b<"));

    // A page that is gone is made anew after the notice, not taken from the request before.
    fs::remove(h.dir() / "a.php");
    createEntry(h, "a.mp4", "A3", "Third about a");
    EXPECT_TRUE(h.form().isVisible(Panel::PageNotFound));
    createEntry(h, "a.mp4", "A3", "Third about a");
    EXPECT_TRUE(contains(h.file("a.php"), "Third about a"));
    EXPECT_FALSE(contains(h.file("a.php"), HostNote));
    EXPECT_FALSE(contains(h.file("a.php"), "b.mp4"));
}

TEST(HostEdits, InsertKeepsAPageThatIsThere) {
    Harness h;
    createEntry(h, "anchor.mp4", "Anchor");
    // A page of the host's own for a video not yet on the homepage.
    h.put("new.php", "<html>\n<!-- t9b3 between this tag and the Individual description below -->\n"
                     "<div class=\"desc\">Old words</div>\n" +
                         HostNote + "\n</html>\r\n");
    const std::string page = h.file("new.php");
    insertEntry(h, "new.mp4", "anchor.mp4", "New on the homepage");
    EXPECT_EQ(entryNames(h), (Names{"new.mp4", "anchor.mp4"}));
    EXPECT_EQ(h.file("new.php"), page) << "no description was typed for the page";

    deleteEntry(h, "new.mp4");
    insertEntry(h, "new.mp4", "anchor.mp4", "New", "Typed words");
    EXPECT_TRUE(contains(h.file("new.php"), "<div class=\"desc\">Typed words</div>\n" + HostNote));
}

TEST(HostEdits, FilesChangedOnDiskAreReadAgainAndSaidSoOnce) {
    Harness h;
    createEntry(h, "a.mp4", "A");
    // Another program (another run, a restore from backup) puts an entry of its own there.
    Harness other;
    createEntry(other, "a.mp4", "A");
    createEntry(other, "b.mp4", "B");
    h.put("homepage.html", other.file("homepage.html"));
    createEntry(h, "c.mp4", "C");
    EXPECT_EQ(entryNames(h), (Names{"a.mp4", "b.mp4", "c.mp4"}));
    ASSERT_TRUE(h.form().isVisible(Panel::Notice));
    EXPECT_TRUE(contains(h.form().panels[Panel::Notice].text, "homepage.html was changed on disk"));
    h.form().clickPanel(Panel::Notice);

    // Its own writes are no change; a file touched with the same bytes is none either.
    createEntry(h, "d.mp4", "D");
    EXPECT_FALSE(h.form().isVisible(Panel::Notice));
    h.put("homepage.html", h.file("homepage.html"));
    deleteEntry(h, "d.mp4");
    EXPECT_FALSE(h.form().isVisible(Panel::Notice));
    EXPECT_EQ(entryNames(h), (Names{"a.mp4", "b.mp4", "c.mp4"}));

    // Every operation looks: delete, insert and title work on the file as it is now.
    h.put("homepage.html", other.file("homepage.html"));
    deleteEntry(h, "b.mp4");
    EXPECT_EQ(entryNames(h), (Names{"a.mp4"}));
    h.put("homepage.html", other.file("homepage.html"));
    insertEntry(h, "z.mp4", "b.mp4", "Z");
    EXPECT_EQ(entryNames(h), (Names{"a.mp4", "z.mp4", "b.mp4"}));
    h.put("homepage.html", other.file("homepage.html"));
    updateTitle(h, "T", "");
    EXPECT_EQ(entryNames(h), (Names{"a.mp4", "b.mp4"}));

    // A video page edited since it was written is said to be read again.
    h.form().clickPanel(Panel::Notice);
    editByHand(h, "c.php");
    createEntry(h, "c.mp4", "", "New words for c");
    EXPECT_TRUE(contains(h.form().panels[Panel::Notice].text, "c.php was changed on disk"));
    EXPECT_TRUE(contains(h.file("c.php"), HostNote));
}

TEST(HostEdits, AHomepagePlacedAfterTheStartIsTheOneEdited) {
    Harness h;
    ASSERT_FALSE(h.has("homepage.html"));
    Harness other;
    createEntry(other, "mine.mp4", "Mine");
    h.put("homepage.html", other.file("homepage.html"));
    updateTitle(h, "Title", "");
    EXPECT_EQ(entryNames(h), (Names{"mine.mp4"}));
    h.put("homepage.html", other.file("homepage.html"));
    deleteEntry(h, "mine.mp4");
    EXPECT_EQ(entryNames(h), Names{});
}

TEST(Undo, PutsBackEveryFileByteForByteNewestFirst) {
    Harness h;
    createEntry(h, "a.mp4", "A");
    const std::string home1 = h.file("homepage.html");
    const std::string page1 = h.file("a.php");
    createEntry(h, "b.mp4", "B");
    createEntry(h, "a.mp4", "A, better", "The story of a");
    updateTitle(h, "My title", "My message");
    renamePage(h, "a.mp4", "c.mp4");
    EXPECT_EQ(h.form().history().entries().size(), 5u);

    Form& f = h.form();
    EXPECT_TRUE(f.undo());
    EXPECT_FALSE(h.has("change_file_name.php")) << "a file the operation made is removed";
    EXPECT_TRUE(contains(f.panels[Panel::Notice].text, "Undid rename a.mp4 c.mp4"));
    EXPECT_TRUE(f.undo());
    EXPECT_TRUE(f.undo());
    EXPECT_EQ(h.file("a.php"), page1);
    EXPECT_TRUE(f.undo());
    EXPECT_EQ(h.file("homepage.html"), home1);
    EXPECT_FALSE(h.has("b.php"));

    // The session goes on from the files as undo left them.
    createEntry(h, "c.mp4", "C");
    EXPECT_EQ(entryNames(h), (Names{"a.mp4", "c.mp4"}));
    EXPECT_TRUE(f.undo());
    EXPECT_EQ(h.file("homepage.html"), home1);
    EXPECT_TRUE(f.undo());
    EXPECT_FALSE(h.has("homepage.html"));
    EXPECT_FALSE(h.has("a.php"));
    EXPECT_FALSE(f.undo());
    EXPECT_TRUE(contains(f.panels[Panel::FileFailure].text, "There is nothing to undo."));
}

TEST(Undo, NeverThrowsAwayLaterHandEditsUnlessForced) {
    Harness h;
    createEntry(h, "a.mp4", "A");
    createEntry(h, "b.mp4", "B");
    editByHand(h, "b.php");
    const std::string edited = h.file("b.php");
    const std::string home = h.file("homepage.html");
    EXPECT_FALSE(h.form().undo());
    EXPECT_TRUE(contains(h.form().panels[Panel::FileFailure].text, "b.php was changed after it"));
    EXPECT_EQ(h.file("b.php"), edited);
    EXPECT_EQ(h.file("homepage.html"), home);

    EXPECT_TRUE(h.form().undo(true));
    EXPECT_FALSE(h.has("b.php"));
    EXPECT_EQ(entryNames(h), (Names{"a.mp4"}));
}

TEST(Undo, AFailedWriteLosesNothingAndASecondUndoFinishes) {
    Harness h;
    createEntry(h, "a.mp4", "A", "About a");
    const std::string home = h.file("homepage.html");
    const std::string page = h.file("a.php");
    createEntry(h, "a.mp4", "A2", "About a, again");
    const std::string home2 = h.file("homepage.html");
    h.folder().failWrite(2);
    EXPECT_FALSE(h.form().undo());
    // One file is back, the other holds what the operation wrote; nothing is torn.
    const bool pageBack = h.file("a.php") == page;
    EXPECT_TRUE(pageBack != (h.file("homepage.html") == home));
    EXPECT_TRUE(pageBack ? h.file("homepage.html") == home2 : h.file("a.php") != page);
    EXPECT_TRUE(h.form().undo());
    EXPECT_EQ(h.file("homepage.html"), home);
    EXPECT_EQ(h.file("a.php"), page);
}

TEST(Undo, KeepsTheLastFiftyOperations) {
    Harness h;
    for (int i = 0; i < 53; ++i) {
        updateTitle(h, "Title " + std::to_string(i), "");
    }
    const std::vector<HistoryEntry> kept = h.form().history().entries();
    ASSERT_EQ(kept.size(), 50u);
    EXPECT_EQ(kept.front().label, "title");
    EXPECT_EQ(kept.front().number, 53);
    EXPECT_EQ(kept.back().number, 4);
    // An operation that wrote nothing is not kept.
    createEntry(h, "nothing", "");
    deleteEntry(h, "missing.mp4");
    EXPECT_EQ(h.form().history().entries().front().number, 53);
}

} // namespace
} // namespace clipnest::testing
