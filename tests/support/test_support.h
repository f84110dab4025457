#pragma once

#include "core/form.h"
#include "shell/clock.h"
#include "shell/working_folder.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest::testing {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A real folder whose writes can be made to fail: `failWrite(n)` makes the n-th write from now fail (1 = the next),
// `failReads` makes every read fail.
class FaultyFolder final : public WorkingFolder {
public:
    using WorkingFolder::WorkingFolder;
    std::optional<std::string> read(std::string_view name) const override;
    bool write(std::string_view name, std::string_view bytes) override;
    void failWrite(int n) { failAt_ = writes_ + n; }
    int writes() const { return writes_; }
    std::vector<std::string> written; // names written successfully, in order
    std::string failed;               // the name whose write was made to fail
    bool failReads = false;
    std::string unreadable; // a name whose reads fail

private:
    int writes_ = 0;
    int failAt_ = -1;
};

// A Form on a virtual clock over a temporary folder: type into its boxes, click, and move time on.
class Harness {
public:
    // Files to place in the folder before the Form exists.
    explicit Harness(const std::vector<std::pair<std::string, std::string>>& files = {}, bool started = true);

    Form& form() { return *form_; }
    FaultyFolder& folder() { return folder_; }
    const std::filesystem::path& dir() const { return dir_.path(); }

    // Runs every Step that falls due within the next `ms` milliseconds.
    void advance(std::int64_t ms);
    // Runs until no chain Step is armed (the panel timers may stay armed), at most `limitMs` of virtual time.
    void runChains(std::int64_t limitMs = 600000);
    // Runs until nothing at all is armed.
    void runUntilIdle(std::int64_t limitMs = 600000);
    std::int64_t now() const { return clock_.now; }

    void put(const std::string& name, std::string_view bytes);
    std::string file(const std::string& name) const;
    bool has(const std::string& name) const;

private:
    TempDir dir_;
    VirtualClock clock_;
    FaultyFolder folder_;
    std::unique_ptr<Form> form_;
};

// What a user does: type into a panel's boxes, click its button, and let the chain run to its end.
void createEntry(Harness& h, const std::string& name, const std::string& homepage, const std::string& individ = "",
                 bool homepageOnly = false);
void deleteEntry(Harness& h, const std::string& name);
void insertEntry(Harness& h, const std::string& name, const std::string& anchor, const std::string& homepage = "",
                 const std::string& individ = "");
void updateTitle(Harness& h, const std::string& title, const std::string& message);
void renamePage(Harness& h, const std::string& oldName, const std::string& newName);

// An entry as the append Step leaves it: the sample entry with its tokens filled and its wrappers taken off.
std::string liveEntry(const std::string& name, const std::string& descrip);
// The same with the description "About {name}".
std::string liveEntry(const std::string& name);

// Held homepage text: PageHead, the live entries, an empty line, the sample entry and PageTail.
extern const std::string PageHead;
extern const std::string PageTail;
std::string homepageWith(std::initializer_list<std::string> names);

// `text` with its first `from` replaced by `to`; a test failure when `from` is absent.
std::string with(std::string text, const std::string& from, const std::string& to);

// Lines of held text (split at LF), for readable comparisons.
std::vector<std::string> splitLines(std::string_view text);

// Compares two texts and, when they differ, names the first differing line.
::testing::AssertionResult sameText(std::string_view expected, std::string_view actual);

} // namespace clipnest::testing
