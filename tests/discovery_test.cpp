// What others read of a channel: the share tags and structured data in a video page's head, feed.xml and sitemap.xml,
// checked by the programs that read them (python3's feedparser, XML and JSON parsers), and how the operations keep
// them in step with the entries and the first-made record.
#include "history/first_made.h"
#include "media/ffmpeg.h"
#include "media/shape.h"
#include "platform/clock.h"
#include "publish/plan.h"
#include "support/support.h"
#include "text/discovery.h"

#include <ctime>
#include <map>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
using namespace discovery;

const std::string Site = "https://example.net/garden/";
// Text a host may type: markup, quotes, a backslash, a line break, a control character, letters beyond ASCII, an emoji
// and the start of a PHP tag.
const std::string Hostile =
    "Tom & \"Jerry\" <b>'s</b> </script> \\ line\nbreak \x01 caf\xC3\xA9 \xF0\x9F\x8E\xA5 <?php";

VideoFacts facts(const std::string& video, const std::string& title, const std::string& description = "") {
    VideoFacts v;
    const std::string less = video.substr(0, video.rfind('.'));
    v.video = video;
    v.page = less + ".php";
    v.poster = less + ".jpg";
    v.title = title;
    v.description = description;
    v.firstMade = {1'765'000'000, 60};
    v.size = 123456;
    v.width = 1280;
    v.height = 720;
    v.seconds = 65.4;
    return v;
}

// The system's python3, where python3-feedparser is installed, before any other on the PATH.
const std::string Python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";

// Runs a python3 program on a file and gives what it prints; the test fails when python3 does.
std::string python(const std::string& program, const fs::path& file) {
    int rc = 0;
    const std::string out = shell(Python + " -c " + quoted(program) + " " + quoted(file.string()), &rc);
    EXPECT_EQ(rc, 0) << out;
    return out;
}

// The share tags as a chat app reads them: property -> content, the content's references decoded by python's HTML
// parser.
std::map<std::string, std::string> readTags(const std::string& head) {
    TempDir dir;
    writeFile(dir.path() / "head.html", head);
    const std::string out =
        python("import sys, html.parser\n"
               "class P(html.parser.HTMLParser):\n"
               "    def handle_starttag(self, tag, attrs):\n"
               "        a = dict(attrs)\n"
               "        if tag == 'meta' and 'property' in a:\n"
               "            print(a['property'] + '\\t' + a.get('content', '').encode('unicode_escape')"
               ".decode())\n"
               "P().feed(open(sys.argv[1], encoding='ascii').read())\n",
               dir.path() / "head.html");
    std::map<std::string, std::string> tags;
    std::size_t from = 0;
    while (from < out.size()) {
        const std::size_t end = out.find('\n', from);
        const std::string line = out.substr(from, end - from);
        const std::size_t tab = line.find('\t');
        EXPECT_FALSE(tags.contains(line.substr(0, tab))) << "one of each: " << line;
        tags[line.substr(0, tab)] = line.substr(tab + 1);
        from = end == std::string::npos ? out.size() : end + 1;
    }
    return tags;
}

bool ascii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

TEST(Discovery, ChannelAddressRules) {
    for (const std::string good : {"https://example.net/garden/", "http://example.net/",
                                   "https://xn--bcher-kva.example/", "https://example.net:8443/a%20b/"}) {
        EXPECT_EQ(siteProblem(good), "") << good;
    }
    const std::map<std::string, std::string> bad = {
        {"", "https://"},
        {"ftp://example.net/", "https://"},
        {"https://example.net/garden", "ends in /"},
        {"https://example.net", "ends in /"},
        {"https:///garden/", "needs a host"},
        {"https://user@example.net/", "needs a host"},
        {"https://example.net/?page=1/", "no query"},
        {"https://example.net/#top/", "no query"},
        {"https://example.net/my garden/", "blanks"},
        {"https://example.net/\"x/", "quotes"},
        {"https://example.net/'x/", "quotes"},
        {"https://example.net/\tx/", "control"},
        {"https://example.net/<x/", "angle brackets"},
        {"https://b\xC3\xBC"
         "cher.example/",
         "ASCII"},
    };
    for (const auto& [site, why] : bad) {
        EXPECT_NE(siteProblem(site).find(why), std::string::npos) << site << ": " << siteProblem(site);
    }
}

TEST(Discovery, DatesAndDurationsAsTheFormatsWriteThem) {
    const Moment moment{1'765'234'952, 60}; // 2025-12-08 23:02:32 UTC
    EXPECT_EQ(isoDateTime(moment), "2025-12-09T00:02:32+01:00");
    EXPECT_EQ(rfc822DateTime(moment), "Tue, 09 Dec 2025 00:02:32 +0100");
    EXPECT_EQ(rfc822DateTime({1'765'234'952, -330}), "Mon, 08 Dec 2025 17:32:32 -0530");
    EXPECT_EQ(rfc822DateTime({0, 0}), "Thu, 01 Jan 1970 00:00:00 +0000");
    EXPECT_EQ(isoDateTime({951'782'400, 0}), "2000-02-29T00:00:00+00:00") << "a leap day";
    for (const Moment m : {moment, Moment{951'782'400, 0}, Moment{-86'400, -600}}) {
        const std::optional<Moment> back = parseIsoDateTime(isoDateTime(m));
        ASSERT_TRUE(back) << isoDateTime(m);
        EXPECT_EQ(back->seconds, m.seconds);
        EXPECT_EQ(back->offsetMinutes, m.offsetMinutes);
    }
    EXPECT_EQ(parseIsoDateTime("2025-12-08T23:02Z")->seconds, 1'765'234'920);
    EXPECT_EQ(parseIsoDateTime("2025-12-08T23:02:32+23:59")->offsetMinutes, 23 * 60 + 59) << "the widest offset";
    EXPECT_FALSE(parseIsoDateTime("2025-12-08T23:02:32+24:00"));
    // Each field at both ends of its range, and one past.
    for (const char* edge : {"2026-01-01T00:00:00Z", "2026-12-31T23:59:59Z", "0000-01-01T00:00:00Z"}) {
        EXPECT_TRUE(parseIsoDateTime(edge)) << edge;
    }
    for (const char* past : {"2026-00-10T10:10:10Z", "2026-01-00T10:10:10Z", "2026-01-32T10:10:10Z",
                             "2026-01-10T24:10:10Z", "2026-01-10T10:60:10Z", "2026-01-10T10:10:61Z"}) {
        EXPECT_FALSE(parseIsoDateTime(past)) << past;
    }
    for (const char* bad : {"", "2025-12-08", "2025-12-08T23:02:32", "2025-13-08T23:02:32Z", "2025-12-08T23:02:32+1:00",
                            "2025-12-08T23:02:32Zx"}) {
        EXPECT_FALSE(parseIsoDateTime(bad)) << bad;
    }
    EXPECT_EQ(isoDuration(65.4), "PT1M5S");
    EXPECT_EQ(isoDuration(7203), "PT2H0M3S");
    EXPECT_EQ(isoDuration(0.2), "PT0S");
    EXPECT_EQ(isoDuration(59.6), "PT1M0S");
}

TEST(Discovery, AddressesOfFilesAreEncoded) {
    EXPECT_EQ(addressOf(Site, "AZaz09-._~.mp4"), Site + "AZaz09-._~.mp4") << "unreserved characters as they are";
    EXPECT_EQ(addressOf(Site, "my clip#1?&caf\xC3\xA9%.mp4"), Site + "my%20clip%231%3F%26caf%C3%A9%25.mp4");
}

TEST(Discovery, ShareTagsAreAbsoluteAndKeepTheVideoEmbed) {
    VideoFacts v = facts("my clip.mp4", Hostile, std::string(300, 'x') + " tail");
    v.posterWidth = 640;
    v.posterHeight = 360;
    const std::string tags = shareTags(Site, v);
    EXPECT_TRUE(ascii(tags));
    const std::map<std::string, std::string> read = readTags(tags);
    EXPECT_EQ(read.at("og:type"), "video.other");
    EXPECT_EQ(read.at("og:url"), Site + "my%20clip.php");
    EXPECT_EQ(read.at("og:video"), Site + "my%20clip.mp4");
    EXPECT_EQ(read.at("og:video:secure_url"), Site + "my%20clip.mp4");
    EXPECT_EQ(read.at("og:image"), Site + "my%20clip.jpg");
    EXPECT_EQ(read.at("og:video:type"), "video/mp4");
    EXPECT_EQ(read.at("og:video:width"), "1280");
    EXPECT_EQ(read.at("og:video:height"), "720");
    EXPECT_EQ(read.at("og:image:width"), "640");
    EXPECT_EQ(read.at("og:image:height"), "360");
    EXPECT_EQ(read.at("og:title"), "Tom & \"Jerry\" <b>'s</b> </script> \\\\ line\\nbreak  caf\\xe9 \\U0001f3a5 <?php")
        << "the title as typed, less the control character";
    EXPECT_LE(read.at("og:description").size(), 200u);
    EXPECT_TRUE(read.at("og:description").ends_with("x...")) << read.at("og:description");
    EXPECT_FALSE(read.contains("twitter:card")) << "a summary_large_image card makes chat apps drop the video";
    EXPECT_EQ(tags.find("<?"), std::string::npos) << "the page is PHP";

    const std::map<std::string, std::string> plain = readTags(shareTags("http://example.net/", facts("a.WebM", "A")));
    EXPECT_FALSE(plain.contains("og:video:secure_url")) << "only an https address is secure";
    EXPECT_EQ(plain.at("og:video:type"), "video/webm") << "whatever the extension's case";
    EXPECT_FALSE(plain.contains("og:image:width")) << "left out when not known";
    for (const auto& [property, content] : plain) {
        if (property == "og:url" || property == "og:video" || property == "og:image") {
            EXPECT_TRUE(content.starts_with("http://example.net/")) << property;
        }
    }
}

TEST(Discovery, StructuredDataIsJsonWhateverTheHostTyped) {
    const std::string block = videoJsonLd(Site, facts("clip.mp4", Hostile, Hostile + " t9b3 p4yFileNamep5y"));
    EXPECT_TRUE(ascii(block));
    const std::string open = "<script type=\"application/ld+json\">";
    ASSERT_TRUE(block.starts_with(open));
    ASSERT_TRUE(block.ends_with("</script>\n"));
    const std::string inside = block.substr(open.size(), block.size() - open.size() - 10);
    EXPECT_EQ(inside.find("</script"), std::string::npos);
    EXPECT_EQ(inside.find("<?"), std::string::npos);
    EXPECT_EQ(inside.find("<!"), std::string::npos);
    EXPECT_EQ(inside.find("t9b3"), std::string::npos) << "no marker for the edits to find";
    TempDir dir;
    writeFile(dir.path() / "ld.json", inside);
    const std::string out = python("import sys, json\n"
                                   "d = json.load(open(sys.argv[1], encoding='ascii'))\n"
                                   "for k in ['@context', '@type', 'name', 'description', 'thumbnailUrl', 'uploadDate',"
                                   " 'duration', 'contentUrl', 'embedUrl', 'url', 'width', 'height']:\n"
                                   "    print(k, ascii(d[k]))\n",
                                   dir.path() / "ld.json");
    EXPECT_EQ(out, "@context 'https://schema.org'\n"
                   "@type 'VideoObject'\n"
                   "name 'Tom & \"Jerry\" <b>\\'s</b> </script> \\\\ line\\nbreak \\x01 caf\\xe9 \\U0001f3a5 <?php'\n"
                   "description 'Tom & \"Jerry\" <b>\\'s</b> </script> \\\\ line\\nbreak \\x01 caf\\xe9 \\U0001f3a5 "
                   "<?php t9b3 p4yFileNamep5y'\n"
                   "thumbnailUrl 'https://example.net/garden/clip.jpg'\n"
                   "uploadDate '2025-12-06T06:46:40+01:00'\n"
                   "duration 'PT1M5S'\n"
                   "contentUrl 'https://example.net/garden/clip.mp4'\n"
                   "embedUrl 'https://example.net/garden/clip.php'\n"
                   "url 'https://example.net/garden/clip.php'\n"
                   "width 1280\n"
                   "height 720\n");
}

TEST(Discovery, FeedAsFeedparserReadsIt) {
    NEEDS(shell(Python + " -c 'import feedparser' 2>&1").empty(), "python3-feedparser");
    VideoFacts webm = facts("b b.webm", "Second");
    webm.poster.clear();
    webm.size = 99;
    const std::vector<VideoFacts> videos{facts("a.mp4", Hostile, "The longer story"), webm};
    TempDir dir;
    writeFile(dir.path() / "feed.xml", feedXml(Site, {"My garden", "Roses & more"}, videos));
    EXPECT_TRUE(ascii(readFile(dir.path() / "feed.xml")));
    const std::string out =
        python("import sys, feedparser\n"
               "f = feedparser.parse(sys.argv[1])\n"
               "print('bozo', int(f.bozo), f.version, ascii(f.feed.title), f.feed.link, ascii(f.feed.subtitle))\n"
               "for e in f.entries:\n"
               "    print(ascii(e.title), e.link, e.id, e.published, ascii(e.summary))\n"
               "    for n in e.enclosures: print(' enclosure', n.href, n.length, n.type)\n"
               "    for t in e.get('media_thumbnail', []): print(' thumbnail', t['url'])\n"
               "    for c in e.get('media_content', []): print(' content', c['url'], c['type'], c.get('duration'))\n",
               dir.path() / "feed.xml");
    EXPECT_EQ(out, "bozo 0 rss20 'My garden' https://example.net/garden/ 'Roses & more'\n"
                   "'Tom & \"Jerry\" <b>\\'s</b> </script> \\\\ line\\nbreak  caf\\xe9 \\U0001f3a5 <?php' "
                   "https://example.net/garden/a.php https://example.net/garden/a.php "
                   "Sat, 06 Dec 2025 06:46:40 +0100 'The longer story'\n"
                   " enclosure https://example.net/garden/a.mp4 123456 video/mp4\n"
                   " thumbnail https://example.net/garden/a.jpg\n"
                   " content https://example.net/garden/a.mp4 video/mp4 65\n"
                   "'Second' https://example.net/garden/b%20b.php https://example.net/garden/b%20b.php "
                   "Sat, 06 Dec 2025 06:46:40 +0100 'Second'\n"
                   " enclosure https://example.net/garden/b%20b.webm 99 video/webm\n"
                   " content https://example.net/garden/b%20b.webm video/webm 65\n");
}

TEST(Discovery, FeedAndSitemapAreStrictXml) {
    EXPECT_NE(feedXml(Site, {}, {})
                  .find("<title>https://example.net/garden/</title>\n  <link>https://example.net/garden/"
                        "</link>\n  <description>Videos of https://example.net/garden/</description>"),
              std::string::npos)
        << "a homepage without a title or message is named by its address";
    // The last characters XML allows below and above the surrogates stay; U+FFFE and U+FFFF do not.
    const std::string edges =
        feedXml(Site, {"\xED\x9F\xBF|\xEE\x80\x80|\xEF\xBF\xBD|\xEF\xBF\xBE|\xEF\xBF\xBF|", ""}, {});
    EXPECT_NE(edges.find("<title>&#55295;|&#57344;|&#65533;|||</title>"), std::string::npos) << edges;
    const std::vector<VideoFacts> videos{facts("a.mp4", Hostile, Hostile), facts("b.webm", "B")};
    TempDir dir;
    writeFile(dir.path() / "feed.xml", feedXml(Site, {Hostile, Hostile}, videos));
    writeFile(dir.path() / "sitemap.xml", sitemapXml(Site, videos));
    // ElementTree refuses what is not well-formed XML 1.0; the names are read with their namespaces.
    const std::string out =
        python("import sys, xml.etree.ElementTree as E\n"
               "V = '{http://www.google.com/schemas/sitemap-video/1.1}'\n"
               "S = '{http://www.sitemaps.org/schemas/sitemap/0.9}'\n"
               "r = E.parse(sys.argv[1]).getroot()\n"
               "print(r.tag, r.get('version'), len(r.find('channel').findall('item')),\n"
               "      r.find('channel/item/{http://search.yahoo.com/mrss/}thumbnail').get('url'),\n"
               "      r.find('channel/item/guid').get('isPermaLink'))\n"
               "m = E.parse(sys.argv[1].replace('feed', 'sitemap')).getroot()\n"
               "print(m.tag)\n"
               "for u in m.findall(S + 'url'):\n"
               "    v = u.find(V + 'video')\n"
               "    print(u.find(S + 'loc').text, ascii(v is not None and [v.find(V + k).text for k in\n"
               "          ['thumbnail_loc', 'title', 'content_loc', 'duration', 'publication_date']]))\n",
               dir.path() / "feed.xml");
    EXPECT_EQ(out, "rss 2.0 2 https://example.net/garden/a.jpg true\n"
                   "{http://www.sitemaps.org/schemas/sitemap/0.9}urlset\n"
                   "https://example.net/garden/ False\n"
                   "https://example.net/garden/a.php ['https://example.net/garden/a.jpg', "
                   "'Tom & \"Jerry\" <b>\\'s</b> </script> \\\\ line\\nbreak  caf\\xe9 \\U0001f3a5 <?php', "
                   "'https://example.net/garden/a.mp4', '65', '2025-12-06T06:46:40+01:00']\n"
                   "https://example.net/garden/b.php ['https://example.net/garden/b.jpg', 'B', "
                   "'https://example.net/garden/b.webm', '65', '2025-12-06T06:46:40+01:00']\n");
}

// A channel with its address set, and videos of a few bytes each in it.
struct SiteChannel {
    Harness h;
    explicit SiteChannel(const std::string& site = Site) {
        fs::create_directories(h.dir() / ".clipnest");
        h.put(".clipnest/publish.conf", "site = " + site + "\n");
        h.put("a.mp4", "0123456789");
        h.put("b.mp4", "012");
    }
    std::string feed() { return h.file("feed.xml"); }
    std::string madeRecord() { return h.file(".clipnest/first-made"); }
};

TEST(Discovery, NothingAbsoluteIsWrittenWithoutAnAddress) {
    for (const std::string conf : {"", "site = https://example.net/garden\n"}) {
        Harness h;
        if (!conf.empty()) {
            fs::create_directories(h.dir() / ".clipnest");
            h.put(".clipnest/publish.conf", conf);
        }
        h.put("a.mp4", "0123456789");
        h.entry("a.mp4", "Roses", "Pruning roses");
        h.title("My garden", "Hello");
        EXPECT_FALSE(h.has("feed.xml"));
        EXPECT_FALSE(h.has("sitemap.xml"));
        EXPECT_EQ(h.file("a.php").find("<meta property"), std::string::npos);
        EXPECT_EQ(h.file("a.php").find("ld+json"), std::string::npos);
        EXPECT_EQ(h.file("a.php").find("example.net"), std::string::npos);
        EXPECT_EQ(h.file("homepage.html").find("://"), std::string::npos);
        EXPECT_EQ(h.form().operationSummary(), "Updated the title and message: homepage.html written.");
        EXPECT_TRUE(h.file(".clipnest/first-made").ends_with(" a.mp4\n")) << "the record is kept all the same";
    }
}

TEST(Discovery, EveryOperationKeepsPageFeedAndSitemapInStepAndUndoTakesThemBack) {
    SiteChannel c;
    c.h.entry("a.mp4", "Roses", "Pruning roses");
    EXPECT_TRUE(c.h.form().operationSummary().starts_with(
        "Added a.mp4: a.php, homepage.html, feed.xml and sitemap.xml written."))
        << c.h.form().operationSummary();
    std::string page = c.h.file("a.php");
    const std::size_t head = page.find("</head>");
    const std::size_t tags = page.find("<meta property=\"og:url\" content=\"https://example.net/garden/a.php\">");
    EXPECT_LT(tags, head);
    EXPECT_LT(page.find("\"@type\": \"VideoObject\""), head);
    EXPECT_NE(page.find("<meta property=\"og:description\" content=\"Pruning roses\">"), std::string::npos);
    EXPECT_NE(c.feed().find("<title>Roses</title>"), std::string::npos);
    EXPECT_NE(c.feed().find("length=\"10\""), std::string::npos) << "the video's real size";

    c.h.entry("a.mp4", "Red roses", "Pruning red roses");
    page = c.h.file("a.php");
    EXPECT_NE(page.find("content=\"Red roses\""), std::string::npos);
    EXPECT_EQ(page.find("content=\"Pruning roses\""), std::string::npos) << "the block is replaced, not added to";
    EXPECT_NE(c.feed().find("<description>Pruning red roses</description>"), std::string::npos);
    EXPECT_EQ(c.feed().find("Pruning roses"), std::string::npos);

    c.h.insert("b.mp4", "a.mp4", "Tulips");
    const std::string feed = c.feed();
    EXPECT_LT(feed.find("<title>Tulips</title>"), feed.find("<title>Red roses</title>")) << "the homepage's order";
    EXPECT_NE(c.h.file("sitemap.xml").find("<loc>https://example.net/garden/b.php</loc>"), std::string::npos);

    c.h.title("My garden", "All about roses");
    EXPECT_NE(c.feed().find("<title>My garden</title>"), std::string::npos);
    EXPECT_NE(c.feed().find("<description>All about roses</description>"), std::string::npos);

    c.h.form().undo();
    EXPECT_EQ(c.feed(), feed) << "undo puts the feed back with the homepage";
    c.h.remove("b.mp4");
    EXPECT_EQ(c.feed().find("b.mp4"), std::string::npos);
    EXPECT_EQ(c.h.file("sitemap.xml").find("b.php"), std::string::npos);
    c.h.form().undo();
    EXPECT_EQ(c.feed(), feed);
}

TEST(Discovery, FirstMadeDateFollowsARenameAndGoesOnDelete) {
    SiteChannel c;
    c.h.entry("a.mp4", "Roses");
    const std::string record = c.madeRecord();
    ASSERT_TRUE(record.ends_with(" a.mp4\n")) << record;
    const std::string date = record.substr(0, record.find(' '));
    ASSERT_TRUE(parseIsoDateTime(date)) << date;
    c.h.entry("a.mp4", "Red roses");
    EXPECT_EQ(c.madeRecord(), record) << "a change is no new entry";

    c.h.rename("a.mp4", "c.mp4");
    EXPECT_EQ(c.madeRecord(), date + " c.mp4\n");
    EXPECT_NE(c.h.file("c.php").find("content=\"https://example.net/garden/c.mp4\""), std::string::npos)
        << "the renamed page's tags name the new video";
    EXPECT_NE(c.feed().find("<pubDate>" + rfc822DateTime(*parseIsoDateTime(date)) + "</pubDate>"), std::string::npos);
    EXPECT_EQ(c.feed().find("a.mp4"), std::string::npos);

    const std::string feed = c.feed();
    c.h.remove("c.mp4");
    EXPECT_EQ(c.madeRecord(), "-" + date + " c.mp4\n") << "set aside for an undo";
    c.h.form().undo();
    EXPECT_EQ(c.feed(), feed) << "the entry back by undo has its date back";
    c.h.remove("c.mp4");
    c.h.put("c.mp4", "0123456789");
    c.h.entry("c.mp4", "Roses again");
    EXPECT_NE(c.madeRecord(), "-" + date + " c.mp4\n");
    EXPECT_FALSE(c.madeRecord().starts_with("-")) << "made again, it has a date of its own";
}

// What an operation did to the entries, from their lists before and after: names kept in place or moved are neither
// added nor gone, a name twice counts once, and a long change (looked up another way) gives the same answer.
TEST(Discovery, NamesChangedBetweenTwoListsOfEntries) {
    using Names = std::vector<std::string>;
    using Views = std::vector<std::string_view>;
    const auto changed = [](const Names& before, const Names& after) {
        const NamesChanged c = namesChanged(before, after);
        return std::pair{c.added, c.gone};
    };
    EXPECT_EQ(changed({}, {}), (std::pair{Views{}, Views{}}));
    EXPECT_EQ(changed({"a", "b"}, {"a", "b", "c"}), (std::pair{Views{"c"}, Views{}}));
    EXPECT_EQ(changed({"a", "b", "c"}, {"x", "a", "b", "c"}), (std::pair{Views{"x"}, Views{}}));
    EXPECT_EQ(changed({"a", "b", "c"}, {"a", "c"}), (std::pair{Views{}, Views{"b"}}));
    EXPECT_EQ(changed({"a", "b", "c"}, {"c", "b", "a"}), (std::pair{Views{}, Views{}})) << "moved, not made";
    EXPECT_EQ(changed({"a", "b", "a"}, {"a", "b"}), (std::pair{Views{}, Views{}})) << "one of two copies went";
    EXPECT_EQ(changed({"a", "a"}, {"a", "a", "a"}), (std::pair{Views{}, Views{}}));
    EXPECT_EQ(changed({"a", "b", "c"}, {"a", "d", "c"}), (std::pair{Views{"d"}, Views{"b"}}));
    EXPECT_EQ(changed({"a"}, {"b"}), (std::pair{Views{"b"}, Views{"a"}}));

    Names many, renamed;
    for (int i = 0; i < 40; ++i) {
        many.push_back("v" + std::to_string(i));
        renamed.push_back(i % 2 == 0 ? "w" + std::to_string(i) : many.back());
    }
    std::swap(renamed[1], renamed[39]);
    const auto [added, gone] = changed(many, renamed);
    ASSERT_EQ(added.size(), 20U);
    ASSERT_EQ(gone.size(), 20U);
    EXPECT_EQ(added.front(), "w0");
    EXPECT_EQ(gone.back(), "v38");
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(added[i], "w" + std::to_string(2 * i));
        EXPECT_EQ(gone[i], "v" + std::to_string(2 * i));
    }

    FirstMade record{{"a", "2020"}, {"b", "2021"}, {"c", "-2019"}};
    EXPECT_FALSE(followEntries(record, namesChanged({"a", "b"}, {"b", "a"}), "2026"));
    EXPECT_TRUE(followEntries(record, namesChanged({"a", "b"}, {"b", "c", "d"}), "2026"));
    EXPECT_EQ(record, (FirstMade{{"a", "-2020"}, {"b", "2021"}, {"c", "2026"}, {"d", "2026"}}))
        << "made again, an entry has a date of its own; a gone one's date is set aside once";
    EXPECT_FALSE(followEntries(record, namesChanged({"a", "d"}, {"d", "c"}), "2026")) << "nothing new to say";
    EXPECT_EQ(record, (FirstMade{{"a", "-2020"}, {"b", "2021"}, {"c", "2026"}, {"d", "2026"}}));
    EXPECT_TRUE(followEntries(record, namesChanged({"x"}, {}), "2026") == false) << "a name the record never had";
}

// Each operation starts from the entries as the homepage has them: one the host added by hand between two operations
// is no new entry of the second, and one the host took out is not set aside by it.
TEST(Discovery, HandEditsBetweenOperationsAreNoEntriesMadeOrGone) {
    static std::int64_t now = 1'765'000'000;
    const auto previous = setWallClock([] { return now; });
    Harness h(channel({"a.mp4", "b.mp4"}));
    h.entry("c.mp4", "Lilies");
    const std::string record = h.file(".clipnest/first-made");
    ASSERT_TRUE(record.ends_with(" c.mp4\n")) << record;
    EXPECT_EQ(record.find("a.mp4"), std::string::npos) << "entries older than the record are not dated";

    now += 3600;
    std::string homepage = h.file("homepage.html");
    const std::string c = "<source src=\"c.mp4\"";
    ASSERT_NE(homepage.find(c), std::string::npos);
    homepage.replace(homepage.find(c), c.size(), "<source src=\"hand.mp4\"");
    h.put("homepage.html", homepage);
    h.entry("b.mp4", "Tulips");
    EXPECT_EQ(h.file(".clipnest/first-made"), record) << "hand.mp4 was there when the change began; c.mp4 was not";
    h.entry("d.mp4", "Daisies");
    EXPECT_EQ(h.file(".clipnest/first-made"), record + "2025-12-06T06:46:40+00:00 d.mp4\n");
    setWallClock(previous);
}

// The page as PHP serves it, with what a host may type in its descriptions: the head's tags and data come out as
// written, the JSON parses, and nothing typed runs as PHP.
TEST(Discovery, ThePageAsPhpServesItWithAHostileDescription) {
    NEEDS(onPath("php"), "php");
    SiteChannel c;
    c.h.entry("a.mp4", Hostile + " <?php echo 'ran'; ?>", Hostile + " <?= 'ran' ?> t9b3");
    int rc = 0;
    EXPECT_NE(shell("php -l " + quoted(c.h.dir() / "a.php"), &rc).find("No syntax errors"), std::string::npos);
    const std::string served = shell("cd " + quoted(c.h.dir()) + " && php -n a.php", &rc);
    ASSERT_EQ(rc, 0) << served;
    const std::string written = c.h.file("a.php");
    // The head as written, but for the page's own PHP there: its title again, as its description.
    std::string head = written.substr(0, written.find("</head>"));
    head = head.substr(head.find("<!DOCTYPE html>")); // the PHP above it answers posts and prints nothing
    head = with(head, "<?php ob_start(); ?>\n", "");
    const std::size_t from = head.find("<?php\n"), to = head.find("?>\n", from) + 3;
    const std::size_t title = head.find("<title>") + 7;
    head.replace(from, to - from,
                 "    <meta name=\"description\" content=\"" + head.substr(title, head.find("</title>") - title) +
                     "\">\n");
    EXPECT_EQ(served.substr(0, head.size()), head) << "typed PHP never runs: the head is served as written";
    TempDir dir;
    writeFile(dir.path() / "page.html", served);
    const std::string out = python("import sys, json, html.parser\n"
                                   "class P(html.parser.HTMLParser):\n"
                                   "    data = None\n"
                                   "    def handle_starttag(self, tag, attrs):\n"
                                   "        a = dict(attrs)\n"
                                   "        self.inside = tag == 'script' and a.get('type') == 'application/ld+json'\n"
                                   "        if a.get('property') == 'og:description': print(ascii(a['content']))\n"
                                   "    def handle_data(self, d):\n"
                                   "        if getattr(self, 'inside', False): P.data = d\n"
                                   "    def handle_endtag(self, tag):\n"
                                   "        self.inside = False\n"
                                   "p = P()\n"
                                   "p.feed(open(sys.argv[1], encoding='ascii').read())\n"
                                   "d = json.loads(P.data)\n"
                                   "print(ascii(d['name']))\n"
                                   "print(ascii(d['description']))\n",
                                   dir.path() / "page.html");
    // Page text shows a line break as a blank; a control character stays in the JSON (as \u0001) and leaves the
    // attribute.
    EXPECT_EQ(
        out,
        "'Tom & \"Jerry\" <b>\\'s</b> </script> \\\\ line break  caf\\xe9 \\U0001f3a5 <?php <?= \\'ran\\' ?> t9b3'\n"
        "'Tom & \"Jerry\" <b>\\'s</b> </script> \\\\ line break \\x01 caf\\xe9 \\U0001f3a5 <?php <?php echo \\'ran\\'; "
        "?>'\n"
        "'Tom & \"Jerry\" <b>\\'s</b> </script> \\\\ line break \\x01 caf\\xe9 \\U0001f3a5 <?php <?= \\'ran\\' ?> "
        "t9b3'\n");
}

// A page made before there were share markers gets them after its title when an operation writes it; one whose title
// marker is gone too is left without.
TEST(Discovery, AnOlderPageGetsItsShareTagsAfterItsTitle) {
    SiteChannel c;
    c.h.entry("a.mp4", "Roses");
    c.h.entry("b.mp4", "Tulips");
    const std::string open(markers::ShareOpen), close(markers::ShareClose);
    const auto older = [&](const std::string& page) {
        std::string text = c.h.file(page);
        text.erase(text.find(open), text.find(close) + close.size() + 1 - text.find(open));
        return text;
    };
    const std::string a = older("a.php");
    c.h.put("a.php", a);
    std::string b = older("b.php");
    b.erase(b.find("<!-- t9b3"), b.find("-->") + 3 - b.find("<!-- t9b3"));
    c.h.put("b.php", b);
    c.h.entry("a.mp4", "Red roses");
    c.h.entry("b.mp4", "Red tulips");
    const std::string page = c.h.file("a.php");
    const std::size_t title = page.find("<title>Red roses</title>\n");
    ASSERT_NE(title, std::string::npos);
    EXPECT_EQ(page.find(open + "\n<meta property=\"og:type\" content=\"video.other\">\n"),
              title + std::string_view("<title>Red roses</title>\n").size());
    EXPECT_NE(page.find("</script>\n" + close + "\n"), std::string::npos);
    EXPECT_EQ(page.find(open, page.find(open) + 1), std::string::npos) << "once";
    EXPECT_EQ(c.h.file("b.php").find("og:"), std::string::npos);
    EXPECT_NE(c.h.file("b.php").find("Red tulips"), std::string::npos);
    EXPECT_NE(c.feed().find("Red tulips"), std::string::npos);
}

// A poster NAME.jpg beside the video is the share picture and the thumbnail, with its size when its header gives one.
TEST(Discovery, APosterBesideTheVideoIsItsPicture) {
    SiteChannel c;
    // A JPEG's start, an APP0 segment, then a baseline frame header of 320 x 180 (00 B4 high, 01 40 wide).
    c.h.put("a.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xC0\x00\x0B\x08\x00\xB4\x01\x40\x01\x01"
                                 "\x11\x00\xFF\xD9",
                                 23));
    c.h.put("b.jpg", "not a picture");
    c.h.entry("a.mp4", "Roses");
    c.h.entry("b.mp4", "Tulips");
    const std::map<std::string, std::string> a = readTags(c.h.file("a.php"));
    EXPECT_EQ(a.at("og:image"), Site + "a.jpg");
    EXPECT_EQ(a.at("og:image:width"), "320");
    EXPECT_EQ(a.at("og:image:height"), "180");
    EXPECT_NE(c.h.file("a.php").find("\"thumbnailUrl\": \"https://example.net/garden/a.jpg\""), std::string::npos);
    const std::map<std::string, std::string> b = readTags(c.h.file("b.php"));
    EXPECT_EQ(b.at("og:image"), Site + "b.jpg");
    EXPECT_FALSE(b.contains("og:image:width"));
    EXPECT_NE(c.feed().find("<media:thumbnail url=\"https://example.net/garden/b.jpg\"/>"), std::string::npos);
    EXPECT_NE(c.h.file("sitemap.xml").find("<video:thumbnail_loc>https://example.net/garden/a.jpg</"),
              std::string::npos);
}

// Publish takes the feed and the sitemap up with the pages, before the homepage that links the feed.
TEST(Discovery, PublishUploadsFeedAndSitemapBeforeTheHomepage) {
    SiteChannel c;
    c.h.entry("a.mp4", "Roses");
    std::vector<std::string> names;
    for (const publish::ChannelFile& f : publish::planPublish(c.h.dir(), {}, {}).files) {
        names.push_back(f.name);
    }
    EXPECT_EQ(names, (Names{".htaccess", "a.mp4", "a.php", "feed.xml", "sitemap.xml", "homepage.html"}));
}

// Size and length come from ffprobe; a file it cannot read (or no ffprobe) leaves them out and fails nothing.
TEST(Discovery, PictureSizeAndLengthFromTheVideo) {
    NEEDS(onPath("ffmpeg ffprobe"), "ffmpeg");
    SiteChannel c;
    int rc = 0;
    shell("ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc=size=160x120:rate=10 -t 2 -c:v libx264 -pix_fmt "
          "yuv420p " +
              quoted(c.h.dir() / "a.mp4"),
          &rc);
    ASSERT_EQ(rc, 0);
    c.h.put("b.mp4", "not a video at all");
    c.h.entry("a.mp4", "Roses");
    c.h.entry("b.mp4", "Broken");
    const std::map<std::string, std::string> a = readTags(c.h.file("a.php"));
    EXPECT_EQ(a.at("og:video:width"), "160");
    EXPECT_EQ(a.at("og:video:height"), "120");
    EXPECT_NE(c.h.file("a.php").find("\"duration\": \"PT2S\""), std::string::npos);
    const std::string sitemap = c.h.file("sitemap.xml");
    EXPECT_NE(sitemap.find("<video:duration>2</video:duration>"), std::string::npos) << sitemap;
    const std::map<std::string, std::string> b = readTags(c.h.file("b.php"));
    EXPECT_FALSE(b.contains("og:video:width"));
    EXPECT_EQ(b.at("og:video"), Site + "b.mp4");
    EXPECT_EQ(c.h.file("b.php").find("\"duration\""), std::string::npos);
    EXPECT_EQ(sitemap.find("<video:duration>", sitemap.find("b.php")), std::string::npos);

    // What ffprobe said is kept with the entry's facts by the file's stamp: read from there while the video stays as
    // it is, read again when it changes, and gone with its entry.
    const fs::path kept = c.h.dir() / ".clipnest/entry-facts";
    std::string shapes = readFile(kept);
    const std::size_t line = shapes.find(" 160 120 ");
    ASSERT_NE(line, std::string::npos) << shapes;
    writeFile(kept, shapes.replace(line, 9, " 640 480 "));
    c.h.entry("a.mp4", "Red roses");
    EXPECT_EQ(readTags(c.h.file("a.php")).at("og:video:width"), "640");
    c.h.put("a.mp4", readFile(c.h.dir() / "a.mp4") + "more");
    c.h.entry("a.mp4", "Roses");
    EXPECT_EQ(readTags(c.h.file("a.php")).at("og:video:width"), "160");
    c.h.remove("b.mp4");
    EXPECT_EQ(readFile(kept).find("b.mp4"), std::string::npos) << readFile(kept);
    EXPECT_NE(readFile(kept).find("a.mp4"), std::string::npos);
}

// An address set later, in a session of its own, takes the dates as the record has them; a damaged line is no date.
TEST(Discovery, AnAddressSetLaterKeepsTheFirstMadeDates) {
    Files files = channel({"a.mp4", "b.mp4"});
    files["a.mp4"] = "0123";
    Harness h(files);
    fs::create_directories(h.dir() / ".clipnest");
    h.put(".clipnest/first-made", "2020-02-03T04:05:06+00:00 a.mp4\ndamaged\nhalf \n2021-02-03T04:05:06-01:00 b.mp4\n");
    EXPECT_EQ(readFirstMade(WorkingFolder(h.dir())),
              (FirstMade{{"a.mp4", "2020-02-03T04:05:06+00:00"}, {"b.mp4", "2021-02-03T04:05:06-01:00"}}));
    h.put(".clipnest/publish.conf", "site = http://example.net/\n");
    h.form().writeDiscoveryFiles();
    EXPECT_EQ(readFirstMade(WorkingFolder(h.dir())),
              (FirstMade{{"a.mp4", "2020-02-03T04:05:06+00:00"}, {"b.mp4", "2021-02-03T04:05:06-01:00"}}));
    EXPECT_NE(h.file("feed.xml").find("<pubDate>Mon, 03 Feb 2020 04:05:06 +0000</pubDate>"), std::string::npos);
    EXPECT_NE(h.file("sitemap.xml").find("2021-02-03T04:05:06-01:00"), std::string::npos);
    EXPECT_EQ(h.form().operationSummary(),
              "share tags, feed and sitemap: homepage.html, a.php, b.php, feed.xml and sitemap.xml written.");
}

// The share tags and structured data take their title from the homepage description whenever it changes, a
// homepage-only change too; the page's own title and heading keep theirs.
TEST(Discovery, ShareTagsFollowTheHomepageDescription) {
    SiteChannel c;
    c.h.entry("a.mp4", "Roses", "Pruning roses");
    c.h.entry("a.mp4", "Pruning roses in late winter", "", true);
    const std::string page = c.h.file("a.php");
    EXPECT_NE(page.find("<meta property=\"og:title\" content=\"Pruning roses in late winter\">"), std::string::npos)
        << page;
    EXPECT_NE(page.find("\"name\": \"Pruning roses in late winter\""), std::string::npos) << page;
    EXPECT_EQ(page.find("content=\"Roses\""), std::string::npos) << "no share tag keeps the old title";
    EXPECT_EQ(page.find("\"name\": \"Roses\""), std::string::npos);
    EXPECT_NE(c.feed().find("<title>Pruning roses in late winter</title>"), std::string::npos);
    EXPECT_NE(page.find("<title>Roses"), std::string::npos) << "a homepage-only change leaves the page's title";
}

// The homepage links feed.xml only while there is one: not before the address is set, from when it is set, and no
// more once it is taken out of the settings.
TEST(Discovery, TheHomepageLinksTheFeedOnlyWhenThereIsOne) {
    const std::string link = "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"New videos\" "
                             "href=\"feed.xml\">\n";
    Harness h;
    h.entry("a.mp4", "Roses");
    EXPECT_EQ(h.file("homepage.html").find("feed.xml"), std::string::npos);
    fs::create_directories(h.dir() / ".clipnest");
    h.put(".clipnest/publish.conf", "site = https://example.net/garden/\n");
    h.form().writeDiscoveryFiles();
    EXPECT_TRUE(h.has("feed.xml"));
    const std::string linked = h.file("homepage.html");
    EXPECT_NE(linked.find("<link rel=\"icon\" href=\"data:,\">\n" + link), std::string::npos) << linked;
    h.entry("b.mp4", "Tulips");
    EXPECT_EQ(h.file("homepage.html").find(link), h.file("homepage.html").rfind(link)) << "one link, not two";
    EXPECT_NE(h.file("homepage.html").find(link), std::string::npos);
    h.put(".clipnest/publish.conf", "");
    h.entry("c.mp4", "Lilies");
    EXPECT_EQ(h.file("homepage.html").find("feed.xml"), std::string::npos);
    EXPECT_NE(h.file("homepage.html").find("<link rel=\"icon\" href=\"data:,\">\n"), std::string::npos);
}

// Sharing reads the homepage as it is now: an entry the host put back by hand is no new entry and keeps its date.
TEST(Discovery, AnEntryPutBackByHandKeepsItsDate) {
    static std::int64_t now = 1'765'000'000;
    const auto previous = setWallClock([] { return now; });
    SiteChannel c;
    c.h.entry("a.mp4", "Roses");
    c.h.entry("b.mp4", "Tulips");
    const std::string homepage = c.h.file("homepage.html"), page = c.h.file("b.php");
    c.h.remove("b.mp4");
    const std::string record = c.madeRecord();
    now += 3600;
    c.h.put("homepage.html", homepage);
    c.h.put("b.php", page);
    c.h.form().writeDiscoveryFiles();
    EXPECT_EQ(c.madeRecord(), record);
    setWallClock(previous);
}

// A poster's size from its header, past the markers that stand alone (a restart, a second start of picture, a
// temporary one) and fill bytes; a picture whose data begins before any frame header has no size.
TEST(Discovery, PictureSizeFromTheJpegHeader) {
    const TempDir dir;
    const WorkingFolder folder(dir.path());
    const std::string frame("\xFF\xC0\x00\x11\x08\x01\xE0\x02\x80\x03", 10); // 480 high, 640 wide
    const std::string start("\xFF\xD8", 2);
    const std::string app("\xFF\xE0\x00\x04\x00\x00", 6);
    const std::pair<std::string, std::optional<std::pair<int, int>>> cases[] = {
        {start + frame, std::pair{640, 480}},
        {start + app + std::string("\xFF\xD8\xFF\xD0\xFF\xD7\xFF\x01\xFF\xFF", 10) + frame, std::pair{640, 480}},
        {start + std::string("\xFF\xDA\x00\x04\x00\x00", 6) + frame, std::nullopt},
        {start + std::string("\xFF\xC4\x00\x08\x01\x02\x03\x04\x05\x06", 10) + frame, std::pair{640, 480}},
        {std::string("\xFF\xD9", 2) + frame, std::nullopt},
    };
    for (const auto& [bytes, size] : cases) {
        writeFile(dir.path() / "p.jpg", bytes);
        EXPECT_EQ(media::jpegSize(folder, "p.jpg"), size) << ::testing::PrintToString(bytes);
    }
}

// Where an MP4's index stands, read from its boxes, also those whose size takes 64 bits; a file that ends inside a
// box header, or has a box too small to be one before the data, says nothing of an index at the end.
TEST(Media, TheIndexAtTheEndIsFoundByTheBoxes) {
    const TempDir dir;
    const auto box = [](const char* type, std::size_t bodySize) {
        const std::size_t n = bodySize + 8;
        std::string b{char(n >> 24), char(n >> 16 & 255), char(n >> 8 & 255), char(n & 255)};
        return b + type + std::string(bodySize, '\0');
    };
    const std::string ftyp = box("ftyp", 8);
    const std::string large =
        std::string("\0\0\0\1free", 8) + std::string("\0\0\0\0\0\0\0\x18", 8) + std::string(8, '\0');
    const std::pair<std::string, bool> cases[] = {
        {ftyp + box("moov", 4) + box("mdat", 4), false},
        {ftyp + box("mdat", 4) + box("moov", 4), true},
        {ftyp + large + box("mdat", 4), true},
        {ftyp + large.substr(0, 12), false},
        {ftyp + std::string("\0\0\0\4free", 8) + box("mdat", 4), false},
        {ftyp.substr(0, 6), false},
    };
    for (const auto& [bytes, atEnd] : cases) {
        writeFile(dir.path() / "v.mp4", bytes);
        EXPECT_EQ(media::indexAtEnd(dir.path() / "v.mp4"), atEnd) << ::testing::PrintToString(bytes);
    }
}

TEST(Discovery, AnOlderEntryIsDatedByItsVideoFile) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    Files files = channel({"a.mp4"});
    files["a.mp4"] = "0123";
    Harness h(files);
    fs::create_directories(h.dir() / ".clipnest");
    h.put(".clipnest/publish.conf", "site = http://example.net/\n");
    fs::last_write_time(h.dir() / "a.mp4", fs::file_time_type::clock::from_sys(
                                               std::chrono::sys_seconds(std::chrono::seconds(1'700'000'000))));
    h.title("Old channel", "");
    EXPECT_NE(h.file("feed.xml").find("<pubDate>Tue, 14 Nov 2023 22:13:20 +0000</pubDate>"), std::string::npos)
        << h.file("feed.xml");
    EXPECT_FALSE(h.has(".clipnest/first-made")) << "nothing is made up for it";
}

// The feed holds the newest entries (feed_items) in the homepage's order; an entry whose description was changed by
// hand on the homepage is made again by the next operation, whichever entry that changes.
TEST(Discovery, TheFeedHoldsTheNewestAndAHandEditIsSeenByTheNextOperation) {
    static std::int64_t now = 1'765'000'000;
    const auto previous = setWallClock([] { return now; });
    SiteChannel c;
    c.h.put(".clipnest/publish.conf", "site = " + Site + "\nfeed_items = 2\n");
    for (const char* name : {"b.mp4", "a.mp4", "c.mp4"}) {
        now += 60;
        c.h.entry(name, std::string("About ") + name);
    }
    now += 60;
    c.h.insert("d.mp4", "b.mp4", "Newest, above the oldest");
    c.h.title("Garden", "");
    const auto items = [&] {
        std::string titles;
        const std::string feed = c.feed();
        for (const ListItem& item : feedItems(feed)) {
            titles += std::string(item.key.substr(Site.size())) + " ";
        }
        return titles;
    };
    EXPECT_EQ(items(), "d.mp4 c.mp4 ") << c.feed();
    c.h.put("homepage.html", with(c.h.file("homepage.html"), "About a.mp4", "Roses by hand"));
    c.h.title("Garden", "Again");
    EXPECT_NE(c.h.file("sitemap.xml").find("<video:title>Roses by hand</video:title>"), std::string::npos);
    EXPECT_NE(c.h.file("a.php").find("content=\"Roses by hand\""), std::string::npos);
    setWallClock(previous);
}

// Past 50,000 addresses or 50 MB a sitemap is an index of parts, each within both, that together hold every item in
// order.
TEST(Discovery, ALargeSitemapIsAnIndexOfParts) {
    std::vector<std::string> items;
    for (int i = 0; i < 50'000; ++i) {
        items.push_back(sitemapItem(Site, facts("v" + std::to_string(i) + ".mp4", "V")));
    }
    items.push_back(sitemapItem(Site, facts("big.mp4", std::string(SitemapBytes / 2, 'x'))));
    items.push_back(sitemapItem(Site, facts("bigger.mp4", std::string(SitemapBytes / 2, 'y'))));
    const auto files = sitemapFiles(Site, std::vector<std::string_view>(items.begin(), items.end()));
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(sitemapPartsNamed(files[0].second), 3u);
    std::size_t count = 0;
    std::string keys;
    for (std::size_t p = 1; p < files.size(); ++p) {
        EXPECT_EQ(files[p].first, "sitemap-" + std::to_string(p) + ".xml");
        EXPECT_NE(files[0].second.find("<loc>" + Site + files[p].first + "</loc>"), std::string::npos);
        EXPECT_LE(files[p].second.size(), SitemapBytes);
        const std::size_t urls = sitemapItems(files[p].second).size() + (p == 1 ? 1 : 0);
        EXPECT_LE(urls, SitemapAddresses);
        count += sitemapItems(files[p].second).size();
        keys += std::string(sitemapItems(files[p].second).back().key) + " ";
    }
    EXPECT_EQ(count, items.size());
    EXPECT_EQ(keys, Site + "v49998.mp4 " + Site + "big.mp4 " + Site + "bigger.mp4 ");
    EXPECT_EQ(sitemapFiles(Site, {}).size(), 1u);
}

} // namespace
} // namespace clipnest::testing
