#pragma once

#include <array>
#include <functional>
#include <string>

namespace clipnest {

// The red message panels, named for what they say (the window's panel table gives each its design name). The last
// three are ours:
// FileFailure names a file that could not be written or read; InvalidName has the invalid-name message to itself, so
// the start-up notice keeps its text; Notice tells what was done that the user should know of (a file read again
// because it changed, an undo).
enum class Panel {
    EntryNotFound,         // the entry to delete is not on the homepage
    PageNotFound,          // the entry's video page is missing; a second click makes it
    NoHomepage,            // no homepage to delete from
    HomepageWillBeCreated, // the start-up notice in a folder never used before
    HomepageNotFound,      // the start-up notice in a folder used before
    InvalidNames,          // the insert panel's names are refused
    EntryExists,           // the entry to insert is on the homepage already
    FileFailure,
    InvalidName,
    Notice,
};
inline constexpr int PanelCount = 10;

// The fixed design-time text of a panel (CR LF line breaks). FileFailure's text is built per file.
std::string panelDesignText(Panel panel);

// The texts FileFailure shows when `fileName` could not be written or read.
std::string writeFailureText(const std::string& fileName);
std::string readFailureText(const std::string& fileName);
// The text FileFailure shows for a file that is a symbolic link, which is neither read nor written.
std::string linkFailureText(const std::string& fileName);

// A sentence or two in a panel's shape: a blank line, the words, and how to close it.
std::string panelMessage(const std::string& text);

struct PanelState {
    std::string text;
    bool visible = false;
};

class Panels {
public:
    Panels();
    PanelState& operator[](Panel p) { return state_[static_cast<int>(p)]; }
    const PanelState& operator[](Panel p) const { return state_[static_cast<int>(p)]; }
    void show(Panel p) {
        (*this)[p].visible = true;
        if (showListener_) {
            showListener_(p);
        }
    }
    void hide(Panel p) { (*this)[p].visible = false; }
    bool isVisible(Panel p) const { return (*this)[p].visible; }
    // Called on every show, also of a panel already in sight, after its text is set.
    void setShowListener(std::function<void(Panel)> listener) { showListener_ = std::move(listener); }

private:
    std::array<PanelState, PanelCount> state_;
    std::function<void(Panel)> showListener_;
};

} // namespace clipnest
