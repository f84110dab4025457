#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What lets others find and show the channel: the share tags and the structured data in a video page's head, the
// feed (feed.xml) and the sitemap (sitemap.xml). Each is a function over values, with absolute addresses made from
// the channel's own address (its `site`). Text goes in as UTF-8 plain text (see shownText) and comes out as ASCII,
// every other character as a reference or escape, so the output is the same whatever code page reads it.
namespace clipnest::discovery {

inline constexpr const char* FeedFile = "feed.xml";
inline constexpr const char* SitemapFile = "sitemap.xml";

// What is wrong with a channel address, or empty when it is one: http:// or https://, a host, ending in "/", no query
// or fragment, and only printable ASCII without quotes, blanks, angle brackets or backslashes.
std::string siteProblem(std::string_view site);

// A moment with the zone it was taken in: seconds since the epoch and the zone's offset from UTC in minutes.
struct Moment {
    std::int64_t seconds = 0;
    int offsetMinutes = 0;
};
// "2026-12-08T23:02:32+01:00".
std::string isoDateTime(const Moment& moment);
// The moment such a text names (seconds optional, "Z" or an offset required), or nothing.
std::optional<Moment> parseIsoDateTime(std::string_view text);
// RFC 822 as RSS has it: "Tue, 08 Dec 2026 23:02:32 +0100".
std::string rfc822DateTime(const Moment& moment);
// ISO 8601 duration in whole seconds: "PT1M5S", "PT2H0M3S", "PT0S".
std::string isoDuration(double seconds);

// One entry of the channel as the outside sees it. Names are file names in the channel folder (UTF-8).
struct VideoFacts {
    std::string video;       // "roses.mp4"
    std::string page;        // "roses.php"
    std::string poster;      // "roses.jpg", or empty when there is none
    std::string title;       // the homepage description as plain text (else the file name)
    std::string description; // the page description as plain text
    Moment firstMade;
    std::uintmax_t size = 0; // the video file's bytes
    std::optional<int> width, height;
    std::optional<double> seconds;
    std::optional<int> posterWidth, posterHeight;
};

// The address of a file of the channel: the site and the name, every byte but the unreserved ones percent-encoded.
std::string addressOf(std::string_view site, std::string_view name);
// "video/webm" for a .webm file, else "video/mp4".
std::string_view videoType(std::string_view name);

// The share tags of a video page: <meta property="og:..." content="..."> lines, one a line.
std::string shareTags(std::string_view site, const VideoFacts& video);
// The page's structured data: one <script type="application/ld+json"> holding a schema.org VideoObject.
std::string videoJsonLd(std::string_view site, const VideoFacts& video);

// Puts `lines` (the share tags and structured data) between the page's two share markers, in place of what stood
// there. A page made before there were share markers gets them, with the lines, after its title; false, leaving the
// page as it was, when it has neither.
bool setShareBlock(std::string& pageText, std::string_view lines);

struct ChannelFacts {
    std::string title, description; // the homepage's title and message as plain text
};

// feed.xml: RSS 2.0 with Media RSS, one item per video in the order given (the homepage's).
std::string feedXml(std::string_view site, const ChannelFacts& channel, const std::vector<VideoFacts>& videos);
// sitemap.xml with the video extension: the homepage (the site's own address), then each video page; one file, as
// long as it holds no more than the limits below.
std::string sitemapXml(std::string_view site, const std::vector<VideoFacts>& videos);

// The feed and the sitemap are made of one item per entry, each a run of whole lines, so an edit makes again only
// the items of the entries it changed and copies the others from the file as it stood. An entry's item is found
// there by its key, the video's address as the item writes it.
std::string itemKey(std::string_view site, const VideoFacts& video);
std::string feedItem(std::string_view site, const VideoFacts& video);
std::string sitemapItem(std::string_view site, const VideoFacts& video);
struct ListItem {
    std::string_view key, text;
};
// The items of a feed's text or of a sitemap's (or of one of its parts), in their order.
std::vector<ListItem> feedItems(std::string_view xml);
std::vector<ListItem> sitemapItems(std::string_view xml);

// feed.xml around its items.
std::string feedOf(std::string_view site, const ChannelFacts& channel, const std::vector<std::string_view>& items);

// A sitemap holds at most this many addresses and bytes; a channel with more has its pages in parts
// (sitemap-1.xml, sitemap-2.xml ...) that sitemap.xml, then a sitemap index, names.
inline constexpr std::size_t SitemapAddresses = 50'000;
inline constexpr std::size_t SitemapBytes = 50 * 1024 * 1024;
std::string sitemapPart(std::size_t number);
// The sitemap's files, name and bytes: sitemap.xml alone, or the index and its parts.
std::vector<std::pair<std::string, std::string>> sitemapFiles(std::string_view site,
                                                              const std::vector<std::string_view>& items);
// How many parts a sitemap.xml names (0 when it is no index).
std::size_t sitemapPartsNamed(std::string_view sitemap);

// The escaping rules, each written once. Text for XML or HTML character data and quoted attributes: & < > " '
// escaped, characters XML 1.0 does not allow left out, everything beyond ASCII as a numeric reference, and one
// character of each sequence by which the tool finds its way in a page (see findableAt) as a reference too.
std::string markupText(std::string_view utf8);
// The inside of a JSON string: quotes, backslashes and controls escaped, "</" as "<\/" (so no script ends early), a
// "<" before "?" or "!" as \u003c (no PHP tag, no comment), everything beyond ASCII as \uXXXX (a surrogate pair above
// U+FFFF). Like markupText, it escapes one character of each sequence by which the tool finds its way in a page.
std::string jsonText(std::string_view utf8);
// At most `limit` characters: a longer text is cut at the last blank before the limit (or at the limit when that is
// far back) and ends in "...".
std::string trimmedText(std::string_view utf8, std::size_t limit);

} // namespace clipnest::discovery
