// The text rules every page is written with: typed text as page text, the searches and replacements, the homepage
// document's entries and seeding; and below them the folder that holds the files.
#include "core/scheduler.h"
#include "support/support.h"
#include "text/captions.h"
#include "text/channel_settings.h"
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/entry_edits.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/moved_page.h"
#include "text/neighbour_links.h"
#include "text/page_front.h"
#include "text/page_text.h"
#include "text/php_literal.h"
#include "text/rename_page.h"
#include "text/safe_text.h"
#include "text/server_rules.h"
#include "text/templates.h"
#include "text/video_tag.h"

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
constexpr auto npos = std::string::npos;

TEST(PageText, TypedTextBecomesCodePageTextWithReferences) {
    const std::pair<std::string, std::string> cases[] = {
        {"Tom & Jerry <b>", "Tom &amp; Jerry &lt;b&gt;"},
        {"caf\xC3\xA9", "caf\xE9"},
        {"\xE2\x82\xAC 5 \xE2\x80\x94 ok", "\x80 5 \x97 ok"}, // euro sign and em dash are in the code page
        {"", ""},
        {"tea \xE2\x98\x95", "tea &#9749;"},
        {"\xF0\x9F\x8E\xA5 clip", "&#127909; clip"},
        {"\xC5\x81", "&#321;"},
        {"a\xFF"
         "b",
         "a&#65533;b"}, // malformed UTF-8 never passes through as raw bytes
        {"\xE2\x82", "&#65533;&#65533;"},
        {"\xC0\xAF", "&#65533;&#65533;"}, // overlong "/"
        {"a\x80", "a&#65533;"},           // a lone continuation byte is no euro sign
        {"\xC2\x80", "&#128;"},           // U+0080 has no byte in the code page
        {"\xC2\xA0|\xED\xA0\x80|\xED\xBF\xBF",
         "\xA0|&#65533;&#65533;&#65533;|&#65533;&#65533;&#65533;"}, // no surrogates
        // Quotes never end an attribute; the page's own finding texts never appear in typed text.
        {"I said \"two. is next", "I said &quot;two. is next"},
        {"p4yFileNamep5y", "p&#52;yFileNamep&#53;y"},
        {"<!--n9h x s4j-->", "&lt;!--n&#57;h x s&#52;j--&gt;"},
        {"t9b3 between this tag and the Entry", "t&#57;b3 &#98;etween this tag and the Entry"},
        {"p4p4yy", "p4p&#52;yy"},
    };
    for (const auto& [typed, page] : cases) {
        EXPECT_EQ(toPageText(typed), page) << typed;
    }
    EXPECT_EQ(shownText(toPageText("\"p4yFileNamep5y\" t9b3 Fish & <b> caf\u00e9 \u2615 \u20ac")),
              "\"p4yFileNamep5y\" t9b3 Fish & <b> caf\u00e9 \u2615 \u20ac");
    EXPECT_EQ(toCodePage("caf\xC3\xA9.mp4"), "caf\xE9.mp4");
    for (const char* outside : {"\xF0\x9F\x8E\xA5.mp4", "a\xFF.mp4", "\xC2\x81.mp4", "\xC2\x80"}) {
        EXPECT_FALSE(toCodePage(outside).has_value()) << outside;
    }
    EXPECT_EQ(asciiWithReferences("caf\xE9 \x80 &amp;"), "caf&#233; &#8364; &amp;");
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        if (std::string_view("\x81\x8D\x8F\x90\x9D").find(byte) == npos) {
            EXPECT_EQ(toCodePage(codePageToUtf8(byte)), byte) << "byte " << b;
        }
    }
}

// What a reader of the page sees, for listings: references decoded, white space as a browser collapses it.
TEST(PageText, ShownTextDecodesAsABrowserDoes) {
    EXPECT_EQ(shownText("  one\r\n\t two  "), "one two");
    EXPECT_EQ(shownText("&quot;&apos;&#39;&#x41;&#X42;&#x263A;&#x263a;&nbsp;|"), "\"''AB\u263a\u263a\u00a0|");
    EXPECT_EQ(shownText("&#128;&#0;&#xD800;&#99999999999;"), "\u20ac\ufffd\ufffd\ufffd");
    EXPECT_EQ(shownText("&hearts; &amp &#; &#x; &#12a; a&b &"), "&hearts; &amp &#; &#x; &#12a; a&b &");
    EXPECT_EQ(shownText("&#" + std::string(28, '0') + "65;&#" + std::string(29, '0') + "65;"),
              "A&#" + std::string(29, '0') + "65;")
        << "up to 32 characters before the semicolon";
    // Plain text goes over sixteen bytes at a look: what it must not take as plain, on either side of such a look.
    for (const std::size_t at : {1, 14, 15, 16, 17, 31, 32}) {
        const std::string a(at, 'a');
        EXPECT_EQ(shownText(a + "  b" + a), a + " b" + a) << at;
        EXPECT_EQ(shownText(a + "\tb" + a), a + " b" + a) << at;
        EXPECT_EQ(shownText(a + "&lt;" + a), a + "<" + a) << at;
        EXPECT_EQ(shownText(a + "\xE9" + a), a + "\u00e9" + a) << at;
        EXPECT_EQ(shownText(" " + a + "b "), a + "b") << at;
        EXPECT_EQ(shownText(a + "b c" + a), a + "b c" + a) << at;
    }
}

TEST(TextOps, SearchesAgreeWithTheStandardOnesAndReplacementsArePasses) {
    std::mt19937 random(7);
    const auto draw = [&](std::size_t n) {
        std::string s;
        while (s.size() < n) {
            s += "ab4<9"[random() % 5];
        }
        return s;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::string text = draw(random() % 40);
        const std::string part = draw(random() % 5);
        for (std::size_t from = 0; from <= text.size() + 1; ++from) {
            ASSERT_EQ(findText(text, part, from), std::string_view(text).find(part, from)) << text << "|" << part;
        }
        ASSERT_EQ(findLastText(text, part), std::string_view(text).rfind(part)) << text << "|" << part;
    }
    // One left-to-right pass: a value holding its token goes in once, joined neighbours are not searched again.
    for (const auto& [text, token, value, result] :
         std::vector<std::array<std::string, 4>>{{"a TOK b TOK c", "TOK", "x", "a x b x c"},
                                                 {"TOK|TOK", "TOK", "<TOK>", "<TOK>|<TOK>"},
                                                 {"aabb", "ab", "", "ab"},
                                                 {"none", "", "x", "none"}}) {
        std::string s = text;
        replaceAll(s, token, value);
        EXPECT_EQ(s, result) << text;
    }
    std::string s = "<!--w <a href=\"T.php\"> w--> <b>D</b> T";
    replaceEach(s, {{"T", "x.mp4"}, {"D", "T and D"}, {"<!--w ", ""}, {" w-->", ""}});
    EXPECT_EQ(s, "<a href=\"x.mp4.php\"> <b>T and D</b> x.mp4");
    s = "abcabc";
    replaceEach(s, {{"bc", "1"}, {"ab", "2"}, {"a", "3"}});
    EXPECT_EQ(s, "2c2c") << "the earlier position wins, then the earlier-listed token";
    EXPECT_EQ(findRun("a\n\n\n\n\n\nb", '\n', 6), 1u);
    EXPECT_EQ(findRun("a\n\n\n\n\nb\n\n\n\n\n\n\n", '\n', 6), 7u);
    EXPECT_EQ(findRun("\n\n\n\n\n", '\n', 6), npos);
}

TEST(TextOps, ContentAfterAMarkerIsReplacedOrBrokenTextLeftAlone) {
    std::string page = "<!-- x M. -->\n<div class=\"desc\">old</div>\nrest";
    ASSERT_TRUE(setContentAfterMarker(page, "M", "new &amp; better"));
    EXPECT_EQ(page, "<!-- x M. -->\n<div class=\"desc\">new &amp; better</div>\nrest");
    std::string two = "M<p></p> M<p>x</p>";
    ASSERT_TRUE(setContentAfterMarker(two, "M", "y", 3));
    EXPECT_EQ(two, "M<p></p> M<p>y</p>");
    for (const std::string broken : {"no marker here", "M and no tag", "M <div no end", "M <div> text without end"}) {
        std::string text = broken;
        EXPECT_FALSE(setContentAfterMarker(text, "M", "v")) << broken;
        EXPECT_EQ(text, broken);
    }
}

// A placeholder's value is escaped for where it stands, and nothing a value brings in is filled again: a typed name
// that reads like a placeholder, or a host's address that holds one, stays as typed.
TEST(Templates, PlaceholdersAreFilledOnceEscapedForTheirContext) {
    using templates::Context;
    EXPECT_EQ(templates::escapedFor(Context::PageText, R"(a'b"c\d$e)"), R"(a'b"c\d$e)");
    EXPECT_EQ(templates::escapedFor(Context::PhpSingleQuoted, R"(a'b"c\d$e)"), R"(a\'b"c\\d$e)");
    EXPECT_EQ(templates::escapedFor(Context::PhpDoubleQuoted, R"(a'b"c\d$e)"), R"(a'b\"c\\d\$e)");

    EXPECT_EQ(templates::filled("<{A}>'{B}'{C}{A}{",
                                {{"{A}", "{B}", Context::PageText}, {"{B}", "it's {A}", Context::PhpSingleQuoted}}),
              "<{B}>'it\\'s {A}'{C}{B}{");
    EXPECT_EQ(templates::filled("", {{"{A}", "x", Context::PageText}}), "");

    PageOptions options;
    options.commentSecret = TestSecret;
    options.scripts = {"https://host.example/{Secret}/{Limits}.js"};
    const std::string page = buildIndividualPageTemplate(options);
    EXPECT_NE(page.find("<script src=\"https://host.example/{Secret}/{Limits}.js\">"), npos);
    EXPECT_EQ(page.find(TestSecret), page.rfind(TestSecret)) << "the secret is in the page's code once, never sent";
    EXPECT_NE(page.find("$secret = '" + TestSecret + "';"), npos);
    options.commentSecret = "x';phpinfo();//" + TestSecret;
    EXPECT_NE(buildIndividualPageTemplate(options).find("$secret = '';"), npos) << "only a secret's shape goes in";

    // Each template holds its placeholders where their context says: inside the quotes of a PHP literal.
    for (const std::string_view placeholder : {"'{Secret}'", "'{Moderation}'", "'{Limits}'", "'{MailCount}'"}) {
        EXPECT_NE(templates::videoPage().find(placeholder), npos) << placeholder;
    }
    for (const std::string_view placeholder : {"\"{OldName}\"", "\"{NewName}\"", "array(\"{From}\", \"{To}\")"}) {
        EXPECT_NE(templates::renamePage().find(placeholder), npos) << placeholder;
    }
    const std::vector<RenamePair> pairs = {{"a$b.mp4", "c\"d.mp4"}, {"e.php", "f.php"}};
    EXPECT_NE(
        buildRenamePage(pairs).find("    array(\"a\\$b.mp4\", \"c\\\"d.mp4\"),\n    array(\"e.php\", \"f.php\")\n) ;"),
        npos);
    EXPECT_TRUE(buildRenamePage("a.mp4", "b.mp4").ends_with("htmlspecialchars($old_name) ;\n     }\n  }\n?>"));
    EXPECT_EQ(buildRenamePage("a.mp4", "b.mp4").find("$renames"), npos) << "the page for one file stops at its end";
    EXPECT_NE(templates::movedPage().find("'{NewPage}'"), npos);
}

// Every literal of a video page that names its comments file (where the page reads, checks for a post sent twice and
// stores) is filled, and is found again by a rename, so the page keeps one thread under its new name.
TEST(IndividualPage, EveryLiteralOfTheCommentsFileIsFilledAndRenamed) {
    const auto count = [](const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    const auto literals = [&](const std::string& page, const std::string& lessExt) {
        return count(page, "'" + phpSingleQuoted(lessExt) + "_comments.txt'") +
               count(page, "\"" + phpDoubleQuoted(lessExt) + "_comments.txt\"");
    };
    std::string page = buildIndividualPageTemplate();
    fillIndividualPage(page, "old $one's.mp4", "old $one's", "About", pageTitle("", "old $one's.mp4"));
    EXPECT_EQ(count(page, std::string(markers::FileNameLessExtToken)), 0u);
    EXPECT_EQ(literals(page, "old $one's"), 5u);
    renameInPage(page, "old $one's.mp4", "new.mp4");
    EXPECT_EQ(literals(page, "old $one's"), 0u);
    EXPECT_EQ(literals(page, "new"), 5u);
}

// A moved page is told from any other page, and from one cut short, whatever page it sends visitors to.
TEST(MovedPage, IsToldFromOtherPages) {
    for (const std::string_view name : {"", "b.php", "it's {NewPage} caf\xE9.php"}) {
        EXPECT_TRUE(isMovedPage(buildMovedPage(name))) << name;
    }
    const std::string moved = buildMovedPage("b.php");
    EXPECT_FALSE(isMovedPage(moved.substr(0, moved.size() - 1)));
    EXPECT_FALSE(isMovedPage(moved.substr(1)));
    const std::size_t name = moved.find("'b.php'");
    EXPECT_FALSE(isMovedPage(moved.substr(0, name + 1) + moved.substr(name + 7))) << "one quote for the name's two";
    EXPECT_FALSE(isMovedPage(buildIndividualPageTemplate()));
}

// The visitors' files and the moderation file keep their role in any case, as a host's file system may ignore case.
TEST(VisitorsFiles, AreToldInAnyCaseAndNeverRenamed) {
    for (const std::string_view name :
         {"a_comments.txt", "A_COMMENTS.TXT", "_Comments.Txt", "Comment_Rate_Limits.TXT", "comment_mail_count.txt"}) {
        EXPECT_TRUE(isVisitorsFile(name)) << name;
        EXPECT_TRUE(renameRefusal(name, "b.mp4")) << name;
        EXPECT_TRUE(renameRefusal("b.mp4", name)) << name;
    }
    for (const std::string_view name : {"comments.txt", "a_comments.txt.mp4", "comment_moderation.txt", "a.mp4"}) {
        EXPECT_FALSE(isVisitorsFile(name)) << name;
    }
    EXPECT_EQ(renameRefusal("b.mp4", "Comment_Moderation.TXT"),
              "Comment_Moderation.TXT holds which comments are hidden, which only Clipnest writes");
    EXPECT_EQ(renameRefusal("Change_File_Name.PHP", "b.mp4"), "Change_File_Name.PHP is the rename page itself");
    EXPECT_EQ(renameRefusal("a.mp4", "b.mp4"), std::nullopt);
}

// The host's lines around the block stay byte for byte, whatever their line ends, and a block cut short is theirs
// too: the new block goes after it, once.
TEST(ServerRules, TheHostsLinesStayAroundTheBlock) {
    const std::string block(serverRulesBlock());
    EXPECT_EQ(withServerRules(""), block);
    EXPECT_EQ(withServerRules("Options -Indexes"), "Options -Indexes\n" + block);
    const std::string before = "# host\r\nAddType text/plain .log\r\n", after = "# after\r\nOptions -Indexes";
    EXPECT_EQ(withServerRules(before + "# BEGIN Clipnest older\r\nDeny from all\r\n# END Clipnest\r\n" + after),
              before + block + after);
    EXPECT_EQ(withServerRules("a\r# BEGIN Clipnest\rold\r# END Clipnest\rafter\r"), "a\r" + block + "after\r");
    EXPECT_EQ(withServerRules(before + block), before + block);
    const std::string cut = before + "# BEGIN Clipnest\r\nDirectoryIndex x\r\n" + after;
    EXPECT_EQ(withServerRules(cut), cut + "\n" + block);
    EXPECT_EQ(withServerRules(withServerRules(cut)), withServerRules(cut));
}

TEST(Document, SampleEntryGoesInFrontOfTheFirstEndMarkerFoundOrIsLeftOut) {
    const std::string a(markers::EndA), b(markers::EndB), c(markers::EndC);
    const std::string key(markers::FileNameKey), token(markers::FileNameToken);
    const std::string link = "<a href=\"p4yFileNameLessExtp5y.php\">\n</div>\n";
    for (const auto& [k, text, seeded] : std::vector<std::array<std::string, 3>>{
             {key, "head\n" + a + "\n" + c + "\n", "head\n\nS\n" + a + "\n" + c + "\n"},
             {key, "head\n<p>" + b + "\n", "head\n<p>\nS\n" + b + "\n"},
             {key, "x</div>\n" + c + "\n", "x</div>\n\nS\n" + c + "\n"},
             {key, "<div>a</div>\n<div>b</div>\n", "<div>a</div>\n<div>b\nS\n</div>\n"}, // before the last </div>
             {key, "", ""},
             {key, "no anchor at all\n", ""},
             {key, "p4yFileNamep5y\n" + a + "\n", ""},
             // The start-up key is the whole token; the editing Steps' key is its prefix.
             {key, link, ""},
             {token, link, "<a href=\"p4yFileNameLessExtp5y.php\">\n\nS\n</div>\n"}}) {
        std::string page = text;
        EXPECT_EQ(seedSampleEntry(page, k, "S"), !seeded.empty()) << text;
        EXPECT_EQ(page, seeded.empty() ? text : seeded);
    }
}

TEST(Document, EntriesAreFoundByTheirSourceLinesOnly) {
    const auto entry = [](const std::string& name, const std::string& desc) {
        return "<a href=\"x.php\">\n<source src=\"" + name + "\" type=\"video/mp4\"/>\n" +
               std::string(markers::Description) + "\n<div class=\"desc\">" + desc + "</div>\n";
    };
    const auto listed = [](const std::string& page) {
        std::vector<std::string> result;
        for (const LiveEntry& e : liveEntries(page)) {
            result.push_back(e.fileName + "=" + e.description);
        }
        return result;
    };
    const std::string page = "<img src=\"roses.jpg\">" + entry("a.mp4", "A") + entry("ab.mp4", "AB");
    EXPECT_EQ(listed(page), (Names{"a.mp4=A", "ab.mp4=AB"}));
    EXPECT_TRUE(entryPresent(page, "a"));
    EXPECT_FALSE(entryPresent(page, "A")) << "case counts";
    EXPECT_FALSE(entryPresent(page, "roses")) << "the host's picture is no entry";
    // No description marker: no description taken from the next entry; a disabled block hides what it holds; a
    // source line cut short names nothing.
    EXPECT_EQ(listed("<source src=\"a.mp4\"/>\n" + entry("b.mp4", "B")), (Names{"a.mp4=", "b.mp4=B"}));
    EXPECT_EQ(listed(std::string(markers::WrapOpen) + entry("a.mp4", "A") + "s4j-->" + entry("b.mp4", "B") +
                     "<source src=\"cut.mp4"),
              (Names{"b.mp4=B"}));

    // Read a piece at a time, a homepage lists as it does whole, wherever the pieces end: a disabled block over
    // several pieces, a name holding a line end, a source line cut short at the end.
    std::string big = "<html>" + entry("first.mp4", "First  one");
    for (int i = 0; i < 40; ++i) {
        big += (i == 10 ? std::string(markers::WrapOpen) : "") +
               entry("v" + std::to_string(i) + ".mp4",
                     "Video &amp; " + std::string(static_cast<std::size_t>(i * 7), 'x')) +
               (i == 20 ? "s4j-->" : "");
    }
    big += entry("line\r\nend.mp4", "L") + "<source src=\"cut.mp4";
    const std::vector<std::string> whole = listed(big);
    EXPECT_EQ(whole.size(), 31u);
    EXPECT_EQ(whole.back(), "line\r\nend.mp4=L");
    for (const std::size_t piece : {1, 5, 13, 64, 200, 1000}) {
        std::vector<std::string> pieces;
        LiveEntryReader reader([&](std::string_view name, std::string_view description) {
            pieces.push_back(std::string(name) + "=" + std::string(description));
        });
        for (std::size_t at = 0; at < big.size(); at += piece) {
            reader.take(std::string_view(big).substr(at, piece));
        }
        reader.finish();
        EXPECT_EQ(pieces, whole) << "pieces of " << piece;
    }

    TempDir dir;
    WorkingFolder folder(dir.path());
    EXPECT_FALSE(findHomepage(folder).has_value());
    for (const char* name : {"Homepage.htm", "homepage.htm", "homepage.html"}) {
        folder.write(name, "x");
        EXPECT_EQ(findHomepage(folder), name) << "found in this order";
    }
}

// A batch's appends read only the end of the page, after its front: each finds the same entries, the same problems
// and makes the same text as the search of the whole text, through a run of appends that the front follows. The
// host's markup in the front holds source lines of its own, a name as references and as an older page's byte, a
// short run of blank lines and a marker's first half.
TEST(PageFront, AppendsThatReadOnlyTheEndDoWhatTheWholeTextSays) {
    const std::string sample = buildSampleEntry();
    const auto names = [](std::string_view text) {
        std::vector<std::string> all;
        forEachLiveEntry(text, [&](std::string_view name, std::string_view) { all.emplace_back(name); });
        return all;
    };
    std::mt19937 random(11);
    for (int round = 0; round < 12; ++round) {
        std::string text = buildDefaultHomepage("Title", "Message", sample);
        seedSampleEntry(text, markers::FileNameToken, sample);
        for (int i = 0; i < 6; ++i) {
            const std::string name = "old" + std::to_string(i);
            makeSampleLive(text, name + ".mp4", name, "Old " + std::to_string(i), sample);
        }
        const std::string host = std::string("<audio><source src=\"song.mp3\"></audio>\n\n\n\n\n") +
                                 "<source src=\"caf&#233;.mp4\">\n<source src=\"r\xE9sum\xE9.mp4\">\n" +
                                 std::string(markers::EndB.substr(0, 20)) + "\n";
        const bool disabled = round % 3 == 2;
        text.insert(text.find(markers::GalleryOpening) + random() % 40,
                    host + (disabled ? std::string(markers::WrapOpen) + "<source src=\"hidden.mp4\">" +
                                           std::string(300, ' ') + "s4j-->"
                                     : ""));
        if (round % 2 == 1) {
            // The host took the sample out: the first append puts it back in front of the end marker.
            text.erase(text.find("\n" + sample + "\n"), sample.size() + 2);
        }

        std::optional<PageFront> front = PageFront::of(text);
        ASSERT_TRUE(front.has_value());
        // A block the host disabled ends the front where it begins: what it holds is no entry.
        EXPECT_EQ(front->entriesEnd() > text.size() / 2, !disabled);
        for (int line = 0; line < 8; ++line) {
            for (const std::string stem :
                 {"old3", "old", "song", "caf\xE9", "r\xE9sum\xE9", "hidden", "new1", "new7", "x"}) {
                EXPECT_EQ(entryFileName(text, stem, &*front), entryFileName(text, stem)) << stem;
            }
            EXPECT_EQ(appendProblem(text, front->searchFrom()), appendProblem(text));
            std::vector<std::string> listed = front->names();
            const std::vector<std::string> after = names(std::string_view(text).substr(front->entriesEnd()));
            listed.insert(listed.end(), after.begin(), after.end());
            EXPECT_EQ(listed, names(text));

            const std::string name = "new" + std::to_string(line);
            std::string whole = text;
            seedSampleEntry(whole, markers::FileNameKey, sample);
            makeSampleLive(whole, name + ".mp4", name, "New " + std::to_string(line), sample);
            seedSampleEntry(text, markers::FileNameKey, sample, front->searchFrom());
            makeSampleLive(text, name + ".mp4", name, "New " + std::to_string(line), sample, front->searchFrom());
            ASSERT_EQ(text, whole) << "round " << round << " line " << line;
            front = PageFront::follow(std::move(*front), text);
            ASSERT_TRUE(front.has_value());
        }
    }

    // Without an end marker a sample goes in front of the last "</div>", wherever it is: no front. Without it after
    // an edit, none either, and an edit that completes a marker begun in the front asks for a new front.
    std::string text = buildDefaultHomepage("Title", "Message", sample);
    std::string bare = text;
    replaceAll(bare, markers::EndB, "");
    replaceAll(bare, markers::EndC, "");
    EXPECT_FALSE(PageFront::of(bare).has_value());
    const std::optional<PageFront> front = PageFront::of(text);
    ASSERT_TRUE(front.has_value());
    EXPECT_FALSE(PageFront::follow(*front, bare).has_value());
    std::string crossing = text;
    crossing.insert(front->end() - 3, "\n\n\n\n\n\n");
    EXPECT_FALSE(PageFront::follow(*front, crossing).has_value());
}

// A name beyond ASCII stands in a page as references and reads back as the name; an older page's raw byte is found
// too, and a reference the code page has no byte for stays text.
TEST(Document, NamesBeyondAsciiStandInPagesAsReferences) {
    EXPECT_EQ(nameInPage("caf\xE9 \x80.mp4"), "caf&#233; &#8364;.mp4");
    EXPECT_EQ(nameFromPage("caf&#233; &#8364;.mp4"), "caf\xE9 \x80.mp4");
    EXPECT_EQ(nameFromPage("caf&#xE9;&#XE9;.mp4"), "caf\xE9\xE9.mp4");
    for (const std::string kept : {"a&#9749;.mp4", "a&#65;.mp4", "a&#233.mp4", "a&#;.mp4", "a&#x;.mp4", "a&#",
                                   "caf\xE9.mp4", "a&#12345678;.mp4", "Tom&Jerry.mp4"}) {
        EXPECT_EQ(nameFromPage(kept), kept) << "only a reference to a letter beyond ASCII is read back";
    }
    const std::string now = "<source src=\"caf&#233;.mp4\"", before = "<source src=\"caf\xE9.mp4\"";
    for (const std::string& page : {"x" + now, "x" + before}) {
        EXPECT_EQ(findEntrySource(page, "caf\xE9.mp4", true),
                  (std::pair<std::size_t, std::size_t>{1, page.size() - 1}));
        EXPECT_EQ(findEntrySource(page, "caf\xE9.", false)->first, 1u);
        EXPECT_EQ(entryFileName(page, "caf\xE9"), "caf\xE9.mp4");
        EXPECT_EQ(liveEntries(page + "/>").front().fileName, "caf\xE9.mp4");
    }
    EXPECT_FALSE(findEntrySource(now, "cafe.mp4", true));
    EXPECT_FALSE(findEntrySource(now, "caf\xE9.mp", true)) << "a whole name ends at the quote";

    // On disk the name stands in UTF-8; a name there in no UTF-8 of code-page letters names nothing.
    TempDir dir;
    WorkingFolder folder(dir.path());
    ASSERT_TRUE(folder.write("caf\xE9 \x80.txt", "x"));
    EXPECT_TRUE(fs::exists(dir.path() / "caf\xC3\xA9 \xE2\x82\xAC.txt"));
    EXPECT_EQ(folder.pathOf("caf\xE9.txt"), dir.path() / "caf\xC3\xA9.txt");
    EXPECT_EQ(WorkingFolder::nameOf(dir.path() / "caf\xC3\xA9 \xE2\x82\xAC.txt"), "caf\xE9 \x80.txt");
    EXPECT_FALSE(WorkingFolder::nameOf(dir.path() / "caf\xE9.txt")) << "no UTF-8";
    EXPECT_FALSE(WorkingFolder::nameOf(dir.path() / "\xE2\x98\x95.txt")) << "no code-page letter";
}

// The video tag of an entry gets its poster, preload="none" and playsinline, each in place of the tag's own
// attribute of that name or behind its last one; nothing else of the text changes, and another entry's tag, a tag
// that holds no such source, or a disabled sample is never touched.
TEST(VideoTag, AttributesGoOnTheEntrysOwnTagAndNowhereElse) {
    const std::string other = "<video controls preload=\"metadata\">\n<source src=\"b.mp4\" type=\"video/mp4\"/>\n"
                              "</video>\n";
    const std::pair<std::string, std::string> cases[] = {
        {"<video controls=\"\" preload=\"metadata\">",
         "<video controls=\"\" preload=\"none\" playsinline poster=\"caf&#233;.jpg\">"},
        {"<VIDEO class='mine' PRELOAD=auto\n  width=300 poster=\"old.jpg\" playsinline>",
         "<VIDEO class='mine' preload=\"none\"\n  width=300 poster=\"caf&#233;.jpg\" playsinline>"},
        {"<video>", "<video preload=\"none\" playsinline poster=\"caf&#233;.jpg\">"},
        {"<video data-x=\"a>b\" controls>",
         "<video data-x=\"a>b\" controls preload=\"none\" playsinline poster=\"caf&#233;.jpg\">"},
    };
    for (const auto& [tag, written] : cases) {
        SCOPED_TRACE(tag);
        const std::string text = other + "<p>" + tag +
                                 "\n<!-- marker -->\n  <source src=\"caf&#233;.mp4\" "
                                 "type=\"video/mp4\"/> \n</video> tail\n";
        std::string edited = text;
        const bool found = setVideoAttributes(edited, homepageSourceKey("caf\xE9.mp4"), posterValue("caf\xE9.mp4"));
        if (written.empty()) {
            EXPECT_FALSE(found);
            EXPECT_EQ(edited, text);
            continue;
        }
        EXPECT_TRUE(found);
        EXPECT_EQ(edited, with(text, tag, written));
        std::string again = edited;
        setVideoAttributes(again, homepageSourceKey("caf\xE9.mp4"), posterValue("caf\xE9.mp4"));
        EXPECT_EQ(again, edited) << "a second run changes nothing";
    }
    // Without a poster: only preload and playsinline.
    std::string plain = other;
    EXPECT_TRUE(setVideoAttributes(plain, homepageSourceKey("b.mp4"), ""));
    EXPECT_EQ(plain, with(other, "preload=\"metadata\"", "preload=\"none\" playsinline"));
    // A source with no video tag of its own, or no such source.
    for (std::string text :
         {std::string("<video></video><source src=\"c.mp4\">"), std::string("<source src=\"c.mp4\">"),
          std::string("<videos><source src=\"c.mp4\">"), other}) {
        const std::string was = text;
        EXPECT_FALSE(setVideoAttributes(text, homepageSourceKey("c.mp4"), "c.jpg"));
        EXPECT_EQ(text, was);
    }
    // The video page writes the name with references, and so is the source found there.
    EXPECT_EQ(pageSourceKey("caf\xE9.mp4"), "<source src=\"caf&#233;.mp4\"");

    // A rename points the poster the entry named at the new one; a poster the host chose stays.
    std::string named = with(other, "<video", "<video poster=\"b.jpg\"");
    renamePoster(named, homepageSourceKey("b.mp4"), posterValue("b.mp4"), posterValue("z.mp4"));
    EXPECT_EQ(named, with(other, "<video", "<video poster=\"z.jpg\""));
    std::string chosen = with(other, "<video", "<video poster=\"art/b.jpg\"");
    const std::string chosenBefore = chosen;
    renamePoster(chosen, homepageSourceKey("b.mp4"), posterValue("b.mp4"), posterValue("z.mp4"));
    EXPECT_EQ(chosen, chosenBefore);
}

// A video's caption files are NAME.vtt and NAME.LANG.vtt, the one without a language first; SubRip becomes WebVTT
// by its header and the periods of its times; the page's track lines follow the files, and a track the host added
// for another file stays.
// Moving entries: a host's disabled block between two entries stays where it stood while the entries change places;
// a page whose last entry has nothing below it to end it is refused and left as it was.
// A video added without typing gets its descriptions from its name; only the containers browsers play are videos.
TEST(Document, ANewVideosDescriptionIsItsNameInWords) {
    for (const auto& [name, words] : std::initializer_list<std::pair<const char*, const char*>>{
             {"rose_pruning-2026.mp4", "Rose pruning 2026"},
             {"__tulips--in  May_.webm", "Tulips in May"},
             {"clip.final.mov", "Clip.final"},
             {"\xC3\xA9t\xC3\xA9_roses.mp4", "\xC3\xA9t\xC3\xA9 roses"},
             {"Already Fine.m4v", "Already Fine"},
             {"noextension", "Noextension"},
             {"-_.mp4", ""},
         }) {
        EXPECT_EQ(descriptionFromFileName(name), words) << name;
    }
    for (const char* video : {"a.mp4", "A.MP4", "b.m4v", "c.Mov", "d.webm", "e.f.mp4"}) {
        EXPECT_TRUE(isVideoName(video)) << video;
    }
    for (const char* other : {"a.mp4.txt", "mp4", "a.php", "a.jpg", "a.mp", "a.webmx"}) {
        EXPECT_FALSE(isVideoName(other)) << other;
    }
}

TEST(EntryEdits, MovedBlocksLeaveTheTextBetweenThemInPlace) {
    const auto entry = [](const std::string& name) {
        return " <div class=\"gallery\"> \n" + std::string(markers::Source) + "\n      <source src=\"" + name +
               "\" type=\"video/mp4\"/> \n     </div> \n";
    };
    const std::string disabled = "<!--n9h <div class=\"gallery\"> old s4j-->\n";
    const std::string end = std::string(markers::EndA) + "\n";
    std::string text =
        "<body>\n" + entry("a.mp4") + "\n" + disabled + "\n" + entry("b.mp4") + "\n\n\n" + entry("c.mp4") + "\n" + end;
    const std::string before = text;
    EXPECT_EQ(moveEntryBlock(text, "c.mp4", "a.mp4"), std::nullopt);
    EXPECT_EQ(text, "<body>\n" + entry("c.mp4") + "\n" + disabled + "\n" + entry("a.mp4") + "\n\n\n" + entry("b.mp4") +
                        "\n" + end);
    EXPECT_EQ(moveEntryBlock(text, "c.mp4", std::nullopt), std::nullopt);
    EXPECT_EQ(text, before) << "back to the end";
    EXPECT_EQ(moveEntryBlock(text, "a.mp4", "zz.mp4"), "the homepage has no entry for zz.mp4.");
    EXPECT_EQ(moveEntryBlock(text, "a.mp4", "a.mp4"), "an entry cannot move above itself.");
    EXPECT_EQ(text, before);
    std::string endless = "<body>\n" + entry("a.mp4") + entry("b.mp4");
    const std::string was = endless;
    EXPECT_TRUE(moveEntryBlock(endless, "b.mp4", "a.mp4").has_value());
    EXPECT_EQ(endless, was);
}

// The feed link goes in and out of the head alone; a head that links a feed of its own, or a page without a head,
// is left as it is.
TEST(DefaultHomepage, FeedLinkOnlyWhereAsked) {
    std::string home = buildDefaultHomepage("T", "M", buildSampleEntry());
    const std::string made = home;
    ASSERT_NE(home.find(FeedLink), std::string::npos);
    EXPECT_TRUE(setFeedLink(home, false));
    EXPECT_EQ(home.find("feed.xml"), std::string::npos);
    EXPECT_FALSE(setFeedLink(home, false));
    EXPECT_TRUE(setFeedLink(home, true));
    EXPECT_EQ(home, made);
    EXPECT_FALSE(setFeedLink(home, true));
    std::string own = "<head><link rel=\"alternate\" type=\"application/rss+xml\" href=\"my.rss\"></head>";
    EXPECT_FALSE(setFeedLink(own, true));
    std::string headless = "<p>hi</p>";
    EXPECT_FALSE(setFeedLink(headless, true));
    EXPECT_EQ(headless, "<p>hi</p>");
}

TEST(Captions, FilesTracksAndConversion) {
    const std::vector<std::string> names = {"roses.de.vtt",       "roses.en-GB.vtt", "roses.mp4",  "roses.vtt",
                                            "roses.director.vtt", "roses.en.srt",    "rosesx.vtt", "roses..vtt",
                                            "tulips.vtt",         "roses.e1.vtt"};
    const auto files = [](const std::vector<CaptionFile>& found) {
        std::string out;
        for (const CaptionFile& c : found) {
            out += c.name + "=" + c.language + " ";
        }
        return out;
    };
    EXPECT_EQ(files(captionFilesOf("roses.mp4", names)), "roses.vtt= roses.de.vtt=de roses.en-GB.vtt=en-GB ");
    EXPECT_EQ(files(captionFilesOf("roses.mp4", names, "srt")), "roses.en.srt=en ");

    EXPECT_EQ(
        srtToWebVtt("\xEF\xBB\xBF"
                    "1\r\n00:00:01,500 --> 00:00:02,000\r\nOne, two\r\n\r\n2\n00:01:00,000 --> 00:01:02,250\nThree"),
        "WEBVTT\n\n1\n00:00:01.500 --> 00:00:02.000\nOne, two\n\n2\n00:01:00.000 --> 00:01:02.250\nThree\n");
    for (const std::string text : {"WEBVTT", "WEBVTT\n\n", "\xEF\xBB\xBFWEBVTT - made by hand\n"}) {
        EXPECT_TRUE(isWebVtt(text)) << text;
    }
    for (const std::string text : {"", "WEBVTTX", "1\n00:00:01,500 --> 00:00:02,000\n", " WEBVTT"}) {
        EXPECT_FALSE(isWebVtt(text)) << text;
    }

    const std::string page = "<video controls>\n    <source src=\"caf&#233;.mp4\" type=\"video/mp4\" />\n"
                             "    <track kind=\"chapters\" src=\"chapters.vtt\"></video>\n<p>after</p>\n";
    std::string text = page;
    ASSERT_TRUE(setCaptionTracks(text, "<source src=\"caf&#233;.mp4\"", "caf\xE9.mp4",
                                 {{"caf\xE9.vtt", ""}, {"caf\xE9.fr.vtt", "fr"}}));
    EXPECT_EQ(text, with(page, "chapters.vtt\">",
                         "chapters.vtt\">\n                <track kind=\"captions\" src=\"caf&#233;.vtt\" "
                         "label=\"Captions\" default>\n                <track kind=\"captions\" "
                         "src=\"caf&#233;.fr.vtt\" srclang=\"fr\" label=\"Fran&#231;ais\">"));
    const std::string twice = text;
    setCaptionTracks(text, "<source src=\"caf&#233;.mp4\"", "caf\xE9.mp4",
                     {{"caf\xE9.vtt", ""}, {"caf\xE9.fr.vtt", "fr"}});
    EXPECT_EQ(text, twice) << "the same files, the same page";
    setCaptionTracks(text, "<source src=\"caf&#233;.mp4\"", "caf\xE9.mp4", {});
    EXPECT_EQ(text, page) << "no caption files, no caption tracks; the host's chapters stay";
    EXPECT_FALSE(setCaptionTracks(text, "<source src=\"other.mp4\"", "other.mp4", {{"other.vtt", ""}}));
}

// The secret that signs the comment form is made once, from the kernel's random source, and kept; one that is not
// a secret (cut short, edited) is made anew.
// Text from a server, a settings file, a comment or a file name, as the terminal and the window show it: nothing in it
// can steer what shows it, and ordinary text of any script is left as it is.
TEST(SafeText, ControlsAndMarksThatTurnTextAroundAreShownEscaped) {
    EXPECT_EQ(safeText("Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 plain ~!"),
              "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 plain ~!");
    // The report's server answer: a title set, the screen cleared, a line the program seems to print.
    EXPECT_EQ(safeText("denied\x1B]0;pwned\x07\x1B[2J\rUploaded 10 of 10 changed files."),
              "denied\\x1B]0;pwned\\x07\\x1B[2J\\rUploaded 10 of 10 changed files.");
    EXPECT_EQ(safeText("a\r\nb\nc\td\\e"), "a\\nb\\nc\\td\\e");
    EXPECT_EQ(safeText("a\\nb\nc", Backslash::Doubled), "a\\\\nb\\nc")
        << "a comment's text: typed or escaped, told apart";
    EXPECT_EQ(safeText(std::string("\0\x01\x1F\x7F", 4)), "\\x00\\x01\\x1F\\x7F");
    EXPECT_EQ(safeText("\xC2\x9B"
                       "2J \xC2\x80 \xC2\x9F \xC2\xA0"),
              "\\u009B2J \\u0080 \\u009F \xC2\xA0")
        << "the C1 controls as UTF-8 writes them; U+00A0 is a letter's neighbour, shown";
    EXPECT_EQ(safeText("evil\xE2\x80\xAEtxt.exe \xE2\x81\xA6x\xE2\x81\xA9 \xE2\x80\xA9 \xE2\x80\xAF"),
              "evil\\u202Etxt.exe \\u2066x\\u2069 \xE2\x80\xA9 \xE2\x80\xAF")
        << "the marks that turn text around; their neighbours are not";
    // A byte that is no part of a UTF-8 character: a lone C1 byte a terminal may read as a control, a cut or overlong
    // character, a surrogate.
    EXPECT_EQ(safeText("\x9B"
                       "2J \xE9t\xE9 \xC3 \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x80"),
              "\\x9B2J \\xE9t\\xE9 \\xC3 \\xC0\\xAF \\xED\\xA0\\x80 \\xF4\\x90\\x80\\x80 \\xE2\\x80");
    EXPECT_EQ(safeText("\xE0\x82\x9B"
                       "2J"),
              "\\xE0\\x82\\x9B2J")
        << "the C1 control CSI written overlong";
    EXPECT_EQ(safeText(""), "");
}

TEST(ChannelSettings, TheCommentSecretIsMadeOnceAndKept) {
    const TempDir dir;
    WorkingFolder folder(dir.path());
    const std::string first = commentSecret(folder);
    EXPECT_TRUE(isCommentSecret(first)) << first;
    EXPECT_EQ(commentSecret(folder), first);
    EXPECT_EQ(readFile(dir.path() / ".clipnest/comment-secret"), first + "\n");
    writeFile(dir.path() / ".clipnest/comment-secret", first.substr(1) + "\r\n");
    const std::string second = commentSecret(folder);
    EXPECT_TRUE(isCommentSecret(second)) << second;
    EXPECT_NE(second, first);
    EXPECT_EQ(commentSecret(folder), second);
}

TEST(WorkingFolder, WholeFilesReplacedKeepingTheirModeAndAFailedWriteLeavesTheOld) {
    TempDir dir;
    WorkingFolder folder(dir.path());
    EXPECT_FALSE(folder.read("a.txt").has_value());
    ASSERT_TRUE(folder.write("a.txt", std::string("one\r\ntwo\0three", 15)));
    EXPECT_EQ(folder.read("a.txt"), std::string("one\r\ntwo\0three", 15));
    ASSERT_EQ(::chmod((dir.path() / "a.txt").c_str(), 0640), 0);
    ASSERT_TRUE(folder.write("a.txt", "old"));
    EXPECT_EQ(fs::status(dir.path() / "a.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(folder.exists("A.txt")) << "names are looked up exactly";
    EXPECT_FALSE(WorkingFolder(dir.path() / "gone").write("homepage.html", "new"));

    // A write the disk cuts short (a file-size limit holds for root as well) leaves the old file and no litter.
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = folder.write("a.txt", "new and longer");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(folder.read("a.txt"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// The scheduler models interval timers: a Step runs each interval until disarmed, overdue Steps run once in the
// order they were armed, and a Step armed by another waits its full interval.
TEST(Scheduler, StepsRunEveryIntervalInArmingOrder) {
    VirtualClock clock;
    StepScheduler steps(clock);
    std::vector<std::string> log;
    const auto add = [&](
                         const std::string& name, int ms, std::function<void()> then = [] {}) {
        return steps.add(name, ms, [&, name, then] {
            log.push_back(name + "@" + std::to_string(clock.now));
            then();
        });
    };
    int b = -1;
    const int a = add("a", 30), c = add("c", 30);
    b = add("b", 250, [&] {
        steps.disarm(b);
        steps.arm(c);
    });
    steps.arm(b);
    steps.arm(a);
    clock.now = 60;
    steps.runDue();
    EXPECT_EQ(log, (Names{"a@60"})) << "an overdue Step runs once";
    runInVirtualTime(steps, clock, 300, [] { return true; });
    EXPECT_EQ(log,
              (Names{"a@60", "a@90", "a@120", "a@150", "a@180", "a@210", "a@240", "b@250", "a@270", "c@280", "a@300"}));
    steps.stopAll();
    EXPECT_FALSE(steps.nextDue().has_value());
    steps.arm(b);
    steps.arm(a);
    steps.arm(c);
    log.clear();
    clock.now += 300;
    steps.runDue();
    EXPECT_EQ(log, (Names{"a@600", "c@600", "b@600"}))
        << "overdue together: the earlier due first, then the earlier armed";
}

// A link's words are what the homepage shows of the neighbour's description, escaped so that nothing in it is markup
// or a sequence Clipnest finds its way by; its address is the page's name on disk, percent-encoded.
TEST(NeighbourLinks, LinksShowTheDescriptionAsTextAndOnlyAMarkedPageTakesThem) {
    EXPECT_EQ(neighbourLines(std::nullopt, std::nullopt), "");
    const std::string lines = neighbourLines(Neighbour{"caf\xE9 & co.mp4", "  "},
                                             Neighbour{"b.mp4", "Fish &amp; chips\n&lt;b&gt; p4yFileNamep5y"});
    EXPECT_EQ(lines,
              "        <nav class=\"neighbours\">\n"
              "            <a rel=\"prev\" href=\"caf%C3%A9%20%26%20co.php\">Previous: caf&#233; &amp; co.mp4</a>\n"
              "            <a rel=\"next\" href=\"b.php\">Next: Fish &amp; chips &lt;b&gt; p&#52;yFileNamep&#53;y</a>\n"
              "        </nav>\n");

    const std::string open(markers::NeighboursOpen), close(markers::NeighboursClose);
    std::string page = "<p>mine</p>\n" + open + "\nold links\n" + close + "\n<p>after</p>\n";
    EXPECT_TRUE(setNeighbourBlock(page, lines));
    EXPECT_EQ(page, "<p>mine</p>\n" + open + "\n" + lines + close + "\n<p>after</p>\n");
    EXPECT_TRUE(setNeighbourBlock(page, ""));
    EXPECT_EQ(page, "<p>mine</p>\n" + open + "\n" + close + "\n<p>after</p>\n");
    for (std::string without : {"<p>" + open + "</p>\n", "<p>mine</p>\n" + close + "\n" + open + "\n"}) {
        const std::string before = without;
        EXPECT_FALSE(setNeighbourBlock(without, lines));
        EXPECT_EQ(without, before);
    }
}

} // namespace
} // namespace clipnest::testing
