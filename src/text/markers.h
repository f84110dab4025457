#pragma once

#include <array>
#include <string_view>

// Fixed texts by which every Step finds its way back into the homepage and the pages.
namespace clipnest::markers {

inline constexpr std::string_view Link = "<!-- t9b3 HOSTS!, PLEASE don't delete this marker tag, or insert anything in "
                                         "between this tag and the 'FileName'.php value below. -->";
inline constexpr std::string_view Source = "<!-- t9b3 HOSTS!, PLEASE don't delete this marker tag, or insert anything "
                                           "in between this tag and the 'FileName' value below. -->";
inline constexpr std::string_view Description = "<!-- t9b3 HOSTS!, PLEASE don't delete this marker tag, or insert "
                                                "anything in between this tag and the Entry description below. -->";
inline constexpr std::string_view EndA = "</div><!-- t9b3 HOSTS!, PLEASE leave this '</div>' tag and comment tag here "
                                         "immediately below your last entry. -->";
inline constexpr std::string_view EndB = "<!-- t9b3 HOSTS!, PLEASE leave this '</div>' tag and comment tag here "
                                         "immediately below your last entry. -->";
inline constexpr std::string_view EndC = "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in "
                                         "between it and the '</div>' tag above. -->";
inline constexpr std::string_view Title = "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything "
                                          "in between this tag and the homepage title. -->";
// Before the homepage's <title>, which the title operation keeps equal to the homepage title.
inline constexpr std::string_view HeadTitle = "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert "
                                              "anything in between this tag and the browser title. -->";
// Before the homepage's meta description, which the title operation keeps equal to the homepage message.
inline constexpr std::string_view HeadDescription = "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert "
                                                    "anything in between this tag and the page description. -->";
// Before the homepage's script that shows each entry's poster until its video is played; a homepage without it takes
// entries whose video is in sight from the start (see sampleEntryFor).
inline constexpr std::string_view ClipScript = "<!-- t9b3 HOSTS!, PLEASE don't delete this script: it shows each "
                                               "entry's poster in place of its video until the video is played. -->";
// The lines of the sample entry that hold its video back for that script.
inline constexpr std::string_view ClipHolderOpen = "<!--n9h    <noscript class=\"video\"> s4j-->\n";
inline constexpr std::string_view ClipHolderClose = "<!--n9h    </noscript> s4j-->\n";
inline constexpr std::string_view Message = "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything "
                                            "in between this tag and the homepage message. -->";

// Around the share tags and structured data in a video page's head, which Clipnest writes again with the page.
inline constexpr std::string_view ShareOpen =
    "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker: Clipnest writes the "
    "share tags between it and the next one. -->";
inline constexpr std::string_view ShareClose = "<!-- t9b3 end of the share tags. -->";

// Around the links to the previous and next videos in a video page's body, which Clipnest writes again whenever the
// homepage's order or a neighbour's description changes. A page without them (the host's own, or one made before
// them) keeps no such links.
inline constexpr std::string_view NeighboursOpen =
    "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker: Clipnest writes the links to the previous and next "
    "videos between it and the next one. -->";
inline constexpr std::string_view NeighboursClose = "<!-- t9b3 end of the links to the previous and next videos. -->";

// How an entry's source line begins; the file name follows, then a quote.
inline constexpr std::string_view SourceKey = "<source src=\"";

// The opening line of a live entry.
inline constexpr std::string_view GalleryOpening = "<div class=\"gallery\">";

// Tails searched for on their own.
inline constexpr std::string_view EntryDescriptionTail = "between this tag and the Entry description";
inline constexpr std::string_view IndividualDescriptionTail = "between this tag and the Individual description";

inline constexpr std::string_view FileNameToken = "p4yFileNamep5y";
inline constexpr std::string_view FileNameLessExtToken = "p4yFileNameLessExtp5y";
inline constexpr std::string_view HomepageDescripToken = "p4yHomepageDescripp5y";
inline constexpr std::string_view IndividDescripToken = "p4yIndividDescripp5y";
inline constexpr std::string_view PageTitleToken = "p4yPageTitlep5y";
// Before the video page's <title> and its <h1>, which both hold the entry's homepage description.
inline constexpr std::string_view PageTitleTail = "between this tag and the Page title";
inline constexpr std::string_view PageHeadingTail = "between this tag and the Page heading";
// Present in every template line that holds a file-name token.
inline constexpr std::string_view FileNameKey = "p4yFileName";

inline constexpr std::string_view WrapOpen = "<!--n9h";
inline constexpr std::string_view WrapClose = "s4j-->";

// The codes inside those texts: a placeholder's ends, a wrapper's ends, a marker's code and the start of the tail
// every marker is searched by.
inline constexpr std::string_view PlaceholderOpen = "p4y";
inline constexpr std::string_view PlaceholderClose = "p5y";
inline constexpr std::string_view WrapCodeOpen = "n9h";
inline constexpr std::string_view WrapCodeClose = "s4j";
inline constexpr std::string_view MarkerCode = "t9b3";
inline constexpr std::string_view MarkerTail = "between this tag and the";

inline constexpr std::array<std::string_view, 4> HomepageNames = {"homepage.html", "Homepage.html", "homepage.htm",
                                                                  "Homepage.htm"};
inline constexpr std::string_view HomepageFile = "homepage.html";

} // namespace clipnest::markers
