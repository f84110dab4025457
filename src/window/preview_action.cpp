#include "window/preview_action.h"

#include "text/page_text.h"

#include <QDesktopServices>
#include <QUrl>

namespace clipnest::window {

PreviewOutcome startPreview(PreviewServer& server, const std::filesystem::path& folder) {
    std::string problem;
    if (const std::optional<std::string> address = server.start(folder, problem)) {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(*address)));
        return {QStringLiteral("Preview at ") + QString::fromStdString(*address) +
                    QStringLiteral(" (only on this computer; it stops when the window closes)."),
                {}};
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString((folder / "homepage.html").string())));
    return {{},
            toCodePage(problem).value_or("php is not installed") +
                ": homepage.html was opened as a file. The video pages need php to preview."};
}

} // namespace clipnest::window
