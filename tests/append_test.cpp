#include "support/test_support.h"
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

TEST(Append, FirstEntryInAnEmptyFolder) {
    Harness h;
    createEntry(h, " clip7.mp4 ", "My first clip", "A longer story");

    const std::string sample = buildSampleEntry();
    std::string expected = buildDefaultHomepage("", "", sample);
    const std::string live = liveEntry("clip7.mp4", "My first clip");
    expected.replace(expected.find(sample), sample.size(), live);
    expected.insert(expected.find(markers::EndA), "\n" + sample + "\n");
    const std::string homepage = h.file("homepage.html");
    EXPECT_TRUE(sameText(expected + "\r\n", homepage));

    const auto lines = splitLines(live);
    EXPECT_EQ(lines[0], " <div class=\"gallery\"> ");
    EXPECT_EQ(lines[2], " <a href=\"clip7.php\"> ");
    EXPECT_EQ(lines[6], "      <source src=\"clip7.mp4\" type=\"video/mp4\"/> ");
    EXPECT_EQ(lines[9], "    <div class=\"desc\">My first clip</div> ");

    std::string page = buildIndividualPageTemplate();
    fillIndividualPage(page, "clip7.mp4", "clip7", "A longer story");
    EXPECT_TRUE(sameText(page + "\r\n", h.file("clip7.php")));
    EXPECT_TRUE(contains(page, "<source src=\"clip7.mp4\" type=\"video/mp4\" /></video>"));
    EXPECT_FALSE(contains(page, "p4y"));
    EXPECT_EQ(h.form().homepage.PageText + "\r\n", homepage) << "memory holds what was written";
}

TEST(Append, SecondEntryInTheSameRunGoesBehindTheFirst) {
    Harness h;
    createEntry(h, "one.mp4", "First");
    createEntry(h, "two.mpg", "Second");
    const std::string text = h.file("homepage.html");
    const std::string entries = liveEntry("one.mp4", "First") + "\n\n\n\n" + liveEntry("two.mpg", "Second") + "\n\n";
    EXPECT_LT(text.find(entries + buildSampleEntry()), text.find(markers::EndA));
    EXPECT_EQ(text.find("p4yFileNamep5y", text.find("p4yFileNamep5y") + 1), std::string::npos) << "one sample entry";
    EXPECT_TRUE(contains(h.file("two.php"), "<div class=\"desc\">Second</div>"));
}

TEST(Append, HandMadeHomepageWithoutSampleGetsOneAndKeepsItsBlankLinesShort) {
    const std::string handMade = "<body>\r\n<div class=\"gallery\">by hand</div>\r\n\r\n\r\n\r\n\r\n\r\n" +
                                 std::string(markers::EndA) + "\r\n</body>\r\n";
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", handMade}});
    createEntry(h, "clip.mp4", "described");
    // Six LFs in a row (seven here) lose three.
    const std::string expected = "<body>\n<div class=\"gallery\">by hand</div>\n\n\n\n" +
                                 liveEntry("clip.mp4", "described") + "\n\n" + buildSampleEntry() + "\n" +
                                 std::string(markers::EndA) + "\n</body>\n\r\n";
    EXPECT_TRUE(sameText(expected, h.file("homepage.html")));
}

TEST(Append, DescriptionsReachThePagesAsPageText) {
    Harness h;
    createEntry(h, "Bob's clip.mp4", "Tom & Jerry <3 caf\xC3\xA9 \xE2\x98\x95", "");
    const std::string homepage = h.file("homepage.html");
    EXPECT_TRUE(contains(homepage, "<div class=\"desc\">Tom &amp; Jerry &lt;3 caf\xE9 &#9749;</div>"));
    EXPECT_TRUE(contains(homepage, "<a href=\"Bob's clip.php\">"));
    const std::string page = h.file("Bob's clip.php");
    EXPECT_TRUE(contains(page, "<div class=\"desc\">Tom &amp; Jerry &lt;3 caf&#233; &#9749;</div>"));
    EXPECT_TRUE(contains(page, "$filename = 'Bob\\'s clip_comments.txt';"));

    // The page declares UTF-8: a code-page letter of the file name goes into its source as a reference.
    createEntry(h, "caf\xC3\xA9.mp4", "x");
    EXPECT_TRUE(contains(h.file("caf\xE9.php"), "<source src=\"caf&#233;.mp4\""));
    EXPECT_TRUE(contains(h.file("homepage.html"), "<source src=\"caf\xE9.mp4\""));
}

TEST(Append, ExistingPageFileIsReadOnTheFirstRequestAndKeepsItsOwnText) {
    Harness h({{"AppDocs.txt", "\r\n"},
               {"clip.php", "<p>mine</p>\r\n<!-- between this tag and the Individual "
                            "description -->\r\n<div class=\"desc\">old</div>\r\n"}});
    createEntry(h, "clip.mp4", "home", "fresh words");
    EXPECT_EQ(h.file("clip.php"),
              "<p>mine</p>\n<!-- between this tag and the Individual description -->\n<div class=\"desc\">fresh "
              "words</div>\n\r\n");
}

} // namespace
} // namespace clipnest::testing
