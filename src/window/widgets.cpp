#include "window/widgets.h"

#include <algorithm>

#include <QApplication>
#include <QPlainTextEdit>
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
        onWheel_(wheelTwips(*static_cast<QWheelEvent*>(event)));
        return true;
    }
    return false;
}

} // namespace clipnest::window
