#include "window/comments_window.h"

#include "comments/moderation.h"
#include "platform/working_folder.h"
#include "text/entries.h"
#include "text/individual_page.h"
#include "text/page_text.h"
#include "window/publish_dialog.h"
#include "window/widgets.h"

#include <algorithm>
#include <map>
#include <thread>

#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace clipnest::window {

namespace {

enum Role { VideoRole = Qt::UserRole, HashRole };

} // namespace

CommentsWindow::CommentsWindow(QWidget* owner, std::filesystem::path folder)
    : QWidget(owner, Qt::Window), folder_(std::move(folder)) {
    setObjectName(QStringLiteral("wndComments"));
    setWindowTitle(QStringLiteral("Comments"));
    auto* layout = new QVBoxLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("treComments"));
    tree_->setColumnCount(2);
    tree_->setHeaderLabels({QStringLiteral("Video / date"), QStringLiteral("Comment")});
    tree_->header()->setStretchLastSection(true);
    tree_->setColumnWidth(0, 190);
    tree_->setWordWrap(true);
    layout->addWidget(tree_);
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const char* caption, const char* tip) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromUtf8(tip));
        buttons->addWidget(b);
        return b;
    };
    QPushButton* fetchButton =
        button("cmdFetchComments", "Fetch", "Reads every video's comments from the server (the publish address)");
    hide_ = button("cmdHideComment", "Hide", "Hides the comment on its page, from the next publish on");
    close_ = button("cmdCloseThread", "Close",
                    "Closes the video's comments, from the next publish on: its page shows them and takes no more");
    buttons->addStretch();
    layout->addLayout(buttons);
    said_ = plainLabel(QString(), this);
    said_->setObjectName(QStringLiteral("lblCommentsSaid"));
    said_->setWordWrap(true);
    said_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(said_);
    resize(620, 480);

    connect(fetchButton, &QPushButton::clicked, this, [this] { fetch(); });
    connect(hide_, &QPushButton::clicked, this, [this] { toggleHidden(); });
    connect(close_, &QPushButton::clicked, this, [this] { toggleClosed(); });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        const bool comment = item && item->parent();
        hide_->setEnabled(comment);
        close_->setEnabled(item != nullptr);
        if (comment) {
            hide_->setText(item->data(1, HashRole).toBool() ? QStringLiteral("Show") : QStringLiteral("Hide"));
        }
        if (item) {
            QTreeWidgetItem* video = comment ? item->parent() : item;
            close_->setText(video->data(1, HashRole).toBool() ? QStringLiteral("Open") : QStringLiteral("Close"));
        }
    });
    hide_->setEnabled(false);
    close_->setEnabled(false);
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

void CommentsWindow::refresh() {
    const std::string selected = tree_->currentItem()
                                     ? tree_->currentItem()->data(0, HashRole).toString().toLatin1().toStdString()
                                     : std::string();
    tree_->clear();
    const publish::Moderation moderation = publish::readModeration(folder_);
    std::map<std::string, std::vector<publish::ListedComment>> byVideo;
    for (publish::ListedComment& c : publish::fetchedComments(folder_)) {
        byVideo[c.video].push_back(std::move(c));
    }
    for (const LiveEntry& entry : homepageEntries(WorkingFolder(folder_))) {
        std::vector<publish::ListedComment>& comments = byVideo[entry.fileName];
        const bool closed = moderation.closed.contains(publish::commentsFileOf(entry.fileName));
        const QString name = shown(codePageToUtf8(entry.fileName));
        auto* video = new QTreeWidgetItem(tree_, {name, QStringLiteral("%1 comment%2%3")
                                                            .arg(comments.size())
                                                            .arg(comments.size() == 1 ? "" : "s")
                                                            .arg(closed ? QStringLiteral(", closed") : QString())});
        video->setData(0, VideoRole, QString::fromLatin1(entry.fileName)); // the code-page bytes, kept as they are
        video->setData(0, HashRole, QString::fromLatin1("video " + entry.fileName));
        video->setData(1, HashRole, closed);
        // Newest first: the dates sort as text; a stable sort keeps the file's order within one second.
        std::stable_sort(comments.begin(), comments.end(),
                         [](const auto& a, const auto& b) { return a.comment.date > b.comment.date; });
        for (const publish::ListedComment& c : comments) {
            auto* item = new QTreeWidgetItem(
                video,
                {shown(c.comment.date), (c.hidden ? QStringLiteral("[hidden] ") : QString()) + shown(c.comment.text)});
            item->setData(0, VideoRole, QString::fromLatin1(entry.fileName));
            item->setData(0, HashRole, QString::fromStdString(c.comment.hash));
            item->setData(1, HashRole, c.hidden);
            if (c.hidden) {
                item->setForeground(1, palette().color(QPalette::PlaceholderText));
            }
        }
        video->setExpanded(true);
    }
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        if (!selected.empty() && (*it)->data(0, HashRole).toString().toLatin1().toStdString() == selected) {
            tree_->setCurrentItem(*it);
        }
    }
}

void CommentsWindow::fetch() {
    const std::optional<publish::Destination> from = askDestination(this, folder_, QStringLiteral("Fetch comments"));
    if (!from) {
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
    QString text = report.error.empty()
                       ? QStringLiteral("Fetched %1 comments of %2 videos.").arg(report.comments).arg(report.videos)
                       : QStringLiteral("Nothing was fetched: %1.").arg(shown(report.error));
    for (const auto& [video, why] : report.failed) {
        text +=
            QStringLiteral("\nThe comments of %1 were not fetched: %2.").arg(shown(codePageToUtf8(video)), shown(why));
    }
    say(text);
    refresh();
}

void CommentsWindow::toggleHidden() {
    QTreeWidgetItem* item = tree_->currentItem();
    if (!item || !item->parent()) {
        return;
    }
    const bool hide = !item->data(1, HashRole).toBool();
    said(publish::setHidden(folder_, item->data(0, HashRole).toString().toLatin1().toStdString(), hide),
         (hide ? QStringLiteral("Hidden") : QStringLiteral("Shown again")) +
             QStringLiteral(" from the next publish on."));
}

void CommentsWindow::toggleClosed() {
    QTreeWidgetItem* item = tree_->currentItem();
    if (!item) {
        return;
    }
    const std::string video = item->data(0, VideoRole).toString().toLatin1().toStdString();
    const bool close = !(item->parent() ? item->parent() : item)->data(1, HashRole).toBool();
    said(publish::setClosed(folder_, video, close),
         QStringLiteral("The comments of %1 are %2 from the next publish on.")
             .arg(shown(codePageToUtf8(video)), close ? QStringLiteral("closed") : QStringLiteral("open")));
}

void CommentsWindow::said(bool written, const QString& done) {
    say(written ? done
                : QStringLiteral("Clipnest could not write %1; nothing was changed.").arg(CommentModerationFile));
    refresh();
}

} // namespace clipnest::window
