// The main window's surface: the controls of the layout tables built on it, the viewport that shows part of it, and
// its scrolling by the bars, the page keys and the wheel.
#include "text/page_text.h"
#include "window/comments_window.h"
#include "window/connection_window.h"
#include "window/entries_window.h"
#include "window/layout.h"
#include "window/preview_action.h"
#include "window/publish_dialog.h"
#include "window/scroll_form.h"
#include "window/top_strip.h"
#include "window/widgets.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

namespace clipnest::window {

namespace {

constexpr int SmallChange = 100;
// Content height and the widest the content gets before a horizontal bar is needed (the surface width at design).
constexpr int SurfaceHeight = 26760;
constexpr int ContentWidth = DesignWidth - 300;
constexpr int ViewportTop = 240;
// Room the window keeps under the viewport.
constexpr int ViewportBottomMargin = DesignHeight - 240 - 12135;
constexpr int ScrollBarWidth = 300;
constexpr int MaxScrollValue = 32767;

// The window's own notices (a notice, a failure) stand in a bar between the strip and the viewport, which moves down
// for them while they are shown: they cover no box, and not each other.
bool inNoticeBar(Message panel) {
    return panel == Message::FileFailure || panel == Message::Notice;
}
} // namespace

int ScrollForm::noticeBarHeight() const {
    int height = 0;
    for (const PanelDef& def : panelTable()) {
        const auto panel = panelWidgets_.find(def.panel);
        if (inNoticeBar(def.panel) && panel != panelWidgets_.end() && panel->second->isVisibleTo(this)) {
            height += def.height;
        }
    }
    return height;
}

// The content surface: hands PAGE UP / PAGE DOWN and the mouse wheel to the window.
class ScrollSurface final : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void(int)> onKeyCode;
    std::function<void(int)> onWheelTwips;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        // Keys that a focused child leaves unhandled come up here too; only the surface's own count.
        if (!hasFocus()) {
            event->ignore();
        } else if (event->key() == Qt::Key_PageUp) {
            onKeyCode(33);
        } else if (event->key() == Qt::Key_PageDown) {
            onKeyCode(34);
        } else {
            QWidget::keyPressEvent(event);
        }
    }

    void wheelEvent(QWheelEvent* event) override {
        if (event->angleDelta().y() == 0) {
            event->ignore();
            return;
        }
        onWheelTwips(wheelTwips(*event));
        event->accept();
    }
};

namespace {

// A box the user types into (one line or many), or the help text's, which is read only.
QWidget* newTextBox(Kind kind, QWidget* container, const QPalette& standard) {
    if (kind == Kind::LineBox) {
        auto* box = new QLineEdit(container);
        box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // No silent cut at the default 32767 characters: a long description is kept whole.
        box->setMaxLength(std::numeric_limits<int>::max());
        return box;
    }
    auto* box = new QPlainTextEdit(container);
    box->setTabChangesFocus(true);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->verticalScrollBar()->setPalette(standard);
    if (kind == Kind::HelpBox) {
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setReadOnly(true);
        box->setPlainText(forDisplay(helpText()));
    }
    return box;
}

} // namespace

// One control of the layout table, made in its container, as the table describes it.
QWidget* ScrollForm::newControl(const ControlDef& def, QWidget* container) {
    const QPalette standard = QApplication::palette();
    QWidget* widget = nullptr;
    switch (def.kind) {
    case Kind::Viewport:
        picWindow_ = new QWidget(container);
        widget = picWindow_;
        break;
    case Kind::Surface:
        surface_ = new ScrollSurface(container);
        surface_->setFocusPolicy(Qt::StrongFocus);
        surface_->onKeyCode = [this](int code) { checkKeyCode(code); };
        surface_->onWheelTwips = [this](int twips) { scrollByWheel(twips); };
        widget = surface_;
        break;
    case Kind::ScrollBar:
        vscroll_ = new QScrollBar(Qt::Vertical, container);
        vscroll_->setPalette(standard);
        widget = vscroll_;
        break;
    case Kind::Frame: {
        auto* frame = new QFrame(container);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        widget = frame;
        break;
    }
    case Kind::Label: {
        auto* label = new QLabel(QString::fromUtf8(def.caption), container);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        widget = label;
        break;
    }
    case Kind::LineBox:
    case Kind::MultiBox:
    case Kind::HelpBox:
        widget = newTextBox(def.kind, container, standard);
        break;
    case Kind::Button: {
        auto* button = new WrapButton(QString::fromUtf8(def.caption), container);
        button->setPalette(standard);
        widget = button;
        break;
    }
    case Kind::CheckBox:
        widget = new BoxOnlyCheckBox(container);
        break;
    }
    return widget;
}

QWidget* ScrollForm::makeControl(const ControlDef& def, QWidget* container) {
    const QPalette standard = QApplication::palette();
    QWidget* widget = newControl(def, container);
    widget->setObjectName(QString::fromLatin1(def.name));
    widget->setGeometry(pixelRect(def.left, def.top, def.width, def.height));
    widget->setFont(fontFor(def.face, def.points, def.bold));
    switch (def.back) {
    case Back::Green:
        if (def.kind != Kind::Button && def.kind != Kind::ScrollBar) {
            paintBackground(widget, QPalette::Window, Green);
        }
        break;
    case Back::Grey:
        paintBackground(widget, QPalette::Base, Grey);
        break;
    case Back::White:
        widget->setPalette(standard);
        break;
    }
    return widget;
}

// The top strip's buttons: folder, preview, undo, publish, address, comments and entries.
void ScrollForm::connectStrip() {
    const TopStrip strip = buildTopStrip(this);
    undo_ = strip.undo;
    addVideos_ = strip.addVideos;
    addNewVideos_ = strip.addNewVideos;
    openFolder_ = strip.openFolder;
    status_ = strip.status;
    publishButton_ = strip.publish;
    connect(strip.openFolder, &QPushButton::clicked, this, [this] { openOtherFolder(); });
    connect(strip.preview, &QPushButton::clicked, this, [this] { preview(); });
    connect(strip.undo, &QPushButton::clicked, this, [this] {
        if (form_->undo()) {
            showFilesAgain();
        }
        afterAction();
    });
    connect(strip.publish, &QPushButton::clicked, this, [this] { startPublish(); });
    connect(strip.addVideos, &QPushButton::clicked, this, [this] { chooseVideos(); });
    connect(strip.addNewVideos, &QPushButton::clicked, this, [this] { addVideos({}, true); });
    connectServer(strip.connection, strip.site);
    connectComments(strip.comments);
    connectEntries(strip.entries);
}

void ScrollForm::preview() {
    status_->busy(QStringLiteral("Starting the preview\u2026"));
    const PreviewOutcome outcome = startPreview(preview_, form_->folder().dir(), this,
                                                [this](const QString& said) { status_->say(said, Tone::Note); });
    if (!outcome.status.isEmpty()) {
        status_->say(outcome.status, Tone::Success);
    } else {
        status_->say({}, Tone::Success);
        form_->notice(outcome.notice);
    }
    showState();
    aimTimer();
}

// The publish dialog, the connection window and the channel's address.
void ScrollForm::connectServer(QPushButton* connection, QPushButton* site) {
    publishDialog_ = new PublishDialog(this);
    publishDialog_->onConnection = [this](const QString& said) { openConnection(said); };
    connection_ = new ConnectionWindow(this);
    connect(connection, &QPushButton::clicked, this, [this] { openConnection({}); });
    connection_->onSaved = [this](bool siteChanged) {
        status_->say(QStringLiteral("The connection's settings were saved in ") + publish::SettingsFile +
                         QLatin1Char('.'),
                     Tone::Success);
        if (siteChanged) {
            form_->writeDiscoveryFiles();
        }
        afterAction();
    };
    connect(site, &QPushButton::clicked, this, [this] {
        if (askSite(this, form_->folder().dir())) {
            form_->writeDiscoveryFiles();
        }
        afterAction();
    });
}

void ScrollForm::connectComments(QPushButton* button) {
    comments_ = new CommentsWindow(this, form_->folder().dir());
    connect(button, &QPushButton::clicked, this, [this] { comments_->open(*this); });
    // The button says while there are comments the last fetch saw first.
    comments_->onNewCount = [button](std::size_t fresh) {
        button->setText(fresh ? QStringLiteral("Comments (%1 new)").arg(fresh) : QStringLiteral("Comments"));
    };
    comments_->onFetched = [this](const QString& text, bool failed) {
        status_->say(text, failed ? Tone::Note : Tone::Success);
    };
    comments_->onConnection = [this](const QString& reason) { openConnection(reason); };
}

void ScrollForm::connectEntries(QPushButton* button) {
    entries_ = new EntriesWindow(this);
    connect(button, &QPushButton::clicked, this, [this] { entries_->open(*this); });
    entries_->onPick = [this](const std::string& name) {
        // Only the panel being worked in (its box keeps the focus while the Entries window has it): what is typed in
        // the others stays.
        followFocus(focusWidget());
        Controls& c = form_->controls;
        if (pickTarget_ == PickTarget::Insert) {
            c.insert.above = name;
        } else {
            const EntryPanel panel = pickTarget_ == PickTarget::First ? EntryPanel::First : EntryPanel::Second;
            c.entry(panel).name = name;
            fillDescriptions(panel, true);
        }
        c.renameFrom = name;
        showState();
        showPoster(name);
    };
    convertDialog_ = new ConvertDialog(this);
    entries_->onConvert = [this](const std::string& name) { startConvert(name); };
    entries_->onMove = [this](const std::string& name, bool up) { moveEntry(name, up); };
    setPickTarget(PickTarget::First);
    entries_->onRemake = [this](const std::string& name, double seconds) {
        form_->makePosters({name}, seconds);
        showState();
        showPoster(name);
    };
}

void ScrollForm::build() {
    widgets_[WindowName] = this;
    const QPalette standard = QApplication::palette();
    for (const ControlDef& def : controlTable()) {
        widgets_[def.name] = makeControl(def, widgets_.at(def.container));
    }
    // Labels are drawn on their container, behind every control that has a window of its own.
    for (const ControlDef& def : controlTable()) {
        if (def.kind != Kind::Label) {
            widgets_.at(def.name)->raise();
        }
    }

    connectStrip();

    hscroll_ = new QScrollBar(Qt::Horizontal, this);
    hscroll_->setObjectName(QStringLiteral("HScroll1"));
    hscroll_->setPalette(standard);
    hscroll_->setSingleStep(SmallChange);
    hscroll_->hide();
    connect(hscroll_, &QScrollBar::valueChanged, this, [this] { placeViewport(); });

    for (const PanelDef& def : panelTable()) {
        auto* panel = new QPlainTextEdit(widgets_.at(def.container));
        panel->setObjectName(QString::fromLatin1(panelName(def.panel)));
        panel->setGeometry(pixelRect(def.left, def.top, def.width, def.height));
        panel->setFont(fontFor(Face::Cambria, def.points, false));
        panel->setReadOnly(true);
        panel->setFocusPolicy(Qt::NoFocus);
        panel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // The fixed messages fit their panels; a notice, which gathers sentences, wraps (anywhere in a long name
        // if need be) and scrolls within the panel's fixed place.
        const bool gathers = def.panel == Message::Notice;
        panel->setVerticalScrollBarPolicy(gathers ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        if (gathers) {
            panel->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            panel->verticalScrollBar()->setPalette(standard);
        }
        panel->viewport()->setCursor(Qt::ArrowCursor);
        paintTone(panel, toneOf(def.panel));
        const Message which = def.panel;
        panel->viewport()->installEventFilter(new PanelFilter(
            [this, which] {
                form_->clickMessage(which);
                afterAction();
            },
            [this](int twips) { scrollByWheel(twips); }, panel));
        panel->hide();
        panelWidgets_[def.panel] = panel;
    }
}

void ScrollForm::placeViewport() {
    const int windowWidth = width() * TwipsPerPixel;
    const int windowHeight = height() * TwipsPerPixel;
    const int viewWidth = std::max(TwipsPerPixel, windowWidth - ScrollBarWidth);
    const int bar = noticeBarHeight();
    const int viewTop = ViewportTop + bar;
    const int viewHeight = std::max(TwipsPerPixel, windowHeight - viewTop - ViewportBottomMargin);
    picWindow_->setGeometry(pixelRect(0, viewTop, viewWidth, viewHeight));
    status_->setGeometry(statusLineRect(windowWidth));

    const bool wasResizing = std::exchange(resizing_, true);
    // The window's inner width already leaves out the border that the gap made room for, so the bar ends at the edge.
    vscroll_->setGeometry(pixelRect(windowWidth - ScrollBarWidth, bar, ScrollBarWidth, viewHeight));
    vscroll_->setSingleStep(SmallChange);
    vscroll_->setPageStep(std::min(viewHeight, MaxScrollValue));
    vscroll_->setRange(0, std::clamp(SurfaceHeight - viewHeight, 0, MaxScrollValue));

    const int surfaceWidth = std::max(viewWidth, ContentWidth);
    hscroll_->setVisible(viewWidth < ContentWidth);
    hscroll_->setGeometry(0, toPixels(viewTop + viewHeight), toPixels(viewWidth),
                          std::min(toPixels(ViewportBottomMargin), hscroll_->sizeHint().height()));
    hscroll_->setPageStep(viewWidth);
    hscroll_->setRange(0, surfaceWidth - viewWidth);
    resizing_ = wasResizing;

    surface_->setGeometry(-toPixels(hscroll_->value()), toPixels(surfaceTop_), toPixels(surfaceWidth),
                          toPixels(SurfaceHeight));
    placePanels();
}

void ScrollForm::placePanels() {
    // Panels on the window and the viewport keep their distance from the bottom when those shrink below the
    // design, so a shown panel stays on screen; the notices in the bar stand one below the other.
    int barTop = ViewportTop;
    for (const PanelDef& def : panelTable()) {
        QWidget* panel = panelWidgets_.at(def.panel);
        if (inNoticeBar(def.panel)) {
            const int room = picWindow_->width() * TwipsPerPixel;
            panel->move(toPixels(std::max(0, std::min(def.left, room - def.width))), toPixels(barTop));
            barTop += panel->isVisibleTo(this) ? def.height : 0;
            continue;
        }
        const QWidget* container = panel->parentWidget();
        int shrunk = 0;
        int room = container->width() * TwipsPerPixel;
        int bottom = std::numeric_limits<int>::max() / 2;
        if (container == this) {
            shrunk = DesignHeight - height() * TwipsPerPixel;
            // Keep clear of the scroll bars.
            room = picWindow_->width() * TwipsPerPixel;
            if (hscroll_->isVisible()) {
                bottom = hscroll_->y() * TwipsPerPixel;
            }
        } else if (container == picWindow_) {
            shrunk = findControl("picWindow")->height - picWindow_->height() * TwipsPerPixel;
        }
        const int top = std::max(0, std::min(def.top - std::max(0, shrunk), bottom - def.height));
        const int left = std::max(0, std::min(def.left, room - def.width));
        panel->move(toPixels(left), toPixels(top));
    }
}

void ScrollForm::onScroll(int value) {
    surfaceTop_ = -value;
    surface_->move(surface_->x(), toPixels(surfaceTop_));
    if (!resizing_) {
        widgets_.at(QuitButton)->setFocus(Qt::OtherFocusReason);
    }
}

void ScrollForm::checkKeyCode(int keyCode) {
    const int h = vscroll_->height() * TwipsPerPixel;
    int p = 0;
    if (keyCode == 34) {
        p = -surfaceTop_ + h;
    } else if (keyCode == 33) {
        p = -surfaceTop_ - h;
    } else {
        return;
    }
    if (p > vscroll_->maximum()) {
        p = vscroll_->maximum();
        surfaceTop_ = -p;
        surface_->move(surface_->x(), toPixels(surfaceTop_));
    }
    vscroll_->setValue(p <= 0 ? 0 : p);
}

void ScrollForm::scrollByWheel(int twips) {
    // The wheel leaves the focus where it is: the user may be typing in a box under the pointer.
    const bool wasResizing = std::exchange(resizing_, true);
    vscroll_->setValue(std::clamp(vscroll_->value() + twips, 0, vscroll_->maximum()));
    resizing_ = wasResizing;
}

void ScrollForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeViewport();
}

void ScrollForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The surface takes the focus when the window is activated, unless the user was typing in a box: coming back
    // from another program must not take the caret out of it.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        const QWidget* focused = focusWidget();
        const bool typing = qobject_cast<const QLineEdit*>(focused) != nullptr ||
                            (qobject_cast<const QPlainTextEdit*>(focused) != nullptr &&
                             !static_cast<const QPlainTextEdit*>(focused)->isReadOnly());
        if (!typing) {
            surface_->setFocus(Qt::ActiveWindowFocusReason);
        }
    }
}

} // namespace clipnest::window
