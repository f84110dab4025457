#include "window/entries_window.h"

#include "text/entries.h"
#include "text/page_text.h"

#include <algorithm>

#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>

namespace clipnest::window {

EntriesWindow::EntriesWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("wndEntries"));
    setWindowTitle(QStringLiteral("Entries on the homepage"));
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(
        QStringLiteral("Click an entry to put its name and descriptions into the panels that change entries."), this);
    hint->setObjectName(QStringLiteral("lblEntriesHint"));
    hint->setWordWrap(true);
    layout->addWidget(hint);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lstEntries"));
    layout->addWidget(list_);
    resize(480, 420);
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (onPick) {
            onPick(item->data(Qt::UserRole).toString().toStdString());
        }
    });
}

void EntriesWindow::showEntries(std::string_view pageText) {
    list_->clear();
    for (const LiveEntry& e : liveEntries(pageText)) {
        const QString name = QString::fromStdString(codePageToUtf8(e.fileName));
        auto* item =
            new QListWidgetItem(name + QStringLiteral("  \u2013  ") + QString::fromStdString(shownText(e.description)));
        item->setData(Qt::UserRole, name);
        list_->addItem(item);
    }
}

void EntriesWindow::open(const QWidget& main) {
    if (!isVisible()) {
        const QRect frame = main.frameGeometry();
        QPoint at = frame.topRight() + QPoint(8, 0);
        if (const QScreen* screen = main.screen()) {
            const QRect room = screen->availableGeometry();
            if (at.x() + width() > room.right()) {
                at.setX(std::max(room.left(), frame.left() - width() - 8));
            }
            at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - height())));
        }
        move(at);
    }
    show();
    raise();
}

} // namespace clipnest::window
