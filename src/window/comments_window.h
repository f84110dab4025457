#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace clipnest::publish {
struct ListedComment;
}

namespace clipnest::window {

// Every video's comments, as last fetched from the server, in a window of its own: one row a video (with how many of
// its comments are new and whether its thread is closed), its comments under it newest first, the new ones in bold.
// Fetch reads them again from the server (over the publish address); Hide/Show, Approve and Close thread/Open thread
// change what the pages show from the next publish on; Reply posts the host's reply to the live page at once. The
// comment files themselves are never written.
class CommentsWindow final : public QWidget {
public:
    CommentsWindow(QWidget* owner, std::filesystem::path folder);
    ~CommentsWindow() override;

    // Lists what was fetched last and shows the window beside `main`.
    void open(const QWidget& main);
    // Reads every video's comments from the server, then lists them.
    void fetch();
    // The same on a thread of its own, asking nothing: for the window's start, when the channel has a publish
    // address. What it found (or why it found nothing) goes to onFetched; the window lists the comments again.
    void fetchInBackground();
    // Lists the comments fetched last.
    void refresh();
    // Works on another channel folder from now on.
    void setFolder(std::filesystem::path folder);
    // How many comments the last fetch saw first.
    std::size_t newCount() const { return newCount_; }

    // Told the new count whenever the comments are listed again.
    std::function<void(std::size_t)> onNewCount;
    // Told in one line what a fetch in the background found, and whether it failed.
    std::function<void(const QString&, bool failed)> onFetched;
    // Asked to show the connection window, saying why, when a fetch has no address it can use.
    std::function<void(const QString& reason)> onConnection;

private:
    void addComment(QTreeWidgetItem* video, const std::string& fileName, const publish::ListedComment& c);
    void toggleHidden();
    void toggleClosed();
    void approve();
    void reply();
    void say(const QString& text);
    // Says what a change of the moderation file did (or that it could not be written), and lists again.
    void said(bool written, const QString& done);
    // The comment row picked, or null when a video's row or nothing is.
    QTreeWidgetItem* pickedComment() const;
    void showButtons(QTreeWidgetItem* item);

    std::filesystem::path folder_;
    QTreeWidget* tree_ = nullptr;
    QPushButton* hide_ = nullptr;
    QPushButton* approve_ = nullptr;
    QPushButton* close_ = nullptr;
    QLineEdit* replyText_ = nullptr;
    QPushButton* reply_ = nullptr;
    QLabel* said_ = nullptr;
    std::size_t newCount_ = 0;
    std::thread background_;
    std::atomic<bool> fetching_ = false;
};

} // namespace clipnest::window
