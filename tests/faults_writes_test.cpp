// Every write of every operation is made to fail in turn: each file must then hold its old or its new bytes, the
// failure panel must name the file and stay, and asking again must give the files of a run without the fault.
#include "support/test_support.h"
#include "text/text_ops.h"

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

using Files = std::map<std::string, std::string>;

Files snapshot(const Harness& h) {
    Files files;
    for (const auto& entry : std::filesystem::directory_iterator(h.dir())) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = h.file(entry.path().filename().string());
        }
    }
    return files;
}

// A read appends LF after the final CR LF line, so a retry that read a file once more may differ there only.
std::string withoutTrailingLfs(std::string text) {
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    }
    while (text.ends_with('\n')) {
        text.pop_back();
    }
    return text;
}

// Three entries written by the tool itself, and an older rename page.
void threeEntries(Harness& h) {
    createEntry(h, "clip1.mp4", "First");
    createEntry(h, "clip2.mp4", "Second");
    createEntry(h, "clip3.mp4", "Third");
    h.put("change_file_name.php", "old rename page");
}

struct Operation {
    const char* name;
    std::function<void(Harness&)> setup; // brings a fresh folder to the state the operation starts from
    std::function<void(Harness&)> run;
};

const std::vector<Operation>& operations() {
    static const std::vector<Operation> ops = {
        {"append", threeEntries, [](Harness& h) { createEntry(h, "fresh.mp4", "A fresh one"); }},
        {"append to the default homepage", [](Harness&) {},
         [](Harness& h) { createEntry(h, "first.mp4", "The very first"); }},
        {"change both descriptions", threeEntries,
         [](Harness& h) { createEntry(h, "clip2.mp4", "Second, better", "The long story"); }},
        {"change the homepage description only", threeEntries,
         [](Harness& h) { createEntry(h, "clip2.mp4", "Only here", "", true); }},
        {"delete", threeEntries, [](Harness& h) { deleteEntry(h, "clip2.mp4"); }},
        {"insert", threeEntries,
         [](Harness& h) { insertEntry(h, "between.mp4", "clip2.mp4", "In between", "Longer words"); }},
        {"title and message", threeEntries, [](Harness& h) { updateTitle(h, "My channel", "Welcome"); }},
        {"rename page", threeEntries, [](Harness& h) { renamePage(h, "old.mp4", "new.mp4"); }},
    };
    return ops;
}

class WriteFaults : public ::testing::TestWithParam<std::size_t> {};

TEST_P(WriteFaults, EachWriteFailingLeavesOldOrNewFiles) {
    const Operation& op = operations()[GetParam()];
    // Each trial starts a new session on a copy of the prepared folder, as a user's next day would.
    Files prepared;
    {
        Harness h;
        op.setup(h);
        prepared = snapshot(h);
    }
    const std::vector<std::pair<std::string, std::string>> before(prepared.begin(), prepared.end());

    Harness clean(before);
    const int startWrites = clean.folder().writes();
    op.run(clean);
    const int writes = clean.folder().writes() - startWrites;
    const Files after = snapshot(clean);
    ASSERT_GT(writes, 0);
    ASSERT_FALSE(clean.form().isVisible(Panel::FileFailure));

    for (int n = 1; n <= writes; ++n) {
        SCOPED_TRACE("failing write " + std::to_string(n) + " of " + std::to_string(writes));
        Harness h(before);
        Form& f = h.form();
        h.folder().failWrite(n);
        op.run(h);
        EXPECT_FALSE(f.chainRunning());
        h.advance(30000);
        EXPECT_TRUE(f.isVisible(Panel::FileFailure));
        EXPECT_TRUE(contains(f.panels[Panel::FileFailure].text, h.folder().failed));
        const Files now = snapshot(h);
        for (const auto& [name, bytes] : now) {
            const bool old = prepared.contains(name) && prepared.at(name) == bytes;
            EXPECT_TRUE(old || (after.contains(name) && after.at(name) == bytes))
                << name << " holds neither its old nor its new bytes";
        }
        for (const auto& [name, bytes] : prepared) {
            EXPECT_TRUE(now.contains(name)) << name << " went missing";
        }
        if (now.contains("homepage.html")) {
            EXPECT_EQ(withoutTrailingLfs(f.homepage.PageText), withoutTrailingLfs(now.at("homepage.html")))
                << "the held homepage claims what the disk does not hold";
        }

        f.clickPanel(Panel::FileFailure);
        op.run(h);
        h.runUntilIdle();
        EXPECT_FALSE(f.isVisible(Panel::FileFailure));
        const Files retried = snapshot(h);
        ASSERT_EQ(retried.size(), after.size());
        for (const auto& [name, bytes] : after) {
            ASSERT_TRUE(retried.contains(name)) << name;
            EXPECT_TRUE(sameText(withoutTrailingLfs(bytes), withoutTrailingLfs(retried.at(name)))) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, WriteFaults, ::testing::Range<std::size_t>(0, operations().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                             std::string name = operations()[info.param].name;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

} // namespace
} // namespace clipnest::testing
