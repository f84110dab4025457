#pragma once

#include <string>
#include <string_view>

namespace clipnest {

// The default homepage (templates/homepage.html): the title in its <title> and right after its marker, the message
// after its marker, and the sample entry in front of the end markers.
std::string buildDefaultHomepage(std::string_view title, std::string_view message, std::string_view sampleEntry);

// Puts `title` (page text) into the <title> element that follows the browser-title marker, blanks between them
// allowed; a homepage without the marker, or without "<title>...</title>" right after it, is left as it is.
void setHeadTitle(std::string& pageText, std::string_view title);

// Puts `message` (page text, so its quotes are references) into the content of the meta description that follows the
// page-description marker; a homepage without the marker, or without that meta element right after it, is left as it
// is.
void setHeadDescription(std::string& pageText, std::string_view message);

// The homepage head's link to the channel's feed, a line of templates/homepage.html.
inline constexpr std::string_view FeedLink =
    "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"New videos\" href=\"feed.xml\">";

// The head links feed.xml only when there is one (`feed`: the channel has an address): the FeedLink line goes in behind
// the icon link (else in front of </head>) unless the head links a feed of its own already, and comes out when there
// is none. A homepage without </head> is left as it is. True when it changed the text.
bool setFeedLink(std::string& pageText, bool feed);

} // namespace clipnest
