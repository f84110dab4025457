#include "window/scroll_form.h"

#include "cli/commands.h"
#include "comments/moderation.h"
#include "media/poster.h"
#include "platform/code_page.h"
#include "publish/settings.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/page_text.h"
#include "window/comments_window.h"
#include "window/connection_window.h"
#include "window/entries_window.h"
#include "window/folder_choice.h"
#include "window/layout.h"
#include "window/panel_text.h"
#include "window/preview_action.h"
#include "window/publish_dialog.h"
#include "window/status_line.h"
#include "window/top_strip.h"
#include "window/widgets.h"

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <limits>
#include <sstream>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QWheelEvent>

namespace clipnest::window {

namespace {

// Title bar and borders, which the available screen area must also hold.
const QSize DecorationAllowance(16, 48);

} // namespace

QString windowTitleFor(const std::filesystem::path& folder) {
    QString path = QString::fromStdString(folder.lexically_normal().string());
    if (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    const QString home = QDir::homePath();
    if (!home.isEmpty() && home != QLatin1String("/") && (path == home || path.startsWith(home + QLatin1Char('/')))) {
        path = QLatin1Char('~') + path.mid(home.size());
    }
    return QStringLiteral("Clipnest " CLIPNEST_VERSION " \u2013 ") + path;
}

ScrollForm::ScrollForm(const Clock& clock, WorkingFolder& folder, QWidget* parent)
    : QWidget(parent), clock_(clock), form_(std::make_unique<Form>(clock, folder)) {
    form_->setChannelWait(ChannelLock::ClickWaitMs);
    setObjectName(QString::fromLatin1(WindowName));
    setWindowTitle(windowTitleFor(folder.dir()));
    paintBackground(this, QPalette::Window, Green);

    build();
    connectInputs();
    setAcceptDrops(true);
    listenToBusyWork();
    // The Entries window fills the entry panel that was worked in last.
    focusFollow_ =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { followFocus(now); });

    QSize size(toPixels(DesignWidth), toPixels(DesignHeight));
    if (const QScreen* screen = this->screen()) {
        size = size.boundedTo(screen->availableGeometry().size() - DecorationAllowance);
    }
    setMinimumSize(320, 240);
    resize(size);
    placeViewport();

    outsideTimer_.setInterval(2000);
    connect(&outsideTimer_, &QTimer::timeout, this, [this] { checkOutsideChanges(); });
    outsideTimer_.start();

    stepTimer_.setSingleShot(true);
    stepTimer_.setTimerType(Qt::PreciseTimer);
    connect(&stepTimer_, &QTimer::timeout, this, [this] { tick(); });

    showState();
    aimTimer();
    // How many comments are new, from the last fetch, and in a while from the server's.
    comments_->refresh();
    comments_->fetchInBackground();
}

ScrollForm::~ScrollForm() {
    // Taking the children down moves the focus, which must not reach this half-gone window.
    disconnect(focusFollow_);
}

// Keeps the Form's box in step with what is typed into its widget.
void ScrollForm::connectBox(QWidget* widget, Box box) {
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        connect(line, &QLineEdit::textChanged, this, [this, box, line](const QString& text) {
            if (showing_) {
                return;
            }
            form_->controls.text(box) = text.toStdString();
            followFocus(line);
            // The name of an entry typed into a panel that changes entries brings its descriptions along.
            if (box == Box::FirstName || box == Box::SecondName) {
                fillDescriptions(box == Box::FirstName ? EntryPanel::First : EntryPanel::Second, false);
                showState();
            }
        });
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) {
        connect(multi, &QPlainTextEdit::textChanged, this, [this, box, multi] {
            if (!showing_) {
                form_->controls.text(box) = multiLineText(multi);
                followFocus(multi);
            }
        });
    }
}

void ScrollForm::connectInputs() {
    for (const ControlDef& def : controlTable()) {
        QWidget* widget = widgets_.at(def.name);
        if (def.box) {
            connectBox(widget, *def.box);
        } else if (def.check) {
            connect(static_cast<QCheckBox*>(widget), &QCheckBox::toggled, this, [this, of = def.check](bool on) {
                if (!showing_) {
                    of(form_->controls) = on;
                }
            });
        } else if (def.action) {
            connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, this, [this, action = def.action] {
                action(*form_);
                afterAction();
            });
        }
    }
    connect(vscroll_, &QScrollBar::valueChanged, this, [this](int value) { onScroll(value); });
}

void ScrollForm::tick() {
    form_->scheduler().runDue();
    showState();
    aimTimer();
}

void ScrollForm::afterAction() {
    showState();
    aimTimer();
    if (form_->quitRequested()) {
        close();
    }
}

void ScrollForm::aimTimer() {
    const std::optional<std::int64_t> due = form_->scheduler().nextDue();
    if (!due || form_->quitRequested()) {
        stepTimer_.stop();
        return;
    }
    const std::int64_t wait = std::clamp<std::int64_t>(*due - clock_.nowMs(), 0, INT_MAX);
    stepTimer_.start(static_cast<int>(wait));
}

void ScrollForm::openOtherFolder() {
    QSettings settings(QStringLiteral("Clipnest"), QStringLiteral("Clipnest"));
    const std::optional<std::filesystem::path> chosen = chooseFolderToWorkIn(this, settings);
    if (!chosen || !mayStopPublish()) {
        return;
    }
    rememberChannelFolder(settings, *chosen);
    // The window stays where and as large as it is; only what it works on changes.
    publishing_.reset();
    // A conversion of the old folder stops there, its temporary file removed.
    converting_.reset();
    publishButton_->setEnabled(true);
    publishDialog_->hide();
    connection_->hide();
    preview_.stop();
    stepTimer_.stop();
    auto folder = std::make_unique<WorkingFolder>(*chosen);
    form_ = std::make_unique<Form>(clock_, *folder);
    form_->setChannelWait(ChannelLock::ClickWaitMs);
    listenToBusyWork();
    // The old Form is gone, so the folder it worked on may go.
    openedFolder_ = std::move(folder);
    setWindowTitle(windowTitleFor(*chosen));
    comments_->setFolder(*chosen);
    comments_->fetchInBackground();
    shownPanelText_.clear();
    shownOperation_ = 0;
    filled_ = {};
    shownRevision_ = -1;
    prefilled_ = false;
    status_->say(QStringLiteral("Opened ") + shown(chosen->string()) + QLatin1Char('.'), Tone::Success);
    showState();
    aimTimer();
}

void ScrollForm::startPublish() {
    if (publishing()) {
        return;
    }
    const std::filesystem::path dir = form_->folder().dir();
    Result<publish::Destination, publish::DestinationProblem> destination =
        publish::chooseDestination(dir, {}, false, false);
    if (!destination) {
        const publish::DestinationProblem& problem = destination.error();
        using Kind = publish::DestinationProblem::Kind;
        const QString text = QString::fromStdString(problem.text);
        status_->say(QStringLiteral("Nothing was published: ") + text +
                         (text.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")),
                     problem.kind == Kind::NoAddress ? Tone::Note : Tone::Error);
        if (problem.kind == Kind::NoAddress) {
            openConnection(QStringLiteral("Publish needs the address of the channel's folder on the server. Give it "
                                          "here, Save, and Publish again."));
        } else if (problem.kind != Kind::Settings) {
            openConnection(text);
        }
        return;
    }
    // A changed setting of the comments reaches the server with this publish.
    if (const std::optional<std::string> problem = publish::updateModeration(dir, false, ChannelLock::ClickWaitMs)) {
        status_->say(shown(*problem) + QLatin1Char('.'), Tone::Note);
    }
    publishing_ = PublishRun::start(*publishDialog_, dir, *destination,
                                    [this](const PublishOutcome& outcome) { showPublished(outcome); });
    publishButton_->setEnabled(false);
}

void ScrollForm::startConvert(const std::string& name) {
    if (converting()) {
        status_->say(QStringLiteral("A conversion is running; convert the next when it has ended."), Tone::Note);
        return;
    }
    const std::optional<std::string> video = typedFileName(name);
    WorkingFolder& folder = form_->folder();
    const std::optional<FileStamp> before = video && !folder.isLink(*video) ? folder.stamp(*video) : std::nullopt;
    if (!before) {
        status_->say(shown(name) + QStringLiteral(" was not converted: there is no such video in the folder."),
                     Tone::Error);
        return;
    }
    const Result<publish::Settings> settings = publish::loadSettings(folder.dir());
    if (!settings) {
        status_->say(shown(why(settings)), Tone::Error);
        return;
    }
    if (const std::string problem = media::encoderProblem(); !problem.empty()) {
        status_->say(shown(problem) + QLatin1Char('.'), Tone::Error);
        return;
    }
    if (const std::string plays = media::playsAlready(*video, media::probeSource(folder, *video)); !plays.empty()) {
        status_->say(shown(name + ": " + plays + "."), Tone::Note);
        return;
    }
    const std::string newName = media::convertedName(*video);
    if (const std::optional<std::string> refusal = form_->conversionRefusal(*video, newName)) {
        status_->say(shown(name + " was not converted: " + codePageToUtf8(*refusal) + "; nothing was changed."),
                     Tone::Error);
        return;
    }
    media::ConvertSettings options;
    options.crf = settings->crf >= 0 ? settings->crf : media::ConvertSettings::DefaultCrf;
    options.maxHeight = settings->maxHeight > 0 ? settings->maxHeight : media::ConvertSettings::DefaultMaxHeight;
    options.maxBytes = settings->maxUpload;
    converting_ = ConvertRun::start(*convertDialog_, folder.dir(), *video, options,
                                    [this, video = *video, newName, before = *before](const media::Conversion& c) {
                                        finishConvert(video, newName, before, c);
                                    });
}

void ScrollForm::finishConvert(const std::string& video, const std::string& newName, const FileStamp& before,
                               const media::Conversion& conversion) {
    const QString name = shown(codePageToUtf8(video));
    switch (conversion.result) {
    case media::Conversion::Result::Made:
        // A click's chain works on the held homepage: the converted video takes its place once that has ended.
        if (form_->chainRunning()) {
            QTimer::singleShot(
                100, this, [this, form = form_.get(), dir = form_->folder().dir(), video, newName, before, conversion] {
                    if (form_.get() == form) {
                        finishConvert(video, newName, before, conversion);
                    } else {
                        WorkingFolder(dir).remove(conversion.made); // another folder was opened
                    }
                });
            return;
        }
        if (form_->placeConverted(video, conversion.made, newName, before)) {
            showFilesAgain();
            // The picked entry goes by its new name.
            showPoster(codePageToUtf8(newName));
        }
        afterAction();
        break;
    case media::Conversion::Result::AlreadyPlays:
        status_->say(name + QStringLiteral(": ") + shown(conversion.message) + QLatin1Char('.'), Tone::Note);
        break;
    case media::Conversion::Result::Cancelled:
        status_->say(QStringLiteral("Cancelled: ") + name + QStringLiteral(" is as it was."), Tone::Note);
        break;
    case media::Conversion::Result::Failed:
        status_->say(name + QStringLiteral(" was not converted: ") + shown(conversion.message) + QLatin1Char('.'),
                     Tone::Error);
        break;
    }
    // Not inside its own call: the run goes once this call has returned, unless another has begun since.
    QTimer::singleShot(0, this, [this, ended = converting_.get()] {
        if (converting_.get() == ended) {
            converting_.reset();
        }
    });
}

void ScrollForm::openConnection(const QString& reason) {
    connection_->open(form_->folder().dir(), reason);
}

void ScrollForm::showPublished(const PublishOutcome& outcome) {
    status_->say(outcome.status,
                 outcome.failed ? Tone::Error
                 : outcome.busy ? Tone::Note
                                : Tone::Success,
                 outcome.busy ? BusyShownMs : 0);
    publishButton_->setEnabled(true);
    // Not inside its own call: the run goes once this call has returned, unless another has begun since.
    QTimer::singleShot(0, this, [this, ended = publishing_.get()] {
        if (publishing_.get() == ended) {
            publishing_.reset();
        }
    });
    showState();
    aimTimer();
}

bool ScrollForm::mayStopPublish() {
    if (!publishing()) {
        return true;
    }
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Publish"),
        QStringLiteral("A publish is running. Stop it? What has not arrived is uploaded by the next publish."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

void ScrollForm::listenToBusyWork() {
    form_->onBusy = [this](const std::string& doing) { status_->busy(shown(doing)); };
}

void ScrollForm::addVideos(const std::vector<std::string>& files, bool newVideos) {
    if (form_->chainRunning() || form_->quitRequested()) {
        return;
    }
    status_->busy(newVideos ? QStringLiteral("Adding the videos that have no entry\u2026")
                  : files.size() == 1
                      ? QStringLiteral("Adding ") + shown(std::filesystem::path(files.front()).filename().string()) +
                            QStringLiteral("\u2026")
                      : QStringLiteral("Adding %1 videos\u2026").arg(files.size()));
    // The same operation as the command line's, in a session of its own on the folder; the window then reads what it
    // wrote.
    std::ostringstream out, said;
    cli::Runner runner(form_->folder().dir(), out, said);
    runner.setQuiet(true);
    runner.session().form().setChannelWait(ChannelLock::ClickWaitMs);
    runner.session().form().onBusy = form_->onBusy;
    const cli::AddReport report = cli::addVideos(runner, files, newVideos);
    form_->readHomepageAgain();
    status_->say(shown(report.summary),
                 report.failed ? (report.added.empty() ? Tone::Error : Tone::Note) : Tone::Success);
    showState();
    aimTimer();
}

void ScrollForm::chooseVideos() {
    QFileDialog dialog(this, QStringLiteral("Add videos"), QString::fromStdString(form_->folder().dir().string()),
                       QStringLiteral("Videos (*.mp4 *.m4v *.mov *.webm *.MP4 *.M4V *.MOV *.WEBM);;All files (*)"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    std::vector<std::string> files;
    for (const QString& file : dialog.selectedFiles()) {
        files.push_back(file.toStdString());
    }
    if (!files.empty()) {
        addVideos(files, false);
    }
}

void ScrollForm::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!form_->chainRunning() &&
        std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) {
        event->acceptProposedAction();
    }
}

void ScrollForm::dropEvent(QDropEvent* event) {
    std::vector<std::string> files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            files.push_back(url.toLocalFile().toStdString());
        }
    }
    if (files.empty()) {
        return;
    }
    event->acceptProposedAction();
    addVideos(files, false);
}

void ScrollForm::followFocus(const QWidget* focused) {
    for (const auto& [frame, target] : {std::pair{"Frame1", PickTarget::First}, std::pair{"Frame3", PickTarget::Second},
                                        std::pair{"Frame6", PickTarget::Insert}}) {
        if (focused && widgets_.at(frame)->isAncestorOf(focused)) {
            setPickTarget(target);
        }
    }
}

void ScrollForm::setPickTarget(PickTarget target) {
    pickTarget_ = target;
    entries_->setHint(target == PickTarget::Insert
                          ? QStringLiteral("Click an entry to put its name into the insert panel, as the entry the new "
                                           "one goes above, and into the rename box.")
                          : QStringLiteral("Click an entry to put its name and descriptions into the %1 Create a New "
                                           "Entry panel, and its name into the rename box.")
                                .arg(target == PickTarget::First ? QStringLiteral("first") : QStringLiteral("second")));
}

void ScrollForm::moveEntry(const std::string& name, bool up) {
    if (form_->chainRunning()) {
        return;
    }
    const std::optional<std::string> video = toCodePage(name);
    const std::vector<LiveEntry> entries = liveEntries(form_->homepageText());
    const auto at =
        std::find_if(entries.begin(), entries.end(), [&](const LiveEntry& e) { return video && e.fileName == *video; });
    if (at == entries.end() || (up && at == entries.begin()) || (!up && at + 1 == entries.end())) {
        return;
    }
    // Down is above the entry after the next one, or behind the last.
    const auto anchor = up ? at - 1 : at + 2;
    form_->moveEntry(name, anchor == entries.end() ? std::nullopt
                                                   : std::optional<std::string>(codePageToUtf8(anchor->fileName)));
    afterAction();
}

void ScrollForm::checkOutsideChanges() {
    if (!form_->chainRunning() && !form_->quitRequested()) {
        form_->refreshHomepage();
        showState();
        aimTimer();
    }
}

void ScrollForm::fillDescriptions(EntryPanel panel, bool picked) {
    EntryBoxes& boxes = form_->controls.entry(panel);
    Form::Descriptions& filled = filled_[panel == EntryPanel::First ? 0 : 1];
    // Boxes the user typed into are theirs; only empty ones, or ones that still hold the last fill, are filled.
    const bool untouched = (boxes.homepageDescription.empty() && boxes.pageDescription.empty()) ||
                           (boxes.homepageDescription == filled.homepage && boxes.pageDescription == filled.page);
    if (!picked && !untouched) {
        return;
    }
    if (const std::optional<Form::Descriptions> d = form_->entryDescriptions(boxes.name)) {
        filled = *d;
        boxes.homepageDescription = d->homepage;
        boxes.pageDescription = d->page;
    }
}

void ScrollForm::showFilesAgain() {
    const auto [title, message] = form_->shownTitleAndMessage();
    form_->controls.title = title;
    form_->controls.message = message;
    for (const EntryPanel panel : {EntryPanel::First, EntryPanel::Second}) {
        fillDescriptions(panel, false);
    }
}

void ScrollForm::showPoster(const std::string& name) {
    const std::optional<std::string> video = toCodePage(name);
    const std::string poster = video ? media::posterName(*video) : std::string();
    entries_->showPoster(name, poster.empty() || form_->folder().isLink(poster)
                                   ? std::string()
                                   : form_->folder().read(poster).value_or(""));
}

void ScrollForm::showState() {
    const bool wasShowing = std::exchange(showing_, true);
    if (!form_->chainRunning()) {
        showWhatEnded();
    }
    showBoxes();
    showPanels();
    enableButtons();
    showing_ = wasShowing;
}

// What a chain or click that has ended leaves: the title's boxes filled once, the status line, the entries list.
void ScrollForm::showWhatEnded() {
    // The boxes show the homepage's title and message once it is loaded, unless the user typed into them first.
    if (!prefilled_) {
        prefilled_ = true;
        const auto [title, message] = form_->shownTitleAndMessage();
        Controls& c = form_->controls;
        c.title = c.title.empty() ? title : c.title;
        c.message = c.message.empty() ? message : c.message;
    }
    // The panels show what was said; the outcome tells the status line whether the operation was refused or stopped.
    const Outcome outcome = form_->takeOutcome();
    const bool failed = outcome.failed();
    // A click that found another Clipnest changing the channel wrote nothing and opened no operation: the status line
    // says so at once, as its panel does.
    if (std::find(outcome.said.begin(), outcome.said.end(),
                  Said{Message::FileFailure, std::string(ChannelLock::BusyWords)}) != outcome.said.end()) {
        status_->say(
            QString::fromLatin1(ChannelLock::BusyWords.data(), static_cast<qsizetype>(ChannelLock::BusyWords.size())),
            Tone::Error);
    }
    if (form_->operationNumber() != shownOperation_) {
        shownOperation_ = form_->operationNumber();
        status_->say(shown(form_->operationSummary()), failed ? Tone::Error : Tone::Success);
        // Descriptions that the files now hold, as the boxes show them, mirror the files from here on.
        for (const EntryPanel panel : {EntryPanel::First, EntryPanel::Second}) {
            const EntryBoxes& boxes = form_->controls.entry(panel);
            const std::optional<Form::Descriptions> d = form_->entryDescriptions(boxes.name);
            if (d && d->homepage == boxes.homepageDescription && d->page == boxes.pageDescription) {
                filled_[panel == EntryPanel::First ? 0 : 1] = *d;
            }
        }
    }
    if (form_->homepageRevision() != shownRevision_) {
        shownRevision_ = form_->homepageRevision();
        entries_->showEntries(form_->homepageText());
        // The comments are listed by the homepage's entries, which a rename or delete changed.
        if (comments_->isVisible()) {
            comments_->refresh();
        }
    }
}

// The boxes and check boxes show the Form's controls.
void ScrollForm::showBoxes() {
    for (const ControlDef& def : controlTable()) {
        QWidget* widget = widgets_.at(def.name);
        if (def.check) {
            static_cast<QCheckBox*>(widget)->setChecked(def.check(form_->controls));
        }
        if (!def.box) {
            continue;
        }
        const std::string& value = form_->controls.text(*def.box);
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            // Text put into a box (a picked entry's description) shows from its start, not its tail.
            if (line->text().toStdString() != value) {
                line->setText(QString::fromStdString(value));
                line->setCursorPosition(0);
            }
        } else if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) {
            if (withoutCarriageReturns(multiLineText(multi)) != withoutCarriageReturns(value)) {
                multi->setPlainText(forDisplay(value));
                multi->moveCursor(QTextCursor::Start);
                multi->verticalScrollBar()->setValue(0);
            }
        }
    }
}

// The message panels show what the Form says now, the newest on top.
void ScrollForm::showPanels() {
    const int bar = noticeBarHeight();
    for (const PanelDef& def : panelTable()) {
        const MessageBoard& messages = form_->messages();
        const bool visible = messages.isShown(def.panel);
        auto* panel = static_cast<QPlainTextEdit*>(panelWidgets_.at(def.panel));
        std::string& shown = shownPanelText_[def.panel];
        if (const std::string text = panelText(def.panel, messages.words(def.panel)); shown != text) {
            shown = text;
            panel->setPlainText(forDisplay(codePageToUtf8(text)));
        }
        if (panel->isVisibleTo(this) != visible) {
            panel->setVisible(visible);
        }
        if (visible) {
            panel->raise();
        }
    }
    // The viewport makes room for the notices shown, or takes it back.
    if (noticeBarHeight() != bar) {
        placeViewport();
    }
}

// While a chain runs, nothing that starts another (or moves to another folder) can be clicked.
void ScrollForm::enableButtons() {
    const bool running = form_->chainRunning();
    // A button that goes disabled would hand its focus to the next box, often in another panel: the surface takes it.
    if (running && qobject_cast<QPushButton*>(focusWidget())) {
        widgets_.at("picI_Scroll")->setFocus(Qt::OtherFocusReason);
    }
    for (const ControlDef& def : controlTable()) {
        if (def.startsChain) {
            widgets_.at(def.name)->setEnabled(!running);
        }
    }
    undo_->setEnabled(!running);
    addVideos_->setEnabled(!running);
    addNewVideos_->setEnabled(!running);
    // Another folder would leave the chain's operation half done.
    openFolder_->setEnabled(!running);
}

void ScrollForm::closeEvent(QCloseEvent* event) {
    if (!mayStopPublish()) {
        event->ignore();
        return;
    }
    // Stops the transfer between two writes and waits for it.
    publishing_.reset();
    stepTimer_.stop();
    preview_.stop();
    outsideTimer_.stop();
    entries_->close();
    status_->closeMessages();
    if (!form_->quitRequested()) {
        form_->quit();
    }
    event->accept();
}

} // namespace clipnest::window
