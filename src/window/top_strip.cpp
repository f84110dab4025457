#include "window/top_strip.h"

#include "window/layout.h"
#include "window/widgets.h"

#include <algorithm>

#include <QApplication>
#include <QKeySequence>

namespace clipnest::window {

namespace {

constexpr int StripHeight = 240;
constexpr int ScrollBarWidth = 300;
constexpr int StatusLeft = 12300;

} // namespace

TopStrip buildTopStrip(QWidget* window) {
    const QPalette standard = QApplication::palette();
    const auto button = [&](const char* name, const char* caption, int left, int width, const char* tip) {
        auto* b = new QPushButton(QString::fromUtf8(caption), window);
        b->setObjectName(QString::fromLatin1(name));
        b->setPalette(standard);
        b->setFont(fontFor(Face::Default, 8.25, false));
        b->setToolTip(QString::fromUtf8(tip));
        b->setGeometry(pixelRect(left, 0, width, StripHeight));
        return b;
    };
    TopStrip strip;
    strip.openFolder =
        button("cmdOpenFolder", "Open folder\u2026", 60, 1260, "Works on another channel folder (Ctrl+O)");
    strip.openFolder->setShortcut(QKeySequence::Open);
    strip.preview =
        button("cmdPreview", "Preview", 1380, 900, "Shows the channel in the browser as a visitor would see it (F5)");
    strip.preview->setShortcut(QKeySequence(Qt::Key_F5));
    strip.undo = button("cmdUndo", "Undo", 2340, 900,
                        "Puts back the files of the last operation as they were before it (Ctrl+Z)");
    strip.undo->setShortcut(QKeySequence::Undo);
    strip.entries = button("cmdEntries", "Entries", 3300, 1200,
                           "Shows the entries on the homepage; click one to take its file name");
    strip.publish =
        button("cmdPublish", "Publish", 4620, 900, "Uploads to the server what changed since the last publish");
    strip.comments =
        button("cmdComments", "Comments", 5640, 1500,
               "Shows every video's comments from the server (how many are new since the last look), to hide, "
               "approve or answer one, or to close a video's comments");
    strip.site = button("cmdSite", "Address\u2026", 7200, 1020,
                        "The channel's own address on the web (https://example.net/garden/), from which its video "
                        "pages get share tags and feed.xml and sitemap.xml are written");
    strip.connection = button("cmdConnection", "Connection\u2026", 8280, 1200,
                              "The publish address, how to log in, and a test of the connection");
    strip.addVideos = button("cmdAddVideos", "Add videos\u2026", 9420, 1260,
                             "Makes entries of videos chosen in the channel folder, described by their file names; "
                             "videos dropped onto the window are added the same way");
    strip.addNewVideos = button("cmdAddNewVideos", "Add all new videos", 10740, 1500,
                                "Makes an entry of every video in the channel folder that has none, in name order");
    strip.status = new StatusLine(window);
    strip.status->setObjectName(QStringLiteral("stsStatus"));
    strip.status->setFont(fontFor(Face::Default, 8.25, false));
    strip.status->setGeometry(statusLineRect(DesignWidth));
    return strip;
}

QRect statusLineRect(int windowWidth) {
    return pixelRect(StatusLeft, 0, std::max(TwipsPerPixel, windowWidth - StatusLeft - ScrollBarWidth), StripHeight);
}

} // namespace clipnest::window
