#include "homepage/document.h"
#include "homepage/markers.h"
#include "homepage/text_ops.h"
#include "support/test_support.h"

#include <initializer_list>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;
using testing::sameText;
using namespace testing;

// The file a held text is written as, and the held text such a file reads back as.
std::string asFile(const std::string& held) {
    return held + "\r\n";
}

TEST(Delete, OnlyEntryLeavesFiveLineBreaksBeforeTheSample) {
    const std::string page = homepageWith({"clip7.mp4"});
    Harness h({{"homepage.html", asFile(page)}});
    deleteEntry(h, "clip7.mp4");

    // The entry's first line keeps the blank in front of its gallery opening.
    const std::string expected = PageHead + " \n\n\n\n\n" + buildSampleEntry() + "\n" + PageTail + "\n";
    EXPECT_TRUE(sameText(asFile(expected), h.file("homepage.html")));
    EXPECT_EQ(h.form().homepage.PageText, expected);
    EXPECT_EQ(h.form().del.DeletePending, 0);
    EXPECT_FALSE(h.form().isVisible(Panel::Text8));
    EXPECT_TRUE(h.form().TextBefore.empty());
    EXPECT_TRUE(h.form().TextAfter.empty());
}

TEST(Delete, EntryFollowedByAnotherAndThenTheLastOne) {
    const std::string one = liveEntry("one.mp4");
    const std::string two = liveEntry("two.mp4");
    const std::string three = liveEntry("three.mp4");
    Harness h({{"homepage.html", asFile(homepageWith({"one.mp4", "two.mp4", "three.mp4"}))}});

    // Blanks typed around the name still find the entry; the second panel's button works on its own box.
    h.form().controls.Text7 = "  two.mp4 ";
    h.form().Command6();
    h.runChains();
    // The previous entry's trailing blank goes; the next entry follows two line breaks later.
    std::string expected = PageHead + one.substr(0, one.size() - 1) + "\n\n" + three.substr(1) + "\n\n" +
                           buildSampleEntry() + "\n" + PageTail + "\n";
    EXPECT_TRUE(sameText(asFile(expected), h.file("homepage.html")));

    // The second delete works on the held text, not on a fresh read.
    h.put("homepage.html", "changed by hand\r\n");
    deleteEntry(h, "three.mp4");
    expected =
        PageHead + one.substr(0, one.size() - 1) + std::string(7, '\n') + buildSampleEntry() + "\n" + PageTail + "\n";
    EXPECT_TRUE(sameText(asFile(expected), h.file("homepage.html")));

    deleteEntry(h, "one.mp4");
    expected = PageHead + " \n\n\n\n\n" + buildSampleEntry() + "\n" + PageTail + "\n";
    EXPECT_TRUE(sameText(asFile(expected), h.file("homepage.html")));
}

TEST(Delete, EntriesMadeByTheAppendStep) {
    Harness h;
    for (const char* name : {"a.mp4", "b.mp4"}) {
        h.form().controls.Text2 = name;
        h.form().controls.Text4 = std::string("Clip ") + name;
        h.form().Command1();
        h.runChains();
    }
    deleteEntry(h, "a.mp4");
    const std::string text = h.file("homepage.html");
    EXPECT_FALSE(contains(text, "a.mp4"));
    EXPECT_FALSE(contains(text, "Clip a"));
    EXPECT_TRUE(contains(text, "<source src=\"b.mp4\""));
    EXPECT_TRUE(contains(text, buildSampleEntry()));
    EXPECT_TRUE(h.has("a.php"));
}

TEST(Delete, MissingEntryIsReportedTwiceAndKeepsTheTwentySecondRhythm) {
    const std::string file = asFile(homepageWith({"clip7.mp4"}));
    Harness h({{"homepage.html", file}});
    Form& f = h.form();
    f.controls.Text2 = "nothere.mp4";
    f.Command5();
    EXPECT_EQ(f.del.DeletePending, 1);
    EXPECT_EQ(f.routing.RouteCode, 12);

    // The presence check of the homepage look-up shows the notice first.
    h.advance(250);
    EXPECT_TRUE(f.isVisible(Panel::Text8));
    EXPECT_TRUE(f.isArmed(Step::Timer29));
    f.clickPanel(Panel::Text8);
    h.advance(250);
    EXPECT_EQ(f.del.DeletePending, 0);
    EXPECT_TRUE(f.isArmed(Step::Timer30));
    h.advance(20);
    EXPECT_TRUE(f.isVisible(Panel::Text8));
    h.advance(19999);
    EXPECT_TRUE(f.isVisible(Panel::Text8));
    h.advance(1);
    EXPECT_FALSE(f.isVisible(Panel::Text8));
    EXPECT_FALSE(f.isArmed(Step::Timer30));
    EXPECT_EQ(f.interval(Step::Timer30), 20000);
    EXPECT_EQ(h.file("homepage.html"), file);
    h.runUntilIdle();

    // Same name before the period, other extension: present by the looser key, but nothing to cut.
    f.controls.Text2 = "clip7.mov";
    f.Command5();
    h.advance(500);
    EXPECT_FALSE(f.isVisible(Panel::Text8));
    EXPECT_TRUE(f.isArmed(Step::Timer30));
    h.advance(19999);
    EXPECT_FALSE(f.isVisible(Panel::Text8));
    h.advance(1);
    EXPECT_TRUE(f.isVisible(Panel::Text8));
    h.advance(20000);
    EXPECT_FALSE(f.isVisible(Panel::Text8));
    EXPECT_EQ(f.del.NotFoundTick, 0);
    EXPECT_EQ(h.file("homepage.html"), file);
}

TEST(Delete, NoHomepageShowsItsNoticeOnceAndKeepsTheHeldPage) {
    Harness h;
    h.runUntilIdle();
    Form& f = h.form();
    ASSERT_FALSE(f.homepage.PageText.empty());
    deleteEntry(h, "clip7.mp4");
    EXPECT_TRUE(f.isVisible(Panel::Text13));
    EXPECT_TRUE(f.isArmed(Step::Timer29));
    EXPECT_EQ(f.del.DeletePending, 0);
    EXPECT_FALSE(f.isVisible(Panel::Text8));
    f.clickPanel(Panel::Text13);

    deleteEntry(h, "clip7.mp4");
    EXPECT_FALSE(f.isVisible(Panel::Text13));
    EXPECT_FALSE(h.has("homepage.html"));

    // The default homepage built at start-up is still there for the next entry.
    f.controls.Text2 = "clip7.mp4";
    f.controls.Text4 = "First";
    f.Command1();
    h.runChains();
    const std::string text = h.file("homepage.html");
    EXPECT_TRUE(contains(text, "<source src=\"clip7.mp4\""));
    EXPECT_TRUE(contains(text, markers::EndA));
}

TEST(Delete, RefusedNamesTouchNothing) {
    const std::string file = asFile(homepageWith({"clip7.mp4"}));
    for (const char* name : {"clip7", " .mp4", "", "a|b.mp4"}) {
        Harness h({{"homepage.html", file}});
        Form& f = h.form();
        f.controls.Text2 = name;
        f.Command5();
        h.advance(30);
        EXPECT_EQ(f.panels[Panel::Text15].text, "Please enter a valid file name.") << name;
        EXPECT_TRUE(f.isVisible(Panel::Text15)) << name;
        EXPECT_EQ(f.del.DeletePending, 0) << name;
        EXPECT_FALSE(f.isArmed(Step::Timer31)) << name;
        EXPECT_EQ(h.file("homepage.html"), file) << name;
    }
}

TEST(Delete, UnheldHomepageIsReadFromItsOtherNameAndWrittenAsHomepageHtml) {
    const std::string file = asFile(homepageWith({"clip7.mp4", "clip8.mp4"}));
    Harness h({{"Homepage.htm", file}});
    Form& f = h.form();
    f.homepage.PageText.clear();
    f.controls.Text2 = "clip7.mp4";
    f.Command5();
    h.advance(250);
    EXPECT_EQ(f.homepage.PageText, homepageWith({"clip7.mp4", "clip8.mp4"}) + "\n");
    EXPECT_TRUE(f.isArmed(Step::Timer31));
    EXPECT_FALSE(f.isArmed(Step::Timer23));
    h.runChains();
    EXPECT_EQ(h.file("Homepage.htm"), file);
    const std::string written = h.file("homepage.html");
    EXPECT_FALSE(contains(written, "clip7.mp4"));
    EXPECT_TRUE(contains(written, "clip8.mp4"));
}

TEST(Delete, LongRunOfLinesBehindThePageEndIsCut) {
    const std::string page = homepageWith({"clip7.mp4"}) + std::string(20, '\n');
    Harness h({{"homepage.html", asFile(page)}});
    deleteEntry(h, "clip7.mp4");
    const std::string expected = PageHead + " \n\n\n\n\n" + buildSampleEntry() + "\n" + PageTail;
    EXPECT_TRUE(sameText(asFile(expected), h.file("homepage.html")));
}

TEST(Delete, PageWithoutSampleEntry) {
    const std::string one = liveEntry("one.mp4");
    const std::string two = liveEntry("two.mp4");
    Harness h({{"homepage.html", asFile(homepageWith({"one.mp4", "two.mp4"}))}});
    Form& f = h.form();

    // The next live entry still ends the removed one when no disabled line follows.
    f.homepage.PageText = PageHead + one + "\n" + two + "\n" + PageTail;
    deleteEntry(h, "one.mp4");
    EXPECT_TRUE(sameText(asFile(PageHead + " \n\n" + two.substr(1) + "\n" + PageTail), h.file("homepage.html")));

    // Nothing follows at all: the rest behind the source line stays as it is.
    deleteEntry(h, "two.mp4");
    const std::string text = h.file("homepage.html");
    EXPECT_EQ(text.find(PageHead + " " + std::string(7, '\n') + "<source src=\"two.mp4\""), 0u);
    EXPECT_EQ(f.del.DeletePending, 0);
}

TEST(Delete, FailedWriteKeepsTheOldFile) {
    const std::string file = asFile(homepageWith({"clip7.mp4"}));
    Harness h({{"homepage.html", file}});
    Form& f = h.form();
    const std::string held = f.homepage.PageText;
    h.folder().failWrite(1);
    deleteEntry(h, "clip7.mp4");
    EXPECT_EQ(h.file("homepage.html"), file);
    EXPECT_TRUE(f.isVisible(Panel::FileFailure));
    EXPECT_EQ(f.homepage.PageText, held);
    EXPECT_EQ(f.del.DeletePending, 0);
    EXPECT_FALSE(f.isArmed(Step::Timer23));

    // Once writing works again the same delete goes through.
    deleteEntry(h, "clip7.mp4");
    EXPECT_FALSE(contains(h.file("homepage.html"), "clip7.mp4"));
}

} // namespace
} // namespace clipnest
