#include "window/publish_dialog.h"

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/message_text.h"
#include "publish/destination.h"
#include "publish/file_rates.h"
#include "publish/publisher.h"
#include "text/safe_text.h"
#include "text/text_ops.h"
#include "window/widgets.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace clipnest::window {

std::string completedSite(const QString& typed) {
    std::string site = typed.trimmed().toStdString();
    if (!site.empty() && !site.ends_with('/') && publish::siteRefusal(site) && !publish::siteRefusal(site + "/")) {
        site += '/';
    }
    return site;
}

bool askSite(QWidget* parent, const std::filesystem::path& folder) {
    const QString title = QStringLiteral("The channel's address");
    const Result<publish::Settings> loaded = publish::loadSettings(folder);
    if (!loaded) {
        warn(parent, title, why(loaded));
        return false;
    }
    publish::Settings settings = *loaded;
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgSite"));
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* prompt = new QLabel(QStringLiteral("Where visitors find the channel's folder on the web, as in "
                                             "https://example.net/garden/ (for share tags, feed.xml and sitemap.xml):"),
                              &dialog);
    prompt->setWordWrap(true);
    layout->addWidget(prompt);
    auto* box = new QLineEdit(QString::fromStdString(settings.site), &dialog);
    box->setObjectName(QStringLiteral("txtSite"));
    layout->addWidget(box);
    // Why a value was refused, in the dialog, with the value left as typed to be mended.
    auto* refusal = new QLabel(&dialog);
    refusal->setObjectName(QStringLiteral("lblSiteRefusal"));
    refusal->setTextFormat(Qt::PlainText);
    refusal->setWordWrap(true);
    refusal->setTextInteractionFlags(Qt::TextSelectableByMouse);
    paintTone(refusal, Tone::Error);
    refusal->hide();
    layout->addWidget(refusal);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    dialog.resize(520, dialog.sizeHint().height());
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        const std::string site = completedSite(box->text());
        if (site == settings.site) {
            dialog.reject();
            return;
        }
        const auto refuse = [&](const QString& why) {
            refusal->setText(why);
            refusal->show();
            box->setFocus();
        };
        if (const std::optional<std::string> problem = publish::siteRefusal(site)) {
            refuse(QString::fromStdString(*problem));
            return;
        }
        publish::Settings changed = settings;
        changed.site = site;
        if (!publish::saveSettings(folder, changed)) {
            refuse(QStringLiteral("The address could not be kept in ") + publish::SettingsFile);
            return;
        }
        box->setText(QString::fromStdString(site));
        dialog.accept();
    });
    return dialog.exec() == QDialog::Accepted;
}

namespace {

// What went wrong or should be known, a line each: the channel's names are in the code page, the server's and the
// system's words in UTF-8.
QStringList problemLines(const publish::Destination& destination, const publish::Report& report) {
    QStringList lines;
    const auto say = [&lines](const std::string& mixed) {
        lines << QString::fromStdString(safeText(messageToUtf8(mixed)));
    };
    if (!report.error.empty()) {
        say(report.error);
    }
    for (const auto& [name, reason] : report.failed) {
        say(name + " was not uploaded: " + reason);
    }
    for (const auto& [name, reason] : report.held) {
        say(name + " was held back: " + reason);
    }
    for (const std::string& name : report.kept) {
        say(name + " was not replaced: the server has a " + name +
            " that Clipnest did not put there, with other bytes; clipnest publish --replace=" + shellWord(name) +
            " replaces it");
    }
    if (!report.stopped.empty()) {
        say(report.stopped);
    }
    if (!report.cutOff.empty()) {
        say(std::to_string(report.cutOff.size()) + (report.cutOff.size() == 1 ? " file was" : " files were") +
            " not uploaded; the next publish uploads " + (report.cutOff.size() == 1 ? "it" : "them"));
    }
    if (report.cancelled) {
        say("stopped; the next publish uploads the rest");
    }
    for (const std::string& note : destination.notes) {
        say(note);
    }
    for (const std::string& note : report.notes) {
        say(note);
    }

    return lines;
}

} // namespace

PublishOutcome outcomeOf(const publish::Destination& destination, const publish::Report& report) {
    const QStringList lines = problemLines(destination, report);
    PublishOutcome outcome;
    QString headline;
    if (report.busy) {
        outcome.busy = true;
        outcome.status = QStringLiteral("Another publish of this channel is running.");
        return outcome;
    }
    if (!report.error.empty()) {
        headline = QStringLiteral("Nothing was uploaded");
    } else if (report.changed.empty()) {
        headline = QStringLiteral("Nothing changed since the last publish");
    } else {
        headline =
            QStringLiteral("Uploaded %1 of %2 changed %3%4 to %5")
                .arg(report.uploaded.size())
                .arg(report.changed.size())
                .arg(report.changed.size() == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                .arg(report.found.empty() ? QString()
                                          : QStringLiteral(" (%1 more were there already)").arg(report.found.size()))
                .arg(shown(destination.target.display()));
    }
    outcome.failed = !report.whole() || report.cancelled;
    // A login, host key or lost connection: the connection's settings are what the host looks at next.
    outcome.couldNotConnect = !report.error.empty() || !report.stopped.empty();
    // The status line says it whole, as one sentence; the dialog a line each.
    outcome.status = headline + (lines.isEmpty() ? QString() : QStringLiteral(": ") + lines.join(QStringLiteral("; ")));
    if (!outcome.status.endsWith(QLatin1Char('.'))) {
        outcome.status += QLatin1Char('.');
    }
    outcome.reason =
        (lines.isEmpty() ? QStringList{headline + QLatin1Char('.')} : QStringList{headline + QLatin1Char(':')} + lines)
            .join(QLatin1Char('\n'));
    return outcome;
}

namespace {

QString readableSize(std::uintmax_t bytes) {
    return QString::fromStdString(clipnest::readableSize(bytes));
}

QString timeLeft(int seconds) {
    if (seconds < 0) {
        return QStringLiteral("time left not known yet");
    }
    if (seconds < 60) {
        return QStringLiteral("%1 s left").arg(seconds);
    }
    if (seconds < 3600) {
        return QStringLiteral("%1 min %2 s left").arg(seconds / 60).arg(seconds % 60);
    }
    return QStringLiteral("%1 h %2 min left").arg(seconds / 3600).arg(seconds / 60 % 60);
}

} // namespace

QString overallText(const publish::Overall& o) {
    return QStringLiteral("%1 of %2 %3, %4 of %5, %6/s, %7")
        .arg(o.filesDone)
        .arg(o.files)
        .arg(o.files == 1 ? QStringLiteral("file") : QStringLiteral("files"))
        .arg(readableSize(o.bytesDone), readableSize(o.bytes),
             readableSize(std::isfinite(o.bytesPerSecond) && o.bytesPerSecond > 0
                              ? static_cast<std::uintmax_t>(o.bytesPerSecond)
                              : 0),
             timeLeft(o.secondsLeft));
}

PublishDialog::PublishDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgPublish"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    file_ = new QLabel(this);
    file_->setObjectName(QStringLiteral("lblPublishFile"));
    file_->setTextFormat(Qt::PlainText); // a file's name or a server's words are never read as markup
    file_->setMinimumWidth(420);
    layout->addWidget(file_);
    fileBar_ = new QProgressBar(this);
    fileBar_->setObjectName(QStringLiteral("barPublishFile"));
    fileBar_->setRange(0, 1000);
    fileBar_->setTextVisible(false);
    layout->addWidget(fileBar_);
    overall_ = new QLabel(this);
    overall_->setObjectName(QStringLiteral("lblPublishOverall"));
    layout->addWidget(overall_);
    overallBar_ = new QProgressBar(this);
    overallBar_->setObjectName(QStringLiteral("barPublishOverall"));
    overallBar_->setRange(0, 1000);
    layout->addWidget(overallBar_);
    reason_ = new QPlainTextEdit(this);
    reason_->setObjectName(QStringLiteral("txtPublishReason"));
    reason_->setReadOnly(true);
    reason_->hide();
    layout->addWidget(reason_);
    auto* buttons = new QHBoxLayout;
    connection_ = new QPushButton(QStringLiteral("Connection\u2026"), this);
    connection_->setObjectName(QStringLiteral("cmdPublishConnection"));
    connection_->setToolTip(QStringLiteral("The publish address and how to log in, with a test of the connection"));
    connection_->hide();
    buttons->addWidget(connection_);
    buttons->addStretch();
    stop_ = new QPushButton(this);
    stop_->setObjectName(QStringLiteral("cmdPublishStop"));
    buttons->addWidget(stop_);
    layout->addLayout(buttons);
    connect(stop_, &QPushButton::clicked, this, [this] { reject(); });
    connect(connection_, &QPushButton::clicked, this, [this] {
        if (onConnection) {
            onConnection(said_);
        }
    });
}

void PublishDialog::begin(const QString& where) {
    running_ = true;
    setWindowTitle(QStringLiteral("Publish to ") + where);
    file_->setText(QStringLiteral("Looking for what changed\u2026"));
    fileBar_->setValue(0);
    overall_->clear();
    overallBar_->setValue(0);
    reason_->clear();
    reason_->hide();
    connection_->hide();
    stop_->setText(QStringLiteral("Stop"));
    stop_->setEnabled(true);
    show();
    raise();
}

void PublishDialog::showFile(const QString& text, int permille) {
    file_->setText(text);
    if (permille >= 0) {
        fileBar_->setValue(permille);
    }
}

void PublishDialog::showOverall(const publish::Overall& o) {
    overall_->setText(overallText(o));
    // By the bytes, which is what takes the time; by the files when there are no bytes to send.
    const double part = o.bytes   ? static_cast<double>(o.bytesDone) / static_cast<double>(o.bytes)
                        : o.files ? static_cast<double>(o.filesDone) / static_cast<double>(o.files)
                                  : 0.0;
    overallBar_->setValue(static_cast<int>(std::clamp(part, 0.0, 1.0) * 1000));
}

void PublishDialog::end(const PublishOutcome& outcome) {
    running_ = false;
    if (!outcome.failed) {
        hide();
        return;
    }
    said_ = outcome.status;
    file_->setText(outcome.status);
    file_->setWordWrap(true);
    reason_->setPlainText(outcome.reason);
    reason_->show();
    connection_->setVisible(outcome.couldNotConnect);
    stop_->setText(QStringLiteral("Close"));
    stop_->setEnabled(true);
    show();
    raise();
}

void PublishDialog::drop() {
    running_ = false;
    hide();
}

void PublishDialog::reject() {
    if (!running_) {
        QDialog::reject();
        return;
    }
    if (onStop) {
        onStop();
    }
    file_->setText(QStringLiteral("Stopping after the file under way\u2026"));
    stop_->setEnabled(false);
}

std::unique_ptr<PublishRun> PublishRun::start(PublishDialog& dialog, const std::filesystem::path& folder,
                                              const publish::Destination& destination,
                                              std::function<void(const PublishOutcome&)> done) {
    std::unique_ptr<PublishRun> run(new PublishRun);
    run->dialog_ = &dialog;
    const std::shared_ptr<State> state = run->state_;
    dialog.onStop = [state] { state->cancel = true; };
    dialog.begin(shown(destination.target.display()));

    // The events come from the uploading threads; the dialog is changed on the window's, at most every 50 ms for the
    // bytes of a file so a fast transfer does not flood the window's events.
    const auto post = [state, dialog = &dialog](std::function<void()> change) {
        QMetaObject::invokeMethod(dialog, [state, change = std::move(change)] {
            if (state->alive) {
                change();
            }
        });
    };
    publish::Events events;
    // Each file's rate is its own connection's: several go up side by side. The events come one at a time.
    const auto rates = std::make_shared<publish::FileRates>();
    events.starting = [post, rates, dialog = &dialog](const publish::ChannelFile& f, std::size_t done,
                                                      std::size_t count) {
        rates->started(f.name, monotonicMs());
        const QString text =
            QStringLiteral("%1 (%2 of %3)").arg(shown(codePageToUtf8(f.name))).arg(done + 1).arg(count);
        post([dialog, text] { dialog->showFile(text, 0); });
    };
    events.progress = [post, rates, state, dialog = &dialog](const publish::ChannelFile& f, std::uintmax_t sent,
                                                             std::uintmax_t total) {
        const std::int64_t now = monotonicMs();
        const std::optional<double> rate = rates->progress(f.name, sent, now);
        if (sent < total && now - state->lastShown < 50) {
            return;
        }
        state->lastShown = now;
        const int value = total ? static_cast<int>(sent * 1000 / total) : 0;
        QString text =
            QStringLiteral("%1: %2% of %3 kB").arg(shown(codePageToUtf8(f.name))).arg(value / 10).arg(total / 1000);
        if (rate && std::isfinite(*rate) && *rate >= 0) {
            text += QStringLiteral(", %1 kB/s").arg(static_cast<qulonglong>(*rate / 1000));
        }
        post([dialog, value, text] { dialog->showFile(text, value); });
    };
    events.finished = [rates](const publish::ChannelFile& f, const std::string&) {
        rates->finished(f.name, f.now.size, monotonicMs());
    };
    events.overall = [post, state, dialog = &dialog](const publish::Overall& o) {
        const std::int64_t now = monotonicMs();
        if (o.filesDone < o.files && now - state->lastOverall < 50) {
            return;
        }
        state->lastOverall = now;
        post([dialog, o] { dialog->showOverall(o); });
    };
    run->worker_ = std::thread([state, post, folder, destination, events, done = std::move(done), dialog = &dialog] {
        const publish::Report report =
            publish::publishChannel(folder, destination.settings, destination.target, events, state->cancel, {});
        PublishOutcome outcome = outcomeOf(destination, report);
        post([state, outcome, done, dialog] {
            state->running = false;
            dialog->end(outcome);
            done(outcome);
        });
    });
    return run;
}

PublishRun::~PublishRun() {
    state_->cancel = true;
    if (worker_.joinable()) {
        worker_.join();
    }
    // What the worker posted last is not shown: whoever dropped the run has moved on.
    state_->alive = false;
    if (state_->running) {
        dialog_->drop();
    }
}

} // namespace clipnest::window
