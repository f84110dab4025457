#pragma once

#include <string>
#include <string_view>

// The <video> tag of an entry or a video page: what a visitor's browser is told before it fetches anything.
namespace clipnest {

// The poster attribute's value for a video (code-page name): its name without extension and ".jpg", written as the
// pages write a file name (bytes above 127 as character references).
std::string posterValue(std::string_view video);

// The source line's beginning as the homepage and the video page write it ("<source src=\"NAME\"", the name with
// character references; see nameInPage).
std::string homepageSourceKey(std::string_view video);
std::string pageSourceKey(std::string_view video);

// Gives the <video> tag in front of the first source line starting with `sourceKey` poster="`poster`" (unless
// `poster` is empty), preload="none" and playsinline: each replaces the tag's attribute of that name, or goes behind
// the tag's last one. The tag's other attributes and everything around the tag stay byte for byte. False, and no
// change, when there is no such tag.
bool setVideoAttributes(std::string& text, std::string_view sourceKey, std::string_view poster);

// Points the poster attribute of that <video> tag from `oldPoster` to `newPoster`; a poster the host named
// otherwise is left as it is.
void renamePoster(std::string& text, std::string_view sourceKey, std::string_view oldPoster,
                  std::string_view newPoster);

} // namespace clipnest
