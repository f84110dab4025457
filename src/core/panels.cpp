#include "core/panels.h"

#include <initializer_list>
#include <string_view>

namespace clipnest {

namespace {

// Joins the lines with CR LF, the line break of a multi-line text box.
std::string crlfLines(std::initializer_list<std::string_view> lines) {
    std::string text;
    bool first = true;
    for (const std::string_view line : lines) {
        if (!first) {
            text.append("\r\n");
        }
        text.append(line);
        first = false;
    }
    return text;
}

} // namespace

// The blank first lines and leading blanks place the words inside the red box; every text but that of InvalidNames ends
// in an empty line.
std::string panelDesignText(Panel panel) {
    switch (panel) {
    case Panel::EntryNotFound:
        return crlfLines({std::string(6, ' '), "      An entry for the entered file ",
                          "      name was not found on the ", "      Homepage. (Click to close)", ""});
    case Panel::PageNotFound:
        return crlfLines({std::string(63, ' '), "   An Individual page for the entered  ",
                          "   file name could not be found. If you ", "   want to create a new individual page",
                          "   for this name, simply click ", "   Create/Change Entry again and it ",
                          "   will be created.", std::string(3, ' '), ""});
    case Panel::NoHomepage:
        return crlfLines({" ", "      A homepage.html file was not  ", "      found in your local folder.  ",
                          "      Please place one there.", "      (Click to close)", ""});
    case Panel::HomepageWillBeCreated:
        return crlfLines({std::string(71, ' '), "   A homepage.html file will be created ",
                          "   in the folder with this app.  If you ", "   want to work with a previously ",
                          "   created homepage.html file instead,", "   you can place one in the folder now.",
                          "   (Click to close)", ""});
    case Panel::HomepageNotFound:
        return crlfLines({" ", "   A homepage.html file was not  ", "   found in your local folder.  ",
                          "   Please place one there or one   ", "   will be created by this App.",
                          "   (Click to close)", ""});
    case Panel::InvalidNames:
        return "  Please enter valid file names.";
    case Panel::EntryExists:
        return crlfLines({std::string(71, ' '), "       There is already an entry with ",
                          "       the entered file name on the ", "       Homepage.", ""});
    case Panel::InvalidName:
        return "Please enter a valid file name.";
    case Panel::FileFailure:
    case Panel::Notice:
        return {};
    }
    return {};
}

std::string writeFailureText(const std::string& fileName) {
    return "\r\n   Clipnest could not write " + fileName +
           ".\r\n   The file on disk was left as it was.\r\n   (Click to close)\r\n";
}

std::string readFailureText(const std::string& fileName) {
    return "\r\n   Clipnest could not read " + fileName + ".\r\n   The file was left alone.\r\n   (Click to close)\r\n";
}

std::string linkFailureText(const std::string& fileName) {
    return panelMessage("Clipnest did not read or write " + fileName +
                        ": it is a symbolic link, and Clipnest follows none.\r\n   Put the file itself in its place.");
}

std::string panelMessage(const std::string& text) {
    return "\r\n   " + text + "\r\n   (Click to close)\r\n";
}

Panels::Panels() {
    for (int i = 0; i < PanelCount; ++i) {
        state_[i].text = panelDesignText(static_cast<Panel>(i));
    }
}

} // namespace clipnest
