#include "window/comments_window.h"

#include "comments/moderation.h"
#include "comments/reply.h"
#include "history/channel_lock.h"
#include "platform/working_folder.h"
#include "publish/destination.h"
#include "text/entries.h"
#include "text/individual_page.h"
#include "text/page_text.h"
#include "window/publish_dialog.h"
#include "window/widgets.h"

#include <algorithm>
#include <map>

#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace clipnest::window {

namespace {

enum Role { VideoRole = Qt::UserRole, HashRole, WaitingRole };
enum Column { DateColumn, TextColumn, NameColumn };

// How many are new and of which videos, in one sentence's words: "3 new comments (roses.mp4 2, lilies.mp4 1)".
QString freshWords(const publish::FetchReport& report) {
    QString text = QStringLiteral("%1 new comment%2").arg(report.fresh).arg(report.fresh == 1 ? "" : "s");
    QStringList videos;
    for (const auto& [video, count] : report.freshByVideo) {
        videos << QStringLiteral("%1 %2").arg(shown(codePageToUtf8(video))).arg(count);
    }
    return videos.isEmpty() ? text : text + QStringLiteral(" (%1)").arg(videos.join(QStringLiteral(", ")));
}

// A fetch's outcome in words: what was fetched and how many are new, or why nothing was.
QString fetchWords(const publish::FetchReport& report) {
    QString text = report.error.empty() ? QStringLiteral("Fetched %1 comments of %2 videos; %3.")
                                              .arg(report.comments)
                                              .arg(report.videos)
                                              .arg(freshWords(report))
                                        : QStringLiteral("Nothing was fetched: %1.").arg(shown(report.error));
    for (const auto& [video, why] : report.failed) {
        text +=
            QStringLiteral("\nThe comments of %1 were not fetched: %2.").arg(shown(codePageToUtf8(video)), shown(why));
    }
    if (!report.unrecorded.empty()) {
        text += QStringLiteral("\n%1.").arg(shown(report.unrecorded));
    }
    return text;
}

} // namespace

CommentsWindow::CommentsWindow(QWidget* owner, std::filesystem::path folder)
    : QWidget(owner, Qt::Window), folder_(std::move(folder)) {
    setObjectName(QStringLiteral("wndComments"));
    setWindowTitle(QStringLiteral("Comments"));
    auto* layout = new QVBoxLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("treComments"));
    tree_->setColumnCount(3);
    tree_->setHeaderLabels({QStringLiteral("Video / date"), QStringLiteral("Comment"), QStringLiteral("From")});
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(TextColumn, QHeaderView::Stretch);
    tree_->setColumnWidth(DateColumn, 190);
    tree_->setColumnWidth(NameColumn, 120);
    tree_->setWordWrap(true);
    layout->addWidget(tree_);
    auto* buttons = new QHBoxLayout;
    const auto button = [&](QHBoxLayout* row, const char* name, const char* caption, const char* tip) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromUtf8(tip));
        row->addWidget(b);
        return b;
    };
    QPushButton* fetchButton = button(buttons, "cmdFetchComments", "Fetch",
                                      "Reads every video's comments from the server (the publish address)");
    hide_ = button(buttons, "cmdHideComment", "Hide", "Hides the comment on its page, from the next publish on");
    approve_ = button(buttons, "cmdApproveComment", "Approve",
                      "Lets a comment held for approval show on its page, from the next publish on");
    close_ = button(buttons, "cmdCloseThread", "Close thread",
                    "Closes the video's comments, from the next publish on: its page shows them and takes no more");
    buttons->addStretch();
    layout->addLayout(buttons);
    auto* replyRow = new QHBoxLayout;
    replyText_ = new QLineEdit(this);
    replyText_->setObjectName(QStringLiteral("txtReply"));
    replyText_->setPlaceholderText(QStringLiteral("Your reply to the comment picked"));
    replyRow->addWidget(replyText_);
    reply_ = button(replyRow, "cmdReply", "Reply",
                    "Posts your reply to the comment picked on the live page at once (the channel's address)");
    layout->addLayout(replyRow);
    said_ = plainLabel(QString(), this);
    said_->setObjectName(QStringLiteral("lblCommentsSaid"));
    said_->setWordWrap(true);
    said_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(said_);
    resize(720, 520);

    connect(fetchButton, &QPushButton::clicked, this, [this] { fetch(); });
    connect(hide_, &QPushButton::clicked, this, [this] { toggleHidden(); });
    connect(approve_, &QPushButton::clicked, this, [this] { approve(); });
    connect(close_, &QPushButton::clicked, this, [this] { toggleClosed(); });
    connect(reply_, &QPushButton::clicked, this, [this] { reply(); });
    connect(replyText_, &QLineEdit::returnPressed, this, [this] { reply(); });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) { showButtons(item); });
    showButtons(nullptr);
}

CommentsWindow::~CommentsWindow() {
    if (background_.joinable()) {
        background_.join();
    }
}

void CommentsWindow::showButtons(QTreeWidgetItem* item) {
    const bool comment = item && item->parent();
    hide_->setEnabled(comment);
    approve_->setEnabled(comment && item->data(TextColumn, WaitingRole).toBool());
    reply_->setEnabled(comment);
    close_->setEnabled(item != nullptr);
    if (comment) {
        hide_->setText(item->data(TextColumn, HashRole).toBool() ? QStringLiteral("Show") : QStringLiteral("Hide"));
    }
    if (item) {
        QTreeWidgetItem* video = comment ? item->parent() : item;
        close_->setText(video->data(TextColumn, HashRole).toBool() ? QStringLiteral("Open thread")
                                                                   : QStringLiteral("Close thread"));
    }
}

void CommentsWindow::open(const QWidget& main) {
    if (!isVisible()) {
        move(main.frameGeometry().topLeft() + QPoint(40, 40));
    }
    refresh();
    show();
    raise();
}

void CommentsWindow::setFolder(std::filesystem::path folder) {
    folder_ = std::move(folder);
    say({});
    refresh();
}

void CommentsWindow::say(const QString& text) {
    said_->setText(text);
}

// A comment's row under its video's: bold while new, greyed while hidden or waiting for approval.
void CommentsWindow::addComment(QTreeWidgetItem* video, const std::string& fileName, const publish::ListedComment& c) {
    const QString marks = QString(c.isNew ? QStringLiteral("[new] ") : QString()) +
                          (c.waiting() ? QStringLiteral("[held] ") : QString()) +
                          (c.hidden ? QStringLiteral("[hidden] ") : QString());
    const QString from = c.comment.host           ? QStringLiteral("You (the host)")
                         : c.comment.name.empty() ? QStringLiteral("Anonymous")
                                                  : shown(c.comment.name);
    auto* item = new QTreeWidgetItem(video, {shown(c.comment.date), marks + shown(c.comment.text), from});
    item->setData(0, VideoRole, QString::fromLatin1(fileName));
    item->setData(0, HashRole, QString::fromStdString(c.comment.hash));
    item->setData(TextColumn, HashRole, c.hidden);
    item->setData(TextColumn, WaitingRole, c.waiting());
    if (c.isNew) {
        QFont bold = item->font(TextColumn);
        bold.setBold(true);
        for (int column = 0; column < tree_->columnCount(); ++column) {
            item->setFont(column, bold);
        }
    }
    if (c.hidden || c.waiting()) {
        item->setForeground(TextColumn, palette().color(QPalette::PlaceholderText));
    }
}

void CommentsWindow::refresh() {
    const std::string selected = tree_->currentItem()
                                     ? tree_->currentItem()->data(0, HashRole).toString().toLatin1().toStdString()
                                     : std::string();
    tree_->clear();
    const publish::Moderation moderation = publish::readModeration(folder_);
    std::map<std::string, std::vector<publish::ListedComment>> byVideo;
    std::size_t fresh = 0;
    for (publish::ListedComment& c : publish::fetchedComments(folder_)) {
        fresh += c.isNew ? 1 : 0;
        byVideo[c.video].push_back(std::move(c));
    }
    for (const LiveEntry& entry : homepageEntries(WorkingFolder(folder_))) {
        std::vector<publish::ListedComment>& comments = byVideo[entry.fileName];
        const bool closed = moderation.closed.contains(publish::commentsFileOf(entry.fileName));
        const bool held = moderation.held.contains(publish::commentsFileOf(entry.fileName));
        const auto newHere = std::count_if(comments.begin(), comments.end(), [](const auto& c) { return c.isNew; });
        const QString name = shown(codePageToUtf8(entry.fileName));
        auto* video =
            new QTreeWidgetItem(tree_, {name, QStringLiteral("%1 comment%2%3%4%5")
                                                  .arg(comments.size())
                                                  .arg(comments.size() == 1 ? "" : "s")
                                                  .arg(newHere ? QStringLiteral(", %1 new").arg(newHere) : QString())
                                                  .arg(held ? QStringLiteral(", held for approval") : QString())
                                                  .arg(closed ? QStringLiteral(", closed") : QString())});
        video->setData(0, VideoRole, QString::fromLatin1(entry.fileName)); // the code-page bytes, kept as they are
        video->setData(0, HashRole, QString::fromLatin1("video " + entry.fileName));
        video->setData(TextColumn, HashRole, closed);
        if (newHere) {
            QFont bold = video->font(TextColumn);
            bold.setBold(true);
            video->setFont(TextColumn, bold);
        }
        // Newest first: the dates sort as text; a stable sort keeps the file's order within one second.
        std::stable_sort(comments.begin(), comments.end(),
                         [](const auto& a, const auto& b) { return a.comment.date > b.comment.date; });
        for (const publish::ListedComment& c : comments) {
            addComment(video, entry.fileName, c);
        }
        video->setExpanded(true);
    }
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        if (!selected.empty() && (*it)->data(0, HashRole).toString().toLatin1().toStdString() == selected) {
            tree_->setCurrentItem(*it);
        }
    }
    showButtons(tree_->currentItem());
    newCount_ = fresh;
    if (onNewCount) {
        onNewCount(newCount_);
    }
}

void CommentsWindow::fetch() {
    // The address is the publish's: without one, or with one that cannot be used, the connection window is where
    // it is given.
    const Result<publish::Destination, publish::DestinationProblem> from =
        publish::chooseDestination(folder_, {}, false, false);
    if (!from) {
        using Kind = publish::DestinationProblem::Kind;
        const publish::DestinationProblem& problem = from.error();
        say(QStringLiteral("The comments were not fetched: %1").arg(shown(problem.text)));
        if (onConnection && problem.kind != Kind::Settings) {
            onConnection(problem.kind == Kind::NoAddress
                             ? QStringLiteral("Fetching the comments needs the address of the channel's folder on the "
                                              "server. Give it here, Save, and Fetch again.")
                             : shown(problem.text));
        }
        return;
    }
    say(QStringLiteral("Fetching the comments from %1\u2026").arg(shown(from->target.display())));
    setCursor(Qt::BusyCursor);
    publish::FetchReport report;
    QEventLoop loop;
    std::thread worker([&] {
        report = publish::fetchComments(folder_, from->target, from->settings);
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); });
    });
    loop.exec();
    worker.join();
    unsetCursor();
    say(fetchWords(report));
    refresh();
}

void CommentsWindow::fetchInBackground() {
    if (fetching_ || publish::keptAddress(folder_).empty()) {
        return;
    }
    Result<publish::Destination, publish::DestinationProblem> from =
        publish::chooseDestination(folder_, {}, false, false);
    if (!from) {
        if (onFetched) {
            onFetched(QStringLiteral("The comments were not fetched: %1.").arg(shown(from.error().text)), true);
        }
        return;
    }
    if (background_.joinable()) {
        background_.join();
    }
    fetching_ = true;
    background_ = std::thread([this, folder = folder_, to = std::move(*from)] {
        const publish::FetchReport report = publish::fetchComments(folder, to.target, to.settings);
        QMetaObject::invokeMethod(this, [this, folder, report] {
            fetching_ = false;
            if (folder != folder_) {
                return; // another channel is open now
            }
            refresh();
            if (onFetched) {
                const bool failed = !report.error.empty() || !report.failed.empty() || !report.unrecorded.empty();
                onFetched(failed ? QStringLiteral("The comments were not all fetched: %1")
                                       .arg(fetchWords(report).replace(QLatin1Char('\n'), QLatin1Char(' ')))
                                 : freshWords(report) + QLatin1Char('.'),
                          failed);
            }
        });
    });
}

QTreeWidgetItem* CommentsWindow::pickedComment() const {
    QTreeWidgetItem* item = tree_->currentItem();
    return item && item->parent() ? item : nullptr;
}

namespace {

// Takes the channel's lock for a change of the moderation file, as a click does: it waits barely.
bool lockFor(const std::filesystem::path& folder, ChannelLock& lock) {
    return lock.take(WorkingFolder(folder), ChannelLock::ClickWaitMs);
}

QString busyWords() {
    return QString::fromLatin1(ChannelLock::BusyWords.data(), static_cast<qsizetype>(ChannelLock::BusyWords.size())) +
           QLatin1Char('.');
}

} // namespace

void CommentsWindow::toggleHidden() {
    QTreeWidgetItem* item = pickedComment();
    ChannelLock lock;
    if (!item) {
        return;
    }
    if (!lockFor(folder_, lock)) {
        say(busyWords());
        return;
    }
    const bool hide = !item->data(TextColumn, HashRole).toBool();
    said(publish::setHidden(folder_, item->data(0, HashRole).toString().toLatin1().toStdString(), hide),
         (hide ? QStringLiteral("Hidden") : QStringLiteral("Shown again")) +
             QStringLiteral(" from the next publish on."));
}

void CommentsWindow::approve() {
    QTreeWidgetItem* item = pickedComment();
    ChannelLock lock;
    if (!item || !item->data(TextColumn, WaitingRole).toBool()) {
        return;
    }
    if (!lockFor(folder_, lock)) {
        say(busyWords());
        return;
    }
    said(publish::setApproved(folder_, item->data(0, HashRole).toString().toLatin1().toStdString(), true),
         QStringLiteral("Approved: it shows on its page from the next publish on."));
}

void CommentsWindow::toggleClosed() {
    QTreeWidgetItem* item = tree_->currentItem();
    ChannelLock lock;
    if (!item) {
        return;
    }
    if (!lockFor(folder_, lock)) {
        say(busyWords());
        return;
    }
    const std::string video = item->data(0, VideoRole).toString().toLatin1().toStdString();
    const bool close = !(item->parent() ? item->parent() : item)->data(TextColumn, HashRole).toBool();
    said(publish::setClosed(folder_, video, close),
         QStringLiteral("The comments of %1 are %2 from the next publish on.")
             .arg(shown(codePageToUtf8(video)), close ? QStringLiteral("closed") : QStringLiteral("open")));
}

void CommentsWindow::reply() {
    QTreeWidgetItem* item = pickedComment();
    if (!item) {
        return;
    }
    const std::string hash = item->data(0, HashRole).toString().toLatin1().toStdString();
    const std::vector<publish::ListedComment> all = publish::fetchedComments(folder_);
    const auto to = std::find_if(all.begin(), all.end(), [&](const auto& c) { return c.comment.hash == hash; });
    if (to == all.end()) {
        return;
    }
    const std::string text = publish::replyText(*to, replyText_->text().toStdString());
    say(QStringLiteral("Posting the reply\u2026"));
    setCursor(Qt::BusyCursor);
    reply_->setEnabled(false);
    publish::ReplyOutcome outcome;
    QEventLoop loop;
    std::thread worker([&] {
        outcome = publish::postReply(folder_, to->video, text);
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); });
    });
    loop.exec();
    worker.join();
    unsetCursor();
    reply_->setEnabled(true);
    QString words = shown(outcome.said);
    if (outcome.stored) {
        replyText_->clear();
        // The reply is shown under the channel's title from the next publish on.
        if (const std::optional<std::string> problem =
                publish::updateModeration(folder_, true, ChannelLock::ClickWaitMs)) {
            words += QStringLiteral("\n%1.").arg(shown(*problem));
        }
    }
    say(words);
}

void CommentsWindow::said(bool written, const QString& done) {
    say(written ? done
                : QStringLiteral("Clipnest could not write %1; nothing was changed.").arg(CommentModerationFile));
    refresh();
}

} // namespace clipnest::window
