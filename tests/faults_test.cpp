#include "support/test_support.h"
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

} // namespace
} // namespace clipnest::testing
