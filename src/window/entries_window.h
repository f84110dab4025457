#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <QWidget>

class QDoubleSpinBox;
class QLabel;
class QListView;
class QPushButton;
class QVBoxLayout;

namespace clipnest::window {

class EntriesModel;

// The homepage's entries in homepage order, in a window of its own beside the main one, under a line that says what
// a click does. A click on one hands its file name on; Move up and Move down ask for the picked one to be moved. The
// entries are read in one pass over the text and kept as the page holds them; a row is made into words only when it is
// drawn, so a homepage of 100,000 entries lists at once.
class EntriesWindow final : public QWidget {
public:
    explicit EntriesWindow(QWidget* owner);

    // Called with the file name (UTF-8) of the entry clicked.
    std::function<void(const std::string& fileName)> onPick;
    // Called when Remake is pressed, with the picked entry's file name and the time of the frame asked for.
    std::function<void(const std::string& fileName, double seconds)> onRemake;
    // Called when Convert is pressed, with the picked entry's file name.
    std::function<void(const std::string& fileName)> onConvert;
    // Called when Move up (`up`) or Move down is pressed, with the picked entry's file name.
    std::function<void(const std::string& fileName, bool up)> onMove;

    // The line above the list, which says where a click puts the entry.
    void setHint(const QString& hint);

    // Lists the entries of the homepage text (code-page bytes).
    void showEntries(std::string_view pageText);
    // Shows the poster of the entry `fileName` (UTF-8), JPEG bytes, or that it has none, and lets Remake make it
    // again.
    void showPoster(const std::string& fileName, const std::string& jpeg);
    // Shows the window beside `main` (on the screen: to its left where there is no room on its right) when it was not
    // open, and raises it.
    void open(const QWidget& main);

private:
    QVBoxLayout* pickedControls();

    QListView* list_ = nullptr;
    EntriesModel* model_ = nullptr;
    QLabel* poster_ = nullptr;
    QDoubleSpinBox* posterAt_ = nullptr;
    QPushButton* remake_ = nullptr;
    QPushButton* convert_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QLabel* hint_ = nullptr;
    std::string picked_;
};

} // namespace clipnest::window
