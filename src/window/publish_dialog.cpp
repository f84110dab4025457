#include "window/publish_dialog.h"

#include "publish/destination.h"
#include "publish/publisher.h"

#include <atomic>
#include <thread>
#include <vector>

#include <QEventLoop>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>

namespace clipnest::window {

std::optional<publish::Destination> askDestination(QWidget* parent, const std::filesystem::path& folder,
                                                   const QString& title) {
    std::string to;
    if (publish::keptAddress(folder).empty()) {
        to = QInputDialog::getText(parent, title,
                                   QStringLiteral("The channel's server and folder (sftp://user@host/folder or "
                                                  "ftps://user@host/folder):"))
                 .trimmed()
                 .toStdString();
        if (to.empty()) {
            return std::nullopt;
        }
    }
    publish::DestinationProblem problem;
    std::optional<publish::Destination> destination = publish::chooseDestination(folder, to, false, true, problem);
    if (!destination) {
        QMessageBox::warning(parent, title, QString::fromStdString(problem.text));
    }
    return destination;
}

std::optional<PublishOutcome> publishWithDialog(QWidget* parent, const std::filesystem::path& folder) {
    const std::optional<publish::Destination> destination = askDestination(parent, folder, QStringLiteral("Publish"));
    if (!destination) {
        return std::nullopt;
    }

    // The transfer runs beside the window; the dialog shows each file and can stop it between two writes.
    QProgressDialog progress(QStringLiteral("Looking for what changed\u2026"), QStringLiteral("Cancel"), 0, 1000,
                             parent);
    progress.setWindowTitle(QStringLiteral("Publish to ") + QString::fromStdString(destination->target.display()));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    std::atomic<bool> cancel = false;
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&cancel] { cancel = true; });
    publish::Events events;
    events.starting = [&progress](const publish::ChannelFile& f, std::size_t i, std::size_t n) {
        const QString text = QStringLiteral("%1 (%2 of %3)").arg(QString::fromStdString(f.name)).arg(i + 1).arg(n);
        QMetaObject::invokeMethod(&progress, [&progress, text] { progress.setLabelText(text); });
    };
    events.progress = [&progress](std::uintmax_t sent, std::uintmax_t total) {
        const int value = total ? static_cast<int>(sent * 1000 / total) : 0;
        QMetaObject::invokeMethod(&progress, [&progress, value] { progress.setValue(value); });
    };
    publish::Report report;
    QEventLoop loop;
    std::thread worker([&] {
        report = publish::publishChannel(folder, destination->settings, destination->target, events, cancel, false);
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); });
    });
    loop.exec();
    worker.join();
    progress.reset();

    PublishOutcome outcome;
    std::string& said = outcome.said;
    said = report.error;
    for (const auto& [name, reason] : report.failed) {
        said += (said.empty() ? "" : "\r\n") + name + " was not uploaded: " + reason;
    }
    std::vector<std::string> notes = destination->notes;
    notes.insert(notes.end(), report.notes.begin(), report.notes.end());
    for (const std::string& note : notes) {
        said += (said.empty() ? "" : "\r\n") + note;
    }
    outcome.status = report.changed.empty() && report.error.empty()
                         ? QStringLiteral("Nothing changed since the last publish.")
                         : QStringLiteral("Uploaded %1 of %2 changed files to %3.")
                               .arg(report.uploaded.size())
                               .arg(report.changed.size())
                               .arg(QString::fromStdString(destination->target.display()));
    return outcome;
}

} // namespace clipnest::window
