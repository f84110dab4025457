#include "text/default_homepage.h"

#include "text/markers.h"
#include "text/templates.h"
#include "text/text_ops.h"

namespace clipnest {

std::string buildDefaultHomepage(std::string_view title, std::string_view message, std::string_view sampleEntry) {
    using templates::Context;
    return templates::filled(templates::homepage(), {{"{Title}", title, Context::PageText},
                                                     {"{Message}", message, Context::PageText},
                                                     {"{SampleEntry}", sampleEntry, Context::PageText}});
}

void setHeadTitle(std::string& pageText, std::string_view title) {
    const std::size_t marker = findText(pageText, markers::HeadTitle);
    if (marker == std::string::npos) {
        return;
    }
    constexpr std::string_view Open = "<title>", Close = "</title>";
    const std::size_t open = pageText.find_first_not_of(" \t\r\n", marker + markers::HeadTitle.size());
    if (open == std::string::npos || pageText.compare(open, Open.size(), Open) != 0) {
        return;
    }
    const std::size_t from = open + Open.size();
    const std::size_t close = pageText.find(Close, from);
    if (close == std::string::npos || pageText.find('<', from) != close) {
        return;
    }
    pageText.replace(from, close - from, title);
}

void setHeadDescription(std::string& pageText, std::string_view message) {
    const std::size_t marker = findText(pageText, markers::HeadDescription);
    if (marker == std::string::npos) {
        return;
    }
    constexpr std::string_view Open = "<meta name=\"description\" content=\"";
    const std::size_t open = pageText.find_first_not_of(" \t\r\n", marker + markers::HeadDescription.size());
    if (open == std::string::npos || pageText.compare(open, Open.size(), Open) != 0) {
        return;
    }
    const std::size_t from = open + Open.size();
    const std::size_t close = pageText.find('"', from);
    if (close == std::string::npos || pageText.find('>', from) < close) {
        return;
    }
    pageText.replace(from, close - from, message);
}

bool setFeedLink(std::string& pageText, bool feed) {
    const std::size_t head = pageText.find("</head>");
    if (head == std::string::npos) {
        return false;
    }
    const std::size_t link = pageText.rfind(FeedLink, head);
    if (!feed) {
        if (link == std::string::npos) {
            return false;
        }
        const std::size_t end = link + FeedLink.size();
        pageText.erase(link, FeedLink.size() + (end < pageText.size() && pageText[end] == '\n' ? 1 : 0));
        return true;
    }
    if (std::string_view(pageText).substr(0, head).find("application/rss+xml") != std::string_view::npos) {
        return false;
    }
    constexpr std::string_view Icon = "<link rel=\"icon\" href=\"data:,\">\n";
    const std::size_t icon = pageText.rfind(Icon, head);
    pageText.insert(icon == std::string::npos ? head : icon + Icon.size(), std::string(FeedLink) + "\n");
    return true;
}

} // namespace clipnest
