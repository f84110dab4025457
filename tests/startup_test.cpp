#include "support/test_support.h"
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

TEST(StartUp, EmptyFolderFirstStart) {
    Harness h({}, false);
    Form& f = h.form();
    h.advance(199);
    EXPECT_FALSE(h.has("AppDocs.txt")) << "the first tick comes 200 ms after the window opens";
    h.advance(1);
    EXPECT_EQ(h.file("AppDocs.txt"), "\r\n");
    h.advance(90);
    EXPECT_TRUE(f.isVisible(Panel::HomepageWillBeCreated));
    EXPECT_FALSE(f.isVisible(Panel::HomepageNotFound));
    EXPECT_FALSE(h.has("homepage.html")) << "the default homepage stays in memory";
    EXPECT_EQ(f.homepage.PageText, buildDefaultHomepage("", "", buildSampleEntry()));
    EXPECT_EQ(f.startup.IndividualPageTemplate, buildIndividualPageTemplate());

    // The notice, shown by the tick at 230 ms, hides itself 25 seconds later.
    h.advance(25230 - 290 - 1);
    EXPECT_TRUE(f.isVisible(Panel::HomepageWillBeCreated));
    h.advance(1);
    EXPECT_FALSE(f.isVisible(Panel::HomepageWillBeCreated));
    EXPECT_FALSE(f.scheduler().nextDue().has_value());
}

TEST(StartUp, SecondStartWithoutHomepageShowsTheOtherNotice) {
    Harness h({{"AppDocs.txt", std::string("my notes\r\n")}});
    Form& f = h.form();
    EXPECT_EQ(h.file("AppDocs.txt"), "my notes\r\n");
    EXPECT_TRUE(f.isVisible(Panel::HomepageNotFound));
    EXPECT_FALSE(f.isVisible(Panel::HomepageWillBeCreated));
    f.clickPanel(Panel::HomepageNotFound);
    EXPECT_FALSE(f.isVisible(Panel::HomepageNotFound));
}

TEST(StartUp, FolderWithOnlyHomepageHtmLoadsItAndSeedsTheSample) {
    const std::string handMade =
        "<html>\r\n<div class=\"gallery\">mine</div>\r\n" + std::string(markers::EndA) + "\r\n</html>\r\n";
    Harness h({{"Homepage.htm", handMade}});
    Form& f = h.form();
    EXPECT_FALSE(f.isVisible(Panel::HomepageWillBeCreated));
    EXPECT_FALSE(f.isVisible(Panel::HomepageNotFound));
    EXPECT_EQ(f.homepage.PageText, "<html>\n<div class=\"gallery\">mine</div>\n\n" + buildSampleEntry() + "\n" +
                                       std::string(markers::EndA) + "\n</html>\n");
    EXPECT_EQ(h.file("Homepage.htm"), handMade) << "start-up writes no homepage";
    EXPECT_FALSE(h.has("homepage.html"));
    EXPECT_EQ(h.file("AppDocs.txt"), "\r\n");
}

} // namespace
} // namespace clipnest::testing
