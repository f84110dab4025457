#pragma once

#include "platform/preview_server.h"

#include <filesystem>
#include <functional>
#include <string>

#include <QString>

class QObject;
class QUrl;

namespace clipnest::window {

// What starting the preview came to: the status line's sentence, or a notice (code-page text) when the homepage
// could only be opened as a file.
struct PreviewOutcome {
    QString status;
    std::string notice;
};

// Opens `url` in the desktop's browser (through xdg-open where there is one, so its failure can be heard). When none
// could be opened, `failed` is called later (from the event loop), while `owner` lives.
void openInBrowser(const QUrl& url, QObject* owner, std::function<void()> failed);

// Starts PHP's server on the folder and opens the homepage in the browser; without php, opens the homepage as a file.
// When no browser could be opened, `noBrowser` gets the status line's sentence with the address to open by hand.
PreviewOutcome startPreview(PreviewServer& server, const std::filesystem::path& folder, QObject* owner,
                            std::function<void(const QString&)> noBrowser);

} // namespace clipnest::window
