#pragma once

#include "publish/destination.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <QString>

class QWidget;

namespace clipnest::window {

// What a publish from the window came to: the sentence for the status line, and what went wrong or should be known
// (UTF-8, a line each) for the notice panel.
struct PublishOutcome {
    QString status;
    std::string said;
};

// The server of the channel: the address kept in its settings, or the one the user is asked for the first time (and
// which is then kept); nothing when none was given or it was refused, which a message box has said.
std::optional<publish::Destination> askDestination(QWidget* parent, const std::filesystem::path& folder,
                                                   const QString& title);

// Asks for the channel's own address, showing the one kept, and keeps a new one that passes (a message box says why
// one does not). True when a new address was kept.
bool askSite(QWidget* parent, const std::filesystem::path& folder);

// A publish of the channel folder from the window. It runs beside the window, which stays alive; a dialog with the
// file, its percent and rate and Cancel shows at once. `done` gets the outcome on the window's thread.
class PublishRun {
public:
    // Asks for the address the first time; null when the user gave none or it was refused (which a message box has
    // said).
    static std::unique_ptr<PublishRun> start(QWidget* parent, const std::filesystem::path& folder,
                                             std::function<void(const PublishOutcome&)> done);
    // Stops the transfer between two writes and waits for it to end.
    ~PublishRun();
    PublishRun(const PublishRun&) = delete;
    PublishRun& operator=(const PublishRun&) = delete;

    bool running() const { return running_; }
    // Asks the transfer to stop; `done` still comes.
    void cancel() { cancel_ = true; }

private:
    PublishRun() = default;
    struct Shown;
    std::unique_ptr<Shown> shown_;
    std::atomic<bool> cancel_ = false;
    std::atomic<bool> running_ = true;
    std::thread worker_;
};

} // namespace clipnest::window
