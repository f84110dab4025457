#include "window/convert_dialog.h"

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/working_folder.h"
#include "window/widgets.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace clipnest::window {

ConvertDialog::ConvertDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgConvert"));
    setWindowTitle(QStringLiteral("Convert"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    file_ = new QLabel(this);
    file_->setObjectName(QStringLiteral("lblConvertFile"));
    file_->setTextFormat(Qt::PlainText);
    layout->addWidget(file_);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("barConvert"));
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    layout->addWidget(bar_);
    figures_ = new QLabel(this);
    figures_->setObjectName(QStringLiteral("lblConvertFigures"));
    figures_->setTextFormat(Qt::PlainText);
    layout->addWidget(figures_);
    auto* buttons = new QDialogButtonBox(this);
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    cancel_->setObjectName(QStringLiteral("cmdCancelConvert"));
    layout->addWidget(buttons);
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
    resize(460, sizeHint().height());
}

void ConvertDialog::begin(const QString& file) {
    file_->setText(QStringLiteral("Converting %1 to an MP4 every browser plays").arg(file));
    bar_->setRange(0, 0); // busy until ffmpeg tells how far it is
    figures_->setText(QStringLiteral("Starting ffmpeg"));
    cancel_->setEnabled(true);
    show();
    raise();
}

void ConvertDialog::showProgress(const media::ConvertProgress& progress) {
    if (progress.done >= 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(progress.done * 1000));
    }
    figures_->setText(shown(media::progressText(progress)));
}

void ConvertDialog::end() {
    hide();
}

void ConvertDialog::reject() {
    cancel_->setEnabled(false);
    figures_->setText(QStringLiteral("Cancelling: the original stays as it is"));
    if (onCancel) {
        onCancel();
    }
}

std::unique_ptr<ConvertRun> ConvertRun::start(ConvertDialog& dialog, const std::filesystem::path& folder,
                                              const std::string& video, const media::ConvertSettings& settings,
                                              std::function<void(const media::Conversion&)> done) {
    std::unique_ptr<ConvertRun> run(new ConvertRun);
    run->dialog_ = &dialog;
    run->folder_ = folder;
    const std::shared_ptr<State> state = run->state_;
    dialog.onCancel = [state] { state->cancel = true; };
    dialog.begin(shown(codePageToUtf8(video)));
    // The progress comes from the worker; the dialog is changed on the window's thread, at most every 100 ms.
    const auto post = [state, dialog = &dialog](std::function<void()> change) {
        QMetaObject::invokeMethod(dialog, [state, change = std::move(change)] {
            if (state->alive) {
                change();
            }
        });
    };
    run->worker_ = std::thread([state, post, folder, video, settings, done = std::move(done), dialog = &dialog] {
        WorkingFolder own(folder);
        const auto progress = [state, post, dialog](const media::ConvertProgress& p) {
            const std::int64_t now = monotonicMs();
            if (p.done < 1 && now - state->lastShown < 100) {
                return;
            }
            state->lastShown = now;
            post([dialog, p] { dialog->showProgress(p); });
        };
        const media::Conversion conversion = media::convertVideo(own, video, settings, progress, &state->cancel);
        state->made = conversion.made;
        post([state, conversion, done, dialog] {
            state->running = false;
            state->delivered = true;
            dialog->end();
            done(conversion);
        });
    });
    return run;
}

ConvertRun::~ConvertRun() {
    state_->alive = false;
    state_->cancel = true;
    if (worker_.joinable()) {
        worker_.join();
    }
    if (!state_->delivered && !state_->made.empty()) {
        WorkingFolder(folder_).remove(state_->made);
    }
    if (dialog_ != nullptr) {
        dialog_->end();
    }
}

} // namespace clipnest::window
