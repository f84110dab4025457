#include "homepage/document.h"
#include "homepage/markers.h"
#include "homepage/text_ops.h"
#include "pages/individual_page.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;

// A folder that has run the tool before and holds a homepage with one live entry for clip7.mp4.
std::vector<std::pair<std::string, std::string>> folderWithClip7() {
    const std::string page = "<html>\r\n<a href=\"clip7.php\">\r\n<source src=\"clip7.mp4\" type=\"video/mp4\"/>\r\n" +
                             std::string(markers::EndA) + "\r\n</html>\r\n";
    return {{"AppDocs.txt", "\r\n"}, {"homepage.html", page}};
}

TEST(Request, ClickFillsTheRequestFromItsOwnPanel) {
    Harness h;
    Form& f = h.form();
    f.controls.Text7 = "  my.clip.mp4 ";
    f.controls.Text6 = " Caf\xC3\xA9 <live> ";
    f.controls.Text2 = "other.mp4";
    f.Command2();
    EXPECT_EQ(f.request.FileName, "my.clip.mp4");
    EXPECT_EQ(f.request.FileNameLessExt, "my");
    EXPECT_EQ(f.request.HomepageDescrip, " Caf\xE9 &lt;live&gt; ") << "descriptions are not trimmed";
    EXPECT_EQ(f.request.IndividDescrip, " Caf&#233; &lt;live&gt; ") << "the individual page declares UTF-8";
    EXPECT_EQ(f.request.HomepageOnly, 0);
    EXPECT_TRUE(f.isArmed(Step::Timer24));

    f.controls.Text2 = "clip.";
    f.controls.Text4 = "home";
    f.controls.Text5 = "";
    f.controls.Check1 = true;
    f.Command1();
    EXPECT_EQ(f.request.FileNameLessExt, "clip");
    EXPECT_EQ(f.request.IndividDescrip, "") << "homepage only: the individual description is not copied";
    EXPECT_EQ(f.request.HomepageOnly, 1);
    f.controls.Text5 = "\xE2\x98\x95";
    f.Command1();
    EXPECT_EQ(f.request.IndividDescrip, "&#9749;");
}

TEST(Request, InvalidNameShowsTheMessageForThreeSecondsAndChangesNothing) {
    for (const std::string& bad : std::vector<std::string>{"clip", ".clip.mp4", "   ", " .x", "a/b.mp4", "..\\up.mp4",
                                                           "a:b.mp4", "x\xF0\x9F\x8E\xA5.mp4", "tab\there.mp4"}) {
        Harness h;
        Form& f = h.form();
        f.clickPanel(Panel::Text15);
        f.request.FileName = "kept.mp4";
        f.controls.Text2 = bad;
        f.controls.Check1 = true;
        f.Command1();
        EXPECT_FALSE(f.isArmed(Step::Timer24)) << bad;
        EXPECT_EQ(f.request.FileName, "kept.mp4");
        h.advance(30);
        EXPECT_TRUE(f.isVisible(Panel::Text15));
        EXPECT_EQ(f.panels[Panel::Text15].text, "Please enter a valid file name.");
        h.advance(2999);
        EXPECT_TRUE(f.isVisible(Panel::Text15));
        h.advance(1);
        EXPECT_FALSE(f.isVisible(Panel::Text15));
        EXPECT_EQ(f.panels[Panel::Text15].text, "");
        EXPECT_EQ(f.routing.InvalidName, 0);
        EXPECT_EQ(f.interval(Step::Timer1), 30);
        EXPECT_FALSE(f.isArmed(Step::Timer1));
        EXPECT_FALSE(h.has("homepage.html"));
    }
}

TEST(Request, AfterABadHomepageOnlyClickAValidClickIsOrdinary) {
    Harness h;
    Form& f = h.form();
    f.controls.Text2 = "nodot";
    f.controls.Check1 = true;
    f.Command1();
    h.runUntilIdle();
    f.controls.Text2 = "clip1.mp4";
    f.controls.Text4 = "first";
    f.controls.Check1 = false;
    f.Command1();
    h.runChains();
    EXPECT_TRUE(h.has("clip1.php"));
    EXPECT_EQ(f.routing.RouteCode, 1);
}

TEST(Request, FirstRequestReadsFourTicksLaterRequestsTwo) {
    Harness h(folderWithClip7());
    Form& f = h.form();
    f.controls.Text2 = "new.mp4";
    f.controls.Text4 = "d";
    f.Command1();
    for (int phase = 1; phase <= 3; ++phase) {
        h.advance(30);
        EXPECT_EQ(f.routing.RoutePhase, phase);
        EXPECT_TRUE(f.isArmed(Step::Timer24));
    }
    h.advance(30);
    EXPECT_TRUE(f.isArmed(Step::Timer26)) << "no page text held: the template is prepared first";
    EXPECT_EQ(f.routing.RoutePhase, 4) << "rests at 4 after routing to the page Step";
    h.runChains();
    EXPECT_EQ(f.routing.RoutePhase, 2);
    EXPECT_EQ(f.routing.RouteCode, 1);

    // A hand edit between requests is not seen: the homepage is read on the first request only.
    h.put("homepage.html", "replaced by hand\r\n");
    f.controls.Text2 = "third.mp4";
    f.Command1();
    h.advance(60);
    EXPECT_EQ(f.routing.RoutePhase, 4);
    EXPECT_TRUE(contains(f.homepage.PageText, "new.mp4"));
}

TEST(Request, RoutingCases) {
    struct Case {
        const char* name;
        const char* homepage;
        const char* individ;
        bool homepageOnly;
        int routeCode;
        Step armed;
    };
    const Case cases[] = {
        {"fresh.mp4", "d", "", false, 1, Step::Timer12},
        {"clip7.mov", "", "long", false, 2, Step::Timer14},  // another extension counts as present
        {"clip7.mp4", "short", "", false, 5, Step::Timer14}, // the click copied the homepage description
        {"clip7.mp4", "short", "long", false, 5, Step::Timer14},
        {"clip7.mp4", "short", "long", true, 4, Step::Timer14},
        {"fresh.mp4", "short", "", true, 4, Step::Timer14},
    };
    for (const Case& c : cases) {
        Harness h(folderWithClip7());
        h.put("clip7.php", "page\r\n");
        h.put("fresh.php", "page\r\n");
        Form& f = h.form();
        f.controls.Text2 = c.name;
        f.controls.Text4 = c.homepage;
        f.controls.Text5 = c.individ;
        f.controls.Check1 = c.homepageOnly;
        f.Command1();
        h.advance(4 * 30);
        EXPECT_EQ(f.routing.RouteCode, c.routeCode) << c.name << " " << c.homepage << "/" << c.individ;
        EXPECT_TRUE(f.isArmed(c.armed)) << c.name;
        EXPECT_EQ(f.request.HomepageOnly, c.routeCode == 4 ? 1 : 0) << "kept only for the homepage-only change";
        if (std::string(c.individ).empty() && !c.homepageOnly) {
            EXPECT_EQ(f.request.IndividDescrip, c.homepage);
        }
    }
}

TEST(Request, PresentEntryWithoutDescriptionsAndHomepageOnlyWithoutTextEndSilently) {
    for (const bool homepageOnly : {false, true}) {
        Harness h(folderWithClip7());
        h.put("clip7.php", "page\r\n");
        Form& f = h.form();
        f.controls.Text2 = "clip7.mp4";
        f.controls.Check1 = homepageOnly;
        f.Command1();
        h.runUntilIdle();
        EXPECT_EQ(f.routing.RoutePhase, 2);
        EXPECT_EQ(f.request.HomepageOnly, 0);
        EXPECT_FALSE(f.chainRunning());
        EXPECT_EQ(h.file("clip7.php"), "page\r\n");
    }
}

TEST(Request, MissingPageNoticeThenTheSecondClickBuildsThePage) {
    Harness h(folderWithClip7());
    Form& f = h.form();
    f.controls.Text2 = "clip7.mp4";
    f.controls.Text4 = "new words";
    f.Command1();
    h.runChains();
    EXPECT_TRUE(f.isVisible(Panel::Text11));
    EXPECT_FALSE(h.has("clip7.php"));
    f.clickPanel(Panel::Text11);
    EXPECT_TRUE(f.isVisible(Panel::Text11)) << "this notice has no close action";

    f.Command1();
    h.runChains();
    ASSERT_TRUE(h.has("clip7.php"));
    EXPECT_TRUE(contains(h.file("clip7.php"), "<div class=\"desc\">new words</div>"));
    EXPECT_EQ(f.individ.MissingPageNoticeShown, 0);
    h.advance(25000);
    EXPECT_FALSE(f.isVisible(Panel::Text11));
}

TEST(Request, HomepageOnlyRequestSkipsTheMissingPageNotice) {
    Harness h(folderWithClip7());
    Form& f = h.form();
    f.controls.Text2 = "clip7.mp4";
    f.controls.Text4 = "words";
    f.controls.Check1 = true;
    f.Command1();
    h.advance(4 * 30 + 2 * 30 + 30);
    EXPECT_FALSE(f.isVisible(Panel::Text11));
    EXPECT_EQ(f.routing.RouteCode, 4);
}

} // namespace
} // namespace clipnest
