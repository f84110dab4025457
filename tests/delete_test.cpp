#include "support/test_support.h"
#include "text/document.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

// The homepage as held once its only entry is gone: the entry's first line keeps the blank in front of its opening.
std::string emptied() {
    return PageHead + " \n\n\n\n\n" + buildSampleEntry() + "\n" + PageTail;
}

TEST(Delete, OnlyEntryLeavesFiveLineBreaksAndALongRunBehindThePageEndIsCut) {
    for (const int trailing : {0, 20}) {
        Harness h({{"homepage.html", homepageWith({"clip7.mp4"}) + std::string(trailing, '\n') + "\r\n"}});
        deleteEntry(h, "clip7.mp4");
        const std::string expected = emptied() + (trailing ? "" : "\n");
        EXPECT_TRUE(sameText(expected + "\r\n", h.file("homepage.html"))) << trailing;
        EXPECT_EQ(h.form().homepage.PageText, expected);
        EXPECT_EQ(h.form().del.DeletePending, 0);
        EXPECT_FALSE(h.form().isVisible(Panel::EntryNotFound));
    }
}

TEST(Delete, EntryFollowedByAnotherAndThenTheLastOne) {
    const std::string one = liveEntry("one.mp4");
    const std::string three = liveEntry("three.mp4");
    const std::string head = PageHead + one.substr(0, one.size() - 1); // the previous entry's trailing blank goes
    const std::string tail = buildSampleEntry() + "\n" + PageTail + "\n\r\n";
    Harness h({{"homepage.html", homepageWith({"one.mp4", "two.mp4", "three.mp4"}) + "\r\n"}});

    // Blanks typed around the name still find the entry; the second panel's button works on its own box.
    h.form().controls.second.name = "  two.mp4 ";
    h.form().deleteEntry(EntryPanel::Second);
    h.runChains();
    EXPECT_TRUE(sameText(head + "\n\n" + three.substr(1) + "\n\n" + tail, h.file("homepage.html")));

    deleteEntry(h, "three.mp4");
    EXPECT_TRUE(sameText(head + std::string(7, '\n') + tail, h.file("homepage.html")));
    deleteEntry(h, "one.mp4");
    EXPECT_TRUE(sameText(emptied() + "\n\r\n", h.file("homepage.html")));
}

TEST(Delete, EntriesMadeByTheAppendStep) {
    Harness h;
    createEntry(h, "a.mp4", "Clip a");
    createEntry(h, "b.mp4", "Clip b");
    deleteEntry(h, "a.mp4");
    const std::string text = h.file("homepage.html");
    EXPECT_FALSE(contains(text, "a.mp4"));
    EXPECT_FALSE(contains(text, "Clip a"));
    EXPECT_TRUE(contains(text, "<source src=\"b.mp4\""));
    EXPECT_TRUE(contains(text, buildSampleEntry()));
    EXPECT_TRUE(h.has("a.php"));
}

TEST(Delete, MissingEntryIsReportedTwiceAndKeepsTheTwentySecondRhythm) {
    const std::string file = homepageWith({"clip7.mp4"}) + "\r\n";
    Harness h({{"homepage.html", file}});
    Form& f = h.form();
    f.controls.first.name = "nothere.mp4";
    f.deleteEntry(EntryPanel::First);
    EXPECT_EQ(f.routing.RouteCode, 12);

    // The presence check of the homepage look-up shows the notice first.
    h.advance(250);
    EXPECT_TRUE(f.isVisible(Panel::EntryNotFound));
    EXPECT_TRUE(f.isArmed(Step::HideNotices));
    f.clickPanel(Panel::EntryNotFound);
    h.advance(250);
    EXPECT_EQ(f.del.DeletePending, 0);
    h.advance(20);
    EXPECT_TRUE(f.isVisible(Panel::EntryNotFound));
    h.advance(19999);
    EXPECT_TRUE(f.isVisible(Panel::EntryNotFound));
    h.advance(1);
    EXPECT_FALSE(f.isVisible(Panel::EntryNotFound));
    EXPECT_FALSE(f.isArmed(Step::EntryNotFound));
    h.runUntilIdle();

    // Same name before the period, other extension: present by the looser key, but nothing to cut.
    f.controls.first.name = "clip7.mov";
    f.deleteEntry(EntryPanel::First);
    h.advance(500);
    EXPECT_FALSE(f.isVisible(Panel::EntryNotFound));
    h.advance(19999);
    EXPECT_FALSE(f.isVisible(Panel::EntryNotFound));
    h.advance(1);
    EXPECT_TRUE(f.isVisible(Panel::EntryNotFound));
    h.advance(20000);
    EXPECT_FALSE(f.isVisible(Panel::EntryNotFound));
    EXPECT_EQ(f.del.NotFoundTick, 0);
    EXPECT_EQ(h.file("homepage.html"), file);
}

TEST(Delete, NoHomepageShowsItsNoticeOnceAndKeepsTheHeldPage) {
    Harness h;
    h.runUntilIdle();
    Form& f = h.form();
    deleteEntry(h, "clip7.mp4");
    EXPECT_TRUE(f.isVisible(Panel::NoHomepage));
    EXPECT_TRUE(f.isArmed(Step::HideNotices));
    EXPECT_EQ(f.del.DeletePending, 0);
    EXPECT_FALSE(f.isVisible(Panel::EntryNotFound));
    f.clickPanel(Panel::NoHomepage);

    deleteEntry(h, "clip7.mp4");
    EXPECT_FALSE(f.isVisible(Panel::NoHomepage));
    EXPECT_FALSE(h.has("homepage.html"));

    // The default homepage built at start-up is still there for the next entry.
    createEntry(h, "clip7.mp4", "First");
    const std::string text = h.file("homepage.html");
    EXPECT_TRUE(contains(text, "<source src=\"clip7.mp4\""));
    EXPECT_TRUE(contains(text, markers::EndA));
}

TEST(Delete, UnheldHomepageIsReadFromItsOtherNameAndWrittenAsHomepageHtml) {
    const std::string file = homepageWith({"clip7.mp4", "clip8.mp4"}) + "\r\n";
    Harness h({{"Homepage.htm", file}});
    Form& f = h.form();
    f.homepage.PageText.clear();
    f.controls.first.name = "clip7.mp4";
    f.deleteEntry(EntryPanel::First);
    h.advance(250);
    EXPECT_EQ(f.homepage.PageText, homepageWith({"clip7.mp4", "clip8.mp4"}) + "\n");
    h.runChains();
    EXPECT_EQ(h.file("Homepage.htm"), file);
    const std::string written = h.file("homepage.html");
    EXPECT_FALSE(contains(written, "clip7.mp4"));
    EXPECT_TRUE(contains(written, "clip8.mp4"));
}

TEST(Delete, EmptyHomepageFileEndsTheChainWithTheNotFoundNotice) {
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", ""}});
    Form& f = h.form();
    f.homepage.PageText.clear();
    deleteEntry(h, "a.mp4");
    EXPECT_FALSE(f.chainRunning()) << "an empty file must not be read again forever";
    EXPECT_EQ(f.del.DeletePending, 0);
    h.advance(20);
    EXPECT_TRUE(f.isVisible(Panel::EntryNotFound));
    EXPECT_EQ(h.file("homepage.html"), "");
}

TEST(Delete, PageWithoutSampleEntry) {
    const std::string one = liveEntry("one.mp4");
    const std::string two = liveEntry("two.mp4");
    Harness h({{"homepage.html", homepageWith({"one.mp4", "two.mp4"}) + "\r\n"}});
    Form& f = h.form();

    // The next live entry still ends the removed one when no disabled line follows.
    f.homepage.PageText = PageHead + one + "\n" + two + "\n" + PageTail;
    deleteEntry(h, "one.mp4");
    EXPECT_TRUE(sameText(PageHead + " \n\n" + two.substr(1) + "\n" + PageTail + "\r\n", h.file("homepage.html")));

    // Nothing follows at all: the rest behind the source line stays as it is.
    deleteEntry(h, "two.mp4");
    EXPECT_TRUE(h.file("homepage.html").starts_with(PageHead + " " + std::string(7, '\n') + "<source src=\"two.mp4\""));
    EXPECT_EQ(f.del.DeletePending, 0);
}

} // namespace
} // namespace clipnest::testing
