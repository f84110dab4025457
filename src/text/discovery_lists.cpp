#include "text/discovery.h"

#include <cmath>

// The feed and the sitemap: one item per entry, put together between a head and a tail.
namespace clipnest::discovery {

namespace {

constexpr std::string_view FeedHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<rss version=\"2.0\" xmlns:media=\"http://search.yahoo.com/mrss/\">\n<channel>\n";
constexpr std::string_view FeedTail = "</channel>\n</rss>\n";
constexpr std::string_view SitemapHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
                                         "xmlns:video=\"http://www.google.com/schemas/sitemap-video/1.1\">\n";
constexpr std::string_view SitemapTail = "</urlset>\n";
constexpr std::string_view IndexHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                       "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
constexpr std::string_view IndexTail = "</sitemapindex>\n";

void addElement(std::string& out, std::string_view indent, std::string_view name, std::string_view text) {
    out.append(indent).append("<").append(name).append(">");
    out.append(markupText(text)).append("</").append(name).append(">\n");
}

std::string pageDescription(const VideoFacts& video) {
    return video.description.empty() ? video.title : video.description;
}

// The items between `open` and `close` lines, each keyed by what stands between `keyOpen` and `keyClose` in it (one
// without a key, such as the sitemap's homepage, is none); an item without an end ends the list.
std::vector<ListItem> itemsOf(std::string_view xml, std::string_view open, std::string_view close,
                              std::string_view keyOpen, char keyClose) {
    std::vector<ListItem> items;
    // The lines of an item begin with blanks, and so does much of its text: its end is looked for by the tag after
    // the blanks, and the next item, as written, starts right there.
    const std::string_view indent = close.substr(0, close.find('<')), closeTag = close.substr(indent.size());
    std::size_t at = xml.find(open);
    while (at != std::string_view::npos) {
        std::size_t end = xml.find(closeTag, at);
        while (end != std::string_view::npos && !xml.substr(0, end).ends_with(indent)) {
            end = xml.find(closeTag, end + 1);
        }
        if (end == std::string_view::npos) {
            break;
        }
        const std::string_view item = xml.substr(at, end + closeTag.size() - at);
        const std::size_t key = item.find(keyOpen);
        const std::size_t keyEnd = key == std::string_view::npos ? key : item.find(keyClose, key + keyOpen.size());
        if (keyEnd != std::string_view::npos) {
            items.push_back({item.substr(key + keyOpen.size(), keyEnd - key - keyOpen.size()), item});
        }
        at = end + closeTag.size();
        at = xml.substr(at).starts_with(open) ? at : xml.find(open, at);
    }
    return items;
}

std::string homepageUrl(std::string_view site) {
    std::string out = "  <url>\n";
    addElement(out, "    ", "loc", site);
    return out + "  </url>\n";
}

} // namespace

std::string itemKey(std::string_view site, const VideoFacts& video) {
    return markupText(addressOf(site, video.video));
}

std::string feedItem(std::string_view site, const VideoFacts& video) {
    const std::string page = markupText(addressOf(site, video.page));
    const std::string content = itemKey(site, video);
    const std::string type(videoType(video.video));
    std::string out = "  <item>\n";
    addElement(out, "    ", "title", video.title);
    out += "    <link>" + page + "</link>\n";
    // The page's address names the entry for good: a new description is the same item.
    out += "    <guid isPermaLink=\"true\">" + page + "</guid>\n";
    addElement(out, "    ", "pubDate", rfc822DateTime(video.firstMade));
    addElement(out, "    ", "description", pageDescription(video));
    out += "    <enclosure url=\"" + content + "\" length=\"" + std::to_string(video.size) + "\" type=\"" + type +
           "\"/>\n";
    out += "    <media:content url=\"" + content + "\" type=\"" + type + "\" medium=\"video\"" +
           (video.size ? " fileSize=\"" + std::to_string(video.size) + "\"" : "") +
           (video.seconds ? " duration=\"" + std::to_string(std::llround(*video.seconds)) + "\"" : "") +
           (video.width ? " width=\"" + std::to_string(*video.width) + "\"" : "") +
           (video.height ? " height=\"" + std::to_string(*video.height) + "\"" : "") + "/>\n";
    if (!video.poster.empty()) {
        out += "    <media:thumbnail url=\"" + markupText(addressOf(site, video.poster)) + "\"/>\n";
    }
    return out + "  </item>\n";
}

std::string sitemapItem(std::string_view site, const VideoFacts& video) {
    std::string out = "  <url>\n";
    addElement(out, "    ", "loc", addressOf(site, video.page));
    out += "    <video:video>\n";
    if (!video.poster.empty()) {
        addElement(out, "      ", "video:thumbnail_loc", addressOf(site, video.poster));
    }
    addElement(out, "      ", "video:title", video.title);
    addElement(out, "      ", "video:description", trimmedText(pageDescription(video), 2048));
    out += "      <video:content_loc>" + itemKey(site, video) + "</video:content_loc>\n";
    if (video.seconds) {
        addElement(out, "      ", "video:duration",
                   std::to_string(std::max<long long>(1, std::llround(*video.seconds))));
    }
    addElement(out, "      ", "video:publication_date", isoDateTime(video.firstMade));
    return out + "    </video:video>\n  </url>\n";
}

std::vector<ListItem> feedItems(std::string_view xml) {
    return itemsOf(xml, "  <item>\n", "  </item>\n", "<enclosure url=\"", '"');
}

std::vector<ListItem> sitemapItems(std::string_view xml) {
    return itemsOf(xml, "  <url>\n    <loc>", "  </url>\n", "<video:content_loc>", '<');
}

std::string feedOf(std::string_view site, const ChannelFacts& channel, const std::vector<std::string_view>& items) {
    std::string out(FeedHead);
    // RSS wants all three; a homepage without a title or message is named by its address.
    const std::string title = channel.title.empty() ? std::string(site) : channel.title;
    addElement(out, "  ", "title", title);
    addElement(out, "  ", "link", site);
    addElement(out, "  ", "description", channel.description.empty() ? "Videos of " + title : channel.description);
    for (const std::string_view item : items) {
        out += item;
    }
    return out.append(FeedTail);
}

std::string feedXml(std::string_view site, const ChannelFacts& channel, const std::vector<VideoFacts>& videos) {
    std::vector<std::string> items;
    for (const VideoFacts& video : videos) {
        items.push_back(feedItem(site, video));
    }
    return feedOf(site, channel, std::vector<std::string_view>(items.begin(), items.end()));
}

std::string sitemapPart(std::size_t number) {
    return "sitemap-" + std::to_string(number) + ".xml";
}

std::vector<std::pair<std::string, std::string>> sitemapFiles(std::string_view site,
                                                              const std::vector<std::string_view>& items) {
    std::size_t total = 0;
    for (const std::string_view item : items) {
        total += item.size();
    }
    std::vector<std::string> parts{std::string(SitemapHead) + homepageUrl(site)};
    parts.back().reserve(std::min(total, SitemapBytes) + 4096);
    std::size_t addresses = 1;
    for (const std::string_view item : items) {
        if (addresses == SitemapAddresses || parts.back().size() + item.size() + SitemapTail.size() > SitemapBytes) {
            parts.back() += SitemapTail;
            parts.emplace_back(SitemapHead);
            parts.back().reserve(std::min(total, SitemapBytes) + 4096);
            addresses = 0;
        }
        parts.back() += item;
        ++addresses;
    }
    parts.back() += SitemapTail;
    if (parts.size() == 1) {
        return {{SitemapFile, std::move(parts.front())}};
    }
    std::vector<std::pair<std::string, std::string>> files{{SitemapFile, std::string(IndexHead)}};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        files.front().second += "  <sitemap>\n";
        addElement(files.front().second, "    ", "loc", addressOf(site, sitemapPart(i + 1)));
        files.front().second += "  </sitemap>\n";
        files.emplace_back(sitemapPart(i + 1), std::move(parts[i]));
    }
    files.front().second += IndexTail;
    return files;
}

std::size_t sitemapPartsNamed(std::string_view sitemap) {
    if (!sitemap.starts_with(IndexHead)) {
        return 0;
    }
    std::size_t parts = 0;
    for (std::size_t at = sitemap.find("  <sitemap>\n"); at != std::string_view::npos;
         at = sitemap.find("  <sitemap>\n", at + 1)) {
        ++parts;
    }
    return parts;
}

std::string sitemapXml(std::string_view site, const std::vector<VideoFacts>& videos) {
    std::vector<std::string> items;
    for (const VideoFacts& video : videos) {
        items.push_back(sitemapItem(site, video));
    }
    return sitemapFiles(site, std::vector<std::string_view>(items.begin(), items.end())).front().second;
}

} // namespace clipnest::discovery
