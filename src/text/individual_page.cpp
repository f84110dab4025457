#include "text/individual_page.h"

#include "text/document.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/php_literal.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

// The page: the video with its title, description and comments, a way back to the gallery, and nothing loaded from
// elsewhere but what the host names ({Head} takes it). The PHP block stores a comment in one locked append, refuses
// texts over the form's 500 characters and any post that would take the comments file past 30,000 bytes (a date
// field longer than a date is dropped), and prints each comment as an escaped paragraph, oldest first, so a visitor
// can neither break the page, nor fill the server, nor inject markup into it.
constexpr std::string_view PageTemplate = R"html(<!DOCTYPE html>
<html lang="en">
<head>
    <meta charset="UTF-8">
    <meta name="viewport" content="width=device-width, initial-scale=1">
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Page title. -->
    <title>p4yPageTitlep5y</title>
{Head}<style type="text/css">
    body { font-family: sans-serif; line-height: 1.4; margin: 0 auto; max-width: 720px; padding: 0 12px; }
    video { display: block; width: 100%; max-width: 640px; height: auto; border-radius: 10px; background: #000; }
    .desc, .comment { overflow-wrap: anywhere; }
    .comment { margin: 0 0 0.9em; }
    .comment .date { display: block; color: #555; font-size: 0.85em; }
    form textarea { display: block; box-sizing: border-box; width: 100%; min-height: 6em; }
</style>
</head>

<body>
    <main>
        <p><a href="homepage.html">&larr; All videos</a></p>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Page heading. -->
        <h1>p4yPageTitlep5y</h1>
        <div class="gallery">
            <video controls="controls" preload="metadata">
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the File name. -->
                <source src="p4yFileNamep5y" type="video/mp4" /></video>
<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the Individual description. -->
<div class="desc">p4yIndividDescripp5y</div>
        </div>

        <h2>Comments</h2>
        <div class="comments">
<?php
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'.txt value below.
$filename = 'p4yFileNameLessExtp5y_comments.txt';
$size = is_file($filename) ? filesize($filename) : 0;
$txt = isset($_POST["text"]) && is_string($_POST["text"]) ? $_POST["text"] : null;
if ($txt !== null) {
        $length = preg_match_all('/\r\n|./us', $txt);
        if ($length === false) {
                $length = strlen($txt);
        }
        if ($length > 500) {
                echo "<p class=\"notice\">Sorry, comments are limited to 500 characters.</p>\n";
        } else {
                $date=date("Y-m-d H:i:s");
                $dt = isset($_POST["date"]) && is_string($_POST["date"]) && strlen($_POST["date"]) <= 40 ? $_POST["date"] : "";
                $post = $txt . PHP_EOL . "$date\r\n" . $dt . PHP_EOL;
                if ($size + strlen($post) > 30000) {
                        echo "<p class=\"notice\">Sorry, comments for this entry are full.</p>\n";
                } else {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
                        file_put_contents("p4yFileNameLessExtp5y_comments.txt", $post, FILE_APPEND | LOCK_EX);
                }
        }
}
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
if (is_file("p4yFileNameLessExtp5y_comments.txt")) {
// t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in between this tag and the 'FileName'_comments.txt value below.
        $data = (string) file_get_contents("p4yFileNameLessExtp5y_comments.txt");
        // A comment is its text, a line break, the server's date and time, CR LF, the posted date field, a line break.
        preg_match_all('/(.*?)\r?\n(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\r\n[^\n]*\n/s', $data, $comments, PREG_SET_ORDER);
        foreach ($comments as $comment) {
                echo '<p class="comment">' . nl2br(htmlspecialchars($comment[1], ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8'), false)
                        . '<span class="date">' . $comment[2] . "</span></p>\n";
        }
}
?>
        </div>

        <form method="POST">
            <label for="comment-text">Your comment</label>
            <textarea id="comment-text" name="text" maxlength="500"></textarea>
            <input type="submit" value="Post Comment">
        </form>
    </main>
</body>
</html>)html";

// The head lines that load what the host named: the style sheet, web fonts (with a connection made early to their
// server), scripts.
std::string headLines(const PageOptions& options) {
    std::string head;
    if (options.styles) {
        head += "    <link rel=\"stylesheet\" href=\"styles3.css\">\n";
    }
    for (const std::string& font : options.fonts) {
        const std::size_t slash = font.find('/', font.find("://") + 3);
        head += "    <link rel=\"preconnect\" href=\"" + font.substr(0, slash) + "\" crossorigin>\n";
        head += "    <link rel=\"stylesheet\" href=\"" + font + "\">\n";
    }
    for (const std::string& script : options.scripts) {
        head += "    <script src=\"" + script + "\"></script>\n";
    }
    return head;
}

} // namespace

bool isPageAddress(std::string_view address) {
    return address.starts_with("https://") && address.size() > 8 &&
           address.find_first_of("\"'<>&\\ \t\r\n") == std::string_view::npos;
}

std::string buildIndividualPageTemplate(const PageOptions& options) {
    std::string page(PageTemplate);
    replaceAll(page, "{Head}", headLines(options));
    return page;
}

std::string pageTitle(std::string_view homepageDescrip, std::string_view fileName) {
    if (!homepageDescrip.empty()) {
        return asciiWithReferences(homepageDescrip);
    }
    // A file name is code-page text that may hold "&" (the name checks leave out < > and quotes).
    std::string title;
    for (const char c : fileName) {
        title += c == '&' ? std::string("&amp;") : std::string(1, c);
    }
    return asciiWithReferences(title);
}

void fillFileName(std::string& pageText, std::string_view fileName) {
    replaceAll(pageText, markers::FileNameToken, asciiWithReferences(fileName));
}

void fillFileNameLessExt(std::string& pageText, std::string_view fileNameLessExt) {
    // One pass that looks at the character before each token: a quote opens the single-quoted $filename literal,
    // everything else is a double-quoted literal. A name that itself holds the token is inserted once.
    const std::string_view token = markers::FileNameLessExtToken;
    const std::string inSingle = phpSingleQuoted(fileNameLessExt);
    const std::string inDouble = phpDoubleQuoted(fileNameLessExt);
    std::string out;
    out.reserve(pageText.size());
    std::size_t done = 0;
    for (std::size_t pos = pageText.find(token); pos != std::string::npos; pos = pageText.find(token, done)) {
        out.append(pageText, done, pos - done);
        out.append(pos > 0 && pageText[pos - 1] == '\'' ? inSingle : inDouble);
        done = pos + token.size();
    }
    out.append(pageText, done);
    pageText = std::move(out);
}

void fillIndividualPage(std::string& pageText, std::string_view fileName, std::string_view fileNameLessExt,
                        std::string_view individDescrip, std::string_view title) {
    replaceAll(pageText, markers::PageTitleToken, title);
    fillFileName(pageText, fileName);
    replaceAll(pageText, markers::IndividDescripToken, individDescrip);
    fillFileNameLessExt(pageText, fileNameLessExt);
}

void renameInPage(std::string& pageText, std::string_view oldName, std::string_view newName) {
    replaceAll(pageText, "src=\"" + asciiWithReferences(oldName) + "\"",
               "src=\"" + asciiWithReferences(newName) + "\"");
    const std::string oldLess(withoutExtension(oldName)), newLess(withoutExtension(newName));
    replaceAll(pageText, "'" + phpSingleQuoted(oldLess) + "_comments.txt'",
               "'" + phpSingleQuoted(newLess) + "_comments.txt'");
    replaceAll(pageText, "\"" + phpDoubleQuoted(oldLess) + "_comments.txt\"",
               "\"" + phpDoubleQuoted(newLess) + "_comments.txt\"");
}

} // namespace clipnest
