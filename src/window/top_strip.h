#pragma once

#include <QLabel>
#include <QPushButton>

namespace clipnest::window {

// The strip above the viewport holds what is not of the design: another folder, a preview, undo, the entries, the
// publish, the visitors' comments, and the status line that says what the last operation did.
struct TopStrip {
    QPushButton* openFolder = nullptr;
    QPushButton* preview = nullptr;
    QPushButton* undo = nullptr;
    QPushButton* entries = nullptr;
    QPushButton* publish = nullptr;
    QPushButton* comments = nullptr;
    QLabel* status = nullptr;
};

// Builds the strip on the main window, each button with its shortcut and tip.
TopStrip buildTopStrip(QWidget* window);

} // namespace clipnest::window
