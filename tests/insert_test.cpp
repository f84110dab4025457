#include "support/test_support.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

// The inserted block: the sample's lines without wrappers or the blanks inside them, then three line breaks.
std::string insertedBlock(const std::string& name, const std::string& descrip) {
    std::string block = buildSampleEntry();
    replaceAll(block, "<!--n9h ", "");
    replaceAll(block, " s4j-->", "");
    replaceAll(block, markers::FileNameToken, name);
    replaceAll(block, markers::FileNameLessExtToken, std::string(withoutExtension(name)));
    replaceAll(block, markers::HomepageDescripToken, descrip);
    return block + "\n\n\n";
}

// Homepage files (a function each: the page pieces are globals of another file).
std::string fileOneTwo() {
    return homepageWith({"one.mp4", "two.mp4"}) + "\r\n";
}
std::string fileOne() {
    return homepageWith({"one.mp4"}) + "\r\n";
}

TEST(Insert, InFrontOfTheFirstEntryWithItsIndividualPageThenAnAppend) {
    const std::string one = liveEntry("one.mp4");
    Harness h({{"homepage.html", fileOneTwo()}});
    Form& f = h.form();
    f.title.HomepageTitle = "Old title";
    f.title.HomepageMessage = "Old message";
    insertEntry(h, "clip9.mp4", "one.mp4", "Nine & more", "The long story");

    const std::string expected = PageHead + " " + insertedBlock("clip9.mp4", "Nine &amp; more") + one.substr(1) + "\n" +
                                 liveEntry("two.mp4") + "\n\n" + buildSampleEntry() + "\n" + PageTail + "\n";
    EXPECT_TRUE(sameText(expected + "\r\n", h.file("homepage.html")));
    EXPECT_EQ(f.homepage.PageText, expected);
    std::string page = buildIndividualPageTemplate();
    fillIndividualPage(page, "clip9.mp4", "clip9", "The long story");
    EXPECT_TRUE(sameText(page + "\r\n", h.file("clip9.php")));
    EXPECT_EQ(f.insert.InsertPhase, 0);
    EXPECT_EQ(f.insert.InsertPending, 0);
    EXPECT_EQ(f.insert.AnchorFound, 0);
    EXPECT_TRUE(f.title.HomepageTitle.empty());
    EXPECT_TRUE(f.title.HomepageMessage.empty());

    // The next request gets a page of its own.
    createEntry(h, "clip10.mp4", "Ten");
    page = buildIndividualPageTemplate();
    fillIndividualPage(page, "clip10.mp4", "clip10", "Ten");
    EXPECT_TRUE(sameText(page + "\r\n", h.file("clip10.php")));
}

TEST(Insert, InFrontOfAMiddleEntryCopiesTheHomepageDescription) {
    const std::string two = liveEntry("two.mp4");
    Harness h({{"homepage.html", fileOneTwo()}});
    insertEntry(h, "clip9.mp4", "two.mp4", "Caf\xC3\xA9 clip");
    const std::string expected = PageHead + liveEntry("one.mp4") + "\n " + insertedBlock("clip9.mp4", "Caf\xE9 clip") +
                                 two.substr(1) + "\n\n" + buildSampleEntry() + "\n" + PageTail + "\n";
    EXPECT_TRUE(sameText(expected + "\r\n", h.file("homepage.html")));
    // The individual page declares UTF-8, so the copied description carries a reference instead of the byte.
    EXPECT_TRUE(contains(h.file("clip9.php"), "<div class=\"desc\">Caf&#233; clip</div>"));
}

TEST(Insert, NamesAreTakenWithoutSurroundingBlanks) {
    Harness h({{"homepage.html", fileOne()}});
    insertEntry(h, "  clip9.mp4 ", " one.mp4  ", "Nine");
    EXPECT_TRUE(h.has("clip9.php"));
    const std::string text = h.file("homepage.html");
    EXPECT_LT(text.find("<source src=\"clip9.mp4\""), text.find("<source src=\"one.mp4\""));

    // The duplicate test looks at the name as it will be stored.
    h.form().controls.insert.name = " clip9.mp4";
    h.form().insertAboveEntry();
    EXPECT_TRUE(h.form().isVisible(Panel::EntryExists));
}

TEST(Insert, AnInsertEndedByTheMissingPageNoticeDoesNotTakeTheNextRequest) {
    // The homepage lists clip.mov's page, which is gone: the insert's routing stops at the notice.
    Harness h({{"homepage.html", homepageWith({"one.mp4", "clip.mov"}) + "\r\n"}});
    insertEntry(h, "clip.mp4", "one.mp4", "Clip");
    EXPECT_TRUE(h.form().isVisible(Panel::PageNotFound));
    createEntry(h, "new.mp4", "New");
    const std::string text = h.file("homepage.html");
    EXPECT_LT(text.find("<source src=\"clip.mov\""), text.find("<source src=\"new.mp4\"")) << "appended, not inserted";
    EXPECT_EQ(h.form().insert.InsertPending, 0);
}

TEST(Insert, AnchorIsMatchedWithoutItsClosingQuote) {
    Harness h({{"homepage.html", homepageWith({"clip.mp4.bak", "clip.mp4"}) + "\r\n"}});
    insertEntry(h, "clip9.mp4", "clip.mp4", "Nine");
    const std::string text = h.file("homepage.html");
    const std::size_t inserted = text.find("<source src=\"clip9.mp4\"");
    ASSERT_NE(inserted, std::string::npos);
    EXPECT_LT(inserted, text.find("<source src=\"clip.mp4.bak\""));
}

TEST(Insert, MissingAnchorChangesNothingAndSaysNothing) {
    Harness h({{"homepage.html", fileOne()}});
    insertEntry(h, "clip9.mp4", "nine.mp4", "Nine");
    Form& f = h.form();
    EXPECT_EQ(h.file("homepage.html"), fileOne());
    EXPECT_FALSE(h.has("clip9.php"));
    EXPECT_EQ(f.insert.InsertPhase, 1);
    EXPECT_FALSE(f.chainRunning());
    for (const Panel p : {Panel::EntryNotFound, Panel::HomepageWillBeCreated, Panel::InvalidNames, Panel::EntryExists,
                          Panel::FileFailure}) {
        EXPECT_FALSE(f.isVisible(p));
    }
    EXPECT_TRUE(f.routing.IndividPageText.empty());
}

TEST(Insert, ClickRefusesDuplicatesAndBadNames) {
    struct Case {
        const char* name;
        const char* anchor;
        Panel panel;
    };
    for (const Case& c : {Case{"one.mp4", "x", Panel::EntryExists}, Case{"clip9", "one.mp4", Panel::InvalidNames},
                          Case{".mp4", "one.mp4", Panel::InvalidNames}, Case{"clip9.mp4", "one", Panel::InvalidNames},
                          Case{"clip9.mp4", "", Panel::InvalidNames}, Case{"", "one.mp4", Panel::InvalidNames},
                          Case{"a:b.mp4", "one.mp4", Panel::InvalidNames},
                          Case{"clip9.mp4", "\xE2\x82\xAC\xF0\x9F\x98\x80.mp4", Panel::InvalidNames}}) {
        SCOPED_TRACE(std::string(c.name) + " " + c.anchor);
        Harness h({{"homepage.html", fileOne()}});
        Form& f = h.form();
        f.controls.insert.name = c.name;
        f.controls.insert.above = c.anchor;
        f.insertAboveEntry();
        EXPECT_TRUE(f.isVisible(c.panel));
        EXPECT_TRUE(f.isArmed(Step::HideNotices));
        EXPECT_FALSE(f.isArmed(Step::Insert));
        h.runUntilIdle();
        EXPECT_FALSE(f.isVisible(c.panel));
        EXPECT_EQ(h.file("homepage.html"), fileOne());
    }
}

TEST(Insert, NameRefusedOnlyOnceTrimmedStopsAtPhaseOneAndTheNextClickCarriesOn) {
    Harness h({{"homepage.html", fileOne()}});
    Form& f = h.form();
    insertEntry(h, " .mp4", "one.mp4", "Nine");
    EXPECT_EQ(f.insert.InsertPhase, 1);
    EXPECT_EQ(f.insert.InsertPending, 0);
    EXPECT_FALSE(f.isArmed(Step::Route));
    h.advance(30);
    EXPECT_TRUE(f.isVisible(Panel::InvalidName));
    EXPECT_EQ(h.file("homepage.html"), fileOne());

    // Phase 1 is skipped now; the boxes typed again overwrite what the refused attempt took.
    insertEntry(h, "clip9.mp4", "one.mp4");
    EXPECT_TRUE(contains(h.file("homepage.html"), insertedBlock("clip9.mp4", "Nine")));
    EXPECT_TRUE(h.has("clip9.php"));
    EXPECT_EQ(f.insert.InsertPhase, 0);
}

} // namespace
} // namespace clipnest::testing
