#pragma once

#include "core/messages.h"
#include "window/layout.h"

#include <functional>
#include <string>
#include <string_view>

#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPushButton>
#include <QRect>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QWheelEvent;
class QWidget;

// The window's own small widgets and drawing helpers, shared by the main window, its strip and its dialogs.
namespace clipnest::window {

inline const QColor Green(66, 174, 93);
inline const QColor Grey(224, 224, 224);
inline const QColor Red(255, 0, 0);

// How a message looks by what it says: an error on red, a note on pale yellow, a success on pale green, each with a
// text colour that reads well on it (WCAG AA: a contrast of 4.5 or more).
enum class Tone { Error, Note, Success };
struct ToneColours {
    QColor back, text;
};
ToneColours coloursOf(Tone tone);
// Paints a panel or label in the tone's colours.
void paintTone(QWidget* widget, Tone tone);

// One line of the surface's text: its 12 pt labels stand about 20 pixels apart.
inline constexpr int WheelLineTwips = 300;

// The tone of a message panel: the failures and refusals are errors; the start-up notices, the missing-page notice
// and the notices of what was done are notes.
Tone toneOf(Message panel);

// The design's face at `points`, or its metric twin where the face is missing.
QFont fontFor(Face face, double points, bool bold);
QRect pixelRect(int left, int top, int width, int height);
void paintBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour);

// Multi-line boxes hand their text on with CR LF breaks, as a multi-line text box holds it.
std::string multiLineText(const QPlainTextEdit* box);
std::string withoutCarriageReturns(std::string text);
QString forDisplay(const std::string& utf8WithCrLf);

// Text from elsewhere (a server, a settings file, a comment, a file name) as a label or a title shows it: escaped as
// the command line prints it (text/safe_text.h).
QString shown(std::string_view utf8);
// A warning box whose text is shown escaped and as plain text, never read as markup.
void warn(QWidget* parent, const QString& title, std::string_view utf8);
// A label that shows its text as plain text, never as markup.
QLabel* plainLabel(const QString& text, QWidget* parent = nullptr);

// A notch (120 eighths of a degree) scrolls as many lines as the desktop says, three by default.
int wheelTwips(const QWheelEvent& event);

// A button whose caption wraps onto more lines when it does not fit, as the design's narrow buttons need.
class WrapButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A caption-less check box only as wide as its box: draws just the indicator, centred in its height, so the style's
// margins do not clip it.
class BoxOnlyCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent*) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A panel's events: a press calls back and is swallowed; the wheel scrolls the surface, unless the panel scrolls and
// its text is longer than the panel.
class PanelFilter final : public QObject {
public:
    PanelFilter(std::function<void()> onPress, std::function<void(int)> onWheel, QObject* parent)
        : QObject(parent), onPress_(std::move(onPress)), onWheel_(std::move(onWheel)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override;

private:
    std::function<void()> onPress_;
    std::function<void(int)> onWheel_;
};

} // namespace clipnest::window
