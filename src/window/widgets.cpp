#include "window/widgets.h"

#include "text/safe_text.h"

#include <algorithm>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextDocument>
#include <QWheelEvent>

namespace clipnest::window {

QFont fontFor(Face face, double points, bool bold) {
    QFont font;
    switch (face) {
    case Face::Cambria:
        font.setFamilies({QStringLiteral("Cambria"), QStringLiteral("Caladea")});
        break;
    case Face::TimesNewRoman:
        font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")});
        break;
    case Face::Default:
    case Face::MsSansSerif:
        font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
        break;
    }
    font.setPixelSize(pointsToPixels(points));
    font.setBold(bold);
    return font;
}

ToneColours coloursOf(Tone tone) {
    switch (tone) {
    case Tone::Error:
        return {QColor(0xC0, 0x00, 0x00), QColor(0xFF, 0xFF, 0xFF)};
    case Tone::Note:
        return {QColor(0xFF, 0xF4, 0xC8), QColor(0x3D, 0x2B, 0x00)};
    case Tone::Success:
        return {QColor(0xE3, 0xF5, 0xE6), QColor(0x0B, 0x4F, 0x1C)};
    }
    return {};
}

Tone toneOf(Message panel) {
    switch (panel) {
    case Message::PageNotFound:
    case Message::HomepageWillBeCreated:
    case Message::HomepageNotFound:
    case Message::Notice:
        return Tone::Note;
    case Message::EntryNotFound:
    case Message::NoHomepage:
    case Message::InvalidNames:
    case Message::EntryExists:
    case Message::FileFailure:
    case Message::InvalidName:
        break;
    }
    return Tone::Error;
}

void paintTone(QWidget* widget, Tone tone) {
    const ToneColours colours = coloursOf(tone);
    QPalette palette = widget->palette();
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Window}) {
        palette.setColor(role, colours.back);
    }
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText}) {
        palette.setColor(role, colours.text);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QRect pixelRect(int left, int top, int width, int height) {
    return {toPixels(left), toPixels(top), toPixels(width), toPixels(height)};
}

void paintBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
    if (role == QPalette::Window) {
        widget->setBackgroundRole(QPalette::Window);
        widget->setAutoFillBackground(true);
    }
}

std::string multiLineText(const QPlainTextEdit* box) {
    QString text = box->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return text.toStdString();
}

std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

QString forDisplay(const std::string& utf8WithCrLf) {
    return QString::fromStdString(withoutCarriageReturns(utf8WithCrLf));
}

QString shown(std::string_view utf8) {
    return QString::fromStdString(safeText(utf8));
}

void warn(QWidget* parent, const QString& title, std::string_view utf8) {
    QMessageBox box(QMessageBox::Warning, title, shown(utf8), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

int wheelTwips(const QWheelEvent& event) {
    return -event.angleDelta().y() * QApplication::wheelScrollLines() * WheelLineTwips / 120;
}

void WrapButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    style()->drawItemText(&painter, area, Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), caption,
                          QPalette::ButtonText);
}

void BoxOnlyCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const int side = std::min({width(), height(), toPixels(190)});
    option.rect = QRect(0, (height() - side) / 2, side, side);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, option);
}

bool PanelFilter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        onPress_();
        return true;
    }
    if (event->type() == QEvent::Wheel) {
        // A message longer than a panel that scrolls scrolls within it; any other turns the surface.
        const auto* panel = qobject_cast<const QPlainTextEdit*>(parent());
        if (panel && panel->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff &&
            panel->verticalScrollBar()->maximum() > 0) {
            return false;
        }
        onWheel_(wheelTwips(*static_cast<QWheelEvent*>(event)));
        return true;
    }
    return false;
}

} // namespace clipnest::window
