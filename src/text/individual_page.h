#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace clipnest {

// What the video page loads besides itself: only what the host names (the settings' `script` and `fonts`
// addresses) and the channel's own style sheet when the folder has one.
struct PageOptions {
    std::vector<std::string> scripts, fonts;
    bool styles = false;
    std::string commentSecret; // signs the comment form's time token (see isCommentSecret); left out if not one
};

// The files the video pages share on the server, beside the comment files: the host's decisions (which comments are
// hidden, approved, which threads closed or held, where a note of a new comment is mailed), which Clipnest writes
// and publishes, and the count of recent posts per network and of the day's mails, which only the pages write.
inline constexpr const char* CommentModerationFile = "comment_moderation.txt";
inline constexpr const char* CommentLimitsFile = "comment_rate_limits.txt";
inline constexpr const char* CommentMailCountFile = "comment_mail_count.txt";

// Whether an address may go into a page as one: https:// and nothing that could leave the attribute.
bool isPageAddress(std::string_view address);

// The individual-page template (templates/video_page.php) with the head lines, the secret and the shared files
// filled in, the tokens left in place.
std::string buildIndividualPageTemplate(const PageOptions& options = {});

// The page's title and heading: the entry's homepage description (page text), else the video's file name.
std::string pageTitle(std::string_view homepageDescrip, std::string_view fileName);

// Replaces every file-name token (the video's source). The page declares UTF-8, so a code-page letter goes in as a
// character reference, from which the browser asks for the same file as from the homepage.
void fillFileName(std::string& pageText, std::string_view fileName);

// Replaces every file-name-without-extension token, escaped for the PHP string literal it stands in (\' in
// single-quoted, \$ in double-quoted literals).
void fillFileNameLessExt(std::string& pageText, std::string_view fileNameLessExt);

// Fills the tokens of a page text: the title (see pageTitle), the file name, the description. The file name without
// extension is escaped for each PHP string literal it stands in; the description is expected to be page text already.
void fillIndividualPage(std::string& pageText, std::string_view fileName, std::string_view fileNameLessExt,
                        std::string_view individDescrip, std::string_view title);

// Points a video page at a renamed video: its source, its poster and its comments file, written as fillIndividualPage
// writes them, so the host's own edits elsewhere in the page stay. The title is the caller's (it may name the video).
void renameInPage(std::string& pageText, std::string_view oldName, std::string_view newName);

} // namespace clipnest
