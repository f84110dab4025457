#include "homepage/entries.h"
#include "homepage/markers.h"
#include "homepage/text_ops.h"
#include "support/test_support.h"

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

    c.Text22 = "My Channel";
    f.Command11();
    h.runChains();

    for (int i = 0; i < 50; ++i) {
        c.Text2 = video(i);
        c.Text4 = "Clip " + std::to_string(i);
        c.Text5 = i % 2 ? "The story of clip " + std::to_string(i) : "";
        f.Command1();
        h.runChains();
    }
    for (int i = 0; i < 10; ++i) {
        c.Text2 = video(i);
        c.Text4 = "Changed " + std::to_string(i);
        c.Text5 = "New story " + std::to_string(i);
        f.Command1();
        h.runChains();
    }
    for (int i = 10; i < 20; ++i) {
        c.Text2 = video(i);
        f.Command5();
        h.runChains();
    }
    for (int k = 0; k < 5; ++k) {
        c.Text20 = "n" + std::to_string(k) + ".mp4";
        c.Text19 = "Inserted " + std::to_string(k);
        c.Text21 = "";
        c.Text25 = video(20 + 5 * k);
        f.Command9();
        h.runChains();
    }
    c.Text22 = "";
    c.Text23 = "Welcome & enjoy";
    f.Command11();
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
    for (const Panel p :
         {Panel::Text8, Panel::Text11, Panel::Text13, Panel::Text28, Panel::Text29, Panel::FileFailure}) {
        EXPECT_FALSE(f.isVisible(p)) << panelName(p);
    }
}

} // namespace
} // namespace clipnest
