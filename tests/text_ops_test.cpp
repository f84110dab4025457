#include "text/text_ops.h"

#include <random>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

TEST(TextOps, ReplaceAllIsOneLeftToRightPass) {
    std::string s = "a TOK b TOK c";
    replaceAll(s, "TOK", "x");
    EXPECT_EQ(s, "a x b x c");
    // A value holding its own token is inserted once and the pass ends.
    s = "TOK|TOK";
    replaceAll(s, "TOK", "<TOK>");
    EXPECT_EQ(s, "<TOK>|<TOK>");
    // Text formed by joining a replacement with its neighbours is not searched again.
    s = "aabb";
    replaceAll(s, "ab", "");
    EXPECT_EQ(s, "ab");
    s = "none";
    replaceAll(s, "", "x");
    EXPECT_EQ(s, "none");
}

TEST(TextOps, FindTextAgreesWithTheStandardSearch) {
    std::mt19937 random(7);
    const std::string alphabet = "ab4<9";
    auto draw = [&](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) {
            s += alphabet[random() % alphabet.size()];
        }
        return s;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::string text = draw(random() % 40);
        const std::string part = draw(random() % 5);
        for (std::size_t from = 0; from <= text.size() + 1; ++from) {
            ASSERT_EQ(findText(text, part, from), std::string_view(text).find(part, from))
                << "[" << text << "] [" << part << "] from " << from;
        }
        ASSERT_EQ(findLastText(text, part), std::string_view(text).rfind(part)) << "[" << text << "] [" << part << "]";
    }
}

TEST(TextOps, ReplaceEachTakesWhicheverTokenComesFirst) {
    std::string s = "<!--w <a href=\"T.php\"> w--> <b>D</b> T";
    replaceEach(s, {{"T", "x.mp4"}, {"D", "T and D"}, {"<!--w ", ""}, {" w-->", ""}});
    EXPECT_EQ(s, "<a href=\"x.mp4.php\"> <b>T and D</b> x.mp4");
    // Overlapping candidates: the earlier position wins, then the earlier-listed token.
    s = "abcabc";
    replaceEach(s, {{"bc", "1"}, {"ab", "2"}, {"a", "3"}});
    EXPECT_EQ(s, "2c2c");
}

TEST(TextOps, FindRunReplaceFirstAndStripBlanks) {
    EXPECT_EQ(findRun("a\n\n\n\n\n\nb", '\n', 6), 1u);
    EXPECT_EQ(findRun("a\n\n\n\n\nb\n\n\n\n\n\n\n", '\n', 6), 7u);
    EXPECT_EQ(findRun("\n\n\n\n\n", '\n', 6), std::string_view::npos);
    std::string s = "TOK TOK";
    replaceFirst(s, "TOK", "x");
    EXPECT_EQ(s, "x TOK");
    EXPECT_EQ(stripBlanks("  a b \t "), "a b \t");
    EXPECT_EQ(stripBlanks("\n a \n"), "\n a \n");
    EXPECT_EQ(stripBlanks("    "), "");
}

TEST(TextOps, SetContentAfterMarkerReplacesOnlyTheElementContentOrLeavesBrokenTextAlone) {
    std::string page = "<!-- x M. -->\n<div class=\"desc\">old</div>\nrest";
    ASSERT_TRUE(setContentAfterMarker(page, "M", "new &amp; better"));
    EXPECT_EQ(page, "<!-- x M. -->\n<div class=\"desc\">new &amp; better</div>\nrest");
    // An empty old content, and a search that starts past an earlier marker.
    std::string two = "M<p></p> M<p>x</p>";
    ASSERT_TRUE(setContentAfterMarker(two, "M", "y", 3));
    EXPECT_EQ(two, "M<p></p> M<p>y</p>");
    for (const std::string& broken :
         std::vector<std::string>{"no marker here", "M and no tag", "M <div no end", "M <div> text without end"}) {
        std::string text = broken;
        EXPECT_FALSE(setContentAfterMarker(text, "M", "v")) << broken;
        EXPECT_EQ(text, broken);
    }
}

} // namespace
} // namespace clipnest
