#pragma once

#include "publish/destination.h"
#include "publish/publisher.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace clipnest::window {

// What a publish from the window came to: the sentences for the status line, whole; what went wrong or should be
// known, a line each, for the publish dialog; whether it is a failure (nothing or less than planned arrived) and
// whether the connection itself failed, so the dialog offers the connection's settings. All UTF-8.
struct PublishOutcome {
    QString status;
    QString reason;
    bool failed = false;
    bool busy = false;
    bool couldNotConnect = false;
};

// The outcome of a publish to `destination` that reported `report` (whose names are in the code page).
PublishOutcome outcomeOf(const publish::Destination& destination, const publish::Report& report);

// The whole publish's figures as the dialog words them: "3 of 40 files, 3.4 MB of 120.0 MB, 1.2 MB/s, 1 min 40 s
// left".
QString overallText(const publish::Overall& overall);

// The publish's own window: the file under way and its bar, the whole publish's bar and figures, and Stop. A publish
// that fails or uploads less than planned leaves it open with the reason until the host closes it.
class PublishDialog final : public QDialog {
public:
    explicit PublishDialog(QWidget* parent);

    // Empties it for a publish to `where` and shows it.
    void begin(const QString& where);
    void showFile(const QString& text, int permille);
    void showOverall(const publish::Overall& overall);
    // Shows the end: a failure's reason, kept in sight with Close; otherwise the dialog goes.
    void end(const PublishOutcome& outcome);
    bool running() const { return running_; }
    // The publish it showed is gone without an end (the window closed, another folder was opened).
    void drop();

    std::function<void()> onStop;
    // The Connection button, offered when the publish could not connect; given what the publish came to.
    std::function<void(const QString& said)> onConnection;

protected:
    // Closing it while the publish runs asks the publish to stop, and the dialog stays to say how it ended.
    void reject() override;

private:
    QLabel* file_ = nullptr;
    QProgressBar* fileBar_ = nullptr;
    QLabel* overall_ = nullptr;
    QProgressBar* overallBar_ = nullptr;
    QPlainTextEdit* reason_ = nullptr;
    QPushButton* connection_ = nullptr;
    QPushButton* stop_ = nullptr;
    QString said_;
    bool running_ = false;
};

// The channel's address as typed, trimmed, with the closing / added where that is all it lacks.
std::string completedSite(const QString& typed);

// Asks for the channel's own address, showing the one kept, and keeps a new one that passes; one that does not is
// left in the box as typed, with the reason beside it. True when a new address was kept.
bool askSite(QWidget* parent, const std::filesystem::path& folder);

// A publish of the channel folder from the window. It runs beside the window, which stays alive; the publish dialog
// shows at once. `done` gets the outcome on the window's thread.
class PublishRun {
public:
    // Publishes `folder` to `destination`, shown in `dialog`, which outlives the run.
    static std::unique_ptr<PublishRun> start(PublishDialog& dialog, const std::filesystem::path& folder,
                                             const publish::Destination& destination,
                                             std::function<void(const PublishOutcome&)> done);
    // Stops the transfer between two writes and waits for it to end.
    ~PublishRun();
    PublishRun(const PublishRun&) = delete;
    PublishRun& operator=(const PublishRun&) = delete;

    bool running() const { return state_->running; }
    // Asks the transfer to stop; `done` still comes.
    void cancel() { state_->cancel = true; }

private:
    PublishRun() = default;
    // Shared with the worker and with what it posts to the dialog, which may come after the run is gone.
    struct State {
        std::atomic<bool> cancel = false;
        std::atomic<bool> running = true;
        std::atomic<std::int64_t> lastShown = 0, lastOverall = 0;
        bool alive = true; // the window's thread only
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    PublishDialog* dialog_ = nullptr;
    std::thread worker_;
};

} // namespace clipnest::window
