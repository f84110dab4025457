#include "core/steps/default_homepage.h"
#include "support/test_support.h"
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/markers.h"

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;

// A request that reaches routing before start-up has loaded or built a homepage goes to the default-homepage Step,
// which only looks at the folder on its second run since the window opened.
TEST(DefaultHomepageStep, LooksOnlyOnItsSecondRunAndBuildsOnce) {
    Harness h({{"AppDocs.txt", std::string("\r\n")}}, false);
    Form& f = h.form();
    f.startup.AppDocsState = 1;
    f.homepage.SampleEntry = buildSampleEntry();
    f.routing.RoutePhase = 3;
    f.request.FileNameLessExt = "clip";
    f.arm(Step::Route);
    f.disarm(Step::StartUp);
    h.advance(30);
    EXPECT_TRUE(f.isArmed(Step::DefaultHomepage)) << "no homepage loaded or built yet";
    h.advance(30);
    EXPECT_FALSE(f.isArmed(Step::DefaultHomepage));
    EXPECT_EQ(f.startup.DefaultHomepageArmCount, 1);
    EXPECT_TRUE(f.homepage.PageText.empty()) << "the first run does not look at the folder";

    buildOrReadHomepage(f);
    EXPECT_EQ(f.startup.DefaultHomepageBuilt, 1);
    EXPECT_EQ(f.homepage.PageText, buildDefaultHomepage("", "", f.homepage.SampleEntry));
    EXPECT_TRUE(f.isVisible(Panel::HomepageNotFound));
    EXPECT_EQ(f.startup.AppDocsState, 2);

    f.homepage.PageText = "kept\n";
    buildOrReadHomepage(f);
    EXPECT_EQ(f.startup.DefaultHomepageArmCount, 3);
    EXPECT_EQ(f.homepage.PageText, "kept\n");
}

TEST(DefaultHomepageStep, SecondRunReadsAHomepageThatAppearedOrKeepsAnAlreadyBuiltOne) {
    Harness h({{"homepage.htm", "<p>x</p>\r\n" + std::string(markers::EndB) + "\r\n"}}, false);
    Form& f = h.form();
    f.homepage.SampleEntry = buildSampleEntry();
    buildOrReadHomepage(f);
    buildOrReadHomepage(f);
    EXPECT_EQ(f.homepage.HomepageLoaded, 1);
    EXPECT_EQ(f.homepage.PageText, "<p>x</p>\n\n" + buildSampleEntry() + "\n" + std::string(markers::EndB) + "\n");

    // Start-up built the default homepage between the routing and this Step: it is counted, not built again.
    Harness empty({}, false);
    Form& g = empty.form();
    g.startup.DefaultHomepageBuilt = 1;
    g.homepage.PageText = "held\n";
    buildOrReadHomepage(g);
    buildOrReadHomepage(g);
    EXPECT_EQ(g.startup.DefaultHomepageBuilt, 2);
    EXPECT_EQ(g.homepage.PageText, "held\n");
}

} // namespace
} // namespace clipnest
