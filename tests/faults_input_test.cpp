// Bad input of every kind the user or the folder can hand the tool, and what the user then sees. Each row of
// docs/bad-input.md is backed by a case here.
#include "homepage/markers.h"
#include "homepage/text_ops.h"
#include "support/test_support.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;

void create(Harness& h, const std::string& name, const std::string& homepage = "words", const std::string& ind = "") {
    Controls& c = h.form().controls;
    c.Text2 = name;
    c.Text4 = homepage;
    c.Text5 = ind;
    h.form().Command1();
    h.runChains();
    h.advance(100); // the invalid-name message shows on its first tick
}

// ---- Names ----

// Text15 also carries the start-up notice, so the message is told by its text.
bool invalidNameShown(const Form& f) {
    return f.isVisible(Panel::Text15) && f.panels[Panel::Text15].text == "Please enter a valid file name.";
}

TEST(BadNames, RefusedWithTheInvalidNameMessageAndNothingWritten) {
    const std::vector<std::string> names = {"clip",         "",
                                            "   ",          ".mp4",
                                            "  .mp4",       "a\\b.mp4",
                                            "a/b.mp4",      "a:b.mp4",
                                            "a*b.mp4",      "a?b.mp4",
                                            "a\"b.mp4",     "a<b.mp4",
                                            "a>b.mp4",      "a|b.mp4",
                                            "a\tb.mp4",     "a\nb.mp4",
                                            "clip\x7f.mp4", "clip\U0001F600.mp4",
                                            "\xff\xfe.mp4", "clip\u0101.mp4"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        Harness h;
        const int writes = h.folder().writes();
        create(h, name);
        EXPECT_TRUE(invalidNameShown(h.form()));
        EXPECT_EQ(h.folder().writes(), writes);
        h.advance(3100);
        EXPECT_FALSE(invalidNameShown(h.form())) << "the message goes after three seconds";
    }
}

TEST(BadNames, InsertAndDeleteRefuseThemToo) {
    Harness h;
    create(h, "clip.mp4");
    const std::string homepage = h.file("homepage.html");
    Form& f = h.form();

    for (const std::string name : {"noperiod", ".mp4", "a|b.mp4", "a\U0001F600.mp4"}) {
        SCOPED_TRACE(name);
        f.controls.Text20 = name;
        f.controls.Text25 = "clip.mp4";
        f.Command9();
        h.runChains();
        h.advance(100);
        EXPECT_TRUE(f.isVisible(Panel::Text28));
        EXPECT_EQ(f.panels[Panel::Text28].text, "  Please enter valid file names.");
        f.hide(Panel::Text28);
        f.hide(Panel::Text15);
        EXPECT_EQ(h.file("homepage.html"), homepage);

        f.controls.Text2 = name;
        f.Command5();
        h.runChains();
        h.advance(100);
        EXPECT_TRUE(invalidNameShown(f));
        h.advance(30000);
        EXPECT_EQ(h.file("homepage.html"), homepage);
    }
}

TEST(BadNames, PeriodAtTheEndAndCodePageLettersAreAccepted) {
    Harness h;
    create(h, "clip.");
    EXPECT_TRUE(h.has("clip.php"));
    EXPECT_FALSE(invalidNameShown(h.form()));
    create(h, "caf\u00e9 \u20ac5.mp4"); // é and € are in the code page
    EXPECT_TRUE(h.has("caf\xe9 \x80"
                      "5.php"));
    EXPECT_FALSE(invalidNameShown(h.form()));
}

// ---- Descriptions ----

TEST(BadDescriptions, MarkupOutsideTheCodePageAndHugeTextAreKeptAsText) {
    Harness h;
    const std::string huge(2'000'000, 'x');
    create(h, "a.mp4", "<b>bold</b> & \U0001F600", "</textarea><?php echo 1; ?>");
    create(h, "b.mp4", huge);
    const std::string homepage = h.file("homepage.html");
    EXPECT_TRUE(contains(homepage, ">&lt;b&gt;bold&lt;/b&gt; &amp; &#128512;</div>"));
    EXPECT_TRUE(contains(homepage, ">" + huge + "</div>"));
    const std::string page = h.file("a.php");
    EXPECT_TRUE(contains(page, ">&lt;/textarea&gt;&lt;?php echo 1; ?&gt;</div>"));
    EXPECT_FALSE(h.form().isVisible(Panel::FileFailure));
}

// ---- Homepage files ----

std::string entryFor(const std::string& name) {
    return "<source src=\"" + name + "\"";
}

TEST(BadHomepages, WithoutMarkersThePageIsWrittenAndTheHomepageKeepsItsText) {
    const std::string mine = "<html><body><p>mine</p></body></html>\r\n";
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", mine}});
    create(h, "clip.mp4");
    EXPECT_TRUE(h.has("clip.php"));
    const std::string after = h.file("homepage.html");
    EXPECT_TRUE(contains(after, "<p>mine</p>"));
    EXPECT_FALSE(contains(after, entryFor("clip.mp4"))) << "no marker: nowhere to put an entry";
    EXPECT_FALSE(h.form().isVisible(Panel::FileFailure));
}

TEST(BadHomepages, EmptyFileIsTakenAsAHomepageWithNothingInIt) {
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", ""}});
    create(h, "clip.mp4");
    EXPECT_TRUE(h.has("clip.php"));
    EXPECT_FALSE(h.form().isVisible(Panel::FileFailure));
    EXPECT_EQ(h.file("homepage.html"), "\r\n");
}

TEST(BadHomepages, CrOnlyLineEndsReadAsLines) {
    const std::string crOnly = "<html>\r<div class=\"gallery2\">\r" + std::string(markers::EndA) + "\r</html>\r";
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", crOnly}});
    create(h, "clip.mp4");
    const std::string after = h.file("homepage.html");
    EXPECT_TRUE(contains(after, "<html>\n<div class=\"gallery2\">\n"));
    EXPECT_TRUE(contains(after, "<source src=\"clip.mp4\""));
    EXPECT_LT(after.find("clip.mp4"), after.find(markers::EndA));
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
    create(h, "clip.mp4");
    const std::string after = h.file("homepage.html");
    const std::size_t first = after.find(binary);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(after.find(binary, first + 1), std::string::npos);
    EXPECT_TRUE(contains(after, "<source src=\"clip.mp4\""));
}

TEST(BadHomepages, UnknownEntryForDeleteShowsTheNotFoundNotice) {
    Harness h;
    create(h, "clip.mp4");
    const std::string homepage = h.file("homepage.html");
    h.form().controls.Text2 = "other.mp4";
    h.form().Command5();
    h.runChains();
    EXPECT_TRUE(h.form().isVisible(Panel::Text8));
    EXPECT_EQ(h.file("homepage.html"), homepage);
}

} // namespace
} // namespace clipnest
