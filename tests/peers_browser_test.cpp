// The homepage after a realistic session, loaded by headless Chromium: what the browser builds from it is what the
// visitor sees, so the entries are read from the dumped DOM rather than from our own text.
#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;
using testing::TempDir;
namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The DOM Chromium builds for the file, serialised; empty when the browser fails.
std::string dumpDom(const fs::path& file) {
    const TempDir profile;
    const fs::path out = profile.path() / "dom.html";
    const std::string command =
        "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-background-networking --no-first-run "
        "--disable-component-update --disable-sync --user-data-dir='" +
        (profile.path() / "profile").string() + "' --dump-dom 'file://" + file.string() + "' > '" + out.string() +
        "' 2> /dev/null";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    return readFile(out);
}

std::string withoutComments(std::string dom) {
    for (std::size_t open = dom.find("<!--"); open != std::string::npos; open = dom.find("<!--", open)) {
        const std::size_t close = dom.find("-->", open + 4);
        dom.erase(open, close == std::string::npos ? std::string::npos : close + 3 - open);
    }
    return dom;
}

std::string decoded(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", "\xC2\xA0"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities) {
        for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
            text.replace(at, std::string_view(entity).size(), character);
        }
    }
    return text;
}

std::string between(const std::string& text, std::size_t from, std::string_view open, std::string_view close) {
    const std::size_t start = text.find(open, from);
    if (start == std::string::npos) {
        return "<missing>";
    }
    const std::size_t end = text.find(close, start + open.size());
    return text.substr(start + open.size(), end - start - open.size());
}

struct ShownEntry {
    std::string source, link, description;
    bool operator==(const ShownEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ShownEntry& e) {
    return out << "{" << e.source << ", " << e.link << ", " << e.description << "}";
}

// Every gallery entry in the DOM, in document order.
std::vector<ShownEntry> galleryEntries(const std::string& dom) {
    std::vector<ShownEntry> entries;
    const std::string open = "<div class=\"gallery\">";
    for (std::size_t at = dom.find(open); at != std::string::npos; at = dom.find(open, at + open.size())) {
        entries.push_back({between(dom, at, "<source src=\"", "\""), between(dom, at, "<a href=\"", "\""),
                           decoded(between(dom, at, "<div class=\"desc\">", "</div>"))});
    }
    return entries;
}

void type(Harness& h, const std::string& name, const std::string& description) {
    Form& f = h.form();
    f.controls.Text2 = name;
    f.controls.Text4 = description;
    f.controls.Text5 = "";
    f.Command1();
    h.runChains();
}

TEST(Browser, HomepageAfterASessionShowsExactlyTheLiveEntries) {
    if (std::system("command -v chromium > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "chromium is not on PATH";
    }
    Harness h;
    Form& f = h.form();
    f.controls.Text22 = "Bob's <Clips> & more";
    f.controls.Text23 = "Fresh every Friday";
    f.Command11();
    h.runChains();

    std::vector<ShownEntry> expected;
    for (int i = 1; i <= 20; ++i) {
        const std::string name = "clip" + std::to_string(i);
        const std::string description = i == 7 ? "Tom & Jerry <live> at 5 > 4" : "Video number " + std::to_string(i);
        type(h, name + ".mp4", description);
        expected.push_back({name + ".mp4", name + ".php", description});
    }
    f.controls.Text2 = "clip5.mp4";
    f.Command5();
    h.runChains();
    expected.erase(expected.begin() + 4);

    f.controls.Text20 = "extra.mp4";
    f.controls.Text19 = "Slipped in";
    f.controls.Text21 = "";
    f.controls.Text25 = "clip10.mp4";
    f.Command9();
    h.runChains();
    expected.insert(expected.begin() + 8, {"extra.mp4", "extra.php", "Slipped in"});
    ASSERT_FALSE(f.isVisible(Panel::FileFailure));

    const std::string raw = dumpDom(h.dir() / "homepage.html");
    ASSERT_NE(raw.find("</html>"), std::string::npos) << "chromium gave no DOM";
    const std::string dom = withoutComments(raw);

    EXPECT_EQ(galleryEntries(dom), expected);
    EXPECT_EQ(dom.find("p4y"), std::string::npos) << "the sample entry is rendered";
    EXPECT_NE(raw.find("p4yFileNamep5y"), std::string::npos) << "the sample entry is still in the page's comments";
    EXPECT_NE(dom.find("Bob's &lt;Clips&gt; &amp; more"), std::string::npos);
    EXPECT_NE(dom.find("Fresh every Friday"), std::string::npos);
}

} // namespace
} // namespace clipnest
