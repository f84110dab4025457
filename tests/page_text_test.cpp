#include "text/page_text.h"

#include <gtest/gtest.h>

namespace clipnest {
namespace {

TEST(PageText, EscapesMarkupKeepsCodePageCharactersAndRefersToTheRest) {
    EXPECT_EQ(toPageText("Tom & Jerry <b>"), "Tom &amp; Jerry &lt;b&gt;");
    EXPECT_EQ(toPageText("caf\xC3\xA9"), "caf\xE9");
    EXPECT_EQ(toPageText("\xE2\x82\xAC 5 \xE2\x80\x94 ok"), "\x80 5 \x97 ok"); // euro sign and em dash
    EXPECT_EQ(toPageText(""), "");
    // Characters outside the code page become references.
    EXPECT_EQ(toPageText("tea \xE2\x98\x95"), "tea &#9749;");         // hot beverage
    EXPECT_EQ(toPageText("\xF0\x9F\x8E\xA5 clip"), "&#127909; clip"); // movie camera
    EXPECT_EQ(toPageText("\xC5\x81"), "&#321;");                      // L with stroke
    // Malformed UTF-8 never passes through as raw bytes.
    EXPECT_EQ(toPageText("a\xFF"
                         "b"),
              "a&#65533;b");
    EXPECT_EQ(toPageText("\xE2\x82"), "&#65533;&#65533;");
    EXPECT_EQ(toPageText("\xC0\xAF"), "&#65533;&#65533;"); // overlong "/"
    EXPECT_EQ(toPageText("a\x80"), "a&#65533;") << "a lone continuation byte";
    // U+0080 has no byte in the code page (0x80 there is the euro sign).
    EXPECT_EQ(toPageText("\xC2\x80"), "&#128;");
    EXPECT_FALSE(toCodePage("\xC2\x80").has_value());
}

// Quotes never end an attribute, and the page's own finding texts never appear in typed text, though the visitor
// reads the same characters.
TEST(PageText, QuotesAndThePagesOwnCodesBecomeReferences) {
    EXPECT_EQ(toPageText("I said \"two. is next"), "I said &quot;two. is next");
    EXPECT_EQ(toPageText("p4yFileNamep5y"), "p&#52;yFileNamep&#53;y");
    EXPECT_EQ(toPageText("<!--n9h x s4j-->"), "&lt;!--n&#57;h x s&#52;j--&gt;");
    EXPECT_EQ(toPageText("t9b3 between this tag and the Entry"), "t&#57;b3 &#98;etween this tag and the Entry");
    EXPECT_EQ(toPageText("p4p4yy"), "p4p&#52;yy");
    EXPECT_EQ(shownText(toPageText("\"p4yFileNamep5y\" t9b3")), "\"p4yFileNamep5y\" t9b3");
}

TEST(PageText, FileNamesMustFitTheCodePage) {
    EXPECT_EQ(toCodePage("clip7.mp4"), "clip7.mp4");
    EXPECT_EQ(toCodePage("caf\xC3\xA9.mp4"), "caf\xE9.mp4");
    EXPECT_FALSE(toCodePage("\xF0\x9F\x8E\xA5.mp4").has_value());
    EXPECT_FALSE(toCodePage("a\xFF.mp4").has_value());
    EXPECT_FALSE(toCodePage("\xC2\x81.mp4").has_value()) << "a byte the code page leaves undefined";
}

TEST(PageText, AsciiWithReferencesAndBackToUtf8) {
    EXPECT_EQ(asciiWithReferences("caf\xE9 \x80"), "caf&#233; &#8364;");
    EXPECT_EQ(asciiWithReferences("plain &amp;"), "plain &amp;");
    EXPECT_EQ(codePageToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
            continue;
        }
        EXPECT_EQ(toCodePage(codePageToUtf8(byte)), byte) << "byte " << b;
    }
}

// What a reader of the page sees, for listings: the reverse of toPageText, with the page's white space rules.
TEST(PageText, ShownTextDecodesAsABrowserDoes) {
    EXPECT_EQ(shownText(toPageText("Fish & chips <b> caf\u00e9 \u2615 \u20ac")),
              "Fish & chips <b> caf\u00e9 \u2615 \u20ac");
    EXPECT_EQ(shownText("  one\r\n\t two  "), "one two");
    EXPECT_EQ(shownText("&quot;&apos;&#39;&#x41;&#X42;&nbsp;|"), "\"''AB\u00a0|");
    // The C1 range names Windows-1252 characters; what names no character is U+FFFD.
    EXPECT_EQ(shownText("&#128;&#0;&#xD800;&#99999999999;"), "\u20ac\ufffd\ufffd\ufffd");
    // Anything else with an ampersand stays as written.
    EXPECT_EQ(shownText("&hearts; &amp &#; &#x; &#12a; a&b &"), "&hearts; &amp &#; &#x; &#12a; a&b &");
}

} // namespace
} // namespace clipnest
