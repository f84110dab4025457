#include "homepage/document.h"
#include "homepage/markers.h"
#include "pages/default_homepage.h"
#include "pages/individual_page.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;
using testing::splitLines;

TEST(StartUp, EmptyFolderFirstStart) {
    Harness h({}, false);
    Form& f = h.form();
    EXPECT_TRUE(f.isArmed(Step::Timer8));
    h.advance(199);
    EXPECT_FALSE(h.has("AppDocs.txt")) << "the first tick comes 200 ms after the window opens";
    h.advance(1);
    EXPECT_EQ(h.file("AppDocs.txt"), "\r\n");
    h.advance(90);
    EXPECT_FALSE(f.isArmed(Step::Timer8));
    EXPECT_EQ(f.startup.StartupPhase, 0);
    EXPECT_EQ(f.startup.AppDocsState, 0);
    EXPECT_EQ(f.startup.DefaultHomepageBuilt, 1);
    EXPECT_EQ(f.homepage.HomepageLoaded, 0);
    EXPECT_TRUE(f.isVisible(Panel::Text15));
    EXPECT_FALSE(f.isVisible(Panel::Text17));
    EXPECT_FALSE(h.has("homepage.html")) << "the default homepage stays in memory";

    const std::string& page = f.homepage.PageText;
    EXPECT_EQ(page, buildDefaultHomepage("", "", buildSampleEntry()));
    EXPECT_EQ(splitLines(page).size(), 141u);
    EXPECT_EQ(f.startup.IndividualPageTemplate, buildIndividualPageTemplate());

    // The notice, shown by the tick at 230 ms, hides itself 25 seconds later.
    h.advance(25230 - 290 - 1);
    EXPECT_TRUE(f.isVisible(Panel::Text15));
    h.advance(1);
    EXPECT_FALSE(f.isVisible(Panel::Text15));
    EXPECT_FALSE(f.scheduler().nextDue().has_value());
}

TEST(StartUp, SecondStartWithoutHomepageShowsTheOtherNotice) {
    Harness h({{"AppDocs.txt", std::string("my notes\r\n")}});
    Form& f = h.form();
    EXPECT_EQ(h.file("AppDocs.txt"), "my notes\r\n");
    EXPECT_EQ(f.startup.AppDocsState, 2);
    EXPECT_TRUE(f.isVisible(Panel::Text17));
    EXPECT_FALSE(f.isVisible(Panel::Text15));
    f.clickPanel(Panel::Text17);
    EXPECT_FALSE(f.isVisible(Panel::Text17));
}

TEST(StartUp, LoadsAHomepageUnderAnyOfItsNamesAndSeedsOnlyWhenTheSampleIsMissing) {
    const std::string handMade =
        "<html>\r\n<div class=\"gallery\">mine</div>\r\n" + std::string(markers::EndA) + "\r\n</html>\r\n";
    Harness h({{"AppDocs.txt", "\r\n"}, {"Homepage.htm", handMade}});
    Form& f = h.form();
    EXPECT_EQ(f.homepage.HomepageLoaded, 1);
    EXPECT_FALSE(f.isVisible(Panel::Text15));
    EXPECT_FALSE(f.isVisible(Panel::Text17));
    EXPECT_EQ(f.homepage.PageText, "<html>\n<div class=\"gallery\">mine</div>\n\n" + buildSampleEntry() + "\n" +
                                       std::string(markers::EndA) + "\n</html>\n");
    EXPECT_EQ(h.file("Homepage.htm"), handMade) << "start-up writes no homepage";

    Harness empty({{"AppDocs.txt", "\r\n"}, {"homepage.html", ""}});
    EXPECT_EQ(empty.form().homepage.HomepageLoaded, 1);
    EXPECT_EQ(empty.form().homepage.PageText, "");
}

TEST(StartUp, DefaultHomepageCarriesTheStoredTitleAndMessage) {
    const std::string page = buildDefaultHomepage("My &amp; title", "Hello", "S");
    const auto lines = splitLines(page);
    ASSERT_EQ(lines.size(), 129u);
    EXPECT_EQ(lines[104], std::string(markers::Title) + "My &amp; title");
    EXPECT_EQ(lines[110], std::string(markers::Message) + "Hello");
    EXPECT_EQ(lines[121], "S");
    EXPECT_EQ(lines[124], markers::EndA);
    EXPECT_EQ(lines[125], markers::EndC);
}

} // namespace
} // namespace clipnest
