#include "support/test_support.h"
#include "text/markers.h"

namespace clipnest::testing {
namespace {

const std::string Title(markers::Title);
const std::string Message(markers::Message);

TEST(TitleTest, DefaultHomepageTwiceBlanksAndMarkup) {
    Harness h;
    const std::string original = h.form().homepage.PageText;
    // The default homepage with a title line (and a message line, unless `message` is null) after their markers.
    const auto expect = [&](const std::string& title, const char* message) {
        std::string text = with(original, Title + "\n</h1>", Title + "\n" + title + "\n</h1>");
        if (message) {
            text = with(text, Message + "\n</h1>", Message + "\n" + message + "\n</h1>");
        }
        return text + "\r\n";
    };

    updateTitle(h, "My Channel", "");
    EXPECT_TRUE(sameText(expect("My Channel", nullptr), h.file("homepage.html"))) << "message box empty: title only";
    EXPECT_EQ(h.form().controls.title, "My Channel");

    // Title box empty: the stored title is applied again; the message gets its own line.
    updateTitle(h, "", "Hello");
    EXPECT_TRUE(sameText(expect("My Channel", "Hello"), h.file("homepage.html")));
    updateTitle(h, "Second", "Blanks:   ");
    EXPECT_TRUE(sameText(expect("Second", "Blanks:   "), h.file("homepage.html")));
    updateTitle(h, "   ", "");
    EXPECT_TRUE(sameText(expect("   ", "Blanks:   "), h.file("homepage.html")));
    // Markup is escaped, so a later title replaces it wholly.
    updateTitle(h, "<b>Bold & co</b>", "");
    EXPECT_TRUE(sameText(expect("&lt;b&gt;Bold &amp; co&lt;/b&gt;", "Blanks:   "), h.file("homepage.html")));
    updateTitle(h, "Plain", "");
    EXPECT_TRUE(sameText(expect("Plain", "Blanks:   "), h.file("homepage.html")));

    // Both boxes empty: nothing happens.
    h.folder().written.clear();
    updateTitle(h, "", "");
    EXPECT_FALSE(h.form().isArmed(Step::TitleAndMessage));
    EXPECT_TRUE(h.folder().written.empty());
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
