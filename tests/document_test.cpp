#include "homepage/document.h"
#include "homepage/markers.h"
#include "homepage/text_ops.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::splitLines;

TEST(Document, ReadingEndsLinesAtCrLfOrLoneCrAndKeepsLoneLf) {
    EXPECT_EQ(linesWithLf(""), "");
    EXPECT_EQ(linesWithLf("a\r\nb\r\n"), "a\nb\n");
    EXPECT_EQ(linesWithLf("a\rb"), "a\nb\n");
    EXPECT_EQ(linesWithLf("a\r\r\nb"), "a\n\nb\n");
    // What the tool writes (LF lines, one CR LF) reads back as the text plus one LF.
    EXPECT_EQ(linesWithLf("x\ny\n\r\n"), "x\ny\n\n");
    EXPECT_EQ(linesWithLf("x\ny\r\n"), "x\ny\n");
    EXPECT_EQ(linesWithLf("\r\n"), "\n");
}

TEST(Document, SampleEntryHasItsThirteenLinesAndLength) {
    const std::string sample = buildSampleEntry();
    EXPECT_EQ(sample.size(), 811u);
    const auto lines = splitLines(sample);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "<!--n9h <div class=\"gallery\"> s4j-->");
    EXPECT_EQ(lines[1], markers::Link);
    EXPECT_EQ(lines[5], markers::Source);
    EXPECT_EQ(lines[6], "<!--n9h      <source src=\"p4yFileNamep5y\" type=\"video/mp4\"/> s4j-->");
    EXPECT_EQ(lines[8], markers::Description);
    EXPECT_EQ(lines[12], "<!--n9h     </div> s4j-->");
}

TEST(Document, SeedingGoesInFrontOfTheFirstEndMarkerFound) {
    const std::string sample = "SAMPLE";
    const std::string a = std::string(markers::EndA);
    const std::string b = std::string(markers::EndB);
    const std::string c = std::string(markers::EndC);

    std::string text = "head\n" + a + "\n" + c + "\n";
    ASSERT_TRUE(seedSampleEntry(text, markers::FileNameKey, sample));
    EXPECT_EQ(text, "head\n\nSAMPLE\n" + a + "\n" + c + "\n");

    text = "head\n<p>" + b + "\n";
    ASSERT_TRUE(seedSampleEntry(text, markers::FileNameKey, sample));
    EXPECT_EQ(text, "head\n<p>\nSAMPLE\n" + b + "\n");

    text = "x</div>\n" + c + "\n";
    ASSERT_TRUE(seedSampleEntry(text, markers::FileNameKey, sample));
    EXPECT_EQ(text, "x</div>\n\nSAMPLE\n" + c + "\n");

    text = "<div>a</div>\n<div>b</div>\n";
    ASSERT_TRUE(seedSampleEntry(text, markers::FileNameKey, sample));
    EXPECT_EQ(text, "<div>a</div>\n<div>b\nSAMPLE\n</div>\n") << "no marker: in front of the last </div>";
}

TEST(Document, SeedingLeavesTextWithTheKeyOrWithoutAnchorAlone) {
    for (const std::string& unchanged :
         std::vector<std::string>{std::string(""), std::string("no anchor at all\n"),
                                  "p4yFileNamep5y\n" + std::string(markers::EndA) + "\n"}) {
        std::string text = unchanged;
        EXPECT_FALSE(seedSampleEntry(text, markers::FileNameKey, "S"));
        EXPECT_EQ(text, unchanged);
    }
    // The start-up key is the whole token; the editing Steps' key is its prefix.
    std::string text = "<a href=\"p4yFileNameLessExtp5y.php\">\n</div>\n";
    EXPECT_FALSE(seedSampleEntry(text, markers::FileNameKey, "S"));
    EXPECT_TRUE(seedSampleEntry(text, markers::FileNameToken, "S"));
}

TEST(Document, EntryRecognitionAndFileNames) {
    const std::string page = "<a href=\"clip7.php\">\n<source src=\"clip7.mp4\" type=\"video/mp4\"/>\n";
    EXPECT_TRUE(entryPresent(page, "clip7"));
    EXPECT_FALSE(entryPresent(page, "Clip7")) << "case counts";
    EXPECT_FALSE(entryPresent(page, "clip"));
    EXPECT_TRUE(contains(page, entrySourceKey("clip7.mp4")));
    EXPECT_FALSE(contains(page, entrySourceKey("clip7.mpg")));

    EXPECT_EQ(withoutExtension("a.b.c"), "a");
    EXPECT_EQ(withoutExtension("clip."), "clip");
    EXPECT_TRUE(isValidFileName("clip."));
    EXPECT_TRUE(isValidFileName("Bob's clip & more.mp4"));
    for (const std::string& bad :
         std::vector<std::string>{"clip", ".clip.mp4", "", "a/b.mp4", "..\\x.mp4", "a:b.mp4", "a*.mp4", "a?.mp4",
                                  "a\".mp4", "a<b.mp4", "a>b.mp4", "a|b.mp4", "a\tb.mp4", "a\nb.mp4", "a\x7f.mp4"}) {
        EXPECT_FALSE(isValidFileName(bad)) << bad;
    }
}

TEST(Document, FindsTheHomepageUnderItsNamesInOrder) {
    testing::TempDir dir;
    WorkingFolder folder(dir.path());
    EXPECT_FALSE(findHomepage(folder).has_value());
    folder.write("Homepage.htm", "x");
    EXPECT_EQ(findHomepage(folder), "Homepage.htm");
    folder.write("homepage.htm", "x");
    EXPECT_EQ(findHomepage(folder), "homepage.htm");
    folder.write("homepage.html", "x");
    EXPECT_EQ(findHomepage(folder), "homepage.html");
}

} // namespace
} // namespace clipnest
