#include "window/panel_text.h"

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
std::string panelDesignText(Message message) {
    switch (message) {
    case Message::EntryNotFound:
        return crlfLines({std::string(6, ' '), "      An entry for the entered file ",
                          "      name was not found on the ", "      Homepage. (Click to close)", ""});
    case Message::PageNotFound:
        return crlfLines({std::string(63, ' '), "   An Individual page for the entered  ",
                          "   file name could not be found. If you ", "   want to create a new individual page",
                          "   for this name, simply click ", "   Create/Change Entry again and it ",
                          "   will be created.", std::string(3, ' '), ""});
    case Message::NoHomepage:
        return crlfLines({" ", "      A homepage.html file was not  ", "      found in your local folder.  ",
                          "      Please place one there.", "      (Click to close)", ""});
    case Message::HomepageWillBeCreated:
        return crlfLines({std::string(71, ' '), "   A homepage.html file will be created ",
                          "   in the folder with this app.  If you ", "   want to work with a previously ",
                          "   created homepage.html file instead,", "   you can place one in the folder now.",
                          "   (Click to close)", ""});
    case Message::HomepageNotFound:
        return crlfLines({" ", "   A homepage.html file was not  ", "   found in your local folder.  ",
                          "   Please place one there or one   ", "   will be created by this App.",
                          "   (Click to close)", ""});
    case Message::InvalidNames:
        return "  Please enter valid file names.";
    case Message::EntryExists:
        return crlfLines({std::string(71, ' '), "       There is already an entry with ",
                          "       the entered file name on the ", "       Homepage.", ""});
    case Message::InvalidName:
        return "Please enter a valid file name.";
    case Message::FileFailure:
    case Message::Notice:
        return {};
    }
    return {};
}

std::string panelText(Message message, const std::string& words) {
    if (words == fixedWords(message) && !words.empty()) {
        return panelDesignText(message);
    }
    if (message == Message::InvalidName) {
        return words;
    }
    std::string text = "\r\n   ";
    for (const char c : words) {
        if (c == '\n') {
            text += "\r\n   ";
        } else {
            text += c;
        }
    }
    return text + "\r\n   (Click to close)\r\n";
}

} // namespace clipnest
