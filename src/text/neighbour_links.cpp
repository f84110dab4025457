#include "text/neighbour_links.h"

#include "platform/code_page.h"
#include "text/discovery.h"
#include "text/document.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

// Page text longer than this is cut before it is read as words: the link keeps far fewer characters, and a
// description of megabytes costs nothing more.
constexpr std::size_t ReadAtMost = 4096;

std::string linkLine(std::string_view rel, std::string_view words, const Neighbour& entry) {
    std::string shown = shownText(entry.description.substr(0, ReadAtMost));
    if (shown.empty()) {
        shown = codePageToUtf8(entry.fileName);
    }
    // The page declares UTF-8 and the server names the page by its UTF-8 name.
    const std::string page = codePageToUtf8(std::string(withoutExtension(entry.fileName)) + ".php");
    return "            <a rel=\"" + std::string(rel) + "\" href=\"" +
           discovery::markupText(discovery::addressOf("", page)) + "\">" + std::string(words) +
           discovery::markupText(discovery::trimmedText(shown, NeighbourWords)) + "</a>\n";
}

} // namespace

std::string neighbourLines(const std::optional<Neighbour>& previous, const std::optional<Neighbour>& next) {
    if (!previous && !next) {
        return {};
    }
    std::string lines = "        <nav class=\"neighbours\">\n";
    if (previous) {
        lines += linkLine("prev", "Previous: ", *previous);
    }
    if (next) {
        lines += linkLine("next", "Next: ", *next);
    }
    return lines + "        </nav>\n";
}

bool setNeighbourBlock(std::string& pageText, std::string_view lines) {
    const std::size_t open = findText(pageText, markers::NeighboursOpen);
    const std::size_t from = open == std::string::npos ? open : pageText.find('\n', open);
    const std::size_t close = from == std::string::npos ? from : pageText.find(markers::NeighboursClose, from);
    if (close == std::string::npos) {
        return false;
    }
    pageText.replace(from + 1, close - from - 1, lines);
    return true;
}

} // namespace clipnest
