#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <QListWidget>

namespace clipnest::window {

// The homepage's entries in homepage order, in a window of its own beside the main one. A click on one hands its
// file name on; the list edits nothing.
class EntriesWindow final : public QListWidget {
public:
    explicit EntriesWindow(QWidget* owner);

    // Called with the file name (UTF-8) of the entry clicked.
    std::function<void(const std::string& fileName)> onPick;

    // Lists the entries of the homepage text (code-page bytes).
    void showEntries(std::string_view pageText);
    // Shows the window, beside `main` when it was not open.
    void open(const QWidget& main);
};

} // namespace clipnest::window
