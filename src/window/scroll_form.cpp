#include "window/scroll_form.h"

#include "text/page_text.h"
#include "window/entries_window.h"
#include "window/folder_choice.h"
#include "window/layout.h"
#include "window/preview_action.h"
#include "window/publish_dialog.h"
#include "window/top_strip.h"
#include "window/widgets.h"

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <limits>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
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
// Title bar and borders, which the available screen area must also hold.
const QSize DecorationAllowance(16, 48);

// The buttons by their design names.
using Action = void (*)(Form&);
constexpr std::array<std::pair<const char*, Action>, 11> Actions = {{
    {"Command1", [](Form& f) { f.createOrChangeEntry(EntryPanel::First); }},
    {"Command2", [](Form& f) { f.createOrChangeEntry(EntryPanel::Second); }},
    {"Command3", [](Form& f) { f.clearEntryBoxes(EntryPanel::First); }},
    {"Command4", [](Form& f) { f.clearEntryBoxes(EntryPanel::Second); }},
    {"Command5", [](Form& f) { f.deleteEntry(EntryPanel::First); }},
    {"Command6", [](Form& f) { f.deleteEntry(EntryPanel::Second); }},
    {"Command7", [](Form& f) { f.clearInsertBoxes(); }},
    {"Command9", [](Form& f) { f.insertAboveEntry(); }},
    {"Command10", [](Form& f) { f.writeRenamePage(); }},
    {"Command11", [](Form& f) { f.setTitleAndMessage(); }},
    {"cmdExit", [](Form& f) { f.quit(); }},
}};

} // namespace

QString windowTitleFor(const std::filesystem::path& folder) {
    QString path = QString::fromStdString(folder.lexically_normal().string());
    if (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    const QString home = QDir::homePath();
    if (!home.isEmpty() && home != QLatin1String("/") && (path == home || path.startsWith(home + QLatin1Char('/')))) {
        path = QLatin1Char('~') + path.mid(home.size());
    }
    return QStringLiteral("Clipnest " CLIPNEST_VERSION " \u2013 ") + path;
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

ScrollForm::ScrollForm(const Clock& clock, WorkingFolder& folder, QWidget* parent)
    : QWidget(parent), clock_(clock), form_(std::make_unique<Form>(clock, folder)) {
    setObjectName(QString::fromLatin1(WindowName));
    setWindowTitle(windowTitleFor(folder.dir()));
    paintBackground(this, QPalette::Window, Green);

    build();
    connectInputs();

    QSize size(toPixels(DesignWidth), toPixels(DesignHeight));
    if (const QScreen* screen = this->screen()) {
        size = size.boundedTo(screen->availableGeometry().size() - DecorationAllowance);
    }
    setMinimumSize(320, 240);
    resize(size);
    placeViewport();

    outsideTimer_.setInterval(2000);
    connect(&outsideTimer_, &QTimer::timeout, this, [this] { checkOutsideChanges(); });
    outsideTimer_.start();

    stepTimer_.setSingleShot(true);
    stepTimer_.setTimerType(Qt::PreciseTimer);
    connect(&stepTimer_, &QTimer::timeout, this, [this] { tick(); });

    showState();
    aimTimer();
}

ScrollForm::~ScrollForm() = default;

void ScrollForm::build() {
    widgets_[WindowName] = this;
    const QPalette standard = QApplication::palette();
    for (const ControlDef& def : controlTable()) {
        QWidget* container = widgets_.at(def.container);
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
        case Kind::LineBox: {
            auto* box = new QLineEdit(container);
            box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            // No silent cut at the default 32767 characters: a long description is kept whole.
            box->setMaxLength(std::numeric_limits<int>::max());
            widget = box;
            break;
        }
        case Kind::MultiBox:
        case Kind::HelpBox: {
            auto* box = new QPlainTextEdit(container);
            box->setTabChangesFocus(true);
            box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            box->verticalScrollBar()->setPalette(standard);
            if (def.kind == Kind::HelpBox) {
                box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                box->setReadOnly(true);
                box->setPlainText(forDisplay(helpText()));
            }
            widget = box;
            break;
        }
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
        widgets_[def.name] = widget;
    }
    // Labels are drawn on their container, behind every control that has a window of its own.
    for (const ControlDef& def : controlTable()) {
        if (def.kind != Kind::Label) {
            widgets_.at(def.name)->raise();
        }
    }

    const TopStrip strip = buildTopStrip(this);
    connect(strip.openFolder, &QPushButton::clicked, this, [this] { openOtherFolder(); });
    connect(strip.preview, &QPushButton::clicked, this, [this] {
        const PreviewOutcome outcome = startPreview(preview_, form_->folder().dir());
        if (!outcome.status.isEmpty()) {
            status_->setText(outcome.status);
        } else {
            form_->notice(outcome.notice);
        }
        showState();
        aimTimer();
    });
    connect(strip.undo, &QPushButton::clicked, this, [this] {
        form_->undo();
        afterAction();
    });
    connect(strip.publish, &QPushButton::clicked, this, [this] {
        if (const std::optional<PublishOutcome> outcome = publishWithDialog(this, form_->folder().dir())) {
            if (!outcome->said.empty()) {
                form_->notice(toCodePage(outcome->said).value_or(outcome->said));
            }
            status_->setText(outcome->status);
        }
        showState();
        aimTimer();
    });
    undo_ = strip.undo;
    status_ = strip.status;

    entries_ = new EntriesWindow(this);
    connect(strip.entries, &QPushButton::clicked, this, [this] { entries_->open(*this); });
    entries_->onPick = [this](const std::string& name) {
        Controls& c = form_->controls;
        c.first.name = c.second.name = c.insert.above = name;
        showState();
    };

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
        panel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        panel->viewport()->setCursor(Qt::ArrowCursor);
        paintBackground(panel, QPalette::Base, Red);
        const Panel which = def.panel;
        panel->viewport()->installEventFilter(new PanelFilter(
            [this, which] {
                form_->clickPanel(which);
                afterAction();
            },
            [this](int twips) { scrollByWheel(twips); }, panel));
        panel->hide();
        panelWidgets_[def.panel] = panel;
    }
}

void ScrollForm::connectInputs() {
    for (const Controls::TextBox& box : Controls::textBoxes()) {
        QWidget* widget = widgets_.at(box.designName);
        const auto member = box.of;
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            connect(line, &QLineEdit::textChanged, this, [this, member](const QString& text) {
                if (!showing_) {
                    member(form_->controls) = text.toStdString();
                }
            });
        } else if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) {
            connect(multi, &QPlainTextEdit::textChanged, this, [this, member, multi] {
                if (!showing_) {
                    member(form_->controls) = multiLineText(multi);
                }
            });
        }
    }
    const std::array<std::pair<const char*, EntryPanel>, 2> checks = {{
        {"Check1", EntryPanel::First},
        {"Check2", EntryPanel::Second},
    }};
    for (const auto& [name, panel] : checks) {
        auto* box = static_cast<QCheckBox*>(widgets_.at(name));
        connect(box, &QCheckBox::toggled, this, [this, panel = panel](bool on) {
            if (!showing_) {
                form_->controls.entry(panel).homepageOnly = on;
            }
        });
    }
    for (const auto& [name, action] : Actions) {
        auto* button = static_cast<QPushButton*>(widgets_.at(name));
        connect(button, &QPushButton::clicked, this, [this, action = action] {
            action(*form_);
            afterAction();
        });
    }
    connect(vscroll_, &QScrollBar::valueChanged, this, [this](int value) { onScroll(value); });
}

void ScrollForm::placeViewport() {
    const int windowWidth = width() * TwipsPerPixel;
    const int windowHeight = height() * TwipsPerPixel;
    const int viewWidth = std::max(TwipsPerPixel, windowWidth - ScrollBarWidth);
    const int viewHeight = std::max(TwipsPerPixel, windowHeight - ViewportTop - ViewportBottomMargin);
    picWindow_->setGeometry(pixelRect(0, ViewportTop, viewWidth, viewHeight));

    const bool wasResizing = std::exchange(resizing_, true);
    // The window's inner width already leaves out the border that the gap made room for, so the bar ends at the edge.
    vscroll_->setGeometry(pixelRect(windowWidth - ScrollBarWidth, 0, ScrollBarWidth, viewHeight));
    vscroll_->setSingleStep(SmallChange);
    vscroll_->setPageStep(std::min(viewHeight, MaxScrollValue));
    vscroll_->setRange(0, std::clamp(SurfaceHeight - viewHeight, 0, MaxScrollValue));

    const int surfaceWidth = std::max(viewWidth, ContentWidth);
    hscroll_->setVisible(viewWidth < ContentWidth);
    hscroll_->setGeometry(0, toPixels(ViewportTop + viewHeight), toPixels(viewWidth),
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
    // design, so a shown panel stays on screen.
    for (const PanelDef& def : panelTable()) {
        QWidget* panel = panelWidgets_.at(def.panel);
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
        widgets_.at("cmdExit")->setFocus(Qt::OtherFocusReason);
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

void ScrollForm::tick() {
    form_->scheduler().runDue();
    showState();
    aimTimer();
}

void ScrollForm::afterAction() {
    showState();
    aimTimer();
    if (form_->quitRequested()) {
        close();
    }
}

void ScrollForm::aimTimer() {
    const std::optional<std::int64_t> due = form_->scheduler().nextDue();
    if (!due || form_->quitRequested()) {
        stepTimer_.stop();
        return;
    }
    const std::int64_t wait = std::clamp<std::int64_t>(*due - clock_.nowMs(), 0, INT_MAX);
    stepTimer_.start(static_cast<int>(wait));
}

void ScrollForm::openOtherFolder() {
    QSettings settings(QStringLiteral("Clipnest"), QStringLiteral("Clipnest"));
    const std::optional<std::filesystem::path> chosen = chooseChannelFolder(this, settings);
    if (!chosen) {
        return;
    }
    // The other folder gets a window of its own, started as from the command line; this one closes as Quit does.
    if (QProcess::startDetached(QCoreApplication::applicationFilePath(), {QString::fromStdString(chosen->string())})) {
        close();
    }
}

void ScrollForm::checkOutsideChanges() {
    if (!form_->chainRunning() && !form_->quitRequested()) {
        form_->refreshHomepage();
        showState();
        aimTimer();
    }
}

void ScrollForm::showState() {
    const bool wasShowing = std::exchange(showing_, true);
    const bool ended = !form_->chainRunning();
    // The boxes show the homepage's title and message once it is loaded, unless the user typed into them first.
    if (ended && !prefilled_) {
        prefilled_ = true;
        const auto [title, message] = form_->shownTitleAndMessage();
        Controls& c = form_->controls;
        c.title = c.title.empty() ? title : c.title;
        c.message = c.message.empty() ? message : c.message;
    }
    if (ended && form_->operationNumber() != shownOperation_) {
        shownOperation_ = form_->operationNumber();
        status_->setText(QString::fromStdString(form_->operationSummary()));
    }
    if (ended && form_->homepageRevision() != shownRevision_) {
        shownRevision_ = form_->homepageRevision();
        entries_->showEntries(form_->homepageText());
    }
    const Controls& controls = form_->controls;
    for (const Controls::TextBox& box : Controls::textBoxes()) {
        const std::string& value = box.of(form_->controls);
        QWidget* widget = widgets_.at(box.designName);
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            if (line->text().toStdString() != value) {
                line->setText(QString::fromStdString(value));
            }
        } else if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) {
            if (withoutCarriageReturns(multiLineText(multi)) != withoutCarriageReturns(value)) {
                multi->setPlainText(forDisplay(value));
            }
        }
    }
    static_cast<QCheckBox*>(widgets_.at("Check1"))->setChecked(controls.first.homepageOnly);
    static_cast<QCheckBox*>(widgets_.at("Check2"))->setChecked(controls.second.homepageOnly);

    for (const PanelDef& def : panelTable()) {
        const PanelState& state = form_->panels[def.panel];
        auto* panel = static_cast<QPlainTextEdit*>(panelWidgets_.at(def.panel));
        std::string& shown = shownPanelText_[def.panel];
        if (shown != state.text) {
            shown = state.text;
            panel->setPlainText(forDisplay(codePageToUtf8(state.text)));
        }
        if (panel->isVisibleTo(this) != state.visible) {
            panel->setVisible(state.visible);
        }
        if (state.visible) {
            panel->raise();
        }
    }

    const bool running = form_->chainRunning();
    for (const char* name : chainButtons()) {
        widgets_.at(name)->setEnabled(!running);
    }
    undo_->setEnabled(!running);
    showing_ = wasShowing;
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

void ScrollForm::closeEvent(QCloseEvent* event) {
    stepTimer_.stop();
    preview_.stop();
    outsideTimer_.stop();
    entries_->close();
    if (!form_->quitRequested()) {
        form_->quit();
    }
    event->accept();
}

} // namespace clipnest::window
