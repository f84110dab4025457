#include "support/support.h"

#include "text/entries.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

namespace clipnest::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    do {
        path_ = fs::temp_directory_path() / ("clipnest-test-" + std::to_string(rd()));
    } while (!fs::create_directory(path_));
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

Files filesOf(const fs::path& dir) {
    Files files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files.emplace_back(entry.path().filename().string(), readFile(entry.path()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string expected(const std::string& name) {
    const std::string bytes = readFile(fs::path(CLIPNEST_EXPECTED_DIR) / name);
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

std::string shell(const std::string& command, int* rc) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[8192];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    if (rc) {
        *rc = status;
    }
    return out;
}

std::optional<std::string> FaultyFolder::read(std::string_view name) const {
    if (unreadable == "*" || name == unreadable) {
        return std::nullopt;
    }
    return WorkingFolder::read(name);
}

bool FaultyFolder::write(std::string_view name, std::string_view bytes) {
    if (++writes_ == failAt_) {
        failed = name;
        return false;
    }
    return WorkingFolder::write(name, bytes);
}

Harness::Harness(const Files& files, bool started) : folder_(dir_.path()) {
    for (const auto& [name, bytes] : files) {
        put(name, bytes);
    }
    form_ = std::make_unique<Form>(clock_, folder_);
    if (started) {
        runChains();
    }
}

void Harness::advance(std::int64_t ms) {
    const std::int64_t target = clock_.now + ms;
    runInVirtualTime(form_->scheduler(), clock_, target, [] { return true; });
    clock_.now = target;
}

void Harness::runChains() {
    runInVirtualTime(form_->scheduler(), clock_, clock_.now + 600000, [this] { return form_->chainRunning(); });
}

void Harness::runUntilIdle() {
    runInVirtualTime(form_->scheduler(), clock_, clock_.now + 600000, [] { return true; });
}

Names Harness::entries() const {
    Names names;
    for (const LiveEntry& e : liveEntries(file("homepage.html"))) {
        names.push_back(e.fileName);
    }
    return names;
}

void Harness::entry(const std::string& name, const std::string& homepage, const std::string& page, bool homepageOnly) {
    form_->controls.first = {name, homepage, page, homepageOnly};
    form_->createOrChangeEntry(EntryPanel::First);
    runChains();
}

void Harness::remove(const std::string& name) {
    form_->controls.first.name = name;
    form_->deleteEntry(EntryPanel::First);
    runChains();
}

void Harness::insert(const std::string& name, const std::string& above, const std::string& homepage,
                     const std::string& page) {
    form_->controls.insert = {name, homepage, page, above};
    form_->insertAboveEntry();
    runChains();
}

void Harness::title(const std::string& title, const std::string& message) {
    form_->controls.title = title;
    form_->controls.message = message;
    form_->setTitleAndMessage();
    runChains();
}

void Harness::rename(const std::string& from, const std::string& to) {
    form_->controls.renameFrom = from;
    form_->controls.renameTo = to;
    form_->writeRenamePage();
    runChains();
}

Files channel(const Names& names) {
    Harness h;
    for (const std::string& name : names) {
        h.entry(name, "About " + name);
    }
    Files files = filesOf(h.dir());
    std::erase_if(files, [](const auto& f) { return f.first.starts_with("."); });
    return files;
}

std::string homepageOf(const Names& names) {
    for (const auto& [name, bytes] : channel(names)) {
        if (name == "homepage.html") {
            return bytes;
        }
    }
    return "";
}

std::string with(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

::testing::AssertionResult sameText(std::string_view expected, std::string_view actual) {
    if (expected == actual) {
        return ::testing::AssertionSuccess();
    }
    std::size_t line = 1, at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) {
        line += expected[at++] == '\n';
    }
    const auto around = [at](std::string_view t) { return std::string(t.substr(at, 60)); };
    return ::testing::AssertionFailure() << "first difference at line " << line << "\n  expected: [" << around(expected)
                                         << "]\n  actual:   [" << around(actual) << "]";
}

} // namespace clipnest::testing
