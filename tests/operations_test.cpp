// Each operation end to end, as a user does it in one session: type, click, let the Steps run in virtual time, and
// look at the files and the panels. Expected bytes come from tests/data and string edits of them.
#include "core/steps/delete.h"
#include "history/history_record.h"
#include "support/support.h"
#include "text/rename_page.h"

#include <functional>
#include <set>
#include <sys/stat.h>

namespace clipnest::testing {
namespace {

// The notices' own times, as the schedule has them.
const std::int64_t NoticeMs = stepInterval(Step::HideNotices);
// One run of a chain's Step.
const std::int64_t TickMs = stepInterval(Step::Route);

namespace fs = std::filesystem;

// The text from the first `from` to the end of the first `to` after it.
std::string cut(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    return text.substr(at, text.find(to, at) + to.size() - at);
}
const std::string Home = expected("homepage.html");
const std::string Page = expected("clip7.php");
std::string sample() {
    return cut(Home, "<!--n9h <div class=\"gallery\"> s4j-->", "<!--n9h     </div> s4j-->\n");
}
// An entry as appended: the expected homepage's entry for clip7.mp4 with another name and description.
std::string live(const std::string& name, const std::string& desc = "") {
    std::string e = cut(Home, " <div class=\"gallery\"> \n", "     </div> \n");
    e = with(with(e, "clip7.mp4", name), "clip7.php", name.substr(0, name.find('.')) + ".php");
    return with(e, "My first clip", desc.empty() ? "About " + name : desc);
}
// The same in a homepage without the poster script (a host's own, or one made before it): the video in sight.
std::string inSight(std::string text) {
    for (const std::string line :
         {"    <noscript class=\"video\"> \n", "    </noscript> \n", "<!--n9h    <noscript class=\"video\"> s4j-->\n",
          "<!--n9h    </noscript> s4j-->\n"}) {
        replaceAll(text, line, "");
    }
    return text;
}
// The expected video page for another name and description.
// The title and heading are the homepage description, the same as the page's own here unless said.
std::string pageFor(const std::string& name, const std::string& d, const std::string& title = "") {
    std::string text = with(with(Page, "A longer story", d), "clip7.mp4", name);
    replaceAll(text, "My first clip", title.empty() ? d : title);
    replaceAll(text, "clip7_", name.substr(0, name.find('.')) + "_");
    return text;
}
std::string desc(const std::string& d) {
    return "<div class=\"desc\">" + d + "</div>";
}
// A video page's links to its neighbours' pages (written out here, as a visitor's browser reads them): the lines
// between the page's neighbour markers, and the expected page with them.
struct Link {
    std::string page, words;
};
std::string navLines(const std::optional<Link>& previous, const std::optional<Link>& next) {
    if (!previous && !next) {
        return "";
    }
    std::string lines = "        <nav class=\"neighbours\">\n";
    if (previous) {
        lines += "            <a rel=\"prev\" href=\"" + previous->page + "\">Previous: " + previous->words + "</a>\n";
    }
    if (next) {
        lines += "            <a rel=\"next\" href=\"" + next->page + "\">Next: " + next->words + "</a>\n";
    }
    return lines + "        </nav>\n";
}
const std::string LinksEnd = "<!-- t9b3 end of the links to the previous and next videos. -->";
std::string withLinks(const std::string& page, const std::optional<Link>& previous, const std::optional<Link>& next) {
    return with(page, LinksEnd, navLines(previous, next) + LinksEnd);
}

TEST(StartUp, EmptyFolderSecondStartAndAHandMadeHomepage) {
    Harness h({}, false);
    h.advance(stepInterval(Step::StartUp) - 1);
    EXPECT_FALSE(h.has("AppDocs.txt")) << "the first tick comes when start-up's time has passed";
    EXPECT_LT(h.advanceUntil([&h] { return h.shown(Message::HomepageWillBeCreated); }, 1000), 1000);
    EXPECT_EQ(h.file("AppDocs.txt"), "\r\n");
    EXPECT_FALSE(h.shown(Message::HomepageNotFound));
    EXPECT_FALSE(h.has("homepage.html")) << "the default homepage stays in memory";
    h.advance(NoticeMs - 1);
    EXPECT_TRUE(h.shown(Message::HomepageWillBeCreated));
    h.advance(1);
    EXPECT_FALSE(h.shown(Message::HomepageWillBeCreated)) << "the notice hides itself 25 seconds after it showed";

    Harness again({{"AppDocs.txt", std::string("my notes\r\n")}});
    EXPECT_TRUE(again.shown(Message::HomepageNotFound));
    EXPECT_FALSE(again.shown(Message::HomepageWillBeCreated));
    again.form().clickMessage(Message::HomepageNotFound);
    EXPECT_FALSE(again.shown(Message::HomepageNotFound));
    again.entry("clip7.mp4", "My first clip", "A longer story");
    EXPECT_EQ(again.file("AppDocs.txt"), "my notes\r\n");
    EXPECT_EQ(Home, again.file("homepage.html"));

    const std::string handMade =
        "<html>\r\n<div class=\"gallery\">mine</div>\r\n" + std::string(markers::EndA) + "\r\n</html>\r\n";
    Harness mine({{"Homepage.htm", handMade}});
    EXPECT_FALSE(mine.shown(Message::HomepageWillBeCreated) || mine.shown(Message::HomepageNotFound));
    EXPECT_FALSE(mine.has("homepage.html")) << "start-up writes no homepage";
    mine.entry("clip7.mp4", "My first clip");
    EXPECT_EQ("<html>\n<div class=\"gallery\">mine</div>\n\n" +
                  inSight(live("clip7.mp4", "My first clip") + "\n" + sample()) + std::string(markers::EndA) +
                  "\n</html>\n\r\n",
              mine.file("homepage.html"));
    EXPECT_EQ(mine.file("Homepage.htm"), handMade);
}

TEST(Append, EntriesGoBehindEachOtherWithTheirPages) {
    Harness h;
    h.entry(" clip7.mp4 ", "My first clip", "A longer story");
    EXPECT_EQ(Home, h.file("homepage.html"));
    EXPECT_EQ(Page, h.file("clip7.php"));

    h.entry("two.mpg", "Second");
    EXPECT_EQ(with(Home, sample(), live("two.mpg", "Second") + "\n" + sample()), h.file("homepage.html"));
    EXPECT_EQ(withLinks(pageFor("two.mpg", "Second"), Link{"clip7.php", "My first clip"}, std::nullopt),
              h.file("two.php"));
    EXPECT_EQ(withLinks(Page, std::nullopt, Link{"two.php", "Second"}), h.file("clip7.php"));

    // Typed text reaches the pages as page text, every character beyond ASCII as a reference, so the homepage reads
    // the same whatever character set a server sends with it.
    h.put("Bob's caf\xC3\xA9.mp4", "video");
    h.entry("Bob's caf\xC3\xA9.mp4", "Tom & Jerry <3 caf\xC3\xA9 \xE2\x98\x95");
    EXPECT_TRUE(contains(h.file("homepage.html"), desc("Tom &amp; Jerry &lt;3 caf&#233; &#9749;")));
    // A name beyond ASCII: the pages name it by references, so a browser asks for its UTF-8, the name on disk of the
    // video, the page and the comments file alike.
    EXPECT_TRUE(contains(h.file("homepage.html"), "<a href=\"Bob's caf&#233;.php\">"));
    EXPECT_TRUE(contains(h.file("homepage.html"), "<source src=\"Bob's caf&#233;.mp4\""));
    EXPECT_FALSE(h.has("Bob's caf\xE9.php"));
    const std::string own = h.file("Bob's caf\xC3\xA9.php");
    EXPECT_TRUE(contains(own, desc("Tom &amp; Jerry &lt;3 caf&#233; &#9749;")));
    EXPECT_TRUE(contains(own, "<source src=\"Bob's caf&#233;.mp4\""));
    EXPECT_TRUE(contains(own, "$filename = 'Bob\\'s caf\xC3\xA9_comments.txt';"));
    EXPECT_TRUE(contains(own, "clipnest_store(\"Bob's caf\xC3\xA9_comments.txt\""));
    const std::string huge(2'000'000, 'x');
    h.entry("huge.mp4", huge);
    EXPECT_TRUE(contains(h.file("homepage.html"), desc(huge)));
}

TEST(Append, AHandMadeHomepageGetsASampleAndAPageThereKeepsItsText) {
    const std::string handMade = "<body>\r\n<div class=\"gallery\">by hand</div>\r\n\r\n\r\n\r\n\r\n\r\n" +
                                 std::string(markers::EndA) + "\r\n</body>\r\n";
    const std::string mine =
        "<p>mine</p>\r\n<!-- between this tag and the Individual description -->\r\n" + desc("old");
    Harness h({{"AppDocs.txt", "\r\n"}, {"homepage.html", handMade}, {"clip.php", mine + "\r\n"}});
    h.entry("clip.mp4", "described", "fresh words");
    // Six line breaks in a row (seven here) lose three.
    EXPECT_EQ("<body>\n<div class=\"gallery\">by hand</div>\n\n\n\n" +
                  inSight(live("clip.mp4", "described") + "\n" + sample()) + std::string(markers::EndA) +
                  "\n</body>\n\r\n",
              h.file("homepage.html"));
    EXPECT_EQ(h.file("clip.php"), "<p>mine</p>\n<!-- between this tag and the Individual description -->\n" +
                                      desc("fresh words") + "\n\r\n");
}

// Each request reads the page again, which adds one line break in front of the file's last one.
std::string reread(std::string text, int times) {
    return text.insert(text.size() - 2, std::string(times, '\n'));
}

TEST(Change, EachCaseChangesExactlyItsDescriptions) {
    struct Case {
        const char* name;
        const char* homepage;
        const char* page;
        bool homepageOnly;
        const char* homeAfter; // null: the homepage is not written
        const char* pageAfter; // null: the page is not written
    };
    const Case cases[] = {
        {"clip7.mp4", "", "New individ", false, nullptr, "New individ"},
        {"clip7.mp4", " ", "", false, " ", " "}, // an empty page box takes the homepage's; blanks are kept
        {"clip7.mp4", "Home", "Individ", false, "Home", "Individ"},
        {"clip7.mp4", "Only home", "Ignored", true, "Only home", nullptr},
        // Another extension: the page changes, the entry is written unchanged.
        {"clip7.mov", "Other", "", false, "My first clip", "Other"},
        {"clip7.mp4", "", "", false, nullptr, nullptr},
        {"clip7.mp4", "", "", true, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "|" + c.homepage + "|" + c.page + (c.homepageOnly ? "|only" : ""));
        Harness h({{"homepage.html", Home}, {"clip7.php", Page}, {"AppDocs.txt", "\r\n"}});
        const std::optional<FileStamp> stamp = h.folder().stamp("homepage.html");
        h.entry(c.name, c.homepage, c.page, c.homepageOnly);
        EXPECT_EQ(h.folder().stamp("homepage.html") == stamp, !c.homeAfter) << "written only when it changes";
        const std::string newHome = c.homeAfter ? with(Home, desc("My first clip"), desc(c.homeAfter)) : Home;
        EXPECT_EQ(c.homeAfter ? reread(newHome, 1) : Home, h.file("homepage.html"));
        // The page's title and heading follow a homepage description that changes with the page.
        std::string page = with(Page, desc("A longer story"), desc(c.pageAfter ? c.pageAfter : ""));
        replaceAll(page, "My first clip", *c.homepage && !c.homepageOnly ? c.homepage : "My first clip");
        EXPECT_EQ(c.pageAfter ? reread(page, 1) : Page, h.file("clip7.php"));
        EXPECT_EQ(h.entries(), Names{"clip7.mp4"});
    }
}

TEST(Change, AMissingPageIsSaidThenMadeOnTheSecondClick) {
    Harness only({{"homepage.html", Home}, {"AppDocs.txt", "\r\n"}});
    only.entry("clip7.mp4", "words", "", true);
    EXPECT_FALSE(only.shown(Message::PageNotFound)) << "a homepage-only change needs no page";
    EXPECT_TRUE(contains(only.file("homepage.html"), desc("words")));

    Harness h({{"homepage.html", Home}, {"AppDocs.txt", "\r\n"}});
    h.entry("clip7.mp4", "new words");
    EXPECT_TRUE(h.shown(Message::PageNotFound));
    EXPECT_FALSE(h.has("clip7.php"));
    EXPECT_EQ(h.file("homepage.html"), Home);
    h.form().clickMessage(Message::PageNotFound);
    EXPECT_TRUE(h.shown(Message::PageNotFound)) << "this notice has no close action";
    h.entry("clip7.mp4", "new words");
    EXPECT_EQ(pageFor("clip7.mp4", "new words"), h.file("clip7.php"));
    h.advance(NoticeMs);
    EXPECT_FALSE(h.shown(Message::PageNotFound));
    // Made, the page is said again when it goes missing again.
    std::filesystem::remove(h.dir() / "clip7.php");
    h.entry("clip7.mp4", "newer words");
    EXPECT_TRUE(h.shown(Message::PageNotFound));
    EXPECT_FALSE(h.has("clip7.php"));
    h.advance(NoticeMs);

    // After a refused homepage-only click, a valid click is an ordinary one.
    h.entry("nodot", "", "", true);
    h.entry("clip1.mp4", "first");
    EXPECT_TRUE(h.has("clip1.php"));
}

TEST(Delete, EntriesGoWithTheirLinesAndThePagesStay) {
    Harness h(channel({"one.mp4", "two.mp4", "three.mp4"}));
    const std::string before = h.file("homepage.html");
    // Blanks typed around the name still find it; the second panel's button works on its own box.
    h.form().controls.second.name = "  two.mp4 ";
    h.form().deleteEntry(EntryPanel::Second);
    h.runChains();
    EXPECT_EQ(reread(with(before, " \n\n\n\n" + live("two.mp4") + "\n ", "\n\n"), 1), h.file("homepage.html"));
    h.advance(EntryNotFoundShownMs + NoticeMs);
    EXPECT_FALSE(h.shown(Message::EntryNotFound)) << "a delete done says nothing of an entry not found";
    // The last entry goes with everything up to the sample, which keeps its place.
    const std::string twoGone = h.file("homepage.html");
    h.remove("three.mp4");
    const std::string three =
        twoGone.substr(twoGone.find("<div class=\"gallery\"> \n<!-- t9b3", twoGone.find("one.php")));
    EXPECT_EQ(with(twoGone, three.substr(0, three.find(sample())), "\n\n\n\n\n"), h.file("homepage.html"));
    fs::remove(h.dir() / "one.php");
    h.remove("one.mp4");
    EXPECT_EQ(h.form().operationSummary(), "Deleted one.mp4 from the homepage.");
    EXPECT_EQ(h.entries(), Names{});
    EXPECT_TRUE(h.has("two.php") && h.has("three.php"));
    h.entry("four.mp4", "Four");
    EXPECT_EQ(h.entries(), Names{"four.mp4"});
    EXPECT_TRUE(contains(h.file("homepage.html"), sample()));

    // On a homepage of the host's own whose entries have no gallery opening, an entry goes from its video opening on,
    // and the sample behind the last one stays whole.
    const std::string video = "<div class=\"videofile\">\r\n<source src=\"a.mp4\" type=\"video/mp4\"/>\r\n</div>\r\n";
    const std::string read = "<div class=\"videofile\">\n<source src=\"a.mp4\" type=\"video/mp4\"/>\n</div>\n";
    Harness own({{"AppDocs.txt", "\r\n"},
                 {"homepage.html", "<html>\r\n" + video + with(video, "a.mp4", "b.mp4") + std::string(markers::EndA) +
                                       "\r\n</html>\r\n"}});
    own.remove("b.mp4");
    EXPECT_EQ(own.entries(), Names{"a.mp4"});
    EXPECT_TRUE(contains(own.file("homepage.html"), "<html>\n" + read + "\n\n\n\n\n" + inSight(sample())))
        << own.file("homepage.html");

    // With no entry and no disabled block after it, the last entry goes alone: the host's words behind it stay.
    Harness bare(
        {{"AppDocs.txt", "\r\n"},
         {"homepage.html", "<p>\r\n" + video + with(video, "a.mp4", "b.mp4") + "Thanks for watching my clips\r\n"}});
    bare.remove("b.mp4");
    EXPECT_EQ(bare.entries(), Names{"a.mp4"});
    EXPECT_TRUE(contains(bare.file("homepage.html"), "Thanks for watching my clips")) << bare.file("homepage.html");
}

// Each notice hides itself 25 seconds after the first of them showed; the failure panel and the invalid-name message
// stay until clicked (the message until any click).
TEST(Notices, HideInTheirTime) {
    struct Case {
        Message panel;
        std::function<void(Harness&)> cause;
    };
    const Case cases[] = {
        {Message::PageNotFound,
         [](Harness& h) {
             std::filesystem::remove(h.dir() / "a.php");
             h.entry("a.mp4", "x");
         }},
        {Message::EntryExists, [](Harness& h) { h.insert("a.mp4", "b.mp4"); }},
        {Message::InvalidNames, [](Harness& h) { h.insert("no period", "a.mp4"); }},
        {Message::Notice, [](Harness& h) { h.entry("a.webm", "x"); }},
        {Message::NoHomepage, [](Harness& h) { h.remove("z.mp4"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("panel " + std::to_string(static_cast<int>(c.panel)));
        Harness h(c.panel == Message::NoHomepage ? Files{{"AppDocs.txt", "\r\n"}} : channel({"a.mp4", "b.mp4"}));
        h.runUntilIdle();
        c.cause(h);
        h.advance(TickMs);
        EXPECT_TRUE(h.shown(c.panel));
        h.advance(NoticeMs - 10 * TickMs);
        EXPECT_TRUE(h.shown(c.panel));
        h.advance(10 * TickMs);
        EXPECT_FALSE(h.shown(c.panel));
    }
}

TEST(Delete, MissingEntriesAndHomepagesAreSaid) {
    Harness h(channel({"clip7.mp4"}));
    const std::string file = h.file("homepage.html");
    h.form().controls.first.name = "nothere.mp4";
    h.form().deleteEntry(EntryPanel::First);
    // Said once the homepage is read and the entry is not in it; a click closes it, and the cut's next run says it
    // again.
    const std::int64_t find = stepInterval(Step::FindHomepage), cut = stepInterval(Step::CutEntry);
    h.advance(find);
    EXPECT_TRUE(h.shown(Message::EntryNotFound));
    h.form().clickMessage(Message::EntryNotFound);
    h.advance(cut + stepInterval(Step::EntryNotFound));
    EXPECT_TRUE(h.shown(Message::EntryNotFound)) << "said twice";
    h.advance(EntryNotFoundShownMs);
    EXPECT_FALSE(h.shown(Message::EntryNotFound)) << "for the notice's time";
    h.runUntilIdle();
    // Same name before the period, another extension: no entry to cut, said after twenty seconds.
    h.form().controls.first.name = "clip7.mov";
    h.form().deleteEntry(EntryPanel::First);
    h.advance(EntryNotFoundShownMs);
    EXPECT_FALSE(h.shown(Message::EntryNotFound));
    h.advance(find + cut);
    EXPECT_TRUE(h.shown(Message::EntryNotFound));
    EXPECT_EQ(h.file("homepage.html"), file);

    Harness none;
    none.runUntilIdle();
    none.remove("clip7.mp4");
    EXPECT_TRUE(none.shown(Message::NoHomepage));
    EXPECT_FALSE(none.shown(Message::EntryNotFound));
    none.form().clickMessage(Message::NoHomepage);
    none.remove("clip7.mp4");
    EXPECT_TRUE(none.shown(Message::NoHomepage)) << "each delete that finds none says so";
    EXPECT_FALSE(none.has("homepage.html"));
    none.entry("clip7.mp4", "My first clip", "A longer story");
    EXPECT_EQ(Home, none.file("homepage.html")) << "the default homepage is still held";
    Harness later;
    later.runUntilIdle();
    later.remove("a.mp4");
    EXPECT_TRUE(later.shown(Message::NoHomepage));
    later.put("homepage.html", homepageOf({"a.mp4"}));
    later.remove("a.mp4");
    EXPECT_FALSE(later.shown(Message::NoHomepage)) << "a homepage placed since ends the notice";
    EXPECT_EQ(later.entries(), Names{});

    Harness empty({{"AppDocs.txt", "\r\n"}, {"homepage.html", ""}});
    empty.remove("a.mp4");
    EXPECT_FALSE(empty.form().chainRunning()) << "an empty file is not read again forever";
    empty.advance(stepInterval(Step::EntryNotFound));
    EXPECT_TRUE(empty.shown(Message::EntryNotFound));
}

// The inserted block: the sample's lines without their wrappers, then three line breaks.
std::string inserted(const std::string& name, const std::string& descrip) {
    std::string block = sample();
    replaceAll(block, "<!--n9h ", "");
    replaceAll(block, " s4j-->", "");
    block = with(with(block, "p4yFileNameLessExtp5y", name.substr(0, name.find('.'))), "p4yFileNamep5y", name);
    return with(block, "p4yHomepageDescripp5y", descrip) + "\n\n";
}

TEST(Insert, AboveTheFirstOrAMiddleEntryWithItsPage) {
    Harness h(channel({"one.mp4", "two.mp4"}));
    const std::string before = h.file("homepage.html");
    h.insert("  clip9.mp4 ", " one.mp4  ", "Nine & more", "The long story");
    EXPECT_EQ(reread(with(before, live("one.mp4"),
                          " " + inserted("clip9.mp4", "Nine &amp; more") + live("one.mp4").substr(1)),
                     1),
              h.file("homepage.html"));
    EXPECT_EQ(withLinks(pageFor("clip9.mp4", "The long story", "Nine &amp; more"), std::nullopt,
                        Link{"one.php", "About one.mp4"}),
              h.file("clip9.php"));
    h.insert("clip8.mp4", "two.mp4", "Caf\xC3\xA9 clip");
    EXPECT_EQ(h.entries(), (Names{"clip9.mp4", "one.mp4", "clip8.mp4", "two.mp4"}));
    EXPECT_TRUE(contains(h.file("clip8.php"), desc("Caf&#233; clip"))) << "the homepage description, as a reference";
}

TEST(Insert, RefusedNamesAndAMissingPageEndTheInsert) {
    // clang-format off
    const std::pair<std::string, std::string> refused[] = {{"clip9", "one.mp4"}, {".mp4", "one.mp4"},
        {"clip9.mp4", "one"}, {"clip9.mp4", ""}, {"", "one.mp4"}, {"a:b.mp4", "one.mp4"},
        {"clip9.mp4", "\xE2\x82\xAC\xF0\x9F\x98\x80.mp4"}, {"one.mp4", "x"}};
    // clang-format on
    Harness h(channel({"one.mp4"}));
    const std::string file = h.file("homepage.html");
    for (const auto& [name, anchor] : refused) {
        SCOPED_TRACE(name + " above " + anchor);
        h.insert(name, anchor, "Nine");
        EXPECT_TRUE(h.shown(name == "one.mp4" ? Message::EntryExists : Message::InvalidNames));
        h.runUntilIdle();
        EXPECT_FALSE(h.shown(Message::InvalidNames) || h.shown(Message::EntryExists)) << "for 25 seconds";
    }
    // Refused only once trimmed: the invalid-name message; the next click carries on.
    h.insert(" .mp4", "one.mp4", "Nine");
    h.advance(stepInterval(Step::ShowInvalidName));
    EXPECT_TRUE(h.shown(Message::InvalidName));
    EXPECT_EQ(h.file("homepage.html"), file);
    h.insert("clip9.mp4", "one.mp4", "Nine");
    EXPECT_TRUE(contains(h.file("homepage.html"), inserted("clip9.mp4", "Nine")));
    EXPECT_TRUE(h.has("clip9.php"));
    h.insert(" clip9.mp4", "one.mp4");
    EXPECT_TRUE(h.shown(Message::EntryExists)) << "the duplicate test looks at the name as it will be stored";

    // An entry whose page is gone stops the insert at the notice; the next request is an ordinary append.
    Harness gone(channel({"one.mp4", "clip.mov"}));
    fs::remove(gone.dir() / "clip.php");
    gone.insert("clip.mp4", "one.mp4", "Clip");
    EXPECT_TRUE(gone.shown(Message::PageNotFound));
    gone.entry("new.mp4", "New");
    EXPECT_EQ(gone.entries(), (Names{"one.mp4", "clip.mov", "new.mp4"}));
}

TEST(Title, TitleAndMessageGoBelowTheirMarkers) {
    Harness h;
    h.entry("clip7.mp4", "My first clip", "A longer story");
    const std::string title(markers::Title), message(markers::Message);
    const auto expect = [&](const std::string& t, const char* m) {
        std::string text = with(with(Home, title + "\n</h1>", title + "\n" + t + "\n</h1>"), "<title></title>",
                                "<title>" + t + "</title>");
        return m ? with(with(text, message + "\n</h1>", message + "\n" + m + "\n</h1>"), "content=\"\">",
                        "content=\"" + std::string(m) + "\">")
                 : text;
    };
    h.title("My Channel", "");
    EXPECT_EQ(expect("My Channel", nullptr), h.file("homepage.html")) << "message empty";
    // clang-format off
    const std::array<std::array<const char*, 4>, 5> steps = {{{"", "Hello", "My Channel", "Hello"},
        {"Second", "Blanks:   ", "Second", "Blanks:   "}, {"   ", "", "   ", "Blanks:   "},
        {"<b>Bold & co</b>", "", "&lt;b&gt;Bold &amp; co&lt;/b&gt;", "Blanks:   "},
        {"Plain", "", "Plain", "Blanks:   "}}};
    // clang-format on
    for (const auto& [t, m, shownTitle, shownMessage] : steps) {
        h.title(t, m);
        EXPECT_EQ(expect(shownTitle, shownMessage), h.file("homepage.html")) << t;
    }
    const std::string file = h.file("homepage.html");
    h.title("", "");
    EXPECT_EQ(h.file("homepage.html"), file) << "both boxes empty: nothing happens";
    EXPECT_EQ(h.form().history().entries().size(), 7u);

    // No markers: nothing applied; only a message marker with text after it: the document ends after the new line.
    Harness bare({{"Homepage.htm", "<html>\r\n<body></body>\r\n</html>\r\n"}, {"AppDocs.txt", "\r\n"}});
    bare.title("T", "M");
    EXPECT_EQ(bare.file("homepage.html"), "<html>\n<body></body>\n</html>\n\r\n");
    Harness open({{"homepage.html", "<h2>\r\n" + message + "\r\nold message  "}, {"AppDocs.txt", "\r\n"}});
    open.title("T", "New");
    EXPECT_EQ(open.file("homepage.html"), "<h2>\n" + message + "\nNew\n\r\n");
    // A host's homepage keeps its browser title in step where it has the marker, blanks between them allowed.
    const std::string head(markers::HeadTitle);
    Harness own(
        {{"homepage.html", head + "\r\n  <title>Old</title>\r\n" + title + "\r\nOld\r\n<p>"}, {"AppDocs.txt", "\r\n"}});
    own.title("New & better", "");
    EXPECT_EQ(own.file("homepage.html"),
              head + "\n  <title>New &amp; better</title>\n" + title + "\nNew &amp; better\n<p>\n\r\n");
}

TEST(Rename, ThePageNamesBothFilesAsTheServerHasThemAndRefusesPaths) {
    Harness h;
    h.rename("caf\xC3\xA9.mp4", "new.mp4");
    const std::string page = h.file("change_file_name.php");
    EXPECT_TRUE(page.starts_with("<?php\n// Old Name Of The file\n$old_name = \"caf\xC3\xA9.mp4\" ;\n// New Name For "
                                 "The File\n$new_name = \"new.mp4\" ;\n"))
        << page;
    EXPECT_TRUE(page.ends_with("\n?>\r\n"));
    h.rename("snow\xE2\x98\x83.mp4", "b.mp4");
    EXPECT_TRUE(h.shown(Message::FileFailure)) << "a character the code page lacks";
    // clang-format off
    const std::pair<std::string, std::string> refused[] = {{"../../index.php", "../evil.php"},
        {"old.mp4", "../new.mp4"}, {"a/b.mp4", "b.mp4"}, {"a\\b.mp4", "b.mp4"}, {"", "new.mp4"}, {"old.mp4", ""},
        {"a..b.mp4", "b.mp4"},
        {std::string("a\0b.mp4", 7), "b.mp4"}, {"noperiod", "b.mp4"}, {".htaccess", "b.mp4"}};
    // clang-format on
    for (const auto& [from, to] : refused) {
        SCOPED_TRACE(from + " -> " + to);
        h.rename(from, to);
        h.advance(stepInterval(Step::ShowInvalidName));
        EXPECT_TRUE(h.shown(Message::InvalidName));
        h.runUntilIdle();
    }
    EXPECT_EQ(h.file("change_file_name.php"), page);
    h.rename("caf\xC3\xA9.mp4", "new.mp4");
    EXPECT_FALSE(h.shown(Message::InvalidName)) << "the next click takes the message away";
    EXPECT_EQ(h.file("change_file_name.php"), page);
}

// Renaming an entry's video takes its entry, page, comments and local files along, or moves nothing.
TEST(Rename, AnEntrysVideoTakesItsEntryPageAndFilesAlongOrNothingMoves) {
    Harness h;
    h.entry("a.mp4", "A");
    h.entry("b.mp4", "");
    h.put("a.mp4", "video of a");
    h.put("a_comments.txt", "a comment");
    const Files before = filesOf(h.dir());

    h.rename("a.mp4", "z.mp4");
    EXPECT_EQ(h.entries(), (Names{"z.mp4", "b.mp4"}));
    EXPECT_TRUE(contains(h.file("homepage.html"), "<a href=\"z.php\">"));
    EXPECT_FALSE(h.has("a.php") || h.has("a.mp4") || h.has("a_comments.txt"));
    EXPECT_EQ(h.file("z.mp4"), "video of a");
    EXPECT_EQ(h.file("z_comments.txt"), "a comment");
    const std::string page = h.file("z.php");
    EXPECT_TRUE(contains(page, "src=\"z.mp4\"") && !contains(page, "a.mp4") && !contains(page, "a_comments"));
    const std::string server = h.file("change_file_name.php");
    for (const auto& [from, to] : {std::pair{"a.mp4", "z.mp4"}, {"a_comments.txt", "z_comments.txt"}}) {
        EXPECT_TRUE(renamesOnServer(server, from, to)) << from;
    }
    EXPECT_FALSE(renamesOnServer(server, "a.php", "z.php")) << "the new page goes up with the publish";
    EXPECT_TRUE(h.form().undo());
    EXPECT_EQ(filesOf(h.dir()), before) << "undo puts back the entry, the page and the renamed files";

    // Another container of the same video keeps its page and comments file, which are not "in the way".
    h.rename("a.mp4", "a.webm");
    EXPECT_FALSE(h.shown(Message::FileFailure)) << h.text(Message::FileFailure);
    EXPECT_EQ(h.entries(), (Names{"a.webm", "b.mp4"}));
    EXPECT_EQ(h.file("a_comments.txt"), "a comment");
    EXPECT_TRUE(contains(h.file("a.php"), "src=\"a.webm\""));
    EXPECT_TRUE(h.form().undo());

    // A page titled by its video's name takes the new name.
    h.rename("b.mp4", "y.mp4");
    EXPECT_TRUE(contains(h.file("y.php"), "<title>y.mp4</title>")) << h.file("y.php");
    EXPECT_TRUE(h.form().undo());

    // Refused whole: a name an entry or a file has, the rename page's, a failed write on the way.
    h.put("q.mp4", "another video");
    const Files refusedFrom = filesOf(h.dir());
    const std::pair<std::string, std::string> refused[] = {
        {"a.mp4", "b.mp4"}, {"b.mp4", "q.mp4"}, {"b.mp4", "change_file_name.mp4"}};
    for (const auto& [from, to] : refused) {
        SCOPED_TRACE(from + " -> " + to);
        h.rename(from, to);
        EXPECT_TRUE(contains(h.text(Message::FileFailure), "Clipnest renamed nothing")) << h.text(Message::FileFailure);
        EXPECT_TRUE(filesOf(h.dir()) == refusedFrom);
        h.form().clickMessage(Message::FileFailure);
    }
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        h.folder().failWrite(n);
        h.rename("a.mp4", "w.mp4");
        EXPECT_TRUE(contains(h.text(Message::FileFailure), "nothing was renamed"));
        EXPECT_TRUE(filesOf(h.dir()) == refusedFrom);
        h.form().clickMessage(Message::FileFailure);
    }

    // File only: the rename page and nothing else.
    h.rename("b.mp4", "k.mp4", true);
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "b.mp4"}));
    EXPECT_FALSE(contains(h.file("change_file_name.php"), "$renames")) << "the page for one file";
    EXPECT_TRUE(contains(h.file("change_file_name.php"), "$new_name = \"k.mp4\""));
}

// A poster the host put beside the video is named by the new entry's tags and kept; a rename takes it along, in the
// tags too, and undo brings it back. Without the video there is no poster to make, and the summary says so.
TEST(Posters, TheHostsPosterIsNamedKeptAndRenamedWithItsVideo) {
    Harness h;
    h.put("a.jpg", "the host's poster");
    h.entry("a.mp4", "A");
    EXPECT_EQ(h.form().operationSummary(), "Added a.mp4: a.php and homepage.html written.");
    EXPECT_EQ(h.file("a.jpg"), "the host's poster");
    const std::string tag = "<video controls=\"\" preload=\"none\" playsinline poster=\"a.jpg\">";
    EXPECT_TRUE(contains(h.file("homepage.html"), tag)) << h.file("homepage.html");
    EXPECT_TRUE(
        contains(h.file("a.php"), "<video controls=\"controls\" preload=\"none\" playsinline poster=\"a.jpg\">"));
    h.insert("b.mp4", "a.mp4", "B");
    EXPECT_EQ(h.form().operationSummary(),
              "Inserted b.mp4 above a.mp4: b.php, homepage.html and a.php written. No poster for b.mp4: b.mp4 is not "
              "in the folder.");
    EXPECT_FALSE(contains(h.file("b.php"), "poster=")) << "no poster named that is not there";
    const Files before = filesOf(h.dir());

    h.rename("a.mp4", "z.mp4");
    EXPECT_FALSE(h.has("a.jpg"));
    EXPECT_EQ(h.file("z.jpg"), "the host's poster");
    EXPECT_TRUE(contains(h.file("homepage.html"), with(tag, "a.jpg", "z.jpg")));
    EXPECT_TRUE(contains(h.file("z.php"), "playsinline poster=\"z.jpg\">"));
    EXPECT_FALSE(renamesOnServer(h.file("change_file_name.php"), "a.jpg", "z.jpg")) << "it goes up with the page";
    EXPECT_TRUE(h.form().undo());
    EXPECT_EQ(filesOf(h.dir()), before);

    // A poster in the way of the new name refuses the rename whole.
    h.put("y.jpg", "another poster");
    h.rename("a.mp4", "y.mp4");
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "y.jpg is in the folder already"))
        << h.text(Message::FileFailure);
    EXPECT_TRUE(h.has("a.jpg"));
}

const std::string HostNote = "<!-- the host's own note -->";
void editByHand(Harness& h, const std::string& name) {
    h.put(name, with(h.file(name), "</html>", HostNote + "\n</html>"));
}

// In the session that made the homepage, posters and captions work on the files as they are on disk now: a host's
// edit made since stays, and the entry's tags and page get what the folder holds.
TEST(Posters, PostersAndCaptionsLaterInTheSessionKeepTheHostsEdits) {
    NEEDS(onPath("ffmpeg"), "ffmpeg");
    Harness h;
    h.entry("a.mp4", "A");
    int rc = 0;
    shell("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v libx264 "
          "-pix_fmt yuv420p " +
              quoted(h.dir() / "a.mp4"),
          &rc);
    ASSERT_EQ(rc, 0);
    editByHand(h, "homepage.html");
    h.form().makePosters({}, std::nullopt);
    h.runChains();
    EXPECT_EQ(h.form().operationSummary(), "Posters: a.jpg, a.php and homepage.html written.");
    EXPECT_TRUE(h.file("a.jpg").starts_with("\xFF\xD8"));
    EXPECT_TRUE(contains(h.file("homepage.html"), HostNote));
    EXPECT_TRUE(contains(h.file("homepage.html"), "playsinline poster=\"a.jpg\">"));

    h.put("a.en.vtt", "WEBVTT\n");
    editByHand(h, "a.php");
    h.form().updateCaptions({"a.mp4"});
    h.runChains();
    EXPECT_EQ(h.form().operationSummary(), "Captions: a.php written.");
    EXPECT_TRUE(contains(h.file("a.php"), HostNote));
    EXPECT_TRUE(contains(h.file("a.php"), "<track kind=\"captions\" src=\"a.en.vtt\" srclang=\"en\" label=\"English\" "
                                          "default></video>"));
}

TEST(HostEdits, MarkupNamingTheVideoIsNoEntryAndEveryRequestReadsItsPage) {
    const std::string own = "<img src=\"roses.jpg\"><a href=\"roses.php\">Roses</a>\n";
    Files files = channel({"tulips.mp4"});
    for (auto& [name, bytes] : files) {
        bytes = name == "homepage.html" ? with(bytes, "<body>\n", "<body>\n" + own) : bytes;
    }
    Harness h(files);
    h.entry("roses.mp4", "Roses", "About roses");
    EXPECT_EQ(h.entries(), (Names{"tulips.mp4", "roses.mp4"}));
    EXPECT_TRUE(contains(h.file("homepage.html"), own));
    // A name that differs from an entry's only in its extension is that entry: one page per name.
    h.entry("roses.webm", "Roses again");
    h.entry("tulips.mov", "", "The tulip story");
    EXPECT_EQ(h.entries(), (Names{"tulips.mp4", "roses.mp4"}));

    editByHand(h, "roses.php");
    editByHand(h, "tulips.php");
    h.entry("roses.mp4", "R2", "More about roses");
    h.entry("tulips.mp4", "T2", "More about tulips");
    for (const std::string name : {"roses", "tulips"}) {
        EXPECT_TRUE(contains(h.file(name + ".php"), HostNote + "\n</html>")) << name;
        EXPECT_TRUE(contains(h.file(name + ".php"), desc("More about " + name))) << name;
    }
    // A page that is gone is made anew after the notice, not taken from the request before.
    fs::remove(h.dir() / "roses.php");
    h.entry("roses.mp4", "R3", "Third");
    h.entry("roses.mp4", "R3", "Third");
    EXPECT_FALSE(contains(h.file("roses.php"), HostNote));
    EXPECT_FALSE(contains(h.file("roses.php"), "about tulips"));

    // Insert keeps a page of the host's own that is there, changing only a typed description.
    h.put("new.php", "<html>\n<!-- t9b3 between this tag and the Individual description below -->\n" + desc("Old") +
                         "\n" + HostNote + "\n</html>\r\n");
    const std::string mine = h.file("new.php");
    h.insert("new.mp4", "roses.mp4", "New on the homepage");
    EXPECT_EQ(h.file("new.php"), mine);
    h.remove("new.mp4");
    editByHand(h, "new.php");
    h.insert("new.mp4", "roses.mp4", "New", "Typed words");
    EXPECT_TRUE(contains(h.file("new.php"), desc("Typed words") + "\n" + HostNote));
    EXPECT_TRUE(contains(h.text(Message::Notice), "new.php was changed on disk")) << "a page read is a page known";
}

TEST(HostEdits, FilesChangedOnDiskAreReadAgainAndSaidSoOnce) {
    Harness h;
    h.entry("a.mp4", "A");
    const std::string theirs = homepageOf({"a.mp4", "b.mp4"});
    h.put("homepage.html", theirs);
    h.entry("c.mp4", "C");
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "b.mp4", "c.mp4"}));
    EXPECT_TRUE(contains(h.text(Message::Notice), "homepage.html was changed on disk"));
    h.form().clickMessage(Message::Notice);
    // Its own writes are no change; a file touched with the same bytes is none either.
    h.entry("d.mp4", "D");
    h.put("homepage.html", h.file("homepage.html"));
    h.remove("d.mp4");
    EXPECT_FALSE(h.shown(Message::Notice));
    // Every operation looks: delete, insert and title work on the file as it is now.
    h.put("homepage.html", theirs);
    h.remove("b.mp4");
    EXPECT_EQ(h.entries(), (Names{"a.mp4"}));
    h.put("homepage.html", theirs);
    h.insert("b.mp4", "a.mp4", "B again");
    EXPECT_TRUE(h.shown(Message::EntryExists)) << "the duplicate test reads the file as it is now";
    h.runUntilIdle();
    h.insert("z.mp4", "b.mp4", "Z");
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "z.mp4", "b.mp4"}));
    h.put("homepage.html", theirs);
    h.title("T", "");
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "b.mp4"}));
    h.form().clickMessage(Message::Notice);
    editByHand(h, "c.php");
    h.entry("c.mp4", "", "New words for c");
    EXPECT_TRUE(contains(h.text(Message::Notice), "c.php was changed on disk"));
    EXPECT_FALSE(contains(h.text(Message::Notice), "homepage.html")) << "a closed notice starts afresh";
    EXPECT_TRUE(contains(h.file("c.php"), HostNote));
    // A hand edit that keeps the file's size is read as well.
    h.put("homepage.html", with(h.file("homepage.html"), desc("About a.mp4"), desc("About A.mp4")));
    h.entry("e.mp4", "E");
    EXPECT_TRUE(contains(h.file("homepage.html"), desc("About A.mp4")));

    // A homepage placed after a start without one is the one edited.
    Harness late;
    late.put("homepage.html", theirs);
    late.title("Title", "");
    EXPECT_EQ(late.entries(), (Names{"a.mp4", "b.mp4"}));
    // So is one placed between a click and the Step that reads the homepage.
    Harness between;
    between.form().controls.first = {"c.mp4", "C", "", false};
    between.form().createOrChangeEntry(EntryPanel::First);
    between.put("homepage.html", theirs);
    between.runChains();
    EXPECT_EQ(between.entries(), (Names{"a.mp4", "b.mp4", "c.mp4"}));
}

// Another instance's write that lands right after a file was read (the start reads the homepage before any lock is
// held) is a change the next operation sees: what was read is never taken for what is on disk now.
TEST(HostEdits, AWriteRightAfterAReadIsReadAgain) {
    Harness h({{"homepage.html", homepageOf({"a.mp4"})}}, false);
    h.folder().afterRead = [&h](std::string_view) { h.put("homepage.html", homepageOf({"a.mp4", "b.mp4"})); };
    h.runChains();
    h.entry("c.mp4", "C");
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "b.mp4", "c.mp4"}));
    EXPECT_TRUE(contains(h.text(Message::Notice), "homepage.html was changed on disk"));
}

// A click ends with what it said and what it wrote, which the command line prints; a notice gathers its sentences in
// sight, and the outcome has each once.
TEST(Outcome, TellsWhatAClickSaidWroteAndRefused) {
    using Written = std::set<std::string>;
    const auto written = [](const Outcome& o) { return Written(o.written.begin(), o.written.end()); };
    Harness h;
    EXPECT_EQ(
        h.form().takeOutcome().said,
        (std::vector<Said>{{Message::HomepageWillBeCreated, std::string(fixedWords(Message::HomepageWillBeCreated))}}));
    h.entry("a.mp4", "A");
    h.entry("c.mp4", "C");
    const Outcome made = h.form().takeOutcome();
    EXPECT_FALSE(made.failed());
    EXPECT_EQ(written(made), (Written{"homepage.html", "a.php", "c.php"}));
    EXPECT_TRUE(made.said.empty());

    h.put("homepage.html", homepageOf({"a.mp4", "b.mp4", "c.mp4"}));
    editByHand(h, "c.php");
    h.entry("c.mp4", "", "New words for c");
    const Outcome reread = h.form().takeOutcome();
    ASSERT_EQ(reread.said.size(), 2U);
    EXPECT_TRUE(contains(reread.said[0].words, "homepage.html was changed on disk"));
    EXPECT_TRUE(contains(reread.said[1].words, "c.php was changed on disk"));
    EXPECT_EQ(h.text(Message::Notice), reread.said[0].words + "\n" + reread.said[1].words);
    EXPECT_FALSE(reread.failed()) << "a notice tells";

    h.insert("z.mp4", "nowhere.mp4", "Z");
    const Outcome refused = h.form().takeOutcome();
    EXPECT_EQ(refused.refusal, "An entry for the file name nowhere.mp4 was not found on the Homepage.");
    EXPECT_TRUE(refused.failed());
    EXPECT_TRUE(refused.written.empty());
    EXPECT_EQ(h.form().operationSummary(), refused.refusal);
    h.remove("gone.mp4");
    h.remove("gone.mp4");
    const Outcome missing = h.form().takeOutcome();
    EXPECT_EQ(missing.said,
              (std::vector<Said>{{Message::EntryNotFound, std::string(fixedWords(Message::EntryNotFound))}}))
        << "said once however often it was shown";
    EXPECT_TRUE(missing.failed());
    EXPECT_EQ(missing.said[0].line(), "An entry for the entered file name was not found on the Homepage.");

    ASSERT_TRUE(h.form().undo());
    EXPECT_EQ(written(h.form().takeOutcome()), (Written{"c.php"})) << "the files put back";
    const Said failure{Message::FileFailure, "Clipnest could not write caf\xe9.php.\nThe file was left."};
    EXPECT_EQ(failure.line(), "Clipnest could not write caf\u00e9.php. The file was left.");
}

TEST(Undo, PutsBackEveryFileByteForByteNewestFirst) {
    Harness h;
    h.entry("a.mp4", "A");
    const Files one = filesOf(h.dir());
    const std::string homeOne = h.file("homepage.html");
    h.entry("b.mp4", "B");
    h.entry("a.mp4", "A, better", "The story of a");
    h.title("My title", "My message");
    h.rename("a.mp4", "c.mp4");
    Form& f = h.form();
    EXPECT_TRUE(f.undo());
    EXPECT_FALSE(h.has("change_file_name.php")) << "a file the operation made is removed";
    EXPECT_TRUE(h.form().operationSummary().starts_with("Undid rename a.mp4 c.mp4"));
    EXPECT_FALSE(h.shown(Message::Notice)) << "a done undo is the status line's to say";
    EXPECT_TRUE(f.undo() && f.undo() && f.undo());
    EXPECT_EQ(filesOf(h.dir()), one);
    // The session goes on from the files as undo left them, and takes undo's writes for its own.
    h.entry("a.mp4", "", "Once more");
    EXPECT_FALSE(contains(h.text(Message::Notice), "was changed on disk")) << h.text(Message::Notice);
    h.entry("c.mp4", "C");
    const Files beforeDelete = filesOf(h.dir());
    h.remove("a.mp4");
    const Files beforeInsert = filesOf(h.dir());
    h.insert("d.mp4", "c.mp4", "D");
    EXPECT_TRUE(f.undo());
    EXPECT_EQ(filesOf(h.dir()), beforeInsert) << "the inserted entry and its page go";
    EXPECT_TRUE(f.undo());
    EXPECT_EQ(filesOf(h.dir()), beforeDelete) << "the deleted entry is back";
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "c.mp4"}));
    EXPECT_TRUE(h.file("homepage.html").starts_with(homeOne.substr(0, homeOne.find(sample()))));
    EXPECT_TRUE(f.undo() && f.undo() && f.undo());
    EXPECT_EQ(filesOf(h.dir()), (Files{{"AppDocs.txt", "\r\n"}}));
    EXPECT_FALSE(f.undo());
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "There is nothing to undo."));
}

TEST(Undo, NeverThrowsAwayLaterEditsUnlessForcedAndAFailedWriteLosesNothing) {
    Harness h;
    h.entry("a.mp4", "A", "About a");
    const Files one = filesOf(h.dir());
    h.entry("b.mp4", "B");
    editByHand(h, "b.php");
    const Files edited = filesOf(h.dir());
    EXPECT_FALSE(h.form().undo());
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "b.php was changed after it"));
    EXPECT_EQ(filesOf(h.dir()), edited);
    EXPECT_TRUE(h.form().undo(true));
    EXPECT_EQ(filesOf(h.dir()), one);

    // An undo of a later operation puts back the hand-edited file; that does not make the edit the earlier
    // operation's own, so its undo still refuses.
    h.entry("c.mp4", "C");
    editByHand(h, "homepage.html");
    const Files handEdited = filesOf(h.dir());
    EXPECT_FALSE(h.form().undo());
    h.entry("d.mp4", "D");
    EXPECT_TRUE(h.form().undo());
    EXPECT_EQ(filesOf(h.dir()), handEdited);
    EXPECT_FALSE(h.form().undo());
    EXPECT_TRUE(contains(h.text(Message::FileFailure), "homepage.html was changed after it"));
    EXPECT_EQ(filesOf(h.dir()), handEdited);
    EXPECT_TRUE(h.form().undo(true));
    EXPECT_EQ(filesOf(h.dir()), one);

    h.entry("a.mp4", "A2", "About a, again");
    const Files two = filesOf(h.dir());
    h.folder().failWrite(2);
    EXPECT_FALSE(h.form().undo());
    EXPECT_EQ(filesOf(h.dir()), two) << "an undo puts back every file or none, and leaves nothing beside them";
    EXPECT_TRUE(h.form().undo());
    EXPECT_EQ(filesOf(h.dir()), one);
}

// Fifty operations of every kind on a large homepage keep a few homepages' worth of copies, not fifty: only the
// newest copy of a file is whole, older ones keep what differs from the next. Undo puts every file back byte for byte,
// newest first, the deltas made whole as their turn comes.
TEST(Undo, FiftyOperationsKeepWhatChangedAndUndoByteForByte) {
    Files start = channel({"a.mp4", "b.mp4", "c.mp4"});
    start["homepage.html"] =
        with(start["homepage.html"], "<head>", "<head>\n<!-- " + std::string(400000, 'n') + " -->");
    Harness h(start);
    std::vector<Files> states{filesOf(h.dir())};
    std::string renamed = "c.mp4";
    for (int i = 0; i < 50; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 6) {
        case 0:
            h.entry("v" + n + ".mp4", "Video " + n);
            break;
        case 1:
            h.entry("a.mp4", "A " + n, "The story, told for the " + n + "th time");
            break;
        case 2:
            h.title("Title " + n, "Message " + n);
            break;
        case 3:
            h.insert("w" + n + ".mp4", "b.mp4", "W " + n);
            break;
        case 4:
            h.remove("v" + std::to_string(i - 4) + ".mp4");
            break;
        default:
            h.rename(renamed, "r" + n + ".mp4");
            renamed = "r" + n + ".mp4";
        }
        ASSERT_FALSE(h.shown(Message::FileFailure)) << i << h.text(Message::FileFailure);
        states.push_back(filesOf(h.dir()));
    }
    std::set<std::uintmax_t> inodes;
    std::uintmax_t kept = 0;
    for (const auto& e : fs::recursive_directory_iterator(h.dir() / ".clipnest/history")) {
        struct stat st {};
        if (e.is_regular_file() && ::lstat(e.path().c_str(), &st) == 0 && inodes.insert(st.st_ino).second) {
            kept += static_cast<std::uintmax_t>(st.st_size);
        }
    }
    // Besides, a page an operation gave new links to its neighbours is kept whole once.
    std::uintmax_t pages = 0;
    for (const auto& e : fs::directory_iterator(h.dir())) {
        pages += e.path().extension() == ".php" ? e.file_size() : 0;
    }
    EXPECT_LE(kept, 3 * h.file("homepage.html").size() + pages) << "bytes kept for 50 operations";
    for (int k = 49; k >= 0; --k) {
        ASSERT_TRUE(h.form().undo()) << k << h.text(Message::FileFailure);
        ASSERT_EQ(filesOf(h.dir()), states[static_cast<std::size_t>(k)]) << "after undoing operation " << k;
    }
    EXPECT_FALSE(h.form().undo());
}

TEST(Undo, KeepsTheLastFiftyOperationsThatWroteSomething) {
    Harness h;
    for (int i = 0; i < 53; ++i) {
        h.title("Title " + std::to_string(i), "");
    }
    h.entry("nothing", "");
    h.remove("missing.mp4");
    const std::vector<HistoryEntry> kept = h.form().history().entries();
    ASSERT_EQ(kept.size(), 50u);
    EXPECT_EQ(kept.front().number, 53);
    EXPECT_EQ(kept.back().number, 4);
}

// A bound on the history is kept only when it can be: out of range, or with no history folder to keep it in, it is
// refused and the bound stays as it was.
TEST(Undo, AHistoryBoundIsRefusedOutOfRangeOrWithoutAFolder) {
    TempDir dir;
    WorkingFolder folder(dir.path());
    History history(folder);
    EXPECT_FALSE(history.setKept(0));
    EXPECT_FALSE(history.setKept(History::Largest + 1));
    EXPECT_EQ(history.kept(), History::Kept);
    EXPECT_TRUE(history.setKept(History::Largest));
    EXPECT_EQ(history.kept(), History::Largest);
    TempDir blocked;
    writeFile(blocked.path() / ".clipnest", "a file where the folder would be");
    WorkingFolder blockedFolder(blocked.path());
    EXPECT_FALSE(History(blockedFolder).setKept(10));
    EXPECT_EQ(History(blockedFolder).kept(), History::Kept);
}

// Only folders named by a number from 1 up are records; a link is listed too, to be said damaged.
TEST(Undo, RecordsAreTheFoldersNamedByANumberFromOne) {
    TempDir dir;
    for (const char* name : {"0", "-2", "3", "12", "x1", "1x", "07"}) {
        fs::create_directory(dir.path() / name);
    }
    writeFile(dir.path() / "5", "a file");
    fs::create_directory_symlink(dir.path() / "3", dir.path() / "9");
    EXPECT_EQ(record::entryNumbers(dir.path()), (std::vector<int>{3, 7, 9, 12}));
}

// What stands between a page's neighbour markers; "(no markers)" for a page without them.
std::string linksOf(const Harness& h, const std::string& page) {
    const std::string text = h.file(page);
    const std::string open =
        "Clipnest writes the links to the previous and next videos between it and the next one. -->\n";
    const std::size_t from = text.find(open);
    const std::size_t end = from == std::string::npos ? from : text.find(LinksEnd, from);
    return end == std::string::npos ? "(no markers)" : text.substr(from + open.size(), end - from - open.size());
}

// Checks every page of `order` (stem and homepage description) links its neighbours, and that the last operation
// wrote exactly `written` besides the homepage.
void expectLinks(Harness& h, const std::vector<Link>& order, std::set<std::string> written) {
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto link = [&](std::size_t j) {
            return std::optional<Link>(Link{order[j].page + ".php", order[j].words});
        };
        EXPECT_EQ(linksOf(h, order[i].page + ".php"),
                  navLines(i == 0 ? std::nullopt : link(i - 1), i + 1 < order.size() ? link(i + 1) : std::nullopt))
            << order[i].page;
    }
    const std::vector<std::string> files = h.form().takeOutcome().written;
    std::set<std::string> pages(files.begin(), files.end());
    pages.erase("homepage.html");
    EXPECT_EQ(pages, written);
}

// Every operation leaves each page linking the entries next to it on the homepage, and writes only the pages whose
// links it changed: the entry's own and its old and new neighbours'.
TEST(Neighbours, EveryOperationKeepsThePagesLinksWritingOnlyThoseThatChange) {
    Harness h;
    h.entry("a.mp4", "Apples & pears");
    expectLinks(h, {{"a", "Apples &amp; pears"}}, {"a.php"});
    h.entry("b.mp4", "Bees");
    expectLinks(h, {{"a", "Apples &amp; pears"}, {"b", "Bees"}}, {"a.php", "b.php"});
    h.entry("c.mp4", "Cats");
    expectLinks(h, {{"a", "Apples &amp; pears"}, {"b", "Bees"}, {"c", "Cats"}}, {"b.php", "c.php"});
    h.entry("d.mp4", "Dogs");
    expectLinks(h, {{"a", "Apples &amp; pears"}, {"b", "Bees"}, {"c", "Cats"}, {"d", "Dogs"}}, {"c.php", "d.php"});

    h.insert("x.mp4", "b.mp4", "Xylophones");
    expectLinks(h, {{"a", "Apples &amp; pears"}, {"x", "Xylophones"}, {"b", "Bees"}, {"c", "Cats"}, {"d", "Dogs"}},
                {"a.php", "x.php", "b.php"});
    // A new description is the neighbours' link words; the page of the entry itself changes only its description.
    h.entry("b.mp4", "Bumble <bees>", "Buzz");
    expectLinks(
        h,
        {{"a", "Apples &amp; pears"}, {"x", "Xylophones"}, {"b", "Bumble &lt;bees&gt;"}, {"c", "Cats"}, {"d", "Dogs"}},
        {"x.php", "b.php", "c.php"});
    h.form().moveEntry("a.mp4", "d.mp4");
    expectLinks(
        h,
        {{"x", "Xylophones"}, {"b", "Bumble &lt;bees&gt;"}, {"c", "Cats"}, {"a", "Apples &amp; pears"}, {"d", "Dogs"}},
        {"x.php", "c.php", "a.php", "d.php"});
    h.form().moveEntry("x.mp4", std::nullopt);
    expectLinks(
        h,
        {{"b", "Bumble &lt;bees&gt;"}, {"c", "Cats"}, {"a", "Apples &amp; pears"}, {"d", "Dogs"}, {"x", "Xylophones"}},
        {"b.php", "d.php", "x.php"});
    h.remove("a.mp4");
    expectLinks(h, {{"b", "Bumble &lt;bees&gt;"}, {"c", "Cats"}, {"d", "Dogs"}, {"x", "Xylophones"}},
                {"c.php", "d.php", "a.php"});
    EXPECT_EQ(linksOf(h, "a.php"), "") << "a page whose entry went links no more";

    // A rename points the neighbours at the new page, which keeps its links.
    h.rename("c.mp4", "cows.mp4");
    expectLinks(h, {{"b", "Bumble &lt;bees&gt;"}, {"cows", "Cats"}, {"d", "Dogs"}, {"x", "Xylophones"}},
                {"b.php", "cows.php", "d.php", "change_file_name.php", "c.php"});

    // The title changes no page: the pages read the channel's name from the homepage when they are served.
    h.title("My channel", "");
    expectLinks(h, {{"b", "Bumble &lt;bees&gt;"}, {"cows", "Cats"}, {"d", "Dogs"}, {"x", "Xylophones"}}, {});
}

// Undo puts back every page an operation gave new links, byte for byte, and the links follow the next operation from
// there.
TEST(Neighbours, UndoPutsTheLinksBack) {
    Harness h(channel({"a.mp4", "b.mp4", "c.mp4"}));
    h.entry("b.mp4", "B");
    h.form().takeOutcome();
    const Files before = filesOf(h.dir());
    h.form().moveEntry("c.mp4", "a.mp4");
    EXPECT_EQ(linksOf(h, "b.php"), navLines(Link{"a.php", "About a.mp4"}, std::nullopt));
    ASSERT_TRUE(h.form().undo());
    for (const std::string page : {"a.php", "b.php", "c.php", "homepage.html"}) {
        EXPECT_EQ(h.file(page), before.at(page)) << page;
    }
    h.form().takeOutcome();
    h.remove("c.mp4");
    expectLinks(h, {{"a", "About a.mp4"}, {"b", "B"}}, {"b.php", "c.php"});
    EXPECT_EQ(linksOf(h, "c.php"), "");
}

// A page without the neighbour markers (the host's own, or one made before them) is left exactly as it is; a host's
// edit elsewhere in a page with them stays; a long description is cut in its link, and a neighbour without one is
// named by its video.
TEST(Neighbours, PagesWithoutMarkersStayAndHostEditsElsewhereSurvive) {
    Harness h(channel({"a.mp4", "b.mp4"}));
    const std::string own = "<html><body>my own page for b</body></html>\r\n";
    h.put("b.php", own);
    editByHand(h, "a.php");
    h.entry("c.mp4", std::string(50, 'w') + " " + std::string(50, 'x'));
    EXPECT_EQ(h.file("b.php"), own);
    const std::vector<std::string> written = h.form().takeOutcome().written;
    EXPECT_EQ(std::set<std::string>(written.begin(), written.end()), (std::set<std::string>{"c.php", "homepage.html"}));

    h.insert("n.mp4", "b.mp4", "", "");
    EXPECT_TRUE(contains(h.file("a.php"), HostNote + "\n</html>"));
    EXPECT_EQ(linksOf(h, "a.php"), navLines(std::nullopt, Link{"n.php", "n.mp4"}));
    EXPECT_EQ(linksOf(h, "n.php"), navLines(Link{"a.php", "About a.mp4"}, Link{"b.php", "About b.mp4"}));
    EXPECT_EQ(h.file("b.php"), own);
    h.form().moveEntry("b.mp4", "n.mp4");
    EXPECT_EQ(h.file("b.php"), own);
    EXPECT_EQ(linksOf(h, "c.php"), navLines(Link{"n.php", "n.mp4"}, std::nullopt));
    h.form().moveEntry("c.mp4", "a.mp4");
    EXPECT_EQ(linksOf(h, "a.php"), navLines(Link{"c.php", std::string(50, 'w') + "..."}, Link{"b.php", "About b.mp4"}));
}

// Writing the share tags of every page (after the channel's address is set) gives every page its links too: a page
// made with the markers but never linked yet gets them then, and one already right is not written.
TEST(Neighbours, EveryPageIsLinkedWhenThePagesAreAllMadeAgain) {
    Harness h(channel({"a.mp4", "b.mp4", "c.mp4"}));
    for (const std::string page : {"a.php", "b.php", "c.php"}) {
        h.put(page, with(h.file(page), linksOf(h, page) + LinksEnd, LinksEnd));
    }
    h.form().takeOutcome();
    h.form().writeDiscoveryFiles();
    expectLinks(h, {{"a", "About a.mp4"}, {"b", "About b.mp4"}, {"c", "About c.mp4"}}, {"a.php", "b.php", "c.php"});
    h.form().writeDiscoveryFiles();
    expectLinks(h, {{"a", "About a.mp4"}, {"b", "About b.mp4"}, {"c", "About c.mp4"}}, {});
}

// Two kinds of one video share its page: the page links the neighbours of the later one, as its share tags are the
// later one's, never itself.
TEST(Neighbours, APageTwoEntriesShareLinksTheLaterOnesNeighboursNeverItself) {
    Harness h(channel({"a.mp4", "b.mp4"}));
    h.insert("a.mov", "b.mp4", "MOV");
    EXPECT_EQ(h.entries(), (Names{"a.mp4", "a.mov", "b.mp4"}));
    EXPECT_EQ(linksOf(h, "a.php"), navLines(std::nullopt, Link{"b.php", "About b.mp4"}));
    EXPECT_EQ(linksOf(h, "b.php"), navLines(Link{"a.php", "MOV"}, std::nullopt));
}

} // namespace
} // namespace clipnest::testing
