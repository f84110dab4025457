#include "text/individual_page.h"

#include "text/channel_settings.h"
#include "text/document.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/php_literal.h"
#include "text/templates.h"
#include "text/text_ops.h"
#include "text/video_tag.h"

namespace clipnest {

namespace {

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
    using templates::Context;
    const std::string head = headLines(options);
    return templates::filled(
        templates::videoPage(),
        {{"{Head}", head, Context::PageText},
         {"{Secret}", isCommentSecret(options.commentSecret) ? options.commentSecret : "", Context::PhpSingleQuoted},
         {"{Moderation}", CommentModerationFile, Context::PhpSingleQuoted},
         {"{Limits}", CommentLimitsFile, Context::PhpSingleQuoted},
         {"{MailCount}", CommentMailCountFile, Context::PhpSingleQuoted}});
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
    replaceAll(pageText, markers::FileNameToken, nameInPage(fileName));
}

void fillFileNameLessExt(std::string& pageText, std::string_view fileNameLessExt) {
    // One pass that looks at the character before each token: a quote opens the single-quoted $filename literal,
    // everything else is a double-quoted literal. A name that itself holds the token is inserted once.
    // The literals name the comments file, which PHP opens under its name on disk: UTF-8.
    const std::string_view token = markers::FileNameLessExtToken;
    const std::string onDisk = codePageToUtf8(fileNameLessExt);
    const std::string inSingle = phpSingleQuoted(onDisk);
    const std::string inDouble = phpDoubleQuoted(onDisk);
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
    // A page written before names were escaped may hold a bare "&".
    for (const std::string& old : {nameInPage(oldName), asciiWithReferences(oldName)}) {
        replaceAll(pageText, "src=\"" + old + "\"", "src=\"" + nameInPage(newName) + "\"");
    }
    // The comments file's literals hold its name on disk (UTF-8); an older page may hold the code-page bytes.
    const std::string oldLess(withoutExtension(oldName)), newLess = codePageToUtf8(withoutExtension(newName));
    for (const std::string& old : {codePageToUtf8(oldLess), oldLess}) {
        replaceAll(pageText, joined({"'", phpSingleQuoted(old), "_comments.txt'"}),
                   joined({"'", phpSingleQuoted(newLess), "_comments.txt'"}));
        replaceAll(pageText, joined({"\"", phpDoubleQuoted(old), "_comments.txt\""}),
                   joined({"\"", phpDoubleQuoted(newLess), "_comments.txt\""}));
    }
    renamePoster(pageText, pageSourceKey(newName), posterValue(oldName), posterValue(newName));
}

} // namespace clipnest
