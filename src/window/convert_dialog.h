#pragma once

#include "media/convert.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

namespace clipnest::window {

// A conversion's own window: the file, a bar, the percent, speed and time left, and Cancel. It does not hold the
// main window: the host edits on while it runs.
class ConvertDialog final : public QDialog {
public:
    explicit ConvertDialog(QWidget* parent);

    // Empties it for the conversion of `file` and shows it.
    void begin(const QString& file);
    void showProgress(const media::ConvertProgress& progress);
    // The conversion ended: the dialog goes.
    void end();

    std::function<void()> onCancel;

protected:
    // Closing it cancels the conversion; it goes when the conversion has stopped.
    void reject() override;

private:
    QLabel* file_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* figures_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// A conversion of one video of the channel folder beside the window (media::convertVideo in a thread of its own, on
// a folder object of its own), shown in the dialog; `done` gets what it made on the window's thread, where the Form
// then puts it in place.
class ConvertRun {
public:
    static std::unique_ptr<ConvertRun> start(ConvertDialog& dialog, const std::filesystem::path& folder,
                                             const std::string& video, const media::ConvertSettings& settings,
                                             std::function<void(const media::Conversion&)> done);
    // Cancels the conversion and waits for it to stop (its temporary file removed); `done` does not come then.
    ~ConvertRun();
    ConvertRun(const ConvertRun&) = delete;
    ConvertRun& operator=(const ConvertRun&) = delete;

    bool running() const { return state_->running; }
    void cancel() { state_->cancel = true; }

private:
    ConvertRun() = default;
    struct State {
        std::atomic<bool> cancel = false;
        std::atomic<bool> running = true;
        std::atomic<std::int64_t> lastShown = 0;
        bool alive = true; // the window's thread only
        // What the worker made (set before it ends), and whether `done` took it: one nobody took is removed.
        std::string made;
        bool delivered = false;
    };
    std::filesystem::path folder_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
    ConvertDialog* dialog_ = nullptr;
    std::thread worker_;
};

} // namespace clipnest::window
