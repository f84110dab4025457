#include "support/test_support.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

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

TEST(Document, SeedingGoesInFrontOfTheFirstEndMarkerFoundOrIsLeftOut) {
    const std::string a(markers::EndA), b(markers::EndB), c(markers::EndC);
    const std::string key(markers::FileNameKey), token(markers::FileNameToken);
    struct Case {
        std::string key, text, seeded; // seeded empty: left alone
    };
    for (const Case& t : std::vector<Case>{
             {key, "head\n" + a + "\n" + c + "\n", "head\n\nS\n" + a + "\n" + c + "\n"},
             {key, "head\n<p>" + b + "\n", "head\n<p>\nS\n" + b + "\n"},
             {key, "x</div>\n" + c + "\n", "x</div>\n\nS\n" + c + "\n"},
             {key, "<div>a</div>\n<div>b</div>\n", "<div>a</div>\n<div>b\nS\n</div>\n"}, // before the last </div>
             {key, "", ""},
             {key, "no anchor at all\n", ""},
             {key, "p4yFileNamep5y\n" + a + "\n", ""},
             // The start-up key is the whole token; the editing Steps' key is its prefix.
             {key, "<a href=\"p4yFileNameLessExtp5y.php\">\n</div>\n", ""},
             {token, "<a href=\"p4yFileNameLessExtp5y.php\">\n</div>\n",
              "<a href=\"p4yFileNameLessExtp5y.php\">\n\nS\n</div>\n"},
         }) {
        std::string text = t.text;
        EXPECT_EQ(seedSampleEntry(text, t.key, "S"), !t.seeded.empty()) << t.text;
        EXPECT_EQ(text, t.seeded.empty() ? t.text : t.seeded);
    }
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
    EXPECT_TRUE(isValidFileName("Bob's clip & more.mp4")); // refused names: faults_input_test
}

TEST(Document, FindsTheHomepageUnderItsNamesInOrder) {
    TempDir dir;
    WorkingFolder folder(dir.path());
    EXPECT_FALSE(findHomepage(folder).has_value());
    for (const char* name : {"Homepage.htm", "homepage.htm", "homepage.html"}) {
        folder.write(name, "x");
        EXPECT_EQ(findHomepage(folder), name);
    }
}

std::vector<std::string> names(const std::vector<LiveEntry>& entries) {
    std::vector<std::string> result;
    for (const LiveEntry& e : entries) {
        result.push_back(e.fileName + "=" + e.description);
    }
    return result;
}

TEST(Document, LiveEntriesAreFoundByTheirSourceLines) {
    EXPECT_EQ(names(liveEntries(homepageWith({"a.mp4", "ab.mp4"}))),
              (std::vector<std::string>{"a.mp4=About a.mp4", "ab.mp4=About ab.mp4"}));
    EXPECT_TRUE(liveEntries(homepageWith({})).empty());
    EXPECT_TRUE(liveEntries("").empty());

    // An entry without its description marker does not take the next entry's description.
    std::string page = homepageWith({"a.mp4", "b.mp4"});
    page = with(page, std::string(markers::Description) + "\n    <div class=\"desc\">About a.mp4", "");
    EXPECT_EQ(names(liveEntries(page)), (std::vector<std::string>{"a.mp4=", "b.mp4=About b.mp4"}));

    // A disabled block hides what it holds, up to its end; a source line cut short names nothing.
    page = homepageWith({"a.mp4", "b.mp4", "c.mp4"});
    page = with(page, liveEntry("a.mp4"), std::string(markers::WrapOpen) + liveEntry("a.mp4") + "s4j-->");
    page += "<source src=\"cut.mp4";
    EXPECT_EQ(names(liveEntries(page)), (std::vector<std::string>{"b.mp4=About b.mp4", "c.mp4=About c.mp4"}));
    EXPECT_TRUE(liveEntries(std::string(markers::WrapOpen) + liveEntry("a.mp4")).empty());
}

} // namespace
} // namespace clipnest::testing
