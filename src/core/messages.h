#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace clipnest {

// What the Form has to tell, each a message of its own (the window shows each in a panel of its own). The last three
// are ours: FileFailure names a file that could not be written or read; InvalidName has the invalid-name message to
// itself, so the start-up notice keeps its words; Notice tells what was done that the user should know of (a file
// read again because it changed, an undo).
enum class Message {
    EntryNotFound,         // the entry to delete is not on the homepage
    PageNotFound,          // the entry's video page is missing; a second click makes it
    NoHomepage,            // no homepage to delete from
    HomepageWillBeCreated, // the start-up notice in a folder never used before
    HomepageNotFound,      // the start-up notice in a folder used before
    InvalidNames,          // the insert message's names are refused
    EntryExists,           // the entry to insert is on the homepage already
    FileFailure,
    InvalidName,
    Notice,
};
inline constexpr int MessageCount = 10;

// Notes tell what is or was done; every other message says that an operation was refused or stopped.
bool isNote(Message message);

// The words of a message that always says the same (code-page text, one line); empty for FileFailure and Notice,
// whose words are given each time.
std::string_view fixedWords(Message message);

// The words FileFailure says when `fileName` could not be written or read, or is a symbolic link, which is neither
// read nor written. A line break (LF) parts the sentences that stand on lines of their own.
std::string writeFailureWords(const std::string& fileName);
std::string readFailureWords(const std::string& fileName);
std::string linkFailureWords(const std::string& fileName);

// One message as it was said: its words are code-page text whose LFs part its lines.
struct Said {
    Message message;
    std::string words;

    // The words on one line of UTF-8 text, for a terminal or a status line.
    std::string line() const;
    bool operator==(const Said&) const = default;
};

// How what was asked ended: what the Form said and which files it wrote, renamed, removed or put back, in order.
struct Outcome {
    std::vector<Said> said;
    std::vector<std::string> written;
    // A refusal that has no message of its own (an insert above an entry that is not there), as UTF-8; empty if none.
    std::string refusal;

    // Whether something said or the refusal tells that it was refused or stopped.
    bool failed() const;
    bool says(Message message) const;
};

// Which messages are in sight, and the words each says now.
class MessageBoard {
public:
    MessageBoard();
    bool isShown(Message m) const { return state_[index(m)].shown; }
    const std::string& words(Message m) const { return state_[index(m)].words; }

    void show(Message m, std::string words) { state_[index(m)] = {std::move(words), true}; }
    void setWords(Message m, std::string words) { state_[index(m)].words = std::move(words); }
    void hide(Message m) { state_[index(m)].shown = false; }

private:
    static std::size_t index(Message m) { return static_cast<std::size_t>(m); }
    struct State {
        std::string words;
        bool shown = false;
    };
    std::array<State, MessageCount> state_;
};

} // namespace clipnest
