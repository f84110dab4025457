#include "homepage/markers.h"
#include "homepage/text_ops.h"
#include "pages/individual_page.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

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

TEST(Request, AfterABadHomepageOnlyClickAValidClickIsOrdinary) {
    Harness h;
    createEntry(h, "nodot", "", "", true);
    h.runUntilIdle();
    createEntry(h, "clip1.mp4", "first");
    EXPECT_TRUE(h.has("clip1.php"));
    EXPECT_EQ(h.form().routing.RouteCode, 1);
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
    EXPECT_EQ(f.routing.RoutePhase, 4);
    h.runChains();
    EXPECT_EQ(f.routing.RoutePhase, 2);
    EXPECT_EQ(f.routing.RouteCode, 1);

    // A later request routes in two ticks, on the homepage as the disk holds it.
    f.controls.Text2 = "third.mp4";
    f.Command1();
    h.advance(60);
    EXPECT_EQ(f.routing.RoutePhase, 4);
}

TEST(Request, RoutingCases) {
    struct Case {
        const char* name;
        const char* homepage;
        const char* individ;
        bool homepageOnly;
        int routeCode; // 0: ends silently
        Step armed;
    };
    const Case cases[] = {
        {"fresh.mp4", "d", "", false, 1, Step::Timer12},
        {"clip7.mov", "", "long", false, 2, Step::Timer14},  // another extension counts as present
        {"clip7.mp4", "short", "", false, 5, Step::Timer14}, // the click copied the homepage description
        {"clip7.mp4", "short", "long", false, 5, Step::Timer14},
        {"clip7.mp4", "short", "long", true, 4, Step::Timer14},
        {"fresh.mp4", "short", "", true, 4, Step::Timer14},
        {"clip7.mp4", "", "", false, 0, Step::Timer24}, // present, no descriptions
        {"clip7.mp4", "", "", true, 0, Step::Timer24},  // homepage only, no text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.homepage + "/" + c.individ + (c.homepageOnly ? " only" : ""));
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
        EXPECT_EQ(f.request.HomepageOnly, c.routeCode == 4 ? 1 : 0) << "kept only for the homepage-only change";
        if (c.routeCode == 0) {
            h.runUntilIdle();
            EXPECT_EQ(f.routing.RoutePhase, 2);
            EXPECT_FALSE(f.chainRunning());
            EXPECT_EQ(h.file("clip7.php"), "page\r\n");
            continue;
        }
        EXPECT_EQ(f.routing.RouteCode, c.routeCode);
        EXPECT_TRUE(f.isArmed(c.armed));
        if (std::string(c.individ).empty() && !c.homepageOnly) {
            EXPECT_EQ(f.request.IndividDescrip, c.homepage);
        }
    }
}

TEST(Request, MissingPageNoticeThenTheSecondClickBuildsThePageFromTheTemplate) {
    Harness only(folderWithClip7());
    createEntry(only, "clip7.mp4", "words", "", true);
    EXPECT_FALSE(only.form().isVisible(Panel::Text11)) << "a homepage-only change needs no page";
    EXPECT_EQ(only.form().routing.RouteCode, 4);

    Harness h(folderWithClip7());
    Form& f = h.form();
    createEntry(h, "clip7.mp4", "new words");
    EXPECT_TRUE(f.isVisible(Panel::Text11));
    EXPECT_FALSE(h.has("clip7.php"));
    f.clickPanel(Panel::Text11);
    EXPECT_TRUE(f.isVisible(Panel::Text11)) << "this notice has no close action";

    f.Command1();
    h.runChains();
    std::string page = buildIndividualPageTemplate();
    fillIndividualPage(page, "clip7.mp4", "clip7", "new words");
    EXPECT_TRUE(sameText(page + "\r\n", h.file("clip7.php")));
    EXPECT_EQ(f.individ.MissingPageNoticeShown, 0);
    h.advance(25000);
    EXPECT_FALSE(f.isVisible(Panel::Text11));
}

} // namespace
} // namespace clipnest::testing
