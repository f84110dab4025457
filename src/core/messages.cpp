#include "core/messages.h"

#include "platform/code_page.h"

#include <algorithm>

namespace clipnest {

bool isNote(Message message) {
    return message == Message::HomepageWillBeCreated || message == Message::HomepageNotFound ||
           message == Message::Notice;
}

std::string_view fixedWords(Message message) {
    switch (message) {
    case Message::EntryNotFound:
        return "An entry for the entered file name was not found on the Homepage.";
    case Message::PageNotFound:
        return "An Individual page for the entered file name could not be found. If you want to create a new "
               "individual page for this name, simply click Create/Change Entry again and it will be created.";
    case Message::NoHomepage:
        return "A homepage.html file was not found in your local folder. Please place one there.";
    case Message::HomepageWillBeCreated:
        return "A homepage.html file will be created in the folder with this app. If you want to work with a "
               "previously created homepage.html file instead, you can place one in the folder now.";
    case Message::HomepageNotFound:
        return "A homepage.html file was not found in your local folder. Please place one there or one will be "
               "created by this App.";
    case Message::InvalidNames:
        return "Please enter valid file names.";
    case Message::EntryExists:
        return "There is already an entry with the entered file name on the Homepage.";
    case Message::InvalidName:
        return "Please enter a valid file name.";
    case Message::FileFailure:
    case Message::Notice:
        return {};
    }
    return {};
}

std::string writeFailureWords(const std::string& fileName) {
    return "Clipnest could not write " + fileName + ".\nThe file on disk was left as it was.";
}

std::string readFailureWords(const std::string& fileName) {
    return "Clipnest could not read " + fileName + ".\nThe file was left alone.";
}

std::string linkFailureWords(const std::string& fileName) {
    return "Clipnest did not read or write " + fileName +
           ": it is a symbolic link, and Clipnest follows none.\nPut the file itself in its place.";
}

std::string Said::line() const {
    std::string line = words.empty() ? std::string(fixedWords(message)) : words;
    std::replace(line.begin(), line.end(), '\n', ' ');
    return codePageToUtf8(line);
}

bool Outcome::failed() const {
    return !refusal.empty() || std::any_of(said.begin(), said.end(), [](const Said& s) { return !isNote(s.message); });
}

bool Outcome::says(Message message) const {
    return std::any_of(said.begin(), said.end(), [message](const Said& s) { return s.message == message; });
}

MessageBoard::MessageBoard() {
    for (int i = 0; i < MessageCount; ++i) {
        state_[static_cast<std::size_t>(i)].words = fixedWords(static_cast<Message>(i));
    }
}

} // namespace clipnest
