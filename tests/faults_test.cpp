#include "support/test_support.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

const std::string OldHomepage =
    "<html>\r\n<div class=\"gallery\">old</div>\r\n" + std::string(markers::EndA) + "\r\n</html>\r\n";

// The marker file only remembers that the tool ran here: failing to write it is a warning, and the entry after it
// is written and reported as done.
TEST(Faults, FailedAppDocsWriteIsAWarningAndTheWorkGoesOn) {
    Harness h({}, false);
    h.folder().failWrite(1);
    h.runChains();
    Form& f = h.form();
    EXPECT_FALSE(h.has("AppDocs.txt"));
    EXPECT_FALSE(f.isVisible(Panel::FileFailure));
    EXPECT_TRUE(contains(f.panels[Panel::Notice].text, "could not create AppDocs.txt"));
    createEntry(h, "clip.mp4", "words");
    EXPECT_TRUE(h.has("clip.php"));
    EXPECT_TRUE(contains(h.file("homepage.html"), "clip.mp4"));
    EXPECT_FALSE(f.isVisible(Panel::FileFailure));
}

TEST(Faults, UnreadableHomepageIsNeverReplaced) {
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", OldHomepage}}, false);
    h.folder().failReads = true;
    h.runChains();
    Form& f = h.form();
    EXPECT_TRUE(f.isVisible(Panel::FileFailure));
    EXPECT_FALSE(f.isVisible(Panel::HomepageWillBeCreated));
    EXPECT_FALSE(f.isVisible(Panel::HomepageNotFound));
    EXPECT_EQ(f.startup.DefaultHomepageBuilt, 0) << "an unreadable homepage is not a missing one";

    f.clickPanel(Panel::FileFailure);
    createEntry(h, "clip.mp4", "words");
    h.runUntilIdle();
    EXPECT_TRUE(f.isVisible(Panel::FileFailure));
    EXPECT_EQ(h.file("homepage.html"), OldHomepage);
    EXPECT_FALSE(h.has("clip.php"));

    // Once the file can be read again, the next request reads it and goes on.
    h.folder().failReads = false;
    createEntry(h, "clip.mp4", "words");
    const std::string text = h.file("homepage.html");
    EXPECT_TRUE(contains(text, "<div class=\"gallery\">old</div>"));
    EXPECT_TRUE(contains(text, "<source src=\"clip.mp4\""));
}

TEST(Faults, UnreadablePageFileIsNeverReplacedByTheTemplate) {
    Harness h({{"AppDocs.txt", "\r\n"}, {"clip.php", "hand-made page\r\n"}});
    h.folder().unreadable = "clip.php";
    for (int attempt = 0; attempt < 2; ++attempt) {
        createEntry(h, "clip.mp4", "words");
        EXPECT_TRUE(contains(h.form().panels[Panel::FileFailure].text, "clip.php"));
        EXPECT_EQ(h.file("clip.php"), "hand-made page\r\n") << "attempt " << attempt;
        EXPECT_FALSE(h.has("homepage.html"));
    }
    h.folder().unreadable.clear();
    createEntry(h, "clip.mp4", "words");
    EXPECT_TRUE(contains(h.file("homepage.html"), "<source src=\"clip.mp4\""));
}

TEST(Faults, HomepageLargerThanTwentyMillionCharactersIsNotCut) {
    std::string big = "<html>\r\n<!-- ";
    big.append(21'000'000, 'x');
    big += " -->\r\n" + std::string(markers::EndA) + "\r\n<p>tail</p>\r\n</html>\r\n";
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", big}});
    createEntry(h, "clip.mp4", "words");
    const std::string text = h.file("homepage.html");
    EXPECT_GT(text.size(), big.size());
    EXPECT_TRUE(contains(text, "<source src=\"clip.mp4\""));
    EXPECT_TRUE(text.ends_with("<p>tail</p>\n</html>\n\r\n"));
}

// Past the design's 20,000,000-character piece length, every edit still counts the entries right and leaves every
// byte around the entry it edits as it was.
TEST(Faults, EditsOnA25MegabyteHomepageKeepEverythingAroundThem) {
    const int n = 20000;
    std::string page = PageHead;
    std::vector<std::size_t> starts;
    for (int i = 1; i <= n; ++i) {
        starts.push_back(page.size());
        page += liveEntry("clip" + std::to_string(i) + ".mp4", std::string(1000, 'a' + i % 26)) + "\n";
    }
    page += "\n" + buildSampleEntry() + "\n" + PageTail;
    ASSERT_GT(page.size(), 25'000'000u);
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", page + "\r\n"}});
    const auto entries = [&h] { return liveEntries(linesWithLf(h.file("homepage.html"))).size(); };

    // Delete the middle entry: the text before it and after it stays byte for byte.
    const int middle = n / 2;
    deleteEntry(h, "clip" + std::to_string(middle) + ".mp4");
    std::string text = h.file("homepage.html");
    EXPECT_EQ(entries(), static_cast<std::size_t>(n - 1));
    const std::size_t cut = starts[middle - 1];
    const std::size_t next = starts[middle];
    EXPECT_EQ(text.compare(0, cut - 2, page, 0, cut - 2), 0) << "the text before the deleted entry changed";
    // All that follows, but the page's last lines, where every read of a written file adds an empty line.
    const std::string after = page.substr(next + 1, page.size() - next - 200);
    const std::size_t at = text.find(after);
    EXPECT_NE(at, std::string::npos) << "the text after the deleted entry changed";
    EXPECT_LT(at, cut + 10) << "something stands between the two";

    // Insert above the last entry and append one: both counted, the first entries untouched.
    insertEntry(h, "new.mp4", "clip" + std::to_string(n) + ".mp4", "New");
    createEntry(h, "appended.mp4", "Appended");
    EXPECT_EQ(entries(), static_cast<std::size_t>(n + 1));
    text = h.file("homepage.html");
    EXPECT_EQ(text.compare(0, cut - 2, page, 0, cut - 2), 0);
}

} // namespace
} // namespace clipnest::testing
