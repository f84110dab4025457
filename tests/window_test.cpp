#include "platform/file_lock.h"
#include "platform/preview_server.h"
#include "publish/connection_check.h"
#include "publish/manifest.h"
#include "publish/settings.h"
#include "support/support.h"
#include "text/entries.h"
#include "window/connection_window.h"
#include "window/folder_choice.h"
#include "window/layout.h"
#include "window/panel_text.h"
#include "window/publish_dialog.h"
#include "window/scroll_form.h"
#include "window/status_line.h"
#include "window/widgets.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

namespace clipnest::window {
namespace {

namespace fs = std::filesystem;
constexpr auto npos = std::string::npos;
using Names = std::vector<std::string>;

using clipnest::testing::homepageOf;

const QSize DesignSize(toPixels(DesignWidth), toPixels(DesignHeight));
constexpr int PageStep = 12135;
constexpr int MaxScroll = 26760 - PageStep;

QPoint designAt(int left, int top) {
    return {toPixels(left), toPixels(top)};
}

// Calls `answer` once a modal dialog of type T is the active one.
template <class T>
void whenModal(std::function<void(T*)> answer, int triesLeft = 500) {
    QTimer::singleShot(10, [answer, triesLeft] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            answer(dialog);
        } else if (triesLeft > 0) {
            whenModal<T>(answer, triesLeft - 1);
        } else {
            ADD_FAILURE() << "no dialog came";
        }
    });
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
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
    void runChains() { runChains(*window); }
    void runChains(ScrollForm& w) {
        for (int guard = 0; w.form().chainRunning() && guard < 10000; ++guard) {
            clock.now = std::max(clock.now, *w.form().scheduler().nextDue());
            w.tick();
        }
        ASSERT_FALSE(w.form().chainRunning());
    }

    // Types one character at a time, as a keyboard with any layout would deliver it.
    void type(const char* name, const QString& text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype length = text.at(i).isHighSurrogate() ? 2 : 1;
            QTest::sendKeyEvent(QTest::Click, get(name), Qt::Key_unknown, text.mid(i, length), Qt::NoModifier);
            i += length - 1;
        }
    }
    void click(const char* name) { QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton); }
    void clickMessage(Message panel) {
        QTest::mouseClick(get<QPlainTextEdit>(panelName(panel))->viewport(), Qt::LeftButton);
    }
    bool shown(Message panel) { return get(panelName(panel))->isVisible(); }
    QString text(const char* name) {
        auto* line = qobject_cast<QLineEdit*>(get(name));
        return line ? line->text() : get<QPlainTextEdit>(name)->toPlainText();
    }
    QPoint at(const char* name) { return get(name)->mapTo(window.get(), QPoint(0, 0)); }

    std::string file(const char* name) const { return folder.read(name).value_or(""); }
    bool has(const char* name) const { return fs::exists(dir.path() / name); }

    clipnest::testing::TempDir dir;
    clipnest::VirtualClock clock;
    WorkingFolder folder{dir.path()};
    std::unique_ptr<ScrollForm> window;
};

TEST_F(WindowTest, TitleViewportFontsAndWhatIsDrawn) {
    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("Clipnest " CLIPNEST_VERSION " \u2013 ") + QString::fromStdString(dir.path().string()));
    EXPECT_EQ(windowTitleFor(QDir::homePath().toStdString() + "/my-channel/"),
              QStringLiteral("Clipnest " CLIPNEST_VERSION " \u2013 ~/my-channel"));
    // Missing faces fall back to their metric twins.
    EXPECT_EQ(QFontInfo(get("Label3")->font()).family(), "Caladea");
    EXPECT_EQ(QFontInfo(get("Text2")->font()).family(), "Liberation Sans");
    EXPECT_FALSE(get("Text11")->isVisible());
    EXPECT_EQ(get("picWindow")->geometry(), QRect(0, 16, 1218, 809));
    EXPECT_EQ(get("picI_Scroll")->geometry(), QRect(0, 0, 1218, 1784));
    auto* bar = get<QScrollBar>("VScroll1");
    EXPECT_EQ(bar->geometry(), QRect(1218, 0, 20, 809)) << "the bar ends at the window's right edge";
    EXPECT_EQ(bar->maximum(), MaxScroll);
    EXPECT_EQ(bar->pageStep(), PageStep);
    EXPECT_FALSE(get("HScroll1")->isVisible());

    // Drawn as laid out, at the top of the surface and scrolled to its bottom; the pictures are kept when
    // CLIPNEST_SCREENSHOT_DIR names a folder.
    runChains();
    const char* keep = std::getenv("CLIPNEST_SCREENSHOT_DIR");
    const fs::path out = keep ? fs::path(keep) : dir.path() / "shots";
    fs::create_directories(out);
    const auto grab = [&](const char* name) {
        const QImage image = window->grab().toImage();
        EXPECT_TRUE(image.save(QString::fromStdString((out / name).string())));
        return image;
    };
    const QColor green(66, 174, 93);
    const QImage top = grab("window-top.png");
    EXPECT_EQ(top.size(), DesignSize * window->devicePixelRatioF());
    const QPoint viewport = designAt(0, 240);
    EXPECT_EQ(at("cmdExit"), viewport + designAt(14400, 2880));
    EXPECT_EQ(at("Text2"), viewport + designAt(120, 11160) + designAt(3180, 480)) << "inside its frame";
    EXPECT_EQ(top.pixelColor(at("Label3") + QPoint(2, 2)), green);
    EXPECT_TRUE(get("Text15")->isVisible());
    EXPECT_EQ(top.pixelColor(at("Text15") + QPoint(40, 20)), coloursOf(Tone::Note).back)
        << "the notice stands in front";

    bar->setValue(MaxScroll);
    const QImage bottom = grab("window-bottom.png");
    EXPECT_EQ(at("Command7"), viewport + QPoint(0, -975) + designAt(9240, 16920) + designAt(480, 7080));
    EXPECT_EQ(bottom.pixelColor(at("Label40") + QPoint(2, 2)), green);
    EXPECT_EQ(bottom.pixelColor(at("Text20") + QPoint(20, 10)), QColor(224, 224, 224));
}

// Page keys scroll the surface by one viewport and stop at its ends, the wheel scrolls it over a panel too, and the
// focus stays where the user types. A smaller window keeps every panel within reach of its scroll bars.
TEST_F(WindowTest, PageKeysWheelAndASmallerWindow) {
    QWidget* surface = get("picI_Scroll");
    auto* bar = get<QScrollBar>("VScroll1");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), surface) << "activation gives the surface the focus";
    QTest::keyClick(surface, Qt::Key_End);
    // clang-format off
    for (const auto& [key, value] : {std::pair{Qt::Key_PageUp, 0}, {Qt::Key_PageDown, PageStep},
             {Qt::Key_PageDown, MaxScroll}, {Qt::Key_PageDown, MaxScroll}, {Qt::Key_PageUp, MaxScroll - PageStep},
             {Qt::Key_PageUp, 0}}) {
        // clang-format on
        const int before = bar->value();
        surface->setFocus();
        QTest::keyClick(surface, key);
        EXPECT_EQ(bar->value(), value) << "from " << before;
        EXPECT_EQ(surface->y(), -value / 15);
        EXPECT_EQ(QApplication::focusWidget(), value == before ? surface : get("cmdExit")) << "moved only on a change";
    }
    QWidget* box = get("Text22");
    box->setFocus();
    QWheelEvent down(QPointF(100, 100), surface->mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    form().show(Message::PageNotFound);
    window->tick();
    QApplication::sendEvent(get<QPlainTextEdit>("Text11")->viewport(), &down);
    EXPECT_EQ(bar->value(), QApplication::wheelScrollLines() * 300) << "three lines of the surface a notch";
    EXPECT_EQ(get<QPlainTextEdit>("Text11")->verticalScrollBar()->value(), 0);
    EXPECT_EQ(QApplication::focusWidget(), box);

    window->resize(900, 500);
    QApplication::processEvents();
    const int viewHeight = 500 * 15 - 825;
    EXPECT_EQ(get("picWindow")->geometry(), QRect(0, 16, 880, viewHeight / 15));
    EXPECT_EQ(bar->maximum(), 26760 - viewHeight);
    auto* across = get<QScrollBar>("HScroll1");
    across->setValue(across->maximum());
    bar->setValue(bar->maximum());
    const QRect frame6 = get("Frame6")->geometry().translated(surface->pos());
    EXPECT_LT(frame6.right(), get("picWindow")->width()) << "the right-hand panels can be reached";
    EXPECT_LT(frame6.bottom(), get("picWindow")->height()) << "and the bottom of the surface";
    // Panels on the window keep clear of the scroll bars, in sight wherever the surface is scrolled to.
    for (const char* name : {"Text8", "Text11", "Text13", "Text28", "Text29", "txtFileFailure"}) {
        EXPECT_LT(get(name)->geometry().right(), bar->x()) << name;
        EXPECT_LT(get(name)->geometry().bottom(), across->y()) << name;
    }
    ScrollForm fresh(clock, folder);
    EXPECT_LE(fresh.height(), fresh.screen()->availableGeometry().height()) << "never larger than the screen";
}

// Every operation typed and clicked as a user does: the files it writes, the panels, which buttons work while a chain
// runs, the status line saying what was done, and the entries window following every change, outside ones too.
// Another Clipnest holds the channel: a click's chain waits barely on the window's thread (not the 4 s a command
// waits), says so at once in the status line and its panel, and writes nothing; once the other lets go, the same click
// works.
TEST_F(WindowTest, AClickOnABusyChannelSaysSoAtOnce) {
    runChains();
    clickMessage(Message::HomepageWillBeCreated);
    fs::create_directories(dir.path() / ".clipnest");
    bool busy = false;
    std::unique_ptr<FileLock> other = FileLock::tryLock(dir.path() / ".clipnest/channel.lock", busy);
    ASSERT_TRUE(other);
    type("Text2", "clip7.mp4");
    type("Text4", "Seven");
    const auto start = std::chrono::steady_clock::now();
    click("Command1");
    runChains();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(get<QLabel>("lblStatus")->text().toStdString(), "Another Clipnest is changing this channel; try again");
    EXPECT_TRUE(shown(Message::FileFailure));
    EXPECT_FALSE(has("clip7.php"));
    EXPECT_FALSE(has("homepage.html"));

    other.reset();
    clickMessage(Message::FileFailure);
    click("Command1");
    runChains();
    EXPECT_TRUE(has("clip7.php"));
    EXPECT_NE(get<QLabel>("lblStatus")->text().toStdString().find("Added clip7.mp4"), std::string::npos);
}

TEST_F(WindowTest, EveryOperationFromTheKeyboardReachesTheFilesAndIsSaid) {
    runChains();
    const auto status = [this] { return get<QLabel>("lblStatus")->text().toStdString(); };
    const auto entries = [this] {
        std::vector<std::string> names;
        const QAbstractItemModel* model = get<QListView>("lstEntries")->model();
        for (int i = 0; i < model->rowCount(); ++i) {
            names.push_back(model->index(i, 0).data().toString().toStdString());
        }
        return names;
    };
    EXPECT_EQ(status(), "");
    click("cmdEntries");
    EXPECT_TRUE(get("lstEntries")->isVisible());
    EXPECT_EQ(entries(), Names{});
    EXPECT_TRUE(shown(Message::HomepageWillBeCreated)) << "start-up in an empty folder announces the new homepage";
    clickMessage(Message::HomepageWillBeCreated);
    type("Text2", "noperiod");
    click("Command1");
    advance(testing::stepInterval(Step::ShowInvalidName));
    EXPECT_TRUE(text("txtInvalidName").startsWith("Please enter a valid file name: \"noperiod\" has no period"));
    EXPECT_TRUE(shown(Message::InvalidName));

    click("Command3");
    type("Text2", "clip7.mp4");
    type("Text4", QString::fromUtf8("café 😀"));
    click("Command1");
    const auto chainButtonsEnabled = [this](bool enabled) {
        for (const char* name : {"Command1", "Command2", "Command5", "Command6", "Command9", "Command11", "cmdUndo"}) {
            EXPECT_EQ(get(name)->isEnabled(), enabled) << name;
        }
    };
    chainButtonsEnabled(false);
    for (const char* name : {"Command3", "Command4", "Command7", "Command10", "cmdExit"}) {
        EXPECT_TRUE(get(name)->isEnabled()) << name;
    }
    type("Text7", "other.mp4");
    click("Command2");
    runChains();
    chainButtonsEnabled(true);
    EXPECT_NE(file("homepage.html").find("caf&#233; &#128512;"), npos) << "typed text reaches the file as references";
    EXPECT_EQ(status(), "Added clip7.mp4: clip7.php and homepage.html written. No poster for clip7.mp4: clip7.mp4 is "
                        "not in the folder.");
    click("Command3");
    type("Text2", "clip7.mp4");
    EXPECT_EQ(text("Text4"), QString::fromUtf8("café 😀")) << "an entry's name brings its descriptions along";
    get<QPlainTextEdit>("Text4")->clear();
    type("Text4", "Red");
    click("Command1");
    runChains();
    EXPECT_EQ(status(), "Changed clip7.mp4: clip7.php and homepage.html written.");
    EXPECT_EQ(entries(), Names{"clip7.mp4  \u2013  Red"});

    type("Text22", "Garden & Videos");
    type("Text23", QString::fromUtf8("A clip every Sunday ☕"));
    click("Command11");
    runChains();
    EXPECT_NE(file("homepage.html").find("Garden &amp; Videos\n"), npos);
    EXPECT_NE(file("homepage.html").find("A clip every Sunday &#9749;\n"), npos);
    EXPECT_EQ(status(), "Updated the title and message: homepage.html written.");
    // A window opened on this homepage shows its title and message in their boxes.
    ScrollForm again(clock, folder);
    runChains(again);
    EXPECT_EQ(again.findChild<QLineEdit*>("Text22")->text(), "Garden & Videos");
    EXPECT_EQ(again.findChild<QLineEdit*>("Text23")->text(), QString::fromUtf8("A clip every Sunday ☕"));

    // An insert without valid names shows a panel that a click does not close.
    type("Text25", "clip7.mp4");
    type("Text20", "clip6");
    type("Text19", "six");
    click("Command9");
    EXPECT_TRUE(shown(Message::InvalidNames));
    clickMessage(Message::InvalidNames);
    EXPECT_TRUE(shown(Message::InvalidNames));
    advance(testing::stepInterval(Step::HideNotices));
    EXPECT_FALSE(shown(Message::InvalidNames));
    type("Text20", ".mp4");
    click("Command9");
    runChains();
    EXPECT_EQ(status(), "Inserted clip6.mp4 above clip7.mp4: clip6.php, homepage.html and clip7.php written. No poster "
                        "for clip6.mp4: clip6.mp4 is not in the folder.");
    EXPECT_EQ(entries(), (Names{"clip6.mp4  \u2013  six", "clip7.mp4  \u2013  Red"}));

    // Deleting a missing entry reports it; the panel closes on a click.
    click("Command3");
    type("Text2", "missing.mp4");
    click("Command5");
    runChains();
    advance(testing::stepInterval(Step::EntryNotFound));
    EXPECT_TRUE(shown(Message::EntryNotFound));
    clickMessage(Message::EntryNotFound);
    EXPECT_FALSE(form().isVisible(Message::EntryNotFound));
    click("Command4");
    type("Text7", "clip7.mp4");
    click("Command6");
    runChains();
    EXPECT_EQ(status(), "Deleted clip7.mp4 from the homepage; clip7.php is still in the folder.");
    EXPECT_EQ(entries(), Names{"clip6.mp4  \u2013  six"});

    type("Text18", "old.mp4");
    type("Text24", "new.mp4");
    click("Command10");
    EXPECT_NE(file("change_file_name.php").find("$old_name = \"old.mp4\""), npos);
    EXPECT_NE(file("change_file_name.php").find("$new_name = \"new.mp4\""), npos);
    click("cmdUndo");
    EXPECT_TRUE(status().starts_with("Undid rename old.mp4 new.mp4 (")) << status();
    EXPECT_FALSE(shown(Message::Notice)) << "the undo report is in the status line";
    EXPECT_FALSE(has("change_file_name.php"));

    // Another program adds an entry: the list follows without a click.
    clipnest::testing::writeFile(dir.path() / "homepage.html", homepageOf({"a.mp4", "b.mp4"}));
    window->checkOutsideChanges();
    EXPECT_EQ(entries(), (Names{"a.mp4  \u2013  About a.mp4", "b.mp4  \u2013  About b.mp4"}));
    EXPECT_TRUE(shown(Message::Notice));

    // A click on an entry names it in one panel's box and the rename box; nothing is written.
    const std::string before = file("homepage.html");
    auto* list = get<QListView>("lstEntries");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    EXPECT_EQ(text("Text18"), "b.mp4");
    EXPECT_EQ((text("Text2") == "b.mp4") + (text("Text7") == "b.mp4") + (text("Text25") == "b.mp4"), 1);
    EXPECT_EQ(file("homepage.html"), before);
}

// The channel's address from the strip: a value that is none is refused in the dialog, which stays open with the value
// as typed and the reason, and nothing is kept; an address without its closing / is taken with it, and the share tags,
// feed and sitemap are written at once, which the status line says.
TEST_F(WindowTest, TheChannelsAddressIsAskedForCheckedAndKept) {
    runChains();
    type("Text2", "a.mp4");
    type("Text4", "Roses");
    click("Command1");
    runChains();
    QString refusedKept, reason;
    bool stayed = false;
    whenModal<QDialog>([&](QDialog* dialog) {
        auto* box = dialog->findChild<QLineEdit*>("txtSite");
        ASSERT_NE(box, nullptr);
        box->setText("example.net/garden/");
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        stayed = dialog->isVisible();
        refusedKept = box->text();
        reason = dialog->findChild<QLabel*>("lblSiteRefusal")->text();
        EXPECT_FALSE(has(".clipnest/publish.conf")) << "nothing kept while refused";
        box->setText("http://127.0.0.1:18080");
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    click("cmdSite");
    EXPECT_TRUE(stayed) << "a refused address leaves the dialog open";
    EXPECT_EQ(refusedKept, "example.net/garden/") << "and the box as typed";
    EXPECT_EQ(reason, "the channel's address must start with https:// (or http://); 'example.net/garden/' is none");
    EXPECT_NE(
        clipnest::testing::readFile(dir.path() / ".clipnest/publish.conf").find("site = http://127.0.0.1:18080/\n"),
        std::string::npos)
        << "the closing / added";
    EXPECT_NE(file("feed.xml").find("<link>http://127.0.0.1:18080/a.php</link>"), std::string::npos);
    EXPECT_NE(get<QLabel>("lblStatus")->text().indexOf("feed.xml and sitemap.xml written"), -1)
        << get<QLabel>("lblStatus")->text().toStdString();

    // The dialog shows the address kept; a path without its / is completed too, and Cancel keeps what was kept.
    QString shown;
    whenModal<QDialog>([&](QDialog* dialog) {
        auto* box = dialog->findChild<QLineEdit*>("txtSite");
        shown = box->text();
        box->setText("https://example.net/garden");
        dialog->reject();
    });
    click("cmdSite");
    EXPECT_EQ(shown, "http://127.0.0.1:18080/");
    EXPECT_NE(clipnest::testing::readFile(dir.path() / ".clipnest/publish.conf").find("site = http://127.0.0.1:18080/"),
              std::string::npos);
    EXPECT_EQ(completedSite(" https://example.net/garden "), "https://example.net/garden/");
    EXPECT_EQ(completedSite("https://example.net/a?b"), "https://example.net/a?b") << "left for the refusal to name";
}

// The entries window shows the picked entry's poster; Remake makes it again from the frame at the time in its box,
// and the status line says so.
TEST_F(WindowTest, ThePickedEntrysPosterIsShownAndRemadeAtTheTimeAsked) {
    NEEDS(clipnest::testing::onPath("ffmpeg ffprobe"), "ffmpeg");
    runChains();
    int rc = 0;
    clipnest::testing::shell("ffmpeg -nostdin -loglevel error -filter_complex \"color=red:s=320x240:r=25:d=1[a];"
                             "color=blue:s=320x240:r=25:d=2[b];[a][b]concat=n=2:v=1:a=0\" -c:v libx264 -pix_fmt "
                             "yuv420p " +
                                 clipnest::testing::quoted(dir.path() / "clip.mp4"),
                             &rc);
    ASSERT_EQ(rc, 0);
    type("Text2", "clip.mp4");
    click("Command1");
    runChains();
    EXPECT_EQ(get<QLabel>("lblStatus")->text(), "Added clip.mp4: clip.jpg, clip.php and homepage.html written.");
    click("cmdEntries");
    auto* poster = get<QLabel>("lblPoster");
    EXPECT_FALSE(get("cmdRemakePoster")->isEnabled()) << "nothing picked yet";
    auto* list = get<QListView>("lstEntries");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    EXPECT_FALSE(poster->pixmap().isNull()) << "the poster is shown";
    const auto colour = [&] {
        const QImage picture = poster->pixmap().toImage();
        return picture.pixelColor(picture.width() / 2, picture.height() / 2);
    };
    for (const auto& [seconds, red] : {std::pair{2.0, false}, std::pair{0.5, true}}) {
        get<QDoubleSpinBox>("spnPosterAt")->setValue(seconds);
        click("cmdRemakePoster");
        EXPECT_EQ(get<QLabel>("lblStatus")->text().toStdString(), "Posters: clip.jpg written.") << seconds;
        EXPECT_EQ(colour().red() > 200, red) << seconds;
        EXPECT_EQ(colour().blue() > 200, !red) << seconds;
    }
    EXPECT_NE(file("homepage.html").find("poster=\"clip.jpg\""), std::string::npos);
}

// Convert in the entries window runs beside the window: its dialog shows the progress, the window goes on, and the
// entry follows the new name; Cancel leaves the video as it was and nothing of the conversion behind.
TEST_F(WindowTest, ConvertRunsBesideTheWindowAndCancelLeavesTheVideo) {
    NEEDS(clipnest::testing::onPath("ffmpeg ffprobe"), "ffmpeg");
    runChains();
    for (const char* name : {"clip.mov", "slow.mov"}) {
        int rc = 0;
        clipnest::testing::shell("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=10 -t 1 -c:v "
                                 "libx265 -x265-params log-level=error -pix_fmt yuv420p " +
                                     clipnest::testing::quoted(dir.path() / name),
                                 &rc);
        ASSERT_EQ(rc, 0);
        get<QLineEdit>("Text2")->clear();
        type("Text2", name);
        click("Command1");
        runChains();
        EXPECT_NE(file("homepage.html").find(name), std::string::npos)
            << get<QLabel>("lblStatus")->text().toStdString();
    }
    const auto status = [this] { return get<QLabel>("lblStatus")->text().toStdString(); };
    const auto pickAndConvert = [this](int row) {
        click("cmdEntries");
        auto* list = get<QListView>("lstEntries");
        list->doItemsLayout();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
        click("cmdConvert");
    };
    const auto waitForStatus = [&](const std::string& before) {
        int ticks = 0;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&ticks] { ++ticks; });
        beat.start(20);
        for (int i = 0; i < 600 && status() == before; ++i) {
            QTest::qWait(50);
        }
        return ticks;
    };
    std::string before = status();
    pickAndConvert(0);
    EXPECT_TRUE(get<QDialog>("dlgConvert")->isVisible());
    waitForStatus(before);
    EXPECT_EQ(status().rfind("Converted clip.mov to clip.mp4 (", 0), 0u) << status();
    EXPECT_FALSE(get<QDialog>("dlgConvert")->isVisible());
    EXPECT_TRUE(fs::exists(dir.path() / "clip.mp4"));
    EXPECT_NE(file("homepage.html").find("src=\"clip.mp4\""), std::string::npos);
    EXPECT_EQ(get<QListView>("lstEntries")->model()->index(0, 0).data(Qt::UserRole).toString(), "clip.mp4");
    // The picked entry follows its new name: a second Convert finds the MP4, which plays already.
    before = status();
    click("cmdConvert");
    EXPECT_EQ(status().rfind("clip.mp4: it plays in every browser already (h264)", 0), 0u) << status();

    // An ffmpeg that hangs: Cancel stops it.
    const clipnest::testing::TempDir tools;
    clipnest::testing::writeFile(
        tools.path() / "ffmpeg",
        "#!/bin/sh\ncase \"$*\" in *-encoders*) echo ' V....D libx264 x'; echo ' A..... aac x'; "
        "exit 0;; esac\necho out_time_us=300000; echo speed=0.3x; echo progress=continue\n"
        "exec sleep 60\n");
    fs::permissions(tools.path() / "ffmpeg", fs::perms::owner_all);
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", (tools.path().string() + ":" + path).c_str(), 1);
    const std::string slow = file("slow.mov");
    before = status();
    pickAndConvert(1);
    auto* figures = get<QLabel>("lblConvertFigures");
    for (int i = 0; i < 100 && !figures->text().startsWith("30%"); ++i) {
        QTest::qWait(50);
    }
    EXPECT_EQ(figures->text().toStdString(), "30%, 0.3x real time, 0:02 left");
    click("cmdCancelConvert");
    const int ticks = waitForStatus(before);
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_GT(ticks, 0) << "the window's events go on";
    EXPECT_EQ(status(), "Cancelled: slow.mov is as it was.");
    EXPECT_EQ(file("slow.mov"), slow);
    for (const auto& e : fs::directory_iterator(dir.path())) {
        EXPECT_FALSE(e.path().filename().string().starts_with(".clipnest-tmp-")) << e.path();
    }
    EXPECT_FALSE(fs::exists(dir.path() / "slow.mp4"));
}

// Publish runs beside the window: the dialog shows at once and the window goes on drawing while the server is slow
// to answer, a second click starts nothing, and why nothing was uploaded is said whole in the status line, in the
// list of messages and in the dialog, which stays open with the reason, offering the connection's settings, until it
// is closed. The "ssh" here takes a second to find that nothing answers.
TEST_F(WindowTest, PublishRunsBesideTheWindowAndSaysWhyNothingWasUploaded) {
    runChains();
    type("Text2", "a.mp4");
    type("Text4", "A");
    click("Command1");
    runChains();
    clickMessage(Message::HomepageWillBeCreated);
    fs::create_directories(dir.path() / ".clipnest");
    clipnest::testing::writeFile(dir.path() / ".clipnest/publish.conf", "to = sftp://nobody@127.0.0.1:1/x/\n");
    const fs::path ssh = dir.path() / "slow-ssh";
    clipnest::testing::writeFile(ssh, "#!/bin/sh\nsleep 1\necho 'ssh: connect to host 127.0.0.1 port 1: Connection "
                                      "refused' >&2\nexit 255\n");
    fs::permissions(ssh, fs::perms::owner_all);
    ::setenv("CLIPNEST_SSH", ssh.c_str(), 1);
    const QString before = get<QLabel>("lblStatus")->text();
    click("cmdPublish");
    auto* dialog = get<QDialog>("dlgPublish");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible()) << "the dialog shows at once";
    EXPECT_FALSE(get("cmdPublish")->isEnabled()) << "one publish at a time";
    click("cmdPublish");
    EXPECT_EQ(window->findChildren<QWidget*>("dlgPublish").size(), 1);
    const auto answerClose = [](QMessageBox::StandardButton answer) {
        QTimer::singleShot(200, [answer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                box->button(answer)->click();
            }
        });
    };
    answerClose(QMessageBox::No);
    EXPECT_FALSE(window->close()) << "closing asks first, and No keeps the window and its publish";
    int ticks = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&ticks] { ++ticks; });
    beat.start(50);
    for (int i = 0; i < 200 && get<QLabel>("lblStatus")->text() == before; ++i) {
        QTest::qWait(50);
    }
    EXPECT_GT(ticks, 10) << "the window's own events go on while it uploads";
    const QString why =
        "ssh could not connect to 127.0.0.1 (ssh: connect to host 127.0.0.1 port 1: Connection refused)";
    const QString said = get<QLabel>("lblStatus")->text();
    EXPECT_TRUE(said.startsWith("Nothing was uploaded: " + why)) << said.toStdString();
    EXPECT_EQ(said.indexOf("was not uploaded"), -1) << "said once, not for every file";
    EXPECT_EQ(get<QLabel>("lblStatus")->palette().color(QPalette::Window), coloursOf(Tone::Error).back);
    click("cmdMessages");
    auto* messages = get<QListWidget>("lstMessages");
    ASSERT_GE(messages->count(), 1);
    EXPECT_TRUE(messages->item(0)->text().endsWith("  " + said)) << messages->item(0)->text().toStdString();
    EXPECT_FALSE(shown(Message::Notice)) << "not a notice that goes away";
    EXPECT_TRUE(get("cmdPublish")->isEnabled());

    QTest::qWait(300);
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays with the reason";
    EXPECT_NE(get<QPlainTextEdit>("txtPublishReason")->toPlainText().indexOf(why), -1)
        << get<QPlainTextEdit>("txtPublishReason")->toPlainText().toStdString();
    EXPECT_TRUE(get<QPlainTextEdit>("txtPublishReason")->isVisible());
    EXPECT_TRUE(get("cmdPublishConnection")->isVisible()) << "the connection's settings are offered";
    EXPECT_EQ(get<QPushButton>("cmdPublishStop")->text(), "Close");
    click("cmdPublishStop");
    EXPECT_FALSE(dialog->isVisible());

    click("cmdPublish");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(get("txtPublishReason")->isVisible()) << "a new publish starts clean";
    answerClose(QMessageBox::Yes);
    EXPECT_TRUE(window->close()) << "Yes stops the publish and closes";
    ::unsetenv("CLIPNEST_SSH");
}

// A publish that sends everything to a real SFTP server says so in the status line and its dialog goes; the dialog's
// figures of the whole publish reached all the files and bytes.
TEST_F(WindowTest, APublishThatArrivesWholeSaysSoAndItsDialogGoes) {
    NEEDS(clipnest::testing::SshServer::available(), "root and openssh-server for an SFTP server");
    clipnest::testing::SshServer server;
    ASSERT_TRUE(server.start()) << server.log();
    runChains();
    clipnest::testing::writeFile(dir.path() / "a.mp4", std::string(200'000, 'v'));
    type("Text2", "a.mp4");
    type("Text4", "A");
    click("Command1");
    runChains();
    clickMessage(Message::HomepageWillBeCreated);
    fs::create_directories(dir.path() / ".clipnest");
    clipnest::testing::writeFile(dir.path() / ".clipnest/publish.conf", "to = " + server.address() + "\n");
    // ssh as the server's user runs it, with the keys and known hosts of its home.
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", server.home().c_str(), 1);
    ::setenv("CLIPNEST_SSH", clipnest::testing::sshOf(server.home()).c_str(), 1);
    click("cmdPublish");
    for (int i = 0; i < 1000 && window->publishing(); ++i) {
        QTest::qWait(20);
    }
    QTest::qWait(50);
    ::unsetenv("CLIPNEST_SSH");
    ::setenv("HOME", home.c_str(), 1);
    const QString said = get<QLabel>("lblStatus")->text();
    EXPECT_TRUE(said.startsWith("Uploaded ")) << said.toStdString();
    EXPECT_NE(said.indexOf(" changed files to sftp://root@127.0.0.1:"), -1) << said.toStdString();
    EXPECT_EQ(get<QLabel>("lblStatus")->palette().color(QPalette::Window), coloursOf(Tone::Success).back);
    EXPECT_FALSE(get("dlgPublish")->isVisible()) << "nothing to say that the status line does not";
    const QString overall = get<QLabel>("lblPublishOverall")->text();
    EXPECT_TRUE(QRegularExpression(R"(^(\d+) of \1 files, ([0-9.]+ [KM]B) of \2, .*/s, )").match(overall).hasMatch())
        << overall.toStdString();
    EXPECT_EQ(get<QProgressBar>("barPublishOverall")->value(), 1000);
    EXPECT_EQ(clipnest::testing::readFile(server.folder() / "a.mp4").size(), 200'000u);
    EXPECT_TRUE(fs::exists(server.folder() / "homepage.html"));
}

// While another publish of the channel holds its lock, Publish says so and does nothing; the message is a passing one
// (the other publish may end any moment), and a message after it is not cleared by its time running out.
TEST_F(WindowTest, AnotherPublishRunningIsSaidForAWhile) {
    runChains();
    clickMessage(Message::HomepageWillBeCreated);
    fs::create_directories(dir.path() / ".clipnest");
    clipnest::testing::writeFile(dir.path() / ".clipnest/publish.conf", "to = sftp://nobody@127.0.0.1:1/x/\n");
    bool busy = false;
    {
        const std::unique_ptr<FileLock> other = FileLock::tryLock(dir.path() / ".clipnest/publish.lock", busy);
        ASSERT_NE(other, nullptr);
        click("cmdPublish");
        for (int i = 0; i < 100 && window->publishing(); ++i) {
            QTest::qWait(20);
        }
    }
    QTest::qWait(50);
    EXPECT_EQ(get<QLabel>("lblStatus")->text(), "Another publish of this channel is running.");
    EXPECT_FALSE(get("dlgPublish")->isVisible()) << "nothing to keep the dialog open for";

    QWidget owner;
    StatusLine line(&owner);
    auto* text = line.findChild<StatusText*>("lblStatus");
    line.say("Another publish of this channel is running.", Tone::Note, 100);
    QTest::qWait(300);
    EXPECT_EQ(text->text(), "");
    EXPECT_TRUE(line.messages().front().endsWith("Another publish of this channel is running.")) << "kept in the list";
    line.say("Another publish of this channel is running.", Tone::Note, 100);
    line.say("Added b.mp4.", Tone::Success);
    QTest::qWait(300);
    EXPECT_EQ(text->text(), "Added b.mp4.");
}

// The Connection window from the strip shows the kept settings; Save keeps what was edited in publish.conf (and the
// settings it does not show), refuses an address that is none with the reason and the boxes as typed, and saves
// nothing over a settings file it cannot read. Test connection shows the report of the connection's test.
TEST_F(WindowTest, TheConnectionWindowSavesTheAddressAndTestsTheConnection) {
    runChains();
    type("Text2", "a.mp4");
    click("Command1");
    runChains();
    clickMessage(Message::HomepageWillBeCreated);
    fs::create_directories(dir.path() / ".clipnest");
    const fs::path conf = dir.path() / ".clipnest/publish.conf";
    clipnest::testing::writeFile(conf, "to = sftp://nobody@127.0.0.1:1/typo/\nextra = styles3.css\n");
    click("cmdConnection");
    auto* connection = get<QDialog>("wndConnection");
    ASSERT_TRUE(connection->isVisible());
    auto* to = get<QLineEdit>("txtPublishTo");
    EXPECT_EQ(to->text(), "sftp://nobody@127.0.0.1:1/typo/");
    EXPECT_NE(get<QLabel>("lblAddressHint")->text().indexOf("// starts from the server's root"), -1);

    EXPECT_TRUE(get("txtKey")->isEnabled());
    EXPECT_FALSE(get("txtCacert")->isEnabled()) << "FTPS's alone";
    to->setText("ftps://bob@127.0.0.1:1/public_html");
    EXPECT_FALSE(get("txtKnownHosts")->isEnabled()) << "SFTP's alone";
    EXPECT_TRUE(get("txtCacert")->isEnabled());
    EXPECT_FALSE(get("chkInsecure")->isEnabled()) << "only ftp:// may be plain";
    to->setText("sftp://bob@127.0.0.1:1/public_html");
    get<QLineEdit>("txtConnectionSite")->setText("https://example.net/garden");
    get<QSpinBox>("spnConnections")->setValue(3);
    click("cmdSaveConnection");
    const std::string saved = clipnest::testing::readFile(conf);
    EXPECT_NE(saved.find("to = sftp://bob@127.0.0.1:1/public_html\n"), npos) << saved;
    EXPECT_NE(saved.find("extra = styles3.css\n"), npos) << "what the window does not show is kept: " << saved;
    EXPECT_NE(saved.find("connections = 3\n"), npos) << saved;
    EXPECT_NE(saved.find("site = https://example.net/garden/\n"), npos) << saved;
    EXPECT_NE(file("feed.xml").find("<link>https://example.net/garden/a.php</link>"), npos)
        << "a new site writes what is made from it";
    EXPECT_EQ(get<QLabel>("lblConnectionReport")->text(), "Saved in .clipnest/publish.conf.");

    to->setText("http://bob@127.0.0.1/public_html");
    click("cmdSaveConnection");
    EXPECT_EQ(clipnest::testing::readFile(conf), saved) << "a refused address keeps nothing";
    EXPECT_EQ(to->text(), "http://bob@127.0.0.1/public_html") << "and stays as typed";
    EXPECT_EQ(get<QLabel>("lblConnectionReport")->text(),
              "The publish address is refused: the address must start with sftp://, ftps:// or ftp://.");
    to->setText("sftp://bob@127.0.0.1:1/public_html");

    // Test connection tries what the boxes hold, beside the window, and shows the report's text: nothing answers on
    // port 1.
    publish::Settings tried = *publish::loadSettings(dir.path());
    const publish::ConnectionReport expected = publish::checkConnection(tried);
    click("cmdTestConnection");
    EXPECT_FALSE(get("cmdTestConnection")->isEnabled()) << "one test at a time";
    auto* report = get<QLabel>("lblConnectionReport");
    for (int i = 0; i < 200 && !get("cmdTestConnection")->isEnabled(); ++i) {
        QTest::qWait(20);
    }
    EXPECT_TRUE(report->text().startsWith(QString::fromStdString(expected.text))) << report->text().toStdString();
    EXPECT_FALSE(report->text().isEmpty());
    EXPECT_EQ(report->palette().color(QPalette::Window), coloursOf(Tone::Error).back) << "not writable";

    // Opened again while open, it keeps what is being typed; closed and opened, it shows what is kept.
    to->setText("sftp://bob@127.0.0.1:1/typing");
    click("cmdConnection");
    EXPECT_EQ(to->text(), "sftp://bob@127.0.0.1:1/typing");
    click("cmdCloseConnection");

    // A settings file that cannot be read is not saved over: what it holds would be lost.
    clipnest::testing::writeFile(conf, "to = sftp://bob@127.0.0.1:1/x/\nmystery = 1\n");
    click("cmdConnection");
    EXPECT_EQ(to->text(), "") << "nothing shown as kept that is not";
    EXPECT_NE(report->text().indexOf("unknown setting 'mystery'"), -1) << report->text().toStdString();
    to->setText("sftp://bob@127.0.0.1:1/y/");
    click("cmdSaveConnection");
    EXPECT_EQ(clipnest::testing::readFile(conf), "to = sftp://bob@127.0.0.1:1/x/\nmystery = 1\n");
    EXPECT_TRUE(report->text().startsWith("Nothing was saved")) << report->text().toStdString();
}

// Against a real SFTP server whose login folder holds public_html: Choose… lists the login folder's folders, opens
// one with a double-click and puts the one chosen into the address, and Test connection then finds it writable.
TEST_F(WindowTest, TheConnectionWindowChoosesAServerFolderAndFindsItWritable) {
    NEEDS(clipnest::testing::SshServer::available(), "root and openssh-server for an SFTP server");
    clipnest::testing::SshServer server;
    const fs::path login = server.folder().parent_path();
    fs::create_directories(server.folder() / "garden");
    ASSERT_TRUE(server.start("internal-sftp -d " + login.string())) << server.log();
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", server.home().c_str(), 1);
    ::setenv("CLIPNEST_SSH", clipnest::testing::sshOf(server.home()).c_str(), 1);
    const std::string host = "sftp://root@127.0.0.1:" + std::to_string(server.port());

    click("cmdConnection");
    auto* to = get<QLineEdit>("txtPublishTo");
    to->setText(QString::fromStdString(host + "/elsewhere/"));
    click("cmdChooseFolder");
    auto* list = get<QListWidget>("lstRemoteFolders");
    const auto listed = [&] {
        for (int i = 0; i < 500 && !list->isEnabled(); ++i) {
            QTest::qWait(20);
        }
        QStringList names;
        for (int i = 0; i < list->count(); ++i) {
            names << list->item(i)->text();
        }
        return names;
    };
    EXPECT_EQ(listed(), QStringList{"public_html"}) << get<QLabel>("lblRemoteFolder")->text().toStdString();
    Q_EMIT list->itemActivated(list->item(0));
    EXPECT_EQ(listed(), (QStringList{"..", "garden"})) << get<QLabel>("lblRemoteFolder")->text().toStdString();
    get<QPushButton>("cmdUseFolder")->click();
    EXPECT_EQ(to->text().toStdString(), host + "/public_html/");
    EXPECT_FALSE(get("dlgRemoteFolders")->isVisible());

    click("cmdTestConnection");
    for (int i = 0; i < 500 && !get("cmdTestConnection")->isEnabled(); ++i) {
        QTest::qWait(20);
    }
    auto* report = get<QLabel>("lblConnectionReport");
    EXPECT_TRUE(report->text().endsWith("writable")) << report->text().toStdString();
    EXPECT_EQ(report->palette().color(QPalette::Window), coloursOf(Tone::Success).back);
    EXPECT_FALSE(has(".clipnest/publish.conf")) << "a test keeps nothing";
    ::unsetenv("CLIPNEST_SSH");
    ::setenv("HOME", home.c_str(), 1);
}

// Publish without an address opens the Connection window saying what it needs, and publishes nothing; once an address
// is saved there, Publish goes to it. A publish that could not connect offers the window from its dialog.
TEST_F(WindowTest, PublishWithoutAnAddressOrConnectionOpensTheConnectionWindow) {
    runChains();
    type("Text2", "a.mp4");
    click("Command1");
    runChains();
    auto* connection = get<QDialog>("wndConnection");
    // Fetching the comments asks where the server is the same way.
    click("cmdComments");
    click("cmdFetchComments");
    EXPECT_TRUE(connection->isVisible());
    EXPECT_NE(get<QLabel>("lblConnectionWhy")->text().indexOf("Fetching the comments needs the address"), -1);
    EXPECT_EQ(get<QLabel>("lblCommentsSaid")->text(),
              "The comments were not fetched: there is no address to publish to");
    click("cmdCloseConnection");
    get<QWidget>("wndComments")->close();

    click("cmdPublish");
    EXPECT_FALSE(window->publishing());
    EXPECT_TRUE(connection->isVisible());
    EXPECT_TRUE(get("lblConnectionWhy")->isVisible());
    EXPECT_NE(get<QLabel>("lblConnectionWhy")->text().indexOf("Publish needs the address"), -1);
    EXPECT_EQ(get<QLabel>("lblStatus")->text(), "Nothing was published: there is no address to publish to.");
    EXPECT_FALSE(get("dlgPublish")->isVisible());

    get<QLineEdit>("txtPublishTo")->setText("sftp://nobody@127.0.0.1:1/x/");
    click("cmdSaveConnection");
    click("cmdCloseConnection");
    EXPECT_FALSE(connection->isVisible());
    ::setenv("CLIPNEST_SSH", "/bin/false", 1);
    click("cmdPublish");
    EXPECT_TRUE(get("dlgPublish")->isVisible());
    EXPECT_EQ(get("dlgPublish")->windowTitle(), "Publish to sftp://nobody@127.0.0.1:1/x/");
    for (int i = 0; i < 200 && window->publishing(); ++i) {
        QTest::qWait(20);
    }
    QTest::qWait(50);
    ::unsetenv("CLIPNEST_SSH");
    EXPECT_TRUE(get<QLabel>("lblStatus")->text().startsWith("Nothing was uploaded: "))
        << get<QLabel>("lblStatus")->text().toStdString();
    ASSERT_TRUE(get("cmdPublishConnection")->isVisible());
    click("cmdPublishConnection");
    EXPECT_TRUE(connection->isVisible());
    EXPECT_EQ(get<QLabel>("lblConnectionWhy")->text(), get<QLabel>("lblStatus")->text())
        << "the window says why it was opened";
}

// What a publish came to, worded for the status line (one sentence, whole) and the dialog (a line each): a file's own
// problem, a lost connection and what it cut off make a failure that offers the connection's settings; names in the
// code page are shown in UTF-8; a publish that sent everything is no failure, and notes go along.
TEST(PublishOutcome, SaysWhatDidNotArriveAndWhy) {
    publish::Destination to;
    to.target = *publish::parseTarget("sftp://bob@example.net/public_html");
    publish::Report report;
    for (const char* name : {"a.mp4", "caf\xe9.php", "homepage.html"}) {
        report.changed.push_back({name, {}, true, {}, {}});
    }
    report.uploaded = {"a.mp4"};
    report.failed = {{"caf\xe9.php", "the server refused the name"}};
    report.stopped = "the connection to example.net was lost";
    report.cutOff = {"homepage.html"};
    PublishOutcome said = outcomeOf(to, report);
    EXPECT_EQ(said.status, QString::fromUtf8("Uploaded 1 of 3 changed files to sftp://bob@example.net/public_html/: "
                                             "café.php was not uploaded: the server refused the name; the connection "
                                             "to example.net was lost; 1 file was not uploaded; the next publish "
                                             "uploads it."));
    EXPECT_EQ(said.reason, QString::fromUtf8("Uploaded 1 of 3 changed files to sftp://bob@example.net/public_html/:\n"
                                             "café.php was not uploaded: the server refused the name\n"
                                             "the connection to example.net was lost\n"
                                             "1 file was not uploaded; the next publish uploads it"));
    EXPECT_TRUE(said.failed);
    EXPECT_TRUE(said.couldNotConnect);

    // Less than planned without a word from the connection: still a failure, but the connection is not blamed.
    report.failed.clear();
    report.stopped.clear();
    report.cutOff.clear();
    report.held = {{"homepage.html", "caf\xe9.php did not arrive"}};
    said = outcomeOf(to, report);
    EXPECT_TRUE(said.failed);
    EXPECT_FALSE(said.couldNotConnect);
    EXPECT_TRUE(said.status.endsWith(QString::fromUtf8(": homepage.html was held back: café.php did not arrive.")))
        << said.status.toStdString();

    // Everything there (sent or found): no failure; a note goes along.
    report.held.clear();
    report.found = {"caf\xe9.php", "homepage.html"};
    report.notes = {"b.mp4 is named on the homepage but not in the folder"};
    said = outcomeOf(to, report);
    EXPECT_FALSE(said.failed);
    EXPECT_EQ(said.status,
              "Uploaded 1 of 3 changed files (2 more were there already) to "
              "sftp://bob@example.net/public_html/: b.mp4 is named on the homepage but not in the folder.");
    report.cancelled = true;
    EXPECT_TRUE(outcomeOf(to, report).failed) << "a stopped publish is no success";
}

// The whole publish's figures, as the dialog words them, and a folder chosen on the server put into the address.
TEST(PublishFigures, FilesBytesRateAndTimeLeftAndTheChosenFolder) {
    EXPECT_EQ(overallText({3, 40, 3'400'000, 120'000'000, 1'200'000, 100}),
              "3 of 40 files, 3.4 MB of 120.0 MB, 1.2 MB/s, 1 min 40 s left");
    EXPECT_EQ(overallText({0, 1, 0, 999, 0, -1}),
              "0 of 1 file, 0 bytes of 999 bytes, 0 bytes/s, time left not known yet");
    EXPECT_EQ(overallText({7, 9, 1'000, 2'500'000'000, 500, 7'260}),
              "7 of 9 files, 1.0 KB of 2.5 GB, 500 bytes/s, 2 h 1 min left");
    EXPECT_EQ(overallText({1, 2, 1, 2, 1, 59}), "1 of 2 files, 1 byte of 2 bytes, 1 byte/s, 59 s left");

    EXPECT_EQ(withFolder("sftp://bob@example.net:2222/old/place/", "public_html/garden"),
              "sftp://bob@example.net:2222/public_html/garden/");
    EXPECT_EQ(withFolder("ftps://bob@example.net", "www"), "ftps://bob@example.net/www/");
    EXPECT_EQ(withFolder("sftp://bob@example.net/old", ""), "sftp://bob@example.net/") << "the login folder";
}

// A title or message comes from its box or from the file, never from an earlier request: neither an undone one nor
// one the host has since edited by hand is written again by an update that leaves its box empty.
TEST_F(WindowTest, TitleAndMessageComeOnlyFromTheBoxesOrTheFile) {
    runChains();
    const auto update = [this](const QString& title, const QString& message) {
        get<QLineEdit>("Text22")->clear();
        get<QLineEdit>("Text23")->clear();
        type("Text22", title);
        type("Text23", message);
        click("Command11");
        runChains();
    };
    const auto shows = [this](const std::string& title, const std::string& message) {
        const std::string home = file("homepage.html");
        return contains(home, std::string(markers::Title) + "\n" + title + "\n") &&
               contains(home, std::string(markers::Message) + "\n" + message + "\n");
    };
    update("T0", "M0");
    update("A", "M");
    click("cmdUndo");
    EXPECT_TRUE(shows("T0", "M0"));
    update("B", "");
    EXPECT_TRUE(shows("B", "M0")) << "the undone message stays undone";

    clipnest::testing::writeFile(dir.path() / "homepage.html",
                                 clipnest::testing::with(file("homepage.html"), "\nM0\n", "\nHAND\n"));
    window->checkOutsideChanges();
    EXPECT_NE(text("txtNotice").indexOf("homepage.html was changed on disk"), -1);
    update("C", "");
    EXPECT_TRUE(shows("C", "HAND")) << "the host's own message survives";

    // In a folder without a homepage, an undone title is not in the homepage the next entry makes.
    clipnest::testing::TempDir other;
    WorkingFolder otherFolder(other.path());
    window = std::make_unique<ScrollForm>(clock, otherFolder);
    runChains();
    update("Undone", "");
    click("cmdUndo");
    EXPECT_FALSE(fs::exists(other.path() / "homepage.html"));
    type("Text2", "a.mp4");
    click("Command1");
    runChains();
    EXPECT_FALSE(contains(otherFolder.read("homepage.html").value_or(""), "Undone"));
    window.reset();
}

// A picked entry brings its own descriptions into the boxes, so Create/Change changes what is shown; after an undo,
// every box that mirrors the files shows them again.
TEST_F(WindowTest, PickingAnEntryAndUndoShowWhatTheFilesHold) {
    runChains();
    const auto create = [this](const char* name, const char* homepage, const char* page) {
        click("Command3");
        type("Text2", name);
        type("Text4", homepage);
        type("Text5", page);
        click("Command1");
        runChains();
    };
    create("roses.mp4", "Pruning roses", "How and when to prune roses.");
    create("tulips.mp4", "Planting tulips in autumn", "Bulbs go in before the frost.");
    QString longPage = "Start of the story.";
    QString longHomepage = "First line";
    for (int i = 0; i < 30; ++i) {
        longPage += " More about the lilies, the soil, the water and the light.";
        longHomepage += "\nAnother line";
    }
    click("Command3");
    type("Text2", "lilies.mp4");
    get<QPlainTextEdit>("Text4")->setPlainText(longHomepage);
    get<QPlainTextEdit>("Text5")->setPlainText(longPage);
    click("Command1");
    runChains();
    const std::string roses = file("roses.php");
    click("cmdEntries");
    EXPECT_TRUE(get("lblEntriesHint")->isVisible());
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(get("wndEntries")->frameGeometry().topLeft())) << "the list opens on the screen";
    auto* list = get<QListView>("lstEntries");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    EXPECT_EQ(text("Text2"), "roses.mp4");
    EXPECT_EQ(text("Text4"), "Pruning roses");
    EXPECT_EQ(text("Text5"), "How and when to prune roses.");
    click("Command1");
    runChains();
    EXPECT_TRUE(contains(file("homepage.html"), "<div class=\"desc\">Pruning roses</div>"));
    EXPECT_TRUE(contains(file("homepage.html"), "<div class=\"desc\">Planting tulips in autumn</div>"));
    EXPECT_TRUE(contains(file("roses.php"), "How and when to prune roses."));
    // A long description shows from its start, in a line box and in a box of many lines alike.
    click("Command3");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(2, 0)).center());
    EXPECT_EQ(text("Text5"), longPage);
    EXPECT_EQ(get<QPlainTextEdit>("Text5")->textCursor().position(), 0)
        << "the start of the page's description is in sight";
    EXPECT_EQ(get<QPlainTextEdit>("Text5")->horizontalScrollBar()->maximum(), 0) << "it wraps: no sideways scroll";
    EXPECT_TRUE(text("Text4").startsWith("First line"));
    ASSERT_GT(get<QPlainTextEdit>("Text4")->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(get<QPlainTextEdit>("Text4")->verticalScrollBar()->value(), 0);
    EXPECT_EQ(get<QPlainTextEdit>("Text4")->textCursor().position(), 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());

    get<QPlainTextEdit>("Text4")->clear();
    type("Text4", "Roses, pruned");
    click("Command1");
    runChains();
    type("Text22", "Garden");
    click("Command11");
    runChains();
    click("cmdUndo");
    click("cmdUndo");
    EXPECT_EQ(text("Text22"), "") << "the undone title is gone from its box";
    EXPECT_EQ(text("Text4"), "Pruning roses") << "the undone description is gone from its box";
    EXPECT_FALSE(shown(Message::Notice));
    EXPECT_TRUE(get<QLabel>("lblStatus")->text().startsWith("Undid entry roses.mp4"));
}

// The homepage's entries as the file has them, "name: description" one a line.
std::string entriesOf(const std::string& homepage) {
    std::string list;
    for (const LiveEntry& entry : liveEntries(homepage)) {
        list += entry.fileName + ": " + entry.description + "\n";
    }
    return list;
}

// Videos chosen in the file dialog, or dropped onto the window, become entries described by their names, all of them
// one undo step; a file from outside the channel folder is refused by name and nothing is written.
TEST_F(WindowTest, ChosenOrDroppedVideosBecomeEntriesAsOneUndoStep) {
    runChains();
    for (const char* name : {"rose_pruning-2026.mp4", "tulips.mp4", "lilies.webm"}) {
        clipnest::testing::writeFile(dir.path() / name, "not really a video");
    }
    const auto added = "lilies.webm: Lilies\nrose_pruning-2026.mp4: Rose pruning 2026\ntulips.mp4: Tulips\n";
    const auto sorted = [](const std::string& list) {
        std::vector<std::string> lines;
        std::istringstream in(list);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line + "\n");
        }
        std::sort(lines.begin(), lines.end());
        std::string all;
        for (const std::string& line : lines) {
            all += line;
        }
        return all;
    };
    whenModal<QFileDialog>([this](QFileDialog* dialog) {
        EXPECT_EQ(fs::canonical(dialog->directory().absolutePath().toStdString()), fs::canonical(dir.path()))
            << "the dialog opens on the channel folder";
        dialog->selectFile("\"rose_pruning-2026.mp4\" \"tulips.mp4\" \"lilies.webm\"");
        static_cast<QDialog*>(dialog)->accept();
    });
    click("cmdAddVideos");
    EXPECT_EQ(sorted(entriesOf(file("homepage.html"))), added);
    EXPECT_TRUE(get<QLabel>("lblStatus")->text().startsWith("Added 3 videos: "))
        << get<QLabel>("lblStatus")->text().toStdString();
    EXPECT_TRUE(contains(file("tulips.php"), "Tulips"));
    click("cmdUndo");
    EXPECT_EQ(entriesOf(file("homepage.html")), "") << "one undo takes all three back";
    EXPECT_FALSE(has("tulips.php"));

    QMimeData mime;
    QList<QUrl> urls;
    for (const char* name : {"rose_pruning-2026.mp4", "tulips.mp4", "lilies.webm"}) {
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString((dir.path() / name).string())));
    }
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted()) << "files may be dropped";
    QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(entriesOf(file("homepage.html")), "rose_pruning-2026.mp4: Rose pruning 2026\ntulips.mp4: Tulips\n"
                                                "lilies.webm: Lilies\n")
        << "in the order dropped";
    auto* list = get<QListView>("lstEntries");
    EXPECT_EQ(list->model()->rowCount(), 3) << "the Entries window lists them";
    click("cmdUndo");
    EXPECT_EQ(entriesOf(file("homepage.html")), "");

    const clipnest::testing::TempDir elsewhere;
    clipnest::testing::writeFile(elsewhere.path() / "away.mp4", "elsewhere");
    const std::string before = file("homepage.html");
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        dialog->selectFile(QString::fromStdString((elsewhere.path() / "away.mp4").string()));
        static_cast<QDialog*>(dialog)->accept();
    });
    click("cmdAddVideos");
    EXPECT_EQ(get<QLabel>("lblStatus")->text().toStdString(), "Nothing was added. Skipped " +
                                                                  (elsewhere.path() / "away.mp4").string() +
                                                                  ": it is not in the channel folder.");
    EXPECT_EQ(file("homepage.html"), before);
}

// Add all new videos takes the folder's videos that no entry names, in name order, leaves the named one as it was,
// and is one undo step; while it makes a poster the status line says so, and then what was done.
TEST_F(WindowTest, AddAllNewVideosSkipsTheNamedOnesAndSaysWhatItIsDoing) {
    runChains();
    for (const char* name : {"b.mp4", "a.mp4", "c.webm", "notes.txt"}) {
        clipnest::testing::writeFile(dir.path() / name, "not really a video");
    }
    std::vector<QString> busy;
    const auto listening = form().onBusy;
    ASSERT_TRUE(listening);
    form().onBusy = [&, listening](const std::string& doing) {
        listening(doing);
        busy.push_back(get<QLabel>("lblStatus")->text());
    };
    type("Text2", "b.mp4");
    type("Text4", "My own words");
    click("Command1");
    runChains();
    EXPECT_EQ(busy, std::vector<QString>{"Making the poster for b.mp4\u2026"}) << "said while it works";
    EXPECT_TRUE(get<QLabel>("lblStatus")->text().startsWith("Added b.mp4")) << "and the result after";
    const QStringList kept = get<StatusLine>("stsStatus")->messages();
    EXPECT_FALSE(std::any_of(kept.begin(), kept.end(), [](const QString& m) { return m.contains("Making"); }))
        << "what it was doing is not kept among the messages";
    busy.clear();

    click("cmdAddNewVideos");
    EXPECT_EQ(entriesOf(file("homepage.html")), "b.mp4: My own words\na.mp4: A\nc.webm: C\n");
    EXPECT_EQ(busy, std::vector<QString>{"Making the posters for 2 videos\u2026"});
    EXPECT_EQ(get<QLabel>("lblStatus")->text(), "Added 2 videos: a.mp4 and c.webm.");
    click("cmdUndo");
    EXPECT_EQ(entriesOf(file("homepage.html")), "b.mp4: My own words\n") << "one undo step";
    click("cmdAddNewVideos");
    click("cmdAddNewVideos");
    EXPECT_EQ(get<QLabel>("lblStatus")->text(), "Nothing was changed: every video in the folder has an entry.");
}

// Move up and Move down in the Entries window move the picked entry's block as it stands, the host's own lines in
// it, one undo step each; the entry stays picked.
TEST_F(WindowTest, MovingAnEntryKeepsItsBlockByteForByte) {
    runChains();
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) {
        clipnest::testing::writeFile(dir.path() / name, "not really a video");
    }
    click("cmdAddNewVideos");
    std::string page = file("homepage.html");
    const std::string desc = "<div class=\"desc\">B</div>";
    ASSERT_NE(page.find(desc), npos) << page;
    page.insert(page.find(desc) + desc.size(), "\n<p class=\"mine\">Planted  in\tMay</p>");
    clipnest::testing::writeFile(dir.path() / "homepage.html", page);
    const std::string handMade = file("homepage.html");
    const std::size_t from = handMade.find("<source src=\"b.mp4\"");
    const std::string bOwn = handMade.substr(from, handMade.find("</p>") + 4 - from);
    window->checkOutsideChanges();
    const auto order = [this] { return entriesOf(file("homepage.html")); };

    click("cmdEntries");
    auto* list = get<QListView>("lstEntries");
    ASSERT_EQ(list->model()->rowCount(), 3);
    EXPECT_FALSE(get<QPushButton>("cmdMoveUp")->isEnabled()) << "nothing picked yet";
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    click("cmdMoveUp");
    EXPECT_EQ(order(), "b.mp4: B\na.mp4: A\nc.mp4: C\n");
    EXPECT_NE(file("homepage.html").find(bOwn), npos) << "the host's line moved with its entry";
    EXPECT_EQ(list->currentIndex().row(), 0) << "the moved entry stays picked";
    click("cmdMoveUp");
    EXPECT_EQ(order(), "b.mp4: B\na.mp4: A\nc.mp4: C\n") << "the first goes no higher";
    click("cmdMoveDown");
    click("cmdMoveDown");
    EXPECT_EQ(order(), "a.mp4: A\nc.mp4: C\nb.mp4: B\n");
    EXPECT_NE(file("homepage.html").find(bOwn), npos);
    EXPECT_LT(file("homepage.html").rfind("<source src=\"b.mp4\""), file("homepage.html").find("p4yFileName"))
        << "the sample entry stays behind the last entry";
    EXPECT_TRUE(get<QLabel>("lblStatus")->text().startsWith("Moved b.mp4 to the end"))
        << get<QLabel>("lblStatus")->text().toStdString();
    click("cmdUndo");
    EXPECT_EQ(order(), "a.mp4: A\nb.mp4: B\nc.mp4: C\n");
    click("cmdUndo");
    EXPECT_EQ(order(), "b.mp4: B\na.mp4: A\nc.mp4: C\n") << "one undo step a move";
    click("cmdUndo");
    EXPECT_EQ(file("homepage.html"), handMade) << "the host's page back byte for byte";
}

// A notice and a failure shown together stand above the viewport, which makes room for them: wherever the surface is
// scrolled to, they cover no box and not each other; once they are closed the viewport takes its room back.
TEST_F(WindowTest, NoticesCoverNoBoxAndNotEachOther) {
    runChains();
    const QRect viewport = get("picWindow")->geometry();
    form().notice("Something worth knowing.");
    form().fileFailure("Clipnest could not write a.php.");
    window->showState();
    auto* notice = get("txtNotice");
    auto* failure = get("txtFileFailure");
    ASSERT_TRUE(notice->isVisible() && failure->isVisible());
    const auto inWindow = [this](const QWidget* w) { return QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size()); };
    EXPECT_FALSE(inWindow(notice).intersects(inWindow(failure)));
    auto* bar = get<QScrollBar>("VScroll1");
    int boxes = 0;
    for (const int value : {0, bar->maximum() / 3, 2 * bar->maximum() / 3, bar->maximum()}) {
        bar->setValue(value);
        const QRect shownPart = inWindow(get("picWindow"));
        for (QWidget* box : get("picI_Scroll")->findChildren<QWidget*>()) {
            if (!box->isVisible() || (!qobject_cast<QLineEdit*>(box) && !qobject_cast<QPlainTextEdit*>(box))) {
                continue;
            }
            const QRect seen = inWindow(box).intersected(shownPart);
            if (seen.isEmpty()) {
                continue;
            }
            ++boxes;
            EXPECT_FALSE(seen.intersects(inWindow(notice))) << box->objectName().toStdString() << " at " << value;
            EXPECT_FALSE(seen.intersects(inWindow(failure))) << box->objectName().toStdString() << " at " << value;
        }
    }
    EXPECT_GT(boxes, 10) << "boxes were in sight";
    clickMessage(Message::Notice);
    clickMessage(Message::FileFailure);
    EXPECT_EQ(get("picWindow")->geometry(), viewport);
}

// A click in the Entries window fills the panel being worked in, and the rename box; what is typed in the other
// panels stays.
TEST_F(WindowTest, AClickOnAnEntryFillsOnePanelAndTheRenameBox) {
    runChains();
    for (const char* name : {"roses.mp4", "tulips.mp4"}) {
        clipnest::testing::writeFile(dir.path() / name, "not really a video");
    }
    click("cmdAddNewVideos");
    type("Text7", "typed.mp4");
    type("Text6", "Typed in the second panel");
    type("Text19", "Typed in the insert panel");
    click("cmdEntries");
    auto* list = get<QListView>("lstEntries");
    const auto pick = [&](int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
    };
    get("Text4")->setFocus();
    pick(0);
    EXPECT_EQ(text("Text2"), "roses.mp4");
    EXPECT_EQ(text("Text4"), "Roses");
    EXPECT_EQ(text("Text18"), "roses.mp4") << "the rename box";
    EXPECT_EQ(text("Text7"), "typed.mp4") << "the second panel keeps what was typed";
    EXPECT_EQ(text("Text6"), "Typed in the second panel");
    EXPECT_EQ(text("Text25"), "");
    EXPECT_TRUE(get<QLabel>("lblEntriesHint")->text().contains("first"))
        << get<QLabel>("lblEntriesHint")->text().toStdString();

    get("Text3")->setFocus();
    pick(1);
    EXPECT_EQ(text("Text7"), "tulips.mp4");
    EXPECT_EQ(text("Text6"), "Tulips");
    EXPECT_EQ(text("Text2"), "roses.mp4") << "the first panel is left as it was";
    EXPECT_EQ(text("Text18"), "tulips.mp4");
    EXPECT_TRUE(get<QLabel>("lblEntriesHint")->text().contains("second"));

    get("Text20")->setFocus();
    pick(0);
    EXPECT_EQ(text("Text25"), "roses.mp4") << "the entry the new one goes above";
    EXPECT_EQ(text("Text20"), "");
    EXPECT_EQ(text("Text19"), "Typed in the insert panel");
    EXPECT_EQ(text("Text7"), "tulips.mp4");
    EXPECT_EQ(text("Text18"), "roses.mp4");
}

// The Comments window lists what was fetched, newest first under each video, and its buttons hide a comment and
// close a video's comments in the file the pages follow; the comment files are not touched.
TEST_F(WindowTest, TheCommentsWindowHidesAndClosesFromTheFetchedComments) {
    runChains();
    click("Command3");
    type("Text2", "roses.mp4");
    click("Command1");
    runChains();
    fs::create_directories(dir.path() / ".clipnest/comments");
    const std::string older = "Older\n2026-12-01 08:00:00\r\n\n", newer = "Newer\n2026-12-02 08:00:00\r\n\n";
    clipnest::testing::writeFile(dir.path() / ".clipnest/comments/roses_comments.txt", older + newer);
    click("cmdComments");
    auto* tree = get<QTreeWidget>("treComments");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* roses = tree->topLevelItem(0);
    EXPECT_EQ(roses->text(0), "roses.mp4");
    EXPECT_EQ(roses->text(1), "2 comments");
    ASSERT_EQ(roses->childCount(), 2);
    EXPECT_EQ(roses->child(0)->text(1), "Newer") << "newest first";
    EXPECT_EQ(roses->child(1)->text(1), "Older");

    tree->setCurrentItem(roses->child(1));
    EXPECT_EQ(get<QPushButton>("cmdHideComment")->text(), "Hide");
    click("cmdHideComment");
    EXPECT_EQ(file("comment_moderation.txt"), "hide " + publish::sha256Hex(older) + "\n");
    EXPECT_EQ(tree->topLevelItem(0)->child(1)->text(1), "[hidden] Older");
    EXPECT_EQ(get<QPushButton>("cmdHideComment")->text(), "Show") << "the same comment stays picked";
    click("cmdCloseThread");
    EXPECT_EQ(file("comment_moderation.txt"), "hide " + publish::sha256Hex(older) + "\nclose roses_comments.txt\n");
    EXPECT_EQ(tree->topLevelItem(0)->text(1), "2 comments, closed");
    click("cmdHideComment");
    click("cmdCloseThread");
    EXPECT_FALSE(has("comment_moderation.txt"));
    EXPECT_FALSE(has("roses_comments.txt"));

    // The open window follows every operation that changes the entries.
    type("Text18", "roses.mp4");
    type("Text24", "lilies.mp4");
    click("Command10");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "lilies.mp4");
    click("Command3");
    type("Text2", "orchids.mp4");
    click("Command1");
    runChains();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "orchids.mp4");
    click("Command5");
    runChains();
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    click("cmdUndo");
    EXPECT_EQ(tree->topLevelItemCount(), 2);

    // A name beyond ASCII is shown as typed and closed under the name the server's page reads.
    clipnest::testing::writeFile(dir.path() / ".clipnest/comments/caf\xC3\xA9_comments.txt", older);
    clipnest::testing::writeFile(dir.path() / "caf\xC3\xA9.mp4", "video");
    click("Command3");
    type("Text2", "caf\xC3\xA9.mp4");
    click("Command1");
    runChains();
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    QTreeWidgetItem* cafe = tree->topLevelItem(2);
    EXPECT_EQ(cafe->text(0), QString::fromUtf8("caf\xC3\xA9.mp4"));
    EXPECT_EQ(cafe->text(1), "1 comment");
    tree->setCurrentItem(cafe);
    click("cmdCloseThread");
    EXPECT_EQ(file("comment_moderation.txt"), "close caf\xC3\xA9_comments.txt\n");
}

// The comments the last fetch saw first are counted on the Comments button, from the window's start on, and shown in
// bold marked new, each with its visitor's name; a held one is approved from the window, and the thread's button says
// it acts on the thread. A reply needs the channel's address.
TEST_F(WindowTest, NewCommentsAreCountedOnTheButtonAndHeldOnesApproved) {
    runChains();
    click("Command3");
    type("Text2", "roses.mp4");
    click("Command1");
    runChains();
    const std::string seen = "Seen\n2026-12-01 08:00:00\r\nn=0123456789abcdef\n",
                      fresh = "Fresh\n2026-12-02 08:00:00\r\nn=0123456789abcdef a=Ann%20Lee\n",
                      held = "Held\n2026-12-03 08:00:00\r\nn=0123456789abcdef h=1\n";
    fs::create_directories(dir.path() / ".clipnest/comments");
    clipnest::testing::writeFile(dir.path() / ".clipnest/comments/roses_comments.txt", seen + fresh + held);
    clipnest::testing::writeFile(dir.path() / ".clipnest/comments/new",
                                 publish::sha256Hex(fresh) + "\n" + publish::sha256Hex(held) + "\n");
    ScrollForm started(clock, folder);
    EXPECT_EQ(started.findChild<QPushButton*>("cmdComments")->text(), "Comments (2 new)") << "from the start";

    click("cmdComments");
    EXPECT_EQ(get<QPushButton>("cmdComments")->text(), "Comments (2 new)");
    auto* tree = get<QTreeWidget>("treComments");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* roses = tree->topLevelItem(0);
    EXPECT_EQ(roses->text(1), "3 comments, 2 new");
    ASSERT_EQ(roses->childCount(), 3);
    EXPECT_EQ(roses->child(0)->text(1), "[new] [held] Held");
    EXPECT_EQ(roses->child(1)->text(1), "[new] Fresh");
    EXPECT_EQ(roses->child(1)->text(2), "Ann Lee");
    EXPECT_EQ(roses->child(2)->text(1), "Seen");
    EXPECT_EQ(roses->child(2)->text(2), "Anonymous");
    EXPECT_TRUE(roses->child(1)->font(1).bold());
    EXPECT_FALSE(roses->child(2)->font(1).bold());

    tree->setCurrentItem(roses->child(1));
    EXPECT_FALSE(get<QPushButton>("cmdApproveComment")->isEnabled()) << "not held";
    EXPECT_EQ(get<QPushButton>("cmdCloseThread")->text(), "Close thread");
    tree->setCurrentItem(roses->child(0));
    ASSERT_TRUE(get<QPushButton>("cmdApproveComment")->isEnabled());
    click("cmdApproveComment");
    EXPECT_EQ(file("comment_moderation.txt"), "approve " + publish::sha256Hex(held) + "\n");
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(1), "[new] Held");
    click("cmdCloseThread");
    EXPECT_EQ(get<QPushButton>("cmdCloseThread")->text(), "Open thread");

    type("txtReply", "Thanks");
    click("cmdReply");
    EXPECT_EQ(get<QLabel>("lblCommentsSaid")->text(),
              "Replies go to the live page: set the channel's address (site) first.");

    // A fetch that saw nothing new leaves the button as it was before.
    clipnest::testing::writeFile(dir.path() / ".clipnest/comments/new", "");
    click("cmdComments");
    EXPECT_EQ(get<QPushButton>("cmdComments")->text(), "Comments");
}

// At the window's start, with a publish address kept, the comments are fetched in the background: the status line
// says how many are new and where, and the Comments button counts them; a server that does not answer only says so.
TEST_F(WindowTest, TheCommentsAreFetchedInTheBackgroundAtTheStart) {
    NEEDS(clipnest::testing::onPath("python3"), "python3 for a fake FTP server");
    runChains();
    click("Command3");
    type("Text2", "roses.mp4");
    click("Command1");
    runChains();
    const int port = clipnest::testing::freePort();
    const clipnest::testing::Process server({"python3", (fs::path(CLIPNEST_TESTS_DIR) / "support/fake_ftp.py").string(),
                                             std::to_string(port), "size550",
                                             "Hi\n2026-12-01 08:00:00\r\nn=0123456789abcdef\n"},
                                            dir.path() / "ftp.log");
    ASSERT_TRUE(clipnest::testing::answersSoon(port));
    const auto startWith = [&](int to) {
        clipnest::testing::writeFile(dir.path() / ".clipnest/publish.conf",
                                     "to = ftp://127.0.0.1:" + std::to_string(to) + "/\ninsecure = yes\n");
        auto started = std::make_unique<ScrollForm>(clock, folder);
        auto* line = dynamic_cast<StatusLine*>(started->findChild<StatusText*>("lblStatus")->parentWidget());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !line->messages().isEmpty(); }, 20000));
        return std::pair{std::move(started), line->messages().value(0)};
    };
    auto [started, said] = startWith(port);
    EXPECT_TRUE(said.contains("1 new comment (roses.mp4 1).")) << said.toStdString();
    EXPECT_EQ(started->findChild<QPushButton*>("cmdComments")->text(), "Comments (1 new)");

    auto [again, failed] = startWith(clipnest::testing::freePort());
    EXPECT_TRUE(failed.contains("The comments were not all fetched: Nothing was fetched: ")) << failed.toStdString();
    EXPECT_EQ(again->findChild<QPushButton*>("cmdComments")->text(), "Comments (1 new)") << "as the last fetch left it";
    EXPECT_EQ(again->findChild<QWidget*>("wndComments")->isVisible(), false) << "no window, no dialog";
}

// What a visitor wrote and what a message names reach the window escaped and as plain text: no control character in
// a row, no markup read in a label or a tip.
TEST_F(WindowTest, CommentsAndMessagesAreShownEscapedAndNeverAsMarkup) {
    runChains();
    click("Command3");
    type("Text2", "roses.mp4");
    click("Command1");
    runChains();
    fs::create_directories(dir.path() / ".clipnest/comments");
    clipnest::testing::writeFile(dir.path() / ".clipnest/comments/roses_comments.txt",
                                 "Hi\x1B]0;pwned\x07\xC2\x9B"
                                 "2J <b>bold</b>\nnext\n2026-12-01 08:00:00\r\n\n");
    click("cmdComments");
    auto* tree = get<QTreeWidget>("treComments");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(1), "Hi\\x1B]0;pwned\\x07\\u009B2J <b>bold</b>\\nnext");
    EXPECT_EQ(get<QLabel>("lblCommentsSaid")->textFormat(), Qt::PlainText);

    auto* status = get<StatusText>("lblStatus");
    auto* line = dynamic_cast<StatusLine*>(status->parentWidget());
    ASSERT_NE(line, nullptr);
    const QString markup = "<img src=x> <b>Uploaded</b> 10 of 10";
    line->say(markup, Tone::Note);
    QTextDocument tip;
    tip.setHtml(status->toolTip());
    EXPECT_EQ(tip.toPlainText(), markup) << status->toolTip().toStdString();
}

// The status line shows as much of a message as the window is wide, cut in its middle so its start and its end stay
// in sight, with the whole message in its tip and among the last 20 messages; a notice longer than its panel wraps
// and scrolls within the panel's fixed place.
TEST_F(WindowTest, TheStatusLineAndNoticesShowTheWholeText) {
    runChains();
    const std::string longName = "the-roses-in-the-garden-behind-the-house-in-june-after-the-rain";
    type("Text2", QString::fromStdString(longName + ".mp4"));
    click("Command1");
    runChains();
    type("Text18", QString::fromStdString(longName + ".mp4"));
    type("Text24", QString::fromStdString(longName + "-2.mp4"));
    click("Command10");
    auto* status = get<StatusText>("lblStatus");
    const QString said = status->text();
    EXPECT_TRUE(said.startsWith("Renamed " + QString::fromStdString(longName))) << said.toStdString();
    EXPECT_TRUE(said.endsWith("to rename them on the server.")) << said.toStdString();
    EXPECT_EQ(status->toolTip(), said);
    const QString shown = status->shownText();
    EXPECT_TRUE(shown.startsWith("Renamed the-roses")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("on the server.")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << "cut in the middle: " << shown.toStdString();

    // A wider window shows more of it: the line reaches the scroll bar, wherever that stands.
    window->resize(2400, DesignSize.height());
    QApplication::processEvents();
    EXPECT_EQ(get("stsStatus")->geometry().right() + 1, get("VScroll1")->x());
    EXPECT_GT(status->shownText().size(), shown.size());

    click("cmdMessages");
    auto* messages = get<QListWidget>("lstMessages");
    EXPECT_TRUE(messages->isVisible());
    ASSERT_EQ(messages->count(), 2);
    EXPECT_TRUE(messages->item(0)->text().endsWith("  " + said)) << "newest first, whole";
    EXPECT_TRUE(messages->item(1)->text().endsWith(
        "  Added " + QString::fromStdString(longName) + ".mp4: " + QString::fromStdString(longName) +
        ".php and homepage.html written. No poster for " + QString::fromStdString(longName) +
        ".mp4: " + QString::fromStdString(longName) + ".mp4 is not in the folder."));
    for (int i = 0; i < 20; ++i) {
        get<QLineEdit>("Text22")->clear();
        type("Text22", QString::number(i));
        click("Command11");
        runChains();
    }
    EXPECT_EQ(messages->count(), StatusLine::Kept);
    EXPECT_FALSE(messages->item(StatusLine::Kept - 1)->text().endsWith(said)) << "only the last 20 are kept";

    // A notice of many sentences keeps its place and size, wraps, and scrolls under the wheel.
    std::string sentences;
    for (int i = 0; i < 30; ++i) {
        sentences += "Sentence " + std::to_string(i) + " of a long notice about " + longName + ". ";
    }
    form().notice(sentences + "The end.");
    window->showState();
    auto* notice = get<QPlainTextEdit>("txtNotice");
    ASSERT_TRUE(notice->isVisible());
    const PanelDef* def = nullptr;
    for (const PanelDef& d : panelTable()) {
        def = d.panel == Message::Notice ? &d : def;
    }
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(notice->size(), pixelRect(def->left, def->top, def->width, def->height).size());
    EXPECT_TRUE(notice->toPlainText().contains("The end."));
    QScrollBar* within = notice->verticalScrollBar();
    EXPECT_GT(within->maximum(), 0);
    EXPECT_TRUE(within->isVisible());
    const int surface = get<QScrollBar>("VScroll1")->value();
    QWheelEvent down(QPointF(50, 50), notice->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(notice->viewport(), &down);
    EXPECT_GT(within->value(), 0) << "the notice scrolls";
    EXPECT_EQ(get<QScrollBar>("VScroll1")->value(), surface) << "the surface stays";
}

// Open folder… on a folder that is no channel writes nothing there until the host agrees to make it one; then the
// same window, at its size and place, works on it.
TEST_F(WindowTest, OpenFolderAsksBeforeMakingAChannelAndKeepsTheWindow) {
    runChains();
    window->resize(1000, 700);
    QApplication::processEvents();
    const QRect before = window->geometry();
    clipnest::testing::TempDir empty;
    // Each answer waits for its dialog to be the modal one, however the toolkit orders the events. The folder is
    // picked as the dialog's folder with nothing typed, which the dialog's own loading cannot change; a question
    // about any other folder is refused, so the test never makes a channel of one.
    const QString emptyPath = QString::fromStdString(empty.path().string());
    const auto choose = [&](QMessageBox::StandardButton answer) {
        whenModal<QFileDialog>([emptyPath, answer](QFileDialog* dialog) {
            dialog->setDirectory(emptyPath);
            static_cast<QDialog*>(dialog)->accept();
            whenModal<QMessageBox>([emptyPath, answer](QMessageBox* ask) {
                EXPECT_EQ(ask->objectName(), "dlgMakeChannel");
                const bool ours = ask->text().contains(emptyPath);
                EXPECT_TRUE(ours) << ask->text().toStdString();
                ask->button(ours ? answer : QMessageBox::No)->click();
                if (!ours || answer == QMessageBox::No) {
                    // "Choose another" shows the folder dialog again; cancelling it leaves everything as it was.
                    whenModal<QFileDialog>([](QFileDialog* again) { again->reject(); });
                }
            });
        });
        click("cmdOpenFolder");
    };
    choose(QMessageBox::No);
    runChains();
    EXPECT_TRUE(clipnest::testing::filesOf(empty.path()).empty()) << "nothing written before the host agrees";
    EXPECT_EQ(form().folder().dir(), dir.path());

    choose(QMessageBox::Yes);
    EXPECT_EQ(form().folder().dir(), empty.path());
    EXPECT_EQ(window->windowTitle(), windowTitleFor(empty.path()));
    EXPECT_EQ(window->geometry(), before) << "the window keeps its size and place";
    runChains();
    EXPECT_TRUE(fs::exists(empty.path() / "AppDocs.txt"));
    type("Text2", "here.mp4");
    click("Command1");
    runChains();
    EXPECT_TRUE(fs::exists(empty.path() / "here.php"));
    EXPECT_FALSE(has("here.php")) << "the first folder is left alone";
    EXPECT_EQ(get<QLabel>("lblStatus")->text(),
              "Added here.mp4: here.php and homepage.html written. No poster for here.mp4: here.mp4 is not in the "
              "folder.");
    window.reset();
}

// Preview opens the homepage through xdg-open; when no browser takes it, the status line says so and gives the
// address to open by hand.
TEST_F(WindowTest, PreviewSaysWhenNoBrowserCouldBeOpened) {
    NEEDS(PreviewServer::phpInstalled(), "php");
    runChains();
    clipnest::testing::TempDir bin;
    const fs::path opener = bin.path() / "xdg-open";
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.path().string()) + ":" + path);
    const auto preview = [&](int exitStatus) {
        clipnest::testing::writeFile(opener, "#!/bin/sh\necho \"$1\" > '" + (bin.path() / "asked").string() +
                                                 "'\nexit " + std::to_string(exitStatus) + "\n");
        fs::permissions(opener, fs::perms::owner_all);
        fs::remove(bin.path() / "asked");
        click("cmdPreview");
        for (int i = 0; i < 100 && !fs::exists(bin.path() / "asked"); ++i) {
            QTest::qWait(20);
        }
        QTest::qWait(200);
        return get<QLabel>("lblStatus")->text();
    };
    const QString opened = preview(0);
    EXPECT_TRUE(opened.startsWith("Preview at http://127.0.0.1:")) << opened.toStdString();
    EXPECT_TRUE(clipnest::testing::readFile(bin.path() / "asked").starts_with("http://127.0.0.1:"));

    const QString refused = preview(3);
    qputenv("PATH", path);
    const std::string address = clipnest::testing::readFile(bin.path() / "asked");
    EXPECT_EQ(refused.toStdString(), "No browser could be opened: open " + address.substr(0, address.size() - 1) +
                                         " in a browser by hand (the preview is only on this computer; it stops "
                                         "when the window closes).");
}

// Every message is readable on its colour (WCAG AA, 4.5:1), and errors, notes and successes look different.
TEST_F(WindowTest, NoticesAreReadableAndLookLikeWhatTheySay) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const auto contrast = [&](const QColor& a, const QColor& b) {
        const double x = luminance(a), y = luminance(b);
        return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
    };
    for (const PanelDef& def : panelTable()) {
        const QPalette palette = get(panelName(def.panel))->palette();
        EXPECT_GE(contrast(palette.color(QPalette::Base), palette.color(QPalette::Text)), 4.5) << panelName(def.panel);
    }
    EXPECT_EQ(get(panelName(Message::FileFailure))->palette().color(QPalette::Base).red(), 0xC0) << "errors stay red";
    const QColor error = coloursOf(Tone::Error).back, note = coloursOf(Tone::Note).back;
    EXPECT_EQ(get(panelName(Message::Notice))->palette().color(QPalette::Base), note);
    EXPECT_NE(error, note);
    EXPECT_NE(coloursOf(Tone::Success).back, note);
    runChains();
    type("Text2", "a.mp4");
    click("Command1");
    runChains();
    const QPalette status = get("lblStatus")->palette();
    EXPECT_EQ(status.color(QPalette::Window), coloursOf(Tone::Success).back);
    EXPECT_GE(contrast(status.color(QPalette::Window), status.color(QPalette::WindowText)), 4.5);
    // An insert above an entry that is not there has no panel of its own: the status line says it, as an error.
    type("Text20", "b.mp4");
    type("Text25", "nowhere.mp4");
    click("Command9");
    runChains();
    EXPECT_EQ(get<QLabel>("lblStatus")->text().toStdString(),
              "An entry for the file name nowhere.mp4 was not found on the Homepage.");
    EXPECT_EQ(get("lblStatus")->palette().color(QPalette::Window), coloursOf(Tone::Error).back);
}

TEST_F(WindowTest, QuitClosesTheWindowAndNoArmedStepRuns) {
    runChains();
    type("Text2", "clip7.mp4");
    click("Command1");
    ASSERT_TRUE(form().chainRunning());
    click("cmdExit");
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(form().scheduler().nextDue().has_value());
    advance(2 * testing::stepInterval(Step::HideNotices));
    EXPECT_FALSE(has("homepage.html"));
    EXPECT_FALSE(has("clip7.php"));

    ScrollForm other(clock, folder);
    ASSERT_TRUE(other.form().scheduler().nextDue().has_value());
    other.close();
    EXPECT_FALSE(other.form().scheduler().nextDue().has_value()) << "closing the window stops the Steps too";
}

// Started outside a channel folder, the window asks for one with the folder dialog, offering the last one used.
// A fixed message's panel holds its words between the blanks that place them and the close hint; a message given its
// words shows them a line each.
TEST(PanelText, FixedWordsAreTheDesignsTextAndGivenWordsGetTheirLayout) {
    const auto plain = [](const std::string& text) {
        std::istringstream in(text);
        std::string line;
        for (std::string word; in >> word;) {
            line += (line.empty() ? "" : " ") + word;
        }
        const std::size_t close = line.find(" (Click to close)");
        return close == npos ? line : line.erase(close, std::string(" (Click to close)").size());
    };
    for (int i = 0; i < MessageCount; ++i) {
        const auto message = static_cast<Message>(i);
        SCOPED_TRACE(i);
        const std::string words(fixedWords(message));
        EXPECT_EQ(plain(panelDesignText(message)), words);
        if (!words.empty()) {
            EXPECT_EQ(panelText(message, words), panelDesignText(message));
        }
    }
    EXPECT_TRUE(panelDesignText(Message::HomepageWillBeCreated).ends_with(".\r\n   (Click to close)\r\n"));
    EXPECT_EQ(panelText(Message::FileFailure, "Clipnest could not write a.php.\nThe file was left."),
              "\r\n   Clipnest could not write a.php.\r\n   The file was left.\r\n   (Click to close)\r\n");
    EXPECT_EQ(panelText(Message::InvalidName, "Please enter a valid file name: it holds #."),
              "Please enter a valid file name: it holds #.");
    EXPECT_EQ(panelText(Message::InvalidNames, "Please enter valid file names."), "  Please enter valid file names.");
}

TEST(WindowStart, AsksForTheChannelFolderAndRemembersIt) {
    clipnest::testing::TempDir home, channel, other;
    EXPECT_FALSE(isChannelFolder(home.path()));
    clipnest::testing::writeFile(channel.path() / "AppDocs.txt", "\r\n");
    EXPECT_TRUE(isChannelFolder(channel.path()));
    clipnest::testing::writeFile(other.path() / "Homepage.htm", "<html></html>");
    EXPECT_TRUE(isChannelFolder(other.path()));

    QSettings settings((home.path() / "settings.ini").c_str(), QSettings::IniFormat);
    rememberChannelFolder(settings, channel.path());
    QString offered;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = dialog->directory().absolutePath();
        dialog->selectFile(QString::fromStdString(other.path().string()));
        static_cast<QDialog*>(dialog)->accept();
    });
    const std::optional<std::filesystem::path> chosen = chooseChannelFolder(nullptr, settings);
    EXPECT_EQ(offered.toStdString(), channel.path().string()) << "the last folder used is offered";
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(std::filesystem::canonical(*chosen), std::filesystem::canonical(other.path()));
    EXPECT_EQ(settings.value("lastFolder").toString().toStdString(), chosen->string());

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_FALSE(chooseChannelFolder(nullptr, settings).has_value()) << "cancelled";
}

} // namespace
} // namespace clipnest::window

// The application lives as long as the tests, drawing off screen unless a display is named.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The settings the window keeps (the last channel folder) go to a folder of the tests' own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
