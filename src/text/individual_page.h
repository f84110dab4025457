#pragma once

#include <string>
#include <string_view>

namespace clipnest {

// The origins the individual page loads from, fixed when the tool is built.
std::string_view webFontApiOrigin();
std::string_view webFontStaticOrigin();
std::string_view angularScriptOrigin();
std::string_view channelServiceOrigin();

// The individual-page template: lines joined by LF, no LF after "</html>", tokens left in place.
std::string buildIndividualPageTemplate();

// Replaces every file-name token (the video's source). The page declares UTF-8, so a code-page letter goes in as a
// character reference, from which the browser asks for the same file as from the homepage.
void fillFileName(std::string& pageText, std::string_view fileName);

// Replaces every file-name-without-extension token, escaped for the PHP string literal it stands in (\' in
// single-quoted, \$ in double-quoted literals).
void fillFileNameLessExt(std::string& pageText, std::string_view fileNameLessExt);

// Fills the three tokens of a page text. The file name without extension is escaped for each PHP string literal it
// stands in; the description is expected to be page text already.
void fillIndividualPage(std::string& pageText, std::string_view fileName, std::string_view fileNameLessExt,
                        std::string_view individDescrip);

} // namespace clipnest
