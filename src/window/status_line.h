#pragma once

#include "window/widgets.h"

#include <functional>

#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class QListWidget;
class QToolButton;

namespace clipnest::window {

// The status line's text: one line, cut in its middle (with an ellipsis) where it does not fit, so both the start of
// a message and the names at its end stay in sight; the whole message is its tip. A click opens the messages.
class StatusText final : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;
    // What the line shows of its text at its present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

// The status line at the end of the strip: says what the last operation did and keeps the last messages, which its
// button (or a click on the line) opens in a window of their own, newest first, each whole.
class StatusLine final : public QWidget {
public:
    static constexpr int Kept = 20;

    explicit StatusLine(QWidget* parent);

    // Shows `text` in the tone's colours and keeps it among the last messages; an empty text only clears the line.
    // A message that holds only for a while (another publish runs) leaves the line after `lastsMs`, unless another
    // came first; the list keeps it.
    void say(const QString& text, Tone tone, int lastsMs = 0);
    // Shows what work that may take a while is doing ("Making the poster for roses.mp4…"), drawn at once, before the
    // work holds up the window; the work's outcome, said next, takes its place. The messages kept leave it out.
    void busy(const QString& doing);
    // The messages kept, newest first, each with the time it was said.
    const QStringList& messages() const { return messages_; }
    // Shows the window of the last messages beside the status line, and raises it.
    void openMessages();
    void closeMessages();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    StatusText* text_ = nullptr;
    QToolButton* more_ = nullptr;
    QWidget* window_ = nullptr;
    QListWidget* list_ = nullptr;
    QStringList messages_;
    QTimer expiry_;
};

} // namespace clipnest::window
