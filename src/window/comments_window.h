#pragma once

#include <filesystem>
#include <functional>

#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace clipnest::window {

// Every video's comments, as last fetched from the server, in a window of its own: one row a video (with whether its
// thread is closed), its comments under it newest first. Fetch reads them again from the server (over the publish
// address); Hide/Show and Close/Open change what the pages show from the next publish on. The comment files
// themselves are never written.
class CommentsWindow final : public QWidget {
public:
    CommentsWindow(QWidget* owner, std::filesystem::path folder);

    // Lists what was fetched last and shows the window beside `main`.
    void open(const QWidget& main);
    // Reads every video's comments from the server, then lists them.
    void fetch();
    // Lists the comments fetched last.
    void refresh();
    // Works on another channel folder from now on.
    void setFolder(std::filesystem::path folder);

private:
    void toggleHidden();
    void toggleClosed();
    void say(const QString& text);
    // Says what a change of the moderation file did (or that it could not be written), and lists again.
    void said(bool written, const QString& done);

    std::filesystem::path folder_;
    QTreeWidget* tree_ = nullptr;
    QPushButton* hide_ = nullptr;
    QPushButton* close_ = nullptr;
    QLabel* said_ = nullptr;
};

} // namespace clipnest::window
