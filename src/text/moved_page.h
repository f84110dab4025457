#pragma once

#include <string>
#include <string_view>

// The page left at a video's old page name when the video is renamed: it answers every request with a permanent
// redirect to the new page, so shared links keep working and no comment is posted to the old thread.
namespace clipnest {

// The moved page (templates/moved_page.php) that sends visitors on to `newPage`, a code-page name in the same folder
// ("red roses.php"). The name goes into the page in UTF-8, as the server names the file, and the page encodes it
// for its Location.
std::string buildMovedPage(std::string_view newPage);

// Whether `text` is a moved page as buildMovedPage writes it, to whichever page.
bool isMovedPage(std::string_view text);

} // namespace clipnest
