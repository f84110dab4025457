#include "support/test_support.h"
#include "text/entries.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;

std::string video(int i) {
    return "v" + std::to_string(i) + ".mp4";
}

// File names of the live entries, in page order.
std::vector<std::string> liveNames(const std::string& page) {
    std::vector<std::string> names;
    for (const LiveEntry& e : liveEntries(page)) {
        names.push_back(e.fileName);
    }
    return names;
}

// One run of the program: a title, 50 entries, 10 changes, 10 deletes, 5 inserts and a message, as a user would.
TEST(Session, RealisticSessionInOneRun) {
    Harness h;
    Form& f = h.form();
    Controls& c = f.controls;

    c.title = "My Channel";
    f.setTitleAndMessage();
    h.runChains();

    for (int i = 0; i < 50; ++i) {
        c.first.name = video(i);
        c.first.homepageDescription = "Clip " + std::to_string(i);
        c.first.pageDescription = i % 2 ? "The story of clip " + std::to_string(i) : "";
        f.createOrChangeEntry(EntryPanel::First);
        h.runChains();
    }
    for (int i = 0; i < 10; ++i) {
        c.first.name = video(i);
        c.first.homepageDescription = "Changed " + std::to_string(i);
        c.first.pageDescription = "New story " + std::to_string(i);
        f.createOrChangeEntry(EntryPanel::First);
        h.runChains();
    }
    for (int i = 10; i < 20; ++i) {
        c.first.name = video(i);
        f.deleteEntry(EntryPanel::First);
        h.runChains();
    }
    for (int k = 0; k < 5; ++k) {
        c.insert.name = "n" + std::to_string(k) + ".mp4";
        c.insert.homepageDescription = "Inserted " + std::to_string(k);
        c.insert.pageDescription = "";
        c.insert.above = video(20 + 5 * k);
        f.insertAboveEntry();
        h.runChains();
    }
    c.title = "";
    c.message = "Welcome & enjoy";
    f.setTitleAndMessage();
    h.runChains();
    h.runUntilIdle();

    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i) {
        expected.push_back(video(i));
    }
    for (int i = 20; i < 50; ++i) {
        if ((i - 20) % 5 == 0 && i < 45) {
            expected.push_back("n" + std::to_string((i - 20) / 5) + ".mp4");
        }
        expected.push_back(video(i));
    }
    const std::string page = h.file("homepage.html");
    EXPECT_EQ(liveNames(page), expected);
    EXPECT_TRUE(contains(page, std::string(markers::Title) + "\nMy Channel\n</h1>"));
    EXPECT_TRUE(contains(page, std::string(markers::Message) + "\nWelcome &amp; enjoy\n</h1>"));
    EXPECT_EQ(f.homepage.PageText + "\r\n", page);

    for (int i = 0; i < 50; ++i) {
        const std::string own = h.file("v" + std::to_string(i) + ".php");
        const std::string descrip = i < 10       ? "New story " + std::to_string(i)
                                    : i % 2 == 1 ? "The story of clip " + std::to_string(i)
                                                 : "Clip " + std::to_string(i);
        EXPECT_TRUE(contains(own, "<div class=\"desc\">" + descrip + "</div>")) << video(i);
        if (i < 10 || i >= 20) {
            const std::string home = i < 10 ? "Changed " : "Clip ";
            EXPECT_TRUE(contains(page, "<div class=\"desc\">" + home + std::to_string(i) + "</div>")) << video(i);
        }
    }
    for (int k = 0; k < 5; ++k) {
        EXPECT_TRUE(contains(h.file("n" + std::to_string(k) + ".php"),
                             "<div class=\"desc\">Inserted " + std::to_string(k) + "</div>"));
    }
    for (const Panel p : {Panel::EntryNotFound, Panel::PageNotFound, Panel::NoHomepage, Panel::InvalidNames,
                          Panel::EntryExists, Panel::FileFailure}) {
        EXPECT_FALSE(f.isVisible(p)) << panelName(p);
    }
}

} // namespace
} // namespace clipnest
