#pragma once

#include "publish/destination.h"

#include <filesystem>
#include <optional>
#include <string>

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

// Publishes the channel folder with a progress dialog and Cancel, asking for the address the first time; nothing when
// the user gave no address or it was refused (which a message box has said).
std::optional<PublishOutcome> publishWithDialog(QWidget* parent, const std::filesystem::path& folder);

} // namespace clipnest::window
