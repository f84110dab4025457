#include "window/status_line.h"

#include <algorithm>

#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>

namespace clipnest::window {

namespace {

constexpr int TextMargin = 4;

} // namespace

QString StatusText::shownText() const {
    const int room = std::max(0, contentsRect().width() - 2 * TextMargin);
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, room);
}

void StatusText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect().adjusted(TextMargin, 0, -TextMargin, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     shownText());
}

void StatusText::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClick) {
        onClick();
    }
    QLabel::mousePressEvent(event);
}

StatusLine::StatusLine(QWidget* parent) : QWidget(parent) {
    text_ = new StatusText(this);
    text_->setObjectName(QStringLiteral("lblStatus"));
    text_->setCursor(Qt::PointingHandCursor);
    text_->onClick = [this] { openMessages(); };
    more_ = new QToolButton(this);
    more_->setObjectName(QStringLiteral("cmdMessages"));
    more_->setArrowType(Qt::DownArrow);
    more_->setToolTip(QStringLiteral("The last %1 messages, each whole").arg(Kept));
    connect(more_, &QToolButton::clicked, this, [this] { openMessages(); });

    window_ = new QWidget(parent, Qt::Window);
    window_->setObjectName(QStringLiteral("wndMessages"));
    window_->setWindowTitle(QStringLiteral("Messages"));
    auto* layout = new QVBoxLayout(window_);
    list_ = new QListWidget(window_);
    list_->setObjectName(QStringLiteral("lstMessages"));
    list_->setWordWrap(true);
    list_->setTextElideMode(Qt::ElideNone);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(list_);
    window_->resize(560, 360);

    expiry_.setSingleShot(true);
    connect(&expiry_, &QTimer::timeout, this, [this] { say({}, Tone::Success); });
}

void StatusLine::say(const QString& text, Tone tone, int lastsMs) {
    expiry_.stop();
    if (lastsMs > 0) {
        expiry_.start(lastsMs);
    }
    text_->setText(text);
    // A tooltip reads what looks like markup as markup: such a message goes in escaped, so it shows as it is.
    text_->setToolTip(Qt::mightBeRichText(text) ? QStringLiteral("<p>") + text.toHtmlEscaped() + QStringLiteral("</p>")
                                                : text);
    paintTone(text_, tone);
    if (text.isEmpty()) {
        return;
    }
    messages_.prepend(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + text);
    if (messages_.size() > Kept) {
        messages_.removeLast();
    }
    list_->clear();
    list_->addItems(messages_);
}

void StatusLine::busy(const QString& doing) {
    expiry_.stop();
    text_->setText(doing);
    text_->setToolTip(
        Qt::mightBeRichText(doing) ? QStringLiteral("<p>") + doing.toHtmlEscaped() + QStringLiteral("</p>") : doing);
    paintTone(text_, Tone::Note);
    text_->repaint();
}

void StatusLine::openMessages() {
    if (!window_->isVisible()) {
        window_->move(mapToGlobal(QPoint(0, height())));
    }
    window_->show();
    window_->raise();
}

void StatusLine::closeMessages() {
    window_->close();
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int button = std::min(height(), 22);
    text_->setGeometry(0, 0, std::max(0, width() - button), height());
    more_->setGeometry(width() - button, 0, button, height());
}

} // namespace clipnest::window
