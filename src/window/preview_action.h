#pragma once

#include "shell/preview_server.h"

#include <filesystem>
#include <string>

#include <QString>

namespace clipnest::window {

// What starting the preview came to: the status line's sentence, or a notice (code-page text) when the homepage
// could only be opened as a file.
struct PreviewOutcome {
    QString status;
    std::string notice;
};

// Starts PHP's server on the folder and opens the homepage in the browser; without php, opens the homepage as a file.
PreviewOutcome startPreview(PreviewServer& server, const std::filesystem::path& folder);

} // namespace clipnest::window
