#include "layout.h"
#include "scroll_form.h"
#include "support/test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace clipnest::window {
namespace {

namespace fs = std::filesystem;

// The application lives from the first test that needs it until all tests are done; destroying it among the static
// objects at exit would come after Qt's own statics are gone.
class QtEnvironment final : public ::testing::Environment {
public:
    void TearDown() override {
        delete app;
        app = nullptr;
    }
    QApplication* app = nullptr;
};

QtEnvironment* const qtEnvironment =
    static_cast<QtEnvironment*>(::testing::AddGlobalTestEnvironment(new QtEnvironment));

void ensureApplication() {
    if (qtEnvironment->app) {
        return;
    }
    // Runs without a display unless a platform is chosen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "window_test";
    static char* argv[] = {name, nullptr};
    qtEnvironment->app = new QApplication(argc, argv);
}

const QSize DesignSize(toPixels(DesignWidth), toPixels(DesignHeight));

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        ensureApplication();
        window = std::make_unique<ScrollForm>(clock, folder);
        window->resize(DesignSize);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    Form& form() { return window->form(); }

    template <class T = QWidget>
    T* get(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Moves the test clock on by `ms`, running each Step through the window when it falls due.
    void advance(std::int64_t ms) {
        const std::int64_t target = clock.now + ms;
        for (auto due = form().scheduler().nextDue(); due && *due <= target; due = form().scheduler().nextDue()) {
            clock.now = std::max(clock.now, *due);
            window->tick();
        }
        clock.now = target;
    }

    void runChains() {
        for (int guard = 0; form().chainRunning() && guard < 10000; ++guard) {
            const auto due = form().scheduler().nextDue();
            advance(due ? std::max<std::int64_t>(*due - clock.now, 0) : 1);
        }
        ASSERT_FALSE(form().chainRunning());
    }

    // Types one character at a time, as a keyboard with any layout would deliver it.
    void type(const char* name, const QString& text) {
        QWidget* widget = get(name);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype length = text.at(i).isHighSurrogate() ? 2 : 1;
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text.mid(i, length), Qt::NoModifier);
            i += length - 1;
        }
    }
    void click(const char* name) { QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton); }
    bool shown(Panel panel) { return get(panelName(panel))->isVisible(); }

    std::string file(const std::string& name) const {
        std::ifstream in(dir.path() / name, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    bool has(const std::string& name) const { return fs::exists(dir.path() / name); }

    // A first entry appended through the first Create panel, after start-up in an empty folder.
    void appendClip7() {
        runChains();
        type("Text2", "clip7.mp4");
        type("Text4", QString::fromUtf8("café"));
        click("Command1");
        runChains();
        ASSERT_NE(file("homepage.html").find("clip7.mp4"), std::string::npos);
    }

    clipnest::testing::TempDir dir;
    clipnest::testing::VirtualClock clock;
    WorkingFolder folder{dir.path()};
    std::unique_ptr<ScrollForm> window;
};

QRect designRect(const ControlDef& def) {
    return {toPixels(def.left), toPixels(def.top), toPixels(def.width), toPixels(def.height)};
}

TEST_F(WindowTest, ControlsStandWhereTheTablesPutThem) {
    EXPECT_EQ(window->objectName(), "frmScroll");
    EXPECT_EQ(window->windowTitle(), "Scrolling Form");
    for (const ControlDef& def : controlTable()) {
        SCOPED_TRACE(def.name);
        QWidget* widget = get(def.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), def.container);
        if (def.kind == Kind::Viewport || def.kind == Kind::Surface || def.kind == Kind::ScrollBar) {
            continue; // placed by the viewport set-up, checked below
        }
        EXPECT_EQ(widget->geometry(), designRect(def));
        EXPECT_EQ(widget->font().pixelSize(), pointsToPixels(def.points));
        EXPECT_EQ(widget->font().bold(), def.bold);
        const char* twin = def.face == Face::Cambria         ? "Caladea"
                           : def.face == Face::TimesNewRoman ? "Liberation Serif"
                                                             : "Liberation Sans";
        EXPECT_EQ(QFontInfo(widget->font()).family(), twin) << "missing faces fall back to their metric twins";
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text().toStdString(), def.caption);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text().toStdString(), def.caption);
        }
    }
    for (const PanelDef& def : panelTable()) {
        SCOPED_TRACE(panelName(def.panel));
        auto* panel = get<QPlainTextEdit>(panelName(def.panel));
        EXPECT_EQ(panel->parentWidget()->objectName(), def.container);
        EXPECT_EQ(panel->geometry(),
                  QRect(toPixels(def.left), toPixels(def.top), toPixels(def.width), toPixels(def.height)));
        EXPECT_EQ(panel->palette().color(QPalette::Base), QColor(255, 0, 0));
        EXPECT_EQ(QFontInfo(panel->font()).family(), "Caladea");
        EXPECT_FALSE(panel->isVisible());
    }
    EXPECT_EQ(get("Text14")->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(get("Text2")->palette().color(QPalette::Base), QColor(224, 224, 224));
    EXPECT_EQ(get("Label4")->palette().color(QPalette::Window), QColor(66, 174, 93));
}

TEST_F(WindowTest, HelpTextLineForLine) {
    const QStringList lines = get<QPlainTextEdit>("Text14")->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 32);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], QString(10, QLatin1Char(' ')) +
                            "This app helps you make entries for your channel, and make changes to your entries.  If "
                            "you are familiar with working with basic web pages, you can probably  ");
    EXPECT_EQ(lines[8], QString(362, QLatin1Char(' ')));
    EXPECT_EQ(lines[16], QString(11, QLatin1Char(' ')) +
                             "Enter the current name and the new name, and a page with the name "
                             "\"change_file_name.php\" will be created and placed in the same local folder as your "
                             "other files and pages. ");
    EXPECT_TRUE(lines[18].startsWith("      \"change_file_name.php\", in your browser,"));
    EXPECT_EQ(lines[27], "      locally on your computer.");
    EXPECT_EQ(lines[30], QString(160, QLatin1Char(' ')));
    EXPECT_EQ(lines[31], "");
    EXPECT_EQ(helpText().find("change_name.php"), std::string::npos);
    EXPECT_EQ(helpText().substr(helpText().size() - 4), "  \r\n");
}

TEST_F(WindowTest, ViewportSetUpAtDesignSize) {
    EXPECT_EQ(get("picWindow")->geometry(), QRect(0, 16, 1218, 809));
    EXPECT_EQ(get("picI_Scroll")->geometry(), QRect(0, 0, 1218, 1784));
    auto* bar = get<QScrollBar>("VScroll1");
    EXPECT_EQ(bar->geometry(), QRect(1214, 0, 20, 809));
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 26760 - 12135);
    EXPECT_EQ(bar->singleStep(), 100);
    EXPECT_EQ(bar->pageStep(), 12135);
    EXPECT_FALSE(get("HScroll1")->isVisible());

    bar->setValue(3000);
    EXPECT_EQ(window->surfaceTop(), -3000);
    EXPECT_EQ(get("picI_Scroll")->y(), -200);
    EXPECT_EQ(QApplication::focusWidget(), get("cmdExit"));
}

TEST_F(WindowTest, PageKeysScrollByOneViewportAndStopAtTheEnds) {
    QWidget* surface = get("picI_Scroll");
    QWidget* quit = get("cmdExit");
    auto* bar = get<QScrollBar>("VScroll1");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), surface) << "activation gives the surface the focus";

    QTest::keyClick(surface, Qt::Key_Down);
    QTest::keyClick(surface, Qt::Key_End);
    EXPECT_EQ(bar->value(), 0) << "other keys are ignored";

    QTest::keyClick(surface, Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(QApplication::focusWidget(), surface) << "no change, so the focus stays";

    QTest::keyClick(surface, Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), 12135);
    EXPECT_EQ(QApplication::focusWidget(), quit);
    QTest::keyClick(quit, Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), 12135) << "the keys reach the surface only while it has the focus";

    surface->setFocus();
    QTest::keyClick(surface, Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), 14625) << "stops at Max";
    EXPECT_EQ(surface->y(), -975);

    surface->setFocus();
    QTest::keyClick(surface, Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), 14625);
    EXPECT_EQ(QApplication::focusWidget(), surface);

    QTest::keyClick(surface, Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), 14625 - 12135);
    surface->setFocus();
    QTest::keyClick(surface, Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), 0) << "stops at 0";
    EXPECT_EQ(surface->y(), 0);
}

TEST_F(WindowTest, WheelScrollsTheSurfaceAndLeavesTheFocus) {
    QWidget* box = get("Text22");
    box->setFocus();
    const QPointF at(100, 100);
    QWheelEvent down(at, get("picI_Scroll")->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(get("picI_Scroll"), &down);
    EXPECT_EQ(get<QScrollBar>("VScroll1")->value(), QApplication::wheelScrollLines() * 100);
    EXPECT_EQ(QApplication::focusWidget(), box);
}

TEST_F(WindowTest, ASmallerWindowKeepsEveryPanelReachable) {
    window->resize(900, 500);
    QApplication::processEvents();
    const int viewHeight = 500 * 15 - 825;
    auto* bar = get<QScrollBar>("VScroll1");
    EXPECT_EQ(get("picWindow")->geometry(), QRect(0, 16, 880, viewHeight / 15));
    EXPECT_EQ(bar->geometry(), QRect(876, 0, 20, viewHeight / 15));
    EXPECT_EQ(bar->maximum(), 26760 - viewHeight);
    EXPECT_EQ(bar->pageStep(), viewHeight);

    auto* across = get<QScrollBar>("HScroll1");
    EXPECT_TRUE(across->isVisible());
    across->setValue(across->maximum());
    bar->setValue(bar->maximum());
    const QRect frame6 = get("Frame6")->geometry().translated(get("picI_Scroll")->pos());
    EXPECT_LE(frame6.x() + frame6.width(), get("picWindow")->width()) << "the right-hand panels can be reached";
    EXPECT_LE(frame6.y() + frame6.height(), get("picWindow")->height()) << "and the bottom of the surface";

    // Panels on the window move up with its bottom edge.
    QWidget* text8 = get("Text8");
    EXPECT_LE(text8->geometry().bottom(), 500);
    EXPECT_EQ(text8->x(), 520);
    EXPECT_EQ(get("Text17")->y() + get("Text17")->height() - get("picWindow")->height(), (12375 - 12135) / 15)
        << "as far below the viewport's edge as at design";

    // The window never opens larger than the screen it opens on.
    ScrollForm fresh(clock, folder);
    const QSize room = fresh.screen()->availableGeometry().size();
    EXPECT_LE(fresh.width(), room.width());
    EXPECT_LE(fresh.height(), room.height());
    EXPECT_EQ(get<QScrollBar>("VScroll1")->maximum(), 26760 - viewHeight);
}

TEST_F(WindowTest, TypedTextReachesTheBoxesAsUtf8) {
    type("Text2", QString::fromUtf8("café😀"));
    EXPECT_EQ(form().controls.Text2, "café😀");

    QWidget* description = get("Text4");
    type("Text4", "one");
    QTest::keyClick(description, Qt::Key_Return);
    type("Text4", "two");
    EXPECT_EQ(form().controls.Text4, "one\r\ntwo") << "a multi-line box breaks lines as CR LF";

    QTest::keyClick(get("Text5"), Qt::Key_Return);
    type("Text5", "x");
    EXPECT_EQ(form().controls.Text5, "x") << "a single-line box takes no line break";

    QTest::mouseClick(get("Check2"), Qt::LeftButton, {}, QPoint(6, 12));
    EXPECT_TRUE(form().controls.Check2);
}

TEST_F(WindowTest, FirstAppendThenChange) {
    runChains();
    EXPECT_TRUE(shown(Panel::Text15)) << "start-up in an empty folder announces the new homepage";
    type("Text2", "clip7.mp4");
    type("Text4", QString::fromUtf8("café 😀"));
    click("Command1");
    runChains();
    const std::string page = file("homepage.html");
    EXPECT_NE(page.find("clip7.mp4"), std::string::npos);
    EXPECT_NE(page.find("caf\xE9 &#128512;"), std::string::npos) << "typed text reaches the file in the code page";
    EXPECT_TRUE(has("clip7.php"));

    type("Text4", " again");
    click("Command1");
    runChains();
    EXPECT_NE(file("homepage.html").find("caf\xE9 &#128512; again"), std::string::npos);
}

TEST_F(WindowTest, ChainButtonsAreDisabledWhileAChainRuns) {
    runChains();
    type("Text2", "clip7.mp4");
    click("Command1");
    for (const char* name : {"Command1", "Command2", "Command5", "Command6", "Command9", "Command11"}) {
        EXPECT_FALSE(get(name)->isEnabled()) << name;
    }
    for (const char* name : {"Command3", "Command4", "Command7", "Command10", "cmdExit"}) {
        EXPECT_TRUE(get(name)->isEnabled()) << name;
    }
    type("Text7", "other.mp4");
    click("Command2");
    EXPECT_EQ(form().request.FileName, "clip7.mp4") << "a disabled button starts nothing";
    runChains();
    for (const char* name : {"Command1", "Command2", "Command5", "Command6", "Command9", "Command11"}) {
        EXPECT_TRUE(get(name)->isEnabled()) << name;
    }
}

TEST_F(WindowTest, DeleteAnEntryAndReportAMissingOne) {
    appendClip7();
    click("Command3");
    type("Text2", "missing.mp4");
    click("Command5");
    runChains();
    advance(100);
    EXPECT_TRUE(shown(Panel::Text8));
    QTest::mouseClick(get<QPlainTextEdit>("Text8")->viewport(), Qt::LeftButton);
    EXPECT_FALSE(shown(Panel::Text8)) << "the panel closes on a click";
    EXPECT_FALSE(form().isVisible(Panel::Text8));

    type("Text7", "clip7.mp4");
    click("Command6");
    runChains();
    EXPECT_EQ(file("homepage.html").find("clip7.mp4"), std::string::npos);
}

TEST_F(WindowTest, InsertAboveAnEntry) {
    appendClip7();
    type("Text25", "clip7.mp4");
    type("Text20", "clip6.mp4");
    type("Text19", "six");
    click("Command9");
    runChains();
    const std::string page = file("homepage.html");
    ASSERT_NE(page.find("clip6.mp4"), std::string::npos);
    EXPECT_LT(page.find("clip6.mp4"), page.find("clip7.mp4"));
    EXPECT_TRUE(has("clip6.php"));
}

TEST_F(WindowTest, InsertWithoutValidNamesShowsAPanelThatAClickDoesNotClose) {
    runChains();
    type("Text20", "noperiod");
    click("Command9");
    EXPECT_TRUE(shown(Panel::Text28));
    QTest::mouseClick(get<QPlainTextEdit>("Text28")->viewport(), Qt::LeftButton);
    EXPECT_TRUE(shown(Panel::Text28));
    advance(25000);
    EXPECT_FALSE(shown(Panel::Text28));
}

TEST_F(WindowTest, TitleAndMessageUpdate) {
    appendClip7();
    type("Text22", "My Channel");
    type("Text23", "Welcome in");
    click("Command11");
    runChains();
    const std::string page = file("homepage.html");
    EXPECT_NE(page.find("My Channel"), std::string::npos);
    EXPECT_NE(page.find("Welcome in"), std::string::npos);
}

TEST_F(WindowTest, RenamePage) {
    runChains();
    type("Text18", "old.mp4");
    type("Text24", "new.mp4");
    click("Command10");
    const std::string page = file("change_file_name.php");
    EXPECT_NE(page.find("old.mp4"), std::string::npos);
    EXPECT_NE(page.find("new.mp4"), std::string::npos);
}

TEST_F(WindowTest, InvalidNameMessageStaysThreeSeconds) {
    runChains();
    click("Command3");
    QTest::mouseClick(get<QPlainTextEdit>("Text15")->viewport(), Qt::LeftButton);
    type("Text2", "noperiod");
    click("Command1");
    advance(30);
    ASSERT_TRUE(shown(Panel::Text15));
    EXPECT_EQ(get<QPlainTextEdit>("Text15")->toPlainText(), "Please enter a valid file name.");
    advance(2999);
    EXPECT_TRUE(shown(Panel::Text15));
    advance(1);
    EXPECT_FALSE(shown(Panel::Text15));
}

TEST_F(WindowTest, ClearAboveBoxesEmptiesOnlyItsOwnPanel) {
    runChains();
    const auto before = [this] {
        std::string names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            names += entry.path().filename().string() + ":" + std::to_string(entry.file_size()) + " ";
        }
        return names;
    }();
    type("Text2", "a.mp4");
    type("Text4", "b");
    type("Text5", "c");
    get<QCheckBox>("Check1")->setChecked(true);
    type("Text7", "d.mp4");
    type("Text6", "e");
    type("Text3", "f");
    get<QCheckBox>("Check2")->setChecked(true);
    type("Text20", "g.mp4");

    click("Command3");
    EXPECT_EQ(get<QLineEdit>("Text2")->text(), "");
    EXPECT_EQ(get<QPlainTextEdit>("Text4")->toPlainText(), "");
    EXPECT_EQ(get<QLineEdit>("Text5")->text(), "");
    EXPECT_FALSE(get<QCheckBox>("Check1")->isChecked());
    EXPECT_EQ(get<QLineEdit>("Text7")->text(), "d.mp4");
    EXPECT_EQ(get<QPlainTextEdit>("Text6")->toPlainText(), "e");
    EXPECT_EQ(get<QLineEdit>("Text3")->text(), "f");
    EXPECT_TRUE(get<QCheckBox>("Check2")->isChecked());
    EXPECT_EQ(form().controls.Text7, "d.mp4");

    click("Command4");
    EXPECT_EQ(get<QLineEdit>("Text7")->text(), "");
    EXPECT_FALSE(form().controls.Check2);
    EXPECT_EQ(get<QLineEdit>("Text20")->text(), "g.mp4");
    click("Command7");
    EXPECT_EQ(form().controls.Text20, "");

    std::string after;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        after += entry.path().filename().string() + ":" + std::to_string(entry.file_size()) + " ";
    }
    EXPECT_EQ(after, before) << "clearing touches no file";
}

TEST_F(WindowTest, QuitClosesTheWindowAndNoArmedStepRuns) {
    runChains();
    type("Text2", "clip7.mp4");
    click("Command1");
    ASSERT_TRUE(form().chainRunning());
    click("cmdExit");
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(form().scheduler().nextDue().has_value());
    advance(60000);
    EXPECT_FALSE(has("homepage.html"));
    EXPECT_FALSE(has("clip7.php"));
}

TEST_F(WindowTest, ClosingTheWindowAlsoStopsTheSteps) {
    ASSERT_TRUE(form().scheduler().nextDue().has_value());
    window->close();
    EXPECT_TRUE(form().quitRequested());
    EXPECT_FALSE(form().scheduler().nextDue().has_value());
    EXPECT_FALSE(has("AppDocs.txt"));
}

TEST_F(WindowTest, RendersAtTheTopAndTheBottomOfTheSurface) {
    runChains();
    const fs::path out = dir.path() / "shots";
    fs::create_directories(out);
    const auto save = [&](const QImage& image, const char* name) {
        EXPECT_TRUE(image.save(QString::fromStdString((out / name).string())));
        if (const char* keep = std::getenv("CLIPNEST_SCREENSHOT_DIR")) {
            fs::create_directories(keep);
            image.save(QString::fromStdString((fs::path(keep) / name).string()));
        }
    };
    const auto at = [this](const char* name) { return get(name)->mapTo(window.get(), QPoint(0, 0)); };
    const auto designAt = [](int left, int top) { return QPoint(toPixels(left), toPixels(top)); };
    const QColor green(66, 174, 93);

    const QImage top = window->grab().toImage();
    save(top, "window-top.png");
    EXPECT_EQ(top.size(), DesignSize * window->devicePixelRatioF());
    const QPoint viewport = designAt(0, 240);
    EXPECT_EQ(at("cmdExit"), viewport + designAt(14400, 2880));
    EXPECT_EQ(at("Label3"), viewport + designAt(6600, 600));
    EXPECT_EQ(at("Text2"), viewport + designAt(120, 11160) + designAt(2520, 480));
    EXPECT_EQ(top.pixelColor(at("Label3") + QPoint(2, 2)), green);
    EXPECT_TRUE(get("Text15")->isVisible());
    EXPECT_EQ(top.pixelColor(at("Text15") + QPoint(40, 20)), QColor(255, 0, 0)) << "the notice stands in front";

    get<QScrollBar>("VScroll1")->setValue(14625);
    const QImage bottom = window->grab().toImage();
    save(bottom, "window-bottom.png");
    const QPoint surface = viewport + QPoint(0, -975);
    EXPECT_EQ(at("Frame6"), surface + designAt(9240, 16920));
    EXPECT_EQ(at("Command7"), surface + designAt(9240, 16920) + designAt(480, 7080));
    EXPECT_EQ(at("Text18"), surface + designAt(120, 16920) + designAt(2160, 2880));
    EXPECT_EQ(bottom.pixelColor(at("Label40") + QPoint(2, 2)), green);
    EXPECT_EQ(bottom.pixelColor(at("Text20") + QPoint(20, 10)), QColor(224, 224, 224));
    EXPECT_NE(top, bottom);
}

TEST(WindowStartUp, ReportsTimeToAShownWindowAndMemory) {
    const auto begin = std::chrono::steady_clock::now();
    ensureApplication();
    clipnest::testing::TempDir dir;
    SystemClock clock;
    WorkingFolder folder(dir.path());
    ScrollForm window(clock, folder);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.grab();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    std::ifstream status("/proc/self/status");
    std::string line, rss;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS", 0) == 0) {
            rss = line;
        }
    }
    std::printf("window shown and painted in %lld ms; %s\n", static_cast<long long>(ms.count()), rss.c_str());
}

} // namespace
} // namespace clipnest::window
