#include "window/scroll_form.h"

#include "publish/publisher.h"
#include "text/entries.h"
#include "text/page_text.h"
#include "window/folder_choice.h"
#include "window/layout.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <functional>
#include <limits>
#include <thread>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFrame>
#include <QInputDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QUrl>
#include <QWheelEvent>

namespace clipnest::window {

namespace {

const QColor Green(66, 174, 93);
const QColor Grey(224, 224, 224);
const QColor Red(255, 0, 0);

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

// Multi-line boxes hand their text on with CR LF breaks, as a multi-line text box holds it.
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

// A button whose caption wraps onto more lines when it does not fit, as the design's narrow buttons need.
class WrapButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
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
};

// A caption-less check box only as wide as its box: draws just the indicator, centred in its height, so the
// style's margins do not clip it.
class BoxOnlyCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const int side = std::min({width(), height(), toPixels(190)});
        option.rect = QRect(0, (height() - side) / 2, side, side);
        painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, option);
    }
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// One line of the surface's text: its 12 pt labels stand about 20 pixels apart.
constexpr int WheelLineTwips = 300;

// A notch (120 eighths of a degree) scrolls as many lines as the desktop says, three by default.
int wheelTwips(const QWheelEvent& event) {
    return -event.angleDelta().y() * QApplication::wheelScrollLines() * WheelLineTwips / 120;
}

// A panel's events: a press calls back and is swallowed; the wheel scrolls the surface, not the panel's own text.
class PanelFilter final : public QObject {
public:
    PanelFilter(std::function<void()> onPress, std::function<void(int)> onWheel, QObject* parent)
        : QObject(parent), onPress_(std::move(onPress)), onWheel_(std::move(onWheel)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
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

private:
    std::function<void()> onPress_;
    std::function<void(int)> onWheel_;
};

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

    // The strip above the viewport holds what is not of the design: another folder, a preview, undo, the entries.
    const auto stripButton = [this, &standard](const char* name, const char* caption, int left, int width,
                                               const char* tip) {
        auto* button = new QPushButton(QString::fromUtf8(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setPalette(standard);
        button->setFont(fontFor(Face::Default, 8.25, false));
        button->setToolTip(QString::fromUtf8(tip));
        button->setGeometry(pixelRect(left, 0, width, ViewportTop));
        return button;
    };
    auto* open =
        stripButton("cmdOpenFolder", "Open folder\u2026", 60, 1260, "Works on another channel folder (Ctrl+O)");
    open->setShortcut(QKeySequence::Open);
    connect(open, &QPushButton::clicked, this, [this] { openOtherFolder(); });
    auto* preview = stripButton("cmdPreview", "Preview", 1380, 900,
                                "Shows the channel in the browser as a visitor would see it (F5)");
    preview->setShortcut(QKeySequence(Qt::Key_F5));
    connect(preview, &QPushButton::clicked, this, [this] { startPreview(); });
    auto* undo = stripButton("cmdUndo", "Undo", 2340, 900,
                             "Puts back the files of the last operation as they were before it (Ctrl+Z)");
    undo->setShortcut(QKeySequence::Undo);
    connect(undo, &QPushButton::clicked, this, [this] {
        form_->undo();
        afterAction();
    });
    undo_ = undo;
    auto* entriesButton = stripButton("cmdEntries", "Entries", 3300, 1200,
                                      "Shows the entries on the homepage; click one to take its file name");
    auto* publishButton =
        stripButton("cmdPublish", "Publish", 4620, 900, "Uploads to the server what changed since the last publish");
    connect(publishButton, &QPushButton::clicked, this, [this] { startPublish(); });

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblStatus"));
    status_->setFont(fontFor(Face::Default, 8.25, false));
    status_->setGeometry(pixelRect(5640, 0, DesignWidth - 5640 - ScrollBarWidth, ViewportTop));

    // The channel's entries in homepage order, in a window of their own beside the form; a click takes the file
    // name into the boxes that name an entry, and edits nothing.
    entries_ = new QListWidget(this);
    entries_->setObjectName(QStringLiteral("lstEntries"));
    entries_->setWindowFlags(Qt::Window);
    entries_->setWindowTitle(QStringLiteral("Entries on the homepage"));
    entries_->resize(480, 420);
    connect(entriesButton, &QPushButton::clicked, this, [this] {
        if (!entries_->isVisible()) {
            entries_->move(frameGeometry().topRight() + QPoint(8, 0));
        }
        entries_->show();
        entries_->raise();
    });
    connect(entries_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const std::string name = item->data(Qt::UserRole).toString().toStdString();
        Controls& c = form_->controls;
        c.first.name = c.second.name = c.insert.above = name;
        showState();
    });

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

void ScrollForm::startPreview() {
    std::string problem;
    const std::filesystem::path folder = form_->folder().dir();
    if (const std::optional<std::string> address = preview_.start(folder, problem)) {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(*address)));
        status_->setText(QStringLiteral("Preview at ") + QString::fromStdString(*address) +
                         QStringLiteral(" (only on this computer; it stops when the window closes)."));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString((folder / "homepage.html").string())));
    form_->notice(toCodePage(problem).value_or("php is not installed") +
                  ": homepage.html was opened as a file. The video pages need php to preview.");
    showState();
    aimTimer();
}

void ScrollForm::startPublish() {
    const std::filesystem::path folder = form_->folder().dir();
    publish::Settings settings;
    std::string problem;
    std::optional<publish::Target> target;
    if (publish::loadSettings(folder, settings, problem) && settings.to.empty()) {
        const QString to = QInputDialog::getText(this, QStringLiteral("Publish"),
                                                 QStringLiteral("Upload the channel to (sftp://user@host/folder or "
                                                                "ftps://user@host/folder):"));
        settings.to = to.trimmed().toStdString();
        if (settings.to.empty()) {
            return;
        }
        if (publish::parseTarget(settings.to, problem)) {
            publish::saveSettings(folder, settings);
        }
    }
    target = problem.empty() ? publish::parseTarget(settings.to, problem) : std::nullopt;
    if (target && target->scheme == publish::Target::Scheme::Ftp && !settings.insecure) {
        target.reset();
        problem = "plain ftp:// sends your password unencrypted; use sftp:// or ftps://";
    }
    if (!target) {
        QMessageBox::warning(this, QStringLiteral("Publish"), QString::fromStdString(problem));
        return;
    }

    // The transfer runs beside the window; the dialog shows each file and can stop it between two writes.
    QProgressDialog progress(QStringLiteral("Looking for what changed\u2026"), QStringLiteral("Cancel"), 0, 1000, this);
    progress.setWindowTitle(QStringLiteral("Publish to ") + QString::fromStdString(target->display()));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    std::atomic<bool> cancel = false;
    connect(&progress, &QProgressDialog::canceled, this, [&cancel] { cancel = true; });
    publish::Events events;
    events.starting = [&progress](const publish::ChannelFile& f, std::size_t i, std::size_t n) {
        const QString text = QStringLiteral("%1 (%2 of %3)").arg(QString::fromStdString(f.name)).arg(i + 1).arg(n);
        QMetaObject::invokeMethod(&progress, [&progress, text] { progress.setLabelText(text); });
    };
    events.progress = [&progress](std::uintmax_t sent, std::uintmax_t total) {
        const int value = total ? static_cast<int>(sent * 1000 / total) : 0;
        QMetaObject::invokeMethod(&progress, [&progress, value] { progress.setValue(value); });
    };
    publish::Report report;
    QEventLoop loop;
    std::thread worker([&] {
        report = publish::publishChannel(folder, settings, *target, events, cancel, false);
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); });
    });
    loop.exec();
    worker.join();
    progress.reset();

    std::string said = report.error;
    for (const auto& [name, reason] : report.failed) {
        said += (said.empty() ? "" : "\r\n") + name + " was not uploaded: " + reason;
    }
    for (const std::string& note : report.notes) {
        said += (said.empty() ? "" : "\r\n") + note;
    }
    if (!said.empty()) {
        form_->notice(toCodePage(said).value_or(said));
    }
    status_->setText(report.changed.empty() && report.error.empty()
                         ? QStringLiteral("Nothing changed since the last publish.")
                         : QStringLiteral("Uploaded %1 of %2 changed files to %3.")
                               .arg(report.uploaded.size())
                               .arg(report.changed.size())
                               .arg(QString::fromStdString(target->display())));
    showState();
    aimTimer();
}

void ScrollForm::checkOutsideChanges() {
    if (!form_->chainRunning() && !form_->quitRequested()) {
        form_->refreshHomepage();
        showState();
        aimTimer();
    }
}

void ScrollForm::showEntries() {
    entries_->clear();
    for (const LiveEntry& e : liveEntries(form_->homepage.PageText)) {
        const QString name = QString::fromStdString(codePageToUtf8(e.fileName));
        auto* item =
            new QListWidgetItem(name + QStringLiteral("  \u2013  ") + QString::fromStdString(shownText(e.description)));
        item->setData(Qt::UserRole, name);
        entries_->addItem(item);
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
        showEntries();
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
