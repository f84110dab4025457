#include "support/test_support.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/text_ops.h"

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
    f.controls.second.name = "  my.clip.mp4 ";
    f.controls.second.homepageDescription = " Caf\xC3\xA9 <live> ";
    f.controls.first.name = "other.mp4";
    f.createOrChangeEntry(EntryPanel::Second);
    EXPECT_EQ(f.request.FileName, "my.clip.mp4");
    EXPECT_EQ(f.request.FileNameLessExt, "my");
    EXPECT_EQ(f.request.HomepageDescrip, " Caf\xE9 &lt;live&gt; ") << "descriptions are not trimmed";
    EXPECT_EQ(f.request.IndividDescrip, " Caf&#233; &lt;live&gt; ") << "the individual page declares UTF-8";
    EXPECT_EQ(f.request.HomepageOnly, 0);
    EXPECT_TRUE(f.isArmed(Step::Route));

    f.controls.first.name = "clip.";
    f.controls.first.homepageDescription = "home";
    f.controls.first.pageDescription = "";
    f.controls.first.homepageOnly = true;
    f.createOrChangeEntry(EntryPanel::First);
    EXPECT_EQ(f.request.FileNameLessExt, "clip");
    EXPECT_EQ(f.request.IndividDescrip, "") << "homepage only: the individual description is not copied";
    EXPECT_EQ(f.request.HomepageOnly, 1);
    f.controls.first.pageDescription = "\xE2\x98\x95";
    f.createOrChangeEntry(EntryPanel::First);
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
    f.controls.first.name = "new.mp4";
    f.controls.first.homepageDescription = "d";
    f.createOrChangeEntry(EntryPanel::First);
    for (int phase = 1; phase <= 3; ++phase) {
        h.advance(30);
        EXPECT_EQ(f.routing.RoutePhase, phase);
        EXPECT_TRUE(f.isArmed(Step::Route));
    }
    h.advance(30);
    EXPECT_TRUE(f.isArmed(Step::PreparePage)) << "no page text held: the template is prepared first";
    EXPECT_EQ(f.routing.RoutePhase, 4);
    h.runChains();
    EXPECT_EQ(f.routing.RoutePhase, 2);
    EXPECT_EQ(f.routing.RouteCode, 1);

    // A later request routes in two ticks, on the homepage as the disk holds it.
    f.controls.first.name = "third.mp4";
    f.createOrChangeEntry(EntryPanel::First);
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
        {"fresh.mp4", "d", "", false, 1, Step::Append},
        {"clip7.mov", "", "long", false, 2, Step::ChangeDescriptions},  // another extension counts as present
        {"clip7.mp4", "short", "", false, 5, Step::ChangeDescriptions}, // the click copied the homepage description
        {"clip7.mp4", "short", "long", false, 5, Step::ChangeDescriptions},
        {"clip7.mp4", "short", "long", true, 4, Step::ChangeDescriptions},
        {"fresh.mp4", "short", "", true, 4, Step::ChangeDescriptions},
        {"clip7.mp4", "", "", false, 0, Step::Route}, // present, no descriptions
        {"clip7.mp4", "", "", true, 0, Step::Route},  // homepage only, no text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.homepage + "/" + c.individ + (c.homepageOnly ? " only" : ""));
        Harness h(folderWithClip7());
        h.put("clip7.php", "page\r\n");
        h.put("fresh.php", "page\r\n");
        Form& f = h.form();
        f.controls.first.name = c.name;
        f.controls.first.homepageDescription = c.homepage;
        f.controls.first.pageDescription = c.individ;
        f.controls.first.homepageOnly = c.homepageOnly;
        f.createOrChangeEntry(EntryPanel::First);
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
    EXPECT_FALSE(only.form().isVisible(Panel::PageNotFound)) << "a homepage-only change needs no page";
    EXPECT_EQ(only.form().routing.RouteCode, 4);

    Harness h(folderWithClip7());
    Form& f = h.form();
    createEntry(h, "clip7.mp4", "new words");
    EXPECT_TRUE(f.isVisible(Panel::PageNotFound));
    EXPECT_FALSE(h.has("clip7.php"));
    f.clickPanel(Panel::PageNotFound);
    EXPECT_TRUE(f.isVisible(Panel::PageNotFound)) << "this notice has no close action";

    f.createOrChangeEntry(EntryPanel::First);
    h.runChains();
    std::string page = buildIndividualPageTemplate();
    fillIndividualPage(page, "clip7.mp4", "clip7", "new words");
    EXPECT_TRUE(sameText(page + "\r\n", h.file("clip7.php")));
    EXPECT_EQ(f.individ.MissingPageNoticeShown, 0);
    h.advance(25000);
    EXPECT_FALSE(f.isVisible(Panel::PageNotFound));
}

} // namespace
} // namespace clipnest::testing
