#include "window/entries_window.h"

#include "text/entries.h"
#include "text/page_text.h"

namespace clipnest::window {

EntriesWindow::EntriesWindow(QWidget* owner) : QListWidget(owner) {
    setObjectName(QStringLiteral("lstEntries"));
    setWindowFlags(Qt::Window);
    setWindowTitle(QStringLiteral("Entries on the homepage"));
    resize(480, 420);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (onPick) {
            onPick(item->data(Qt::UserRole).toString().toStdString());
        }
    });
}

void EntriesWindow::showEntries(std::string_view pageText) {
    clear();
    for (const LiveEntry& e : liveEntries(pageText)) {
        const QString name = QString::fromStdString(codePageToUtf8(e.fileName));
        auto* item =
            new QListWidgetItem(name + QStringLiteral("  \u2013  ") + QString::fromStdString(shownText(e.description)));
        item->setData(Qt::UserRole, name);
        addItem(item);
    }
}

void EntriesWindow::open(const QWidget& main) {
    if (!isVisible()) {
        move(main.frameGeometry().topRight() + QPoint(8, 0));
    }
    show();
    raise();
}

} // namespace clipnest::window
