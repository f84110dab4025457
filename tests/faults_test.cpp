#include "homepage/markers.h"
#include "homepage/text_ops.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;

const std::string OldHomepage =
    "<html>\r\n<div class=\"gallery\">old</div>\r\n" + std::string(markers::EndA) + "\r\n</html>\r\n";

void requestEntry(Form& f, const std::string& name) {
    f.controls.Text2 = name;
    f.controls.Text4 = "words";
    f.Command1();
}

TEST(Faults, FailedPageWriteEndsTheAppendBeforeTheHomepageChanges) {
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", OldHomepage}});
    Form& f = h.form();
    const std::string held = f.homepage.PageText;
    h.folder().failWrite(1);
    requestEntry(f, "clip.mp4");
    h.runChains();
    EXPECT_FALSE(h.has("clip.php"));
    EXPECT_EQ(h.file("homepage.html"), OldHomepage);
    EXPECT_TRUE(f.isVisible(Panel::FileFailure));
    EXPECT_TRUE(contains(f.panels[Panel::FileFailure].text, "clip.php"));
    EXPECT_FALSE(f.chainRunning());
    EXPECT_EQ(f.append.AppendPhase, 0);
    EXPECT_EQ(f.homepage.PageText, held);

    // The failure panel waits for a click; the next request runs normally.
    h.advance(30000);
    EXPECT_TRUE(f.isVisible(Panel::FileFailure));
    f.clickPanel(Panel::FileFailure);
    EXPECT_FALSE(f.isVisible(Panel::FileFailure));
    requestEntry(f, "clip.mp4");
    h.runChains();
    EXPECT_TRUE(h.has("clip.php"));
    EXPECT_TRUE(contains(h.file("homepage.html"), "<source src=\"clip.mp4\""));
}

TEST(Faults, FailedHomepageWriteKeepsTheOldFileAndTheHeldText) {
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", OldHomepage}});
    Form& f = h.form();
    h.folder().failWrite(2);
    requestEntry(f, "clip.mp4");
    h.runChains();
    EXPECT_TRUE(h.has("clip.php")) << "the page was written before the homepage";
    EXPECT_EQ(h.file("homepage.html"), OldHomepage);
    EXPECT_TRUE(contains(f.panels[Panel::FileFailure].text, "homepage.html"));
    EXPECT_FALSE(contains(f.homepage.PageText, "clip.mp4")) << "memory does not claim what the disk does not hold";

    // Asking again puts the entry on the homepage once.
    requestEntry(f, "clip.mp4");
    h.runChains();
    const std::string text = h.file("homepage.html");
    const std::size_t first = text.find("<source src=\"clip.mp4\"");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("<source src=\"clip.mp4\"", first + 1), std::string::npos);
}

TEST(Faults, FailedAppDocsWriteIsReportedAndStartUpGoesOn) {
    Harness h({}, false);
    h.folder().failWrite(1);
    h.runChains();
    Form& f = h.form();
    EXPECT_FALSE(h.has("AppDocs.txt"));
    EXPECT_TRUE(contains(f.panels[Panel::FileFailure].text, "AppDocs.txt"));
    EXPECT_EQ(f.startup.DefaultHomepageBuilt, 1);
    EXPECT_FALSE(f.homepage.SampleEntry.empty());
}

TEST(Faults, UnreadableHomepageIsNeverReplaced) {
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", OldHomepage}}, false);
    h.folder().failReads = true;
    h.runChains();
    Form& f = h.form();
    EXPECT_TRUE(f.isVisible(Panel::FileFailure));
    EXPECT_FALSE(f.isVisible(Panel::Text15));
    EXPECT_FALSE(f.isVisible(Panel::Text17));
    EXPECT_EQ(f.startup.DefaultHomepageBuilt, 0) << "an unreadable homepage is not a missing one";

    f.clickPanel(Panel::FileFailure);
    requestEntry(f, "clip.mp4");
    h.runUntilIdle();
    EXPECT_TRUE(f.isVisible(Panel::FileFailure));
    EXPECT_EQ(h.file("homepage.html"), OldHomepage);
    EXPECT_FALSE(h.has("clip.php"));

    // Once the file can be read again, the next request reads it and goes on.
    h.folder().failReads = false;
    requestEntry(f, "clip.mp4");
    h.runChains();
    const std::string text = h.file("homepage.html");
    EXPECT_TRUE(contains(text, "<div class=\"gallery\">old</div>"));
    EXPECT_TRUE(contains(text, "<source src=\"clip.mp4\""));
}

TEST(Faults, HomepageLargerThanTwentyMillionCharactersIsNotCut) {
    std::string big = "<html>\r\n<!-- ";
    big.append(21'000'000, 'x');
    big += " -->\r\n" + std::string(markers::EndA) + "\r\n<p>tail</p>\r\n</html>\r\n";
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", big}});
    requestEntry(h.form(), "clip.mp4");
    h.runChains();
    const std::string text = h.file("homepage.html");
    EXPECT_GT(text.size(), big.size());
    EXPECT_TRUE(contains(text, "<source src=\"clip.mp4\""));
    const std::string end = "<p>tail</p>\n</html>\n\r\n";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

} // namespace
} // namespace clipnest
