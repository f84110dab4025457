// Bad input of every kind the user or the folder can hand the tool, and what the user then sees. Each row of
// docs/bad-input.md is backed by a case here.
#include "support/test_support.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

bool invalidNameShown(const Form& f) {
    return f.isVisible(Panel::InvalidName) && f.panels[Panel::InvalidName].text == "Please enter a valid file name.";
}

TEST(BadNames, RefusedForThreeSecondsAndNothingWritten) {
    // clang-format off
    const char* const names[] = {"clip", "", "   ", ".mp4", "  .mp4", ".clip.mp4", "a\\b.mp4", "a/b.mp4", "a:b.mp4",
        "a*b.mp4", "a?b.mp4", "a\"b.mp4", "a<b.mp4", "a>b.mp4", "a|b.mp4", "a\tb.mp4", "a\nb.mp4", "clip\x7f.mp4",
        "clip\U0001F600.mp4", "\xff\xfe.mp4", "clip\u0101.mp4"};
    // clang-format on
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        Harness h;
        Form& f = h.form();
        const std::string notice = f.panels[Panel::HomepageWillBeCreated].text;
        f.request.FileName = "kept.mp4";
        const int writes = h.folder().writes();
        f.controls.first.name = name;
        f.controls.first.homepageOnly = name.size() % 2 == 1; // both kinds of click
        f.createOrChangeEntry(EntryPanel::First);
        EXPECT_FALSE(f.isArmed(Step::Route));
        EXPECT_EQ(f.request.FileName, "kept.mp4");
        h.advance(30);
        EXPECT_TRUE(invalidNameShown(f));
        h.advance(2999);
        EXPECT_TRUE(invalidNameShown(f));
        h.advance(1);
        EXPECT_FALSE(f.isVisible(Panel::InvalidName));
        // The start-up notice stands beside it, its text untouched.
        EXPECT_TRUE(f.isVisible(Panel::HomepageWillBeCreated));
        EXPECT_EQ(f.panels[Panel::HomepageWillBeCreated].text, notice);
        EXPECT_EQ(f.routing.InvalidName, 0);
        EXPECT_FALSE(f.isArmed(Step::ShowInvalidName));
        h.runUntilIdle();
        EXPECT_EQ(h.folder().writes(), writes);
    }
}

TEST(BadNames, InsertAndDeleteRefuseThemToo) {
    Harness h;
    createEntry(h, "clip.mp4", "words");
    const std::string homepage = h.file("homepage.html");
    Form& f = h.form();
    for (const std::string name : {"noperiod", "a|b.mp4", "a\U0001F600.mp4"}) {
        SCOPED_TRACE(name);
        insertEntry(h, name, "clip.mp4");
        EXPECT_TRUE(f.isVisible(Panel::InvalidNames));
        EXPECT_EQ(f.panels[Panel::InvalidNames].text, "  Please enter valid file names.");
        h.runUntilIdle();
    }
    for (const std::string name : {"noperiod", "", " .mp4", "a|b.mp4", "a\U0001F600.mp4"}) {
        SCOPED_TRACE(name);
        deleteEntry(h, name);
        h.advance(100);
        EXPECT_TRUE(invalidNameShown(f));
        EXPECT_EQ(f.del.DeletePending, 0);
        h.runUntilIdle();
    }
    EXPECT_EQ(h.file("homepage.html"), homepage);
}

TEST(BadNames, PeriodAtTheEndAndCodePageLettersAreAccepted) {
    Harness h;
    createEntry(h, "clip.", "words");
    EXPECT_TRUE(h.has("clip.php"));
    createEntry(h, "caf\u00e9 \u20ac5.mp4", "words"); // é and € are in the code page
    EXPECT_TRUE(h.has("caf\xe9 \x80"
                      "5.php"));
    h.advance(100);
    EXPECT_FALSE(invalidNameShown(h.form()));
}

TEST(BadNames, UnknownEntryForDeleteShowsTheNotFoundNotice) {
    Harness h;
    createEntry(h, "clip.mp4", "words");
    const std::string homepage = h.file("homepage.html");
    deleteEntry(h, "other.mp4");
    EXPECT_TRUE(h.form().isVisible(Panel::EntryNotFound));
    EXPECT_EQ(h.file("homepage.html"), homepage);
}

TEST(BadDescriptions, MarkupOutsideTheCodePageAndHugeTextAreKeptAsText) {
    Harness h;
    const std::string huge(2'000'000, 'x');
    createEntry(h, "a.mp4", "<b>bold</b> & \U0001F600", "</textarea><?php echo 1; ?>");
    createEntry(h, "b.mp4", huge);
    const std::string homepage = h.file("homepage.html");
    EXPECT_TRUE(contains(homepage, ">&lt;b&gt;bold&lt;/b&gt; &amp; &#128512;</div>"));
    EXPECT_TRUE(contains(homepage, ">" + huge + "</div>"));
    EXPECT_TRUE(contains(h.file("a.php"), ">&lt;/textarea&gt;&lt;?php echo 1; ?&gt;</div>"));
    EXPECT_FALSE(h.form().isVisible(Panel::FileFailure));
}

// A folder that has run before, holding `homepage` as its homepage, after one append of clip.mp4.
std::string afterAppend(Harness& h) {
    createEntry(h, "clip.mp4", "words");
    EXPECT_TRUE(h.has("clip.php"));
    EXPECT_FALSE(h.form().isVisible(Panel::FileFailure));
    return h.file("homepage.html");
}

TEST(BadHomepages, WithoutMarkersOrEmptyThePageIsWrittenAndTheHomepageKeepsItsText) {
    const std::string mine = "<html><body><p>mine</p></body></html>\r\n";
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", mine}});
    EXPECT_EQ(afterAppend(h), "<html><body><p>mine</p></body></html>\n\r\n") << "no marker: nowhere for an entry";

    Harness empty({{"AppDocs.txt", "\r\n"}, {"homepage.html", ""}});
    EXPECT_EQ(afterAppend(empty), "\r\n");
}

TEST(BadHomepages, CrOnlyLineEndsReadAsLines) {
    const std::string crOnly = "<html>\r<div class=\"gallery2\">\r" + std::string(markers::EndA) + "\r</html>\r";
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", crOnly}});
    const std::string after = afterAppend(h);
    EXPECT_TRUE(after.starts_with("<html>\n<div class=\"gallery2\">\n"));
    EXPECT_LT(after.find("<source src=\"clip.mp4\""), after.find(markers::EndA));
    EXPECT_EQ(after.find('\r'), after.size() - 2);
}

TEST(BadHomepages, BinaryBytesAroundTheMarkersSurviveUnchanged) {
    std::string binary;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n') {
            binary += static_cast<char>(b);
        }
    }
    const std::string page = "<html>\r\n" + binary + "\r\n" + std::string(markers::EndA) + "\r\n" + binary + "\r\n";
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", page}});
    const std::string after = afterAppend(h);
    const std::size_t first = after.find("\n" + binary + "\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(after.find("\n" + binary + "\n", first + 1), std::string::npos);
    EXPECT_TRUE(contains(after, "<source src=\"clip.mp4\""));
}

} // namespace
} // namespace clipnest::testing
