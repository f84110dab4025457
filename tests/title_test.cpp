#include "homepage/markers.h"
#include "support/test_support.h"

namespace clipnest::testing {
namespace {

const std::string Title(markers::Title);
const std::string Message(markers::Message);

TEST(TitleTest, DefaultHomepageTwiceAndBlanks) {
    Harness h;
    const std::string original = h.form().homepage.PageText;
    const auto lines = [](const std::string& t) { return splitLines(t).size(); };
    const auto expect = [&](const std::string& title, const std::string& message) {
        const std::string text = with(original, Title + "\n</h1>", Title + "\n" + title + "\n</h1>");
        return with(text, Message + "\n</h1>", Message + "\n" + message + "\n</h1>") + "\r\n";
    };

    // Message box empty: only the title changes.
    updateTitle(h, "My Channel", "");
    EXPECT_TRUE(
        sameText(with(original, Title + "\n</h1>", Title + "\nMy Channel\n</h1>") + "\r\n", h.file("homepage.html")));
    EXPECT_EQ(h.form().controls.Text22, "My Channel");
    EXPECT_EQ(h.form().title.TitleStepPhase, 0);

    // Title box empty: the stored title is applied again; the message gets its own line.
    updateTitle(h, "", "Hello");
    EXPECT_TRUE(sameText(expect("My Channel", "Hello"), h.file("homepage.html")));
    const std::size_t count = lines(h.form().homepage.PageText);

    updateTitle(h, "Second", "Blanks:   ");
    EXPECT_TRUE(sameText(expect("Second", "Blanks:   "), h.file("homepage.html")));
    EXPECT_EQ(lines(h.form().homepage.PageText), count);

    updateTitle(h, "   ", "");
    EXPECT_TRUE(sameText(expect("   ", "Blanks:   "), h.file("homepage.html")));

    // Both boxes empty: nothing happens.
    h.folder().written.clear();
    updateTitle(h, "", "");
    EXPECT_FALSE(h.form().isArmed(Step::Timer20));
    EXPECT_TRUE(h.folder().written.empty());
}

TEST(TitleTest, MarkupIsEscapedSoALaterTitleReplacesItWholly) {
    Harness h;
    const std::string original = h.form().homepage.PageText;
    updateTitle(h, "<b>Bold & co</b>", "");
    EXPECT_NE(h.file("homepage.html").find(Title + "\n&lt;b&gt;Bold &amp; co&lt;/b&gt;\n</h1>"), std::string::npos);
    updateTitle(h, "Plain", "");
    EXPECT_TRUE(
        sameText(with(original, Title + "\n</h1>", Title + "\nPlain\n</h1>") + "\r\n", h.file("homepage.html")));
}

TEST(TitleTest, MissingMarkersAndNoTagAfterTheMarker) {
    // No markers: nothing applied, the file is still written as homepage.html (read from Homepage.htm).
    Harness bare({{"Homepage.htm", "<html>\r\n<body></body>\r\n</html>\r\n"}, {"AppDocs.txt", "\r\n"}});
    updateTitle(bare, "T", "M");
    EXPECT_EQ(bare.file("homepage.html"), "<html>\n<body></body>\n</html>\n\r\n");

    // Only a message marker, with nothing but text and blanks after it: the document ends after the new line.
    Harness open({{"homepage.html", "<h2>\r\n" + Message + "\r\nold message  "}, {"AppDocs.txt", "\r\n"}});
    updateTitle(open, "T", "New");
    EXPECT_EQ(open.file("homepage.html"), "<h2>\n" + Message + "\nNew\n\r\n");
}

} // namespace
} // namespace clipnest::testing
