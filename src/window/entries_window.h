#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <QWidget>

class QListWidget;

namespace clipnest::window {

// The homepage's entries in homepage order, in a window of its own beside the main one, under a line that says what
// a click does. A click on one hands its file name on; the list edits nothing.
class EntriesWindow final : public QWidget {
public:
    explicit EntriesWindow(QWidget* owner);

    // Called with the file name (UTF-8) of the entry clicked.
    std::function<void(const std::string& fileName)> onPick;

    // Lists the entries of the homepage text (code-page bytes).
    void showEntries(std::string_view pageText);
    // Shows the window beside `main` (on the screen: to its left where there is no room on its right) when it was not
    // open, and raises it.
    void open(const QWidget& main);

private:
    QListWidget* list_ = nullptr;
};

} // namespace clipnest::window
