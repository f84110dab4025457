// Every write of every operation is made to fail in turn. Whatever write fails, each file on disk must hold either
// its old or its new bytes, the failure panel must show, and asking again must give the same files as a run
// without the fault.
#include "support/test_support.h"

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;
namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;

Files snapshot(const Harness& h) {
    Files files;
    for (const auto& entry : fs::directory_iterator(h.dir())) {
        files[entry.path().filename().string()] = h.file(entry.path().filename().string());
    }
    return files;
}

std::optional<std::string> lookup(const Files& files, const std::string& name) {
    const auto it = files.find(name);
    return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
}

// A page read back from disk gains one LF at its end (a read appends LF after the final CR LF line), so a retry
// that read the file one time more or less may differ there and nowhere else.
std::string withoutTrailingLfs(std::string text) {
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    }
    while (text.ends_with('\n')) {
        text.pop_back();
    }
    return text;
}

void create(Harness& h, const std::string& name, const std::string& homepage, const std::string& individ = "") {
    Controls& c = h.form().controls;
    c.Text2 = name;
    c.Text4 = homepage;
    c.Text5 = individ;
    h.form().Command1();
    h.runChains();
}

struct Operation {
    const char* name;
    // Brings a fresh folder to the state the operation starts from.
    std::function<void(Harness&)> setup;
    // Types and clicks; the chain is run by the caller.
    std::function<void(Form&)> click;
};

// A channel with three entries, written by the tool itself, and an older rename page.
void threeEntries(Harness& h) {
    create(h, "clip1.mp4", "First");
    create(h, "clip2.mp4", "Second");
    create(h, "clip3.mp4", "Third");
    h.form().controls = Controls{};
    h.put("change_file_name.php", "old rename page");
}

const std::vector<Operation>& operations() {
    static const std::vector<Operation> ops = {
        {"append", threeEntries,
         [](Form& f) {
             f.controls.Text2 = "fresh.mp4";
             f.controls.Text4 = "A fresh one";
             f.Command1();
         }},
        {"append to the default homepage", [](Harness&) {},
         [](Form& f) {
             f.controls.Text2 = "first.mp4";
             f.controls.Text4 = "The very first";
             f.Command1();
         }},
        {"change both descriptions", threeEntries,
         [](Form& f) {
             f.controls.Text2 = "clip2.mp4";
             f.controls.Text4 = "Second, better";
             f.controls.Text5 = "The long story";
             f.Command1();
         }},
        {"change the homepage description only", threeEntries,
         [](Form& f) {
             f.controls.Text2 = "clip2.mp4";
             f.controls.Text4 = "Only here";
             f.controls.Check1 = true;
             f.Command1();
         }},
        {"delete", threeEntries,
         [](Form& f) {
             f.controls.Text2 = "clip2.mp4";
             f.Command5();
         }},
        {"insert", threeEntries,
         [](Form& f) {
             f.controls.Text20 = "between.mp4";
             f.controls.Text19 = "In between";
             f.controls.Text21 = "Longer words";
             f.controls.Text25 = "clip2.mp4";
             f.Command9();
         }},
        {"title and message", threeEntries,
         [](Form& f) {
             f.controls.Text22 = "My channel";
             f.controls.Text23 = "Welcome";
             f.Command11();
         }},
        {"rename page", threeEntries,
         [](Form& f) {
             f.controls.Text18 = "old.mp4";
             f.controls.Text24 = "new.mp4";
             f.Command10();
         }},
    };
    return ops;
}

// The folder after the setup; each trial starts a new session on a copy of it, as a user's next day would.
Files prepared(const Operation& op) {
    Harness h;
    op.setup(h);
    return snapshot(h);
}

std::vector<std::pair<std::string, std::string>> asList(const Files& files) {
    return {files.begin(), files.end()};
}

class WriteFaults : public ::testing::TestWithParam<std::size_t> {};

TEST_P(WriteFaults, EachWriteFailingLeavesOldOrNewFiles) {
    {
        const Operation& op = operations()[GetParam()];
        const Files before = prepared(op);

        // The run without a fault: how many writes it makes and what it leaves.
        Harness clean(asList(before));
        const int startWrites = clean.folder().writes();
        op.click(clean.form());
        clean.runChains();
        const int writes = clean.folder().writes() - startWrites;
        const Files after = snapshot(clean);
        ASSERT_GT(writes, 0);
        RecordProperty("writes", writes);
        ASSERT_FALSE(clean.form().isVisible(Panel::FileFailure));

        for (int n = 1; n <= writes; ++n) {
            SCOPED_TRACE("failing write " + std::to_string(n) + " of " + std::to_string(writes));
            Harness h(asList(before));
            Form& f = h.form();
            h.folder().failWrite(n);
            op.click(f);
            h.runChains();

            EXPECT_TRUE(f.isVisible(Panel::FileFailure));
            EXPECT_FALSE(f.chainRunning());
            const Files now = snapshot(h);
            for (const auto& [name, bytes] : now) {
                const auto old = lookup(before, name);
                const auto fresh = lookup(after, name);
                EXPECT_TRUE((old && bytes == *old) || (fresh && bytes == *fresh))
                    << name << " holds neither its old nor its new bytes";
            }
            for (const auto& [name, bytes] : before) {
                EXPECT_TRUE(now.contains(name)) << name << " went missing";
            }

            // Once the panel is closed, asking again finishes the work as if nothing had failed.
            f.clickPanel(Panel::FileFailure);
            op.click(f);
            h.runUntilIdle();
            EXPECT_FALSE(f.isVisible(Panel::FileFailure));
            const Files retried = snapshot(h);
            for (const auto& [name, bytes] : after) {
                const auto again = lookup(retried, name);
                ASSERT_TRUE(again) << name;
                EXPECT_TRUE(testing::sameText(withoutTrailingLfs(bytes), withoutTrailingLfs(*again))) << name;
            }
            EXPECT_EQ(retried.size(), after.size());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, WriteFaults, ::testing::Range<std::size_t>(0, operations().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                             std::string name;
                             for (const char c : std::string(operations()[info.param].name)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

} // namespace
} // namespace clipnest
