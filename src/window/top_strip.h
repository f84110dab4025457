#pragma once

#include "window/status_line.h"

#include <QPushButton>
#include <QRect>

namespace clipnest::window {

// The strip above the viewport holds what is not of the design: another folder, a preview, undo, the entries, the
// publish, the visitors' comments, the
// addresses and the connection, adding videos, and the status line that says what the last operation did.
struct TopStrip {
    QPushButton* openFolder = nullptr;
    QPushButton* preview = nullptr;
    QPushButton* undo = nullptr;
    QPushButton* entries = nullptr;
    QPushButton* publish = nullptr;
    QPushButton* comments = nullptr;
    QPushButton* site = nullptr;
    QPushButton* connection = nullptr;
    QPushButton* addVideos = nullptr;
    QPushButton* addNewVideos = nullptr;
    StatusLine* status = nullptr;
};

// Builds the strip on the main window, each button with its shortcut and tip.
TopStrip buildTopStrip(QWidget* window);

// Where the status line stands in a window `windowWidth` twips wide: from the last button to the scroll bar, so a
// wider window shows more of a message.
QRect statusLineRect(int windowWidth);

} // namespace clipnest::window
