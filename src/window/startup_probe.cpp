// Starts the window as the executable does, waits until it has painted, then prints the time taken and the memory
// held; then the time the Entries window takes from the homepage's text to its list painted. Measures only; never
// fails on the figures.
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/working_folder.h"
#include "text/document.h"
#include "window/entries_window.h"
#include "window/scroll_form.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWindow>

namespace {

class PaintWatch final : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted = true;
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    const clipnest::SystemClock clock;
    clipnest::WorkingFolder folder(std::filesystem::current_path());
    clipnest::window::ScrollForm window(clock, folder);
    PaintWatch watch;
    window.installEventFilter(&watch);
    window.show();
    while (!(watch.painted && window.windowHandle() && window.windowHandle()->isExposed())) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QApplication::processEvents();
    std::printf("platform: %s\n", qPrintable(QApplication::platformName()));
    std::printf("main to painted window: %lld ms\n", static_cast<long long>(sinceMain.elapsed()));
    std::printf("process start to painted window: %.0f ms (10 ms resolution)\n", clipnest::msSinceProcessStart());
    std::printf("%s\n%s\n", clipnest::processStatusLine("VmRSS").c_str(), clipnest::processStatusLine("VmHWM").c_str());

    // The Entries window, filled from the held text as after an operation, then opened, until its list has painted;
    // the best of five.
    const std::string text = clipnest::linesWithLf(folder.read("homepage.html").value_or(""));
    qint64 best = -1, fill = -1;
    for (int round = 0; round < 5; ++round) {
        clipnest::window::EntriesWindow entries(&window);
        auto* list = entries.findChild<QWidget*>(QStringLiteral("lstEntries"));
        PaintWatch listWatch;
        QElapsedTimer opening;
        opening.start();
        entries.showEntries(text);
        const qint64 filled = opening.elapsed();
        auto* viewport = list ? list->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport")) : nullptr;
        (viewport ? viewport : static_cast<QWidget*>(&entries))->installEventFilter(&listWatch);
        entries.open(window);
        while (!listWatch.painted) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        if (best < 0 || opening.elapsed() < best) {
            best = opening.elapsed();
            fill = filled;
        }
    }
    std::printf("entries window, from the text to its list painted: %lld ms (of which reading the entries: %lld ms)\n",
                static_cast<long long>(best), static_cast<long long>(fill));
    return 0;
}
