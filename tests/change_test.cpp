#include "support/test_support.h"
#include "text/markers.h"

#include <algorithm>

namespace clipnest::testing {
namespace {

std::string desc(const std::string& d) {
    return "<div class=\"desc\">" + d + "</div>";
}

// A page read and written `times` more: every read keeps an LF where the CR LF ended the file.
std::string reread(std::string page, int times) {
    page.insert(page.size() - 2, std::string(times, '\n'));
    return page;
}

bool wrote(Harness& h, const std::string& name) {
    const auto& w = h.folder().written;
    return std::find(w.begin(), w.end(), name) != w.end();
}

struct ChangeTest : ::testing::Test {
    void SetUp() override {
        createEntry(h, "clip7.mp4", "Old home", "Old individ");
        home0 = h.file("homepage.html");
        page0 = h.file("clip7.php");
        h.folder().written.clear();
    }
    Harness h;
    std::string home0, page0;
};

TEST_F(ChangeTest, EachRoutingCaseChangesExactlyItsDescriptions) {
    // Case 5: individual description only; the homepage is not written.
    createEntry(h, "clip7.mp4", "", "New individ");
    EXPECT_EQ(h.form().routing.RouteCode, 2);
    EXPECT_TRUE(sameText(reread(with(page0, desc("Old individ"), desc("New individ")), 1), h.file("clip7.php")));
    EXPECT_FALSE(wrote(h, "homepage.html"));
    EXPECT_EQ(h.file("homepage.html"), home0);

    // An empty individual box takes the homepage description (case 7); one blank is kept as it is.
    createEntry(h, "clip7.mp4", " ", "");
    EXPECT_EQ(h.form().routing.RouteCode, 5);
    EXPECT_TRUE(sameText(reread(with(page0, desc("Old individ"), desc(" ")), 2), h.file("clip7.php")));
    EXPECT_TRUE(sameText(with(home0, desc("Old home"), desc(" ")), h.file("homepage.html")));

    // Case 6: a request that reaches routing with no individual description (the click never leaves one so).
    EntryRequest& q = h.form().request;
    q = EntryRequest{"clip7.mp4", "clip7", "Home 6", "", 0};
    h.form().arm(Step::Route);
    h.runChains();
    EXPECT_EQ(h.form().routing.RouteCode, 3);
    EXPECT_TRUE(sameText(reread(with(page0, desc("Old individ"), desc("Home 6")), 3), h.file("clip7.php")));
    EXPECT_TRUE(sameText(with(home0, desc("Old home"), desc("Home 6")), h.file("homepage.html")));

    // Case 7: both given.
    createEntry(h, "clip7.mp4", "Home 7", "Individ 7");
    EXPECT_EQ(h.form().routing.RouteCode, 5);
    EXPECT_TRUE(sameText(reread(with(page0, desc("Old individ"), desc("Individ 7")), 4), h.file("clip7.php")));
    EXPECT_TRUE(sameText(with(home0, desc("Old home"), desc("Home 7")), h.file("homepage.html")));

    // Case 10: homepage only; the individual box is ignored and the page is not written.
    h.folder().written.clear();
    createEntry(h, "clip7.mp4", "Only home", "Ignored", true);
    EXPECT_EQ(h.form().routing.RouteCode, 4);
    EXPECT_EQ(h.form().request.HomepageOnly, 0);
    EXPECT_FALSE(wrote(h, "clip7.php"));
    EXPECT_TRUE(sameText(reread(with(page0, desc("Old individ"), desc("Individ 7")), 4), h.file("clip7.php")));
    EXPECT_TRUE(sameText(with(home0, desc("Old home"), desc("Only home")), h.file("homepage.html")));
    EXPECT_EQ(h.form().homepage.PageText + "\r\n", h.file("homepage.html"));
    EXPECT_FALSE(h.form().isArmed(Step::ChangeDescriptions));
    EXPECT_EQ(h.form().change.ChangePhase, 0);
}

TEST_F(ChangeTest, AnotherExtensionChangesThePageButNotTheEntry) {
    createEntry(h, "clip7.mpg", "Other", "");
    EXPECT_EQ(h.form().routing.RouteCode, 5);
    EXPECT_TRUE(wrote(h, "homepage.html"));
    EXPECT_EQ(h.file("homepage.html"), home0);
    // The page shared by both names is the one in the folder, with only its description changed.
    EXPECT_TRUE(sameText(reread(with(page0, desc("Old individ"), desc("Other")), 1), h.file("clip7.php")));
}

TEST_F(ChangeTest, PageReadFromDiskGetsOnlyItsDescriptionReplaced) {
    // Read on the first request, the page keeps its text (plus the LF the read adds).
    Harness later({{"homepage.html", home0}, {"AppDocs.txt", "\r\n"}, {"clip7.php", page0}});
    createEntry(later, "clip7.mp4", "", "Reread");
    const std::string expected = page0.substr(0, page0.size() - 2) + "\n\r\n";
    EXPECT_TRUE(sameText(with(expected, desc("Old individ"), desc("Reread")), later.file("clip7.php")));
}

} // namespace
} // namespace clipnest::testing
