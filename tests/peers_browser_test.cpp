// The homepage after a realistic session, loaded by headless Chromium: what the browser builds from it is what the
// visitor sees, so the entries are read from the dumped DOM rather than from our own text.
#include "support/test_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using namespace testing;
using Shown = std::array<std::string, 3>; // source, link, description

// The DOM Chromium builds for the file, serialised; empty when the browser fails.
std::string dumpDom(const std::string& file) {
    const TempDir profile;
    FILE* pipe = ::popen(("timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-background-networking "
                          "--no-first-run --disable-component-update --disable-sync --user-data-dir='" +
                          profile.path().string() + "' --dump-dom 'file://" + file + "' 2> /dev/null")
                             .c_str(),
                         "r");
    std::string dom;
    char buffer[8192];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        dom.append(buffer, n);
    }
    return ::pclose(pipe) == 0 ? dom : "";
}

std::string between(const std::string& text, std::size_t from, std::string_view open, std::string_view close) {
    const std::size_t start = text.find(open, from);
    if (start == std::string::npos) {
        return "<missing>";
    }
    return text.substr(start + open.size(), text.find(close, start + open.size()) - start - open.size());
}

// Every gallery entry in the DOM, in document order, with its description's entities decoded.
std::vector<Shown> galleryEntries(const std::string& dom) {
    std::vector<Shown> entries;
    const std::string open = "<div class=\"gallery\">";
    for (std::size_t at = dom.find(open); at != std::string::npos; at = dom.find(open, at + 1)) {
        std::string text = between(dom, at, "<div class=\"desc\">", "</div>");
        for (const auto& [entity, character] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
            for (std::size_t e = text.find(entity); e != std::string::npos; e = text.find(entity, e + 1)) {
                text.replace(e, std::string_view(entity).size(), character);
            }
        }
        entries.push_back({between(dom, at, "<source src=\"", "\""), between(dom, at, "<a href=\"", "\""), text});
    }
    return entries;
}

TEST(Browser, HomepageAfterASessionShowsExactlyTheLiveEntries) {
    if (std::system("command -v chromium > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "chromium is not on PATH";
    }
    Harness h;
    updateTitle(h, "Bob's <Clips> & more", "Fresh every Friday");
    std::vector<Shown> expected;
    for (int i = 1; i <= 20; ++i) {
        const std::string name = "clip" + std::to_string(i);
        const std::string description = i == 7 ? "Tom & Jerry <live> at 5 > 4" : "Video number " + std::to_string(i);
        createEntry(h, name + ".mp4", description);
        expected.push_back({name + ".mp4", name + ".php", description});
    }
    deleteEntry(h, "clip5.mp4");
    expected.erase(expected.begin() + 4);
    insertEntry(h, "extra.mp4", "clip10.mp4", "Slipped in");
    expected.insert(expected.begin() + 8, {"extra.mp4", "extra.php", "Slipped in"});
    ASSERT_FALSE(h.form().isVisible(Panel::FileFailure));

    std::string dom = dumpDom((h.dir() / "homepage.html").string());
    ASSERT_NE(dom.find("</html>"), std::string::npos) << "chromium gave no DOM";
    EXPECT_NE(dom.find("p4yFileNamep5y"), std::string::npos) << "the sample entry stays in the page's comments";
    for (std::size_t open = dom.find("<!--"); open != std::string::npos; open = dom.find("<!--", open)) {
        dom.erase(open, dom.find("-->", open) + 3 - open);
    }
    EXPECT_EQ(dom.find("p4y"), std::string::npos) << "the sample entry is rendered";
    EXPECT_EQ(galleryEntries(dom), expected);
    EXPECT_NE(dom.find("Bob's &lt;Clips&gt; &amp; more"), std::string::npos);
    EXPECT_NE(dom.find("Fresh every Friday"), std::string::npos);
}

// Typed text that looks like the page's own placeholders, wrappers or attribute quotes stays text: no later Step
// reads it back as a placeholder, and the browser builds no attribute or element from it.
TEST(Browser, TypedTextNeverBecomesMarkup) {
    if (std::system("command -v chromium > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "chromium is not on PATH";
    }
    Harness h;
    const std::string evil = "x\" onerror=\"document.title='pwned'\" y=\"";
    const std::string lookalikes = "p4yHomepageDescripp5y p4yFileNamep5y s4j--> <!--n9h between this tag and the "
                                   "Entry description";
    createEntry(h, "p4yHomepageDescripp5y.mp4", "First");
    EXPECT_FALSE(h.has("p4yHomepageDescripp5y.php")) << "a name holding a placeholder is refused";
    createEntry(h, "first.mp4", lookalikes);
    createEntry(h, "other.mp4", evil);
    createEntry(h, "said.mp4", "I said \"two. is next");
    createEntry(h, "two.mp4", "Two");
    insertEntry(h, "top.mp4", "first.mp4", evil);
    updateTitle(h, evil, lookalikes);
    ASSERT_FALSE(h.form().isVisible(Panel::FileFailure));

    std::string dom = dumpDom((h.dir() / "homepage.html").string());
    ASSERT_NE(dom.find("</html>"), std::string::npos) << "chromium gave no DOM";
    EXPECT_EQ(between(dom, 0, "<title>", "</title>").find("pwned"), std::string::npos) << "a handler ran";
    for (std::size_t open = dom.find("<!--"); open != std::string::npos; open = dom.find("<!--", open)) {
        dom.erase(open, dom.find("-->", open) + 3 - open);
    }
    const std::vector<Shown> expected = {{"top.mp4", "top.php", evil},
                                         {"first.mp4", "first.php", lookalikes},
                                         {"other.mp4", "other.php", evil},
                                         {"said.mp4", "said.php", "I said \"two. is next"},
                                         {"two.mp4", "two.php", "Two"}};
    EXPECT_EQ(galleryEntries(dom), expected);
    EXPECT_NE(dom.find("p4yHomepageDescripp5y p4yFileNamep5y s4j--&gt; &lt;!--n9h between this tag"), std::string::npos)
        << "the message shows as typed";
}

} // namespace
} // namespace clipnest
