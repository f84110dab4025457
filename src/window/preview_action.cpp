#include "window/preview_action.h"

#include "text/page_text.h"
#include "text/templates.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace clipnest::window {

void openInBrowser(const QUrl& url, QObject* owner, std::function<void()> failed) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        // Said after the caller has said what it started, as xdg-open's answer would be.
        if (!QDesktopServices::openUrl(url)) {
            QTimer::singleShot(0, owner, failed);
        }
        return;
    }
    // xdg-open says by its exit status whether a browser took the address; it may also stay as long as the browser
    // it started runs. No parent: closing the window must not close the browser.
    auto* run = new QProcess;
    run->setProcessChannelMode(QProcess::ForwardedChannels);
    run->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(run, &QProcess::finished, owner, [run, failed](int code, QProcess::ExitStatus status) {
        run->deleteLater();
        if (status != QProcess::NormalExit || code != 0) {
            failed();
        }
    });
    QObject::connect(run, &QProcess::errorOccurred, owner, [run, owner, failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            run->deleteLater();
            QTimer::singleShot(0, owner, failed);
        }
    });
    run->start(opener, {url.toString()});
}

PreviewOutcome startPreview(PreviewServer& server, const std::filesystem::path& folder, QObject* owner,
                            std::function<void(const QString&)> noBrowser) {
    const auto open = [owner, noBrowser](const QUrl& url, const QString& after) {
        openInBrowser(url, owner, [noBrowser, address = url.toString(), after] {
            noBrowser(QStringLiteral("No browser could be opened: open ") + address +
                      QStringLiteral(" in a browser by hand") + after);
        });
    };
    const Result<std::string> address = server.start(folder, templates::previewRouter());
    if (address) {
        const QString at = QString::fromStdString(*address);
        open(QUrl(at), QStringLiteral(" (the preview is only on this computer; it stops when the window closes)."));
        return {QStringLiteral("Preview at ") + at +
                    QStringLiteral(" (only on this computer; it stops when the window closes)."),
                {}};
    }
    open(QUrl::fromLocalFile(QString::fromStdString((folder / "homepage.html").string())), QStringLiteral("."));
    return {{},
            toCodePage(why(address)).value_or("php is not installed") +
                ": homepage.html was opened as a file. The video pages need php to preview."};
}

} // namespace clipnest::window
