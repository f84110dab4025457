#include "window/publish_dialog.h"

#include "platform/clock.h"
#include "platform/code_page.h"
#include "publish/destination.h"
#include "publish/publisher.h"
#include "text/safe_text.h"
#include "window/widgets.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <QInputDialog>
#include <QLineEdit>
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
    Result<publish::Destination, publish::DestinationProblem> destination =
        publish::chooseDestination(folder, to, false, true);
    if (!destination) {
        warn(parent, title, destination.error().text);
        return std::nullopt;
    }
    return std::move(*destination);
}

bool askSite(QWidget* parent, const std::filesystem::path& folder) {
    const QString title = QStringLiteral("The channel's address");
    const Result<publish::Settings> loaded = publish::loadSettings(folder);
    if (!loaded) {
        warn(parent, title, why(loaded));
        return false;
    }
    publish::Settings settings = *loaded;
    bool given = false;
    const std::string site =
        QInputDialog::getText(parent, title,
                              QStringLiteral("Where visitors find the channel's folder on the web, as in "
                                             "https://example.net/garden/ (for share tags, feed.xml and sitemap.xml):"),
                              QLineEdit::Normal, QString::fromStdString(settings.site), &given)
            .trimmed()
            .toStdString();
    if (!given || site == settings.site) {
        return false;
    }
    if (const std::optional<std::string> refusal = publish::siteRefusal(site)) {
        warn(parent, title, *refusal);
        return false;
    }
    settings.site = site;
    if (!publish::saveSettings(folder, settings)) {
        QMessageBox::warning(parent, title,
                             QStringLiteral("The address could not be kept in ") + publish::SettingsFile);
        return false;
    }
    return true;
}

namespace {

PublishOutcome outcomeOf(const publish::Destination& destination, const publish::Report& report) {
    PublishOutcome outcome;
    std::string& said = outcome.said;
    const auto say = [&said](const std::string& line) { said += (said.empty() ? "" : "\r\n") + safeText(line); };
    if (!report.error.empty()) {
        say(report.error);
    }
    for (const auto& [name, reason] : report.failed) {
        say(name + " was not uploaded: " + reason);
    }
    if (!report.stopped.empty()) {
        say(report.stopped);
        if (!report.cutOff.empty()) {
            say(std::to_string(report.cutOff.size()) + (report.cutOff.size() == 1 ? " file was" : " files were") +
                " not uploaded; the next publish uploads " + (report.cutOff.size() == 1 ? "it" : "them"));
        }
    }
    for (const std::string& note : destination.notes) {
        say(note);
    }
    for (const std::string& note : report.notes) {
        say(note);
    }
    if (report.busy) {
        outcome.status = QStringLiteral("Another publish of this channel is running.");
    } else if (!report.error.empty()) {
        outcome.status = QStringLiteral("Nothing was uploaded.");
    } else if (report.changed.empty()) {
        outcome.status = QStringLiteral("Nothing changed since the last publish.");
    } else {
        outcome.status = QStringLiteral("Uploaded %1 of %2 changed files to %3.")
                             .arg(report.uploaded.size())
                             .arg(report.changed.size())
                             .arg(shown(destination.target.display()));
    }
    return outcome;
}

} // namespace

struct PublishRun::Shown {
    QProgressDialog dialog;
    explicit Shown(QWidget* parent)
        : dialog(QStringLiteral("Looking for what changed\u2026"), QStringLiteral("Cancel"), 0, 1000, parent) {
        dialog.setLabel(plainLabel(dialog.labelText())); // a file's name is never read as markup
    }
};

std::unique_ptr<PublishRun> PublishRun::start(QWidget* parent, const std::filesystem::path& folder,
                                              std::function<void(const PublishOutcome&)> done) {
    const std::optional<publish::Destination> destination = askDestination(parent, folder, QStringLiteral("Publish"));
    if (!destination) {
        return nullptr;
    }
    std::unique_ptr<PublishRun> run(new PublishRun);
    run->shown_ = std::make_unique<Shown>(parent);
    QProgressDialog& dialog = run->shown_->dialog;
    dialog.setWindowTitle(QStringLiteral("Publish to ") + shown(destination->target.display()));
    dialog.setWindowModality(Qt::NonModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    dialog.show();
    PublishRun* self = run.get();
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [self] {
        self->cancel_ = true;
        self->shown_->dialog.setLabelText(QStringLiteral("Stopping after the file under way\u2026"));
    });

    // The events come from the uploading threads; the dialog is changed on the window's.
    publish::Events events;
    const auto began = std::make_shared<std::int64_t>(monotonicMs());
    events.starting = [&dialog, began](const publish::ChannelFile& f, std::size_t done, std::size_t count) {
        *began = monotonicMs();
        const QString text =
            QStringLiteral("%1 (%2 of %3)").arg(shown(codePageToUtf8(f.name))).arg(done + 1).arg(count);
        QMetaObject::invokeMethod(&dialog, [&dialog, text] { dialog.setLabelText(text); });
    };
    events.progress = [&dialog, began](const publish::ChannelFile& f, std::uintmax_t sent, std::uintmax_t total) {
        const int value = total ? static_cast<int>(sent * 1000 / total) : 0;
        const double seconds = std::max(0.001, static_cast<double>(monotonicMs() - *began) / 1000.0);
        const QString text = QStringLiteral("%1: %2% of %3 kB, %4 kB/s")
                                 .arg(shown(codePageToUtf8(f.name)))
                                 .arg(value / 10)
                                 .arg(total / 1000)
                                 .arg(static_cast<qulonglong>(static_cast<double>(sent) / 1000 / seconds));
        QMetaObject::invokeMethod(&dialog, [&dialog, value, text] {
            dialog.setValue(value);
            dialog.setLabelText(text);
        });
    };
    run->worker_ = std::thread([self, folder, destination = *destination, events, done = std::move(done)] {
        const publish::Report report =
            publish::publishChannel(folder, destination.settings, destination.target, events, self->cancel_, {});
        PublishOutcome outcome = outcomeOf(destination, report);
        QMetaObject::invokeMethod(&self->shown_->dialog, [self, outcome, done] {
            self->running_ = false;
            self->shown_->dialog.hide();
            done(outcome);
        });
    });
    return run;
}

PublishRun::~PublishRun() {
    cancel_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

} // namespace clipnest::window
