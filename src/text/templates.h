#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The pages and the server's programs as their files under src/text/templates hold them, and how a placeholder in
// one is filled. A placeholder is a name in braces ("{Title}") written where its value goes; in PHP code it stands
// inside a string literal ('{Secret}', "{OldName}"), so the template is valid PHP as it stands.
namespace clipnest::templates {

std::string_view videoPage();     // video_page.php: the individual page with its comment box
std::string_view renamePage();    // rename_page.php: the page for one file, then the page for several pairs
std::string_view homepage();      // homepage.html: the default homepage
std::string_view sampleEntry();   // sample_entry.html: the disabled entry a new homepage carries
std::string_view previewRouter(); // preview_router.php: every request of the local preview goes through it
std::string_view movedPage();     // moved_page.php: a video's old page, sending every request on to its new one

// Where a placeholder stands, which says how its value is written there.
enum class Context {
    PageText,        // HTML text or markup: the value is page text already and goes in as it is
    PhpSingleQuoted, // inside '...': a backslash before each \ and '
    PhpDoubleQuoted, // inside "...": a backslash before each \, " and $
};

// `value` as it is written in `context`.
std::string escapedFor(Context context, std::string_view value);

struct Fill {
    std::string_view placeholder; // with its braces
    std::string_view value;
    Context context;
};

// `text` with every placeholder of `fills` replaced by its value escaped for its context, in one pass: what a value
// brings in is never read again, so a value that holds a placeholder's name stays as it is.
std::string filled(std::string_view text, std::initializer_list<Fill> fills);

} // namespace clipnest::templates
