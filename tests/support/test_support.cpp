#include "test_support.h"

#include "text/document.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <fstream>
#include <random>
#include <sstream>

namespace clipnest::testing {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    do {
        path_ = base / ("clipnest-test-" + std::to_string(rd()));
    } while (!std::filesystem::create_directory(path_));
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::optional<std::string> FaultyFolder::read(std::string_view name) const {
    if (failReads || name == unreadable) {
        return std::nullopt;
    }
    return WorkingFolder::read(name);
}

bool FaultyFolder::write(std::string_view name, std::string_view bytes) {
    if (++writes_ == failAt_) {
        failed = name;
        return false;
    }
    if (!WorkingFolder::write(name, bytes)) {
        return false;
    }
    written.emplace_back(name);
    return true;
}

Harness::Harness(const std::vector<std::pair<std::string, std::string>>& files, bool started) : folder_(dir_.path()) {
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

void Harness::runChains(std::int64_t limitMs) {
    runInVirtualTime(form_->scheduler(), clock_, clock_.now + limitMs, [this] { return form_->chainRunning(); });
}

void Harness::runUntilIdle(std::int64_t limitMs) {
    runInVirtualTime(form_->scheduler(), clock_, clock_.now + limitMs, [] { return true; });
}

void Harness::put(const std::string& name, std::string_view bytes) {
    std::ofstream(dir() / name, std::ios::binary) << bytes;
}

std::string Harness::file(const std::string& name) const {
    std::ifstream in(dir() / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Harness::has(const std::string& name) const {
    return std::filesystem::exists(dir() / name);
}

void createEntry(Harness& h, const std::string& name, const std::string& homepage, const std::string& individ,
                 bool homepageOnly) {
    Controls& c = h.form().controls;
    c.first.name = name;
    c.first.homepageDescription = homepage;
    c.first.pageDescription = individ;
    c.first.homepageOnly = homepageOnly;
    h.form().createOrChangeEntry(EntryPanel::First);
    h.runChains();
}

void deleteEntry(Harness& h, const std::string& name) {
    h.form().controls.first.name = name;
    h.form().deleteEntry(EntryPanel::First);
    h.runChains();
}

void insertEntry(Harness& h, const std::string& name, const std::string& anchor, const std::string& homepage,
                 const std::string& individ) {
    Controls& c = h.form().controls;
    c.insert.name = name;
    c.insert.above = anchor;
    c.insert.homepageDescription = homepage;
    c.insert.pageDescription = individ;
    h.form().insertAboveEntry();
    h.runChains();
}

void updateTitle(Harness& h, const std::string& title, const std::string& message) {
    h.form().controls.title = title;
    h.form().controls.message = message;
    h.form().setTitleAndMessage();
    h.runChains();
}

void renamePage(Harness& h, const std::string& oldName, const std::string& newName) {
    h.form().controls.renameFrom = oldName;
    h.form().controls.renameTo = newName;
    h.form().writeRenamePage();
    h.runChains();
}

std::string liveEntry(const std::string& name, const std::string& descrip) {
    std::string entry = buildSampleEntry();
    replaceAll(entry, markers::FileNameToken, name);
    replaceAll(entry, markers::FileNameLessExtToken, withoutExtension(name));
    replaceAll(entry, markers::HomepageDescripToken, descrip);
    replaceAll(entry, markers::WrapOpen, "");
    replaceAll(entry, markers::WrapClose, "");
    return entry;
}

std::string liveEntry(const std::string& name) {
    return liveEntry(name, "About " + name);
}

const std::string PageHead = "<html>\n<body>\n<div class=\"container\">\n";
const std::string PageTail = std::string(markers::EndA) + "\n</body>\n</html>\n";

std::string homepageWith(std::initializer_list<std::string> names) {
    std::string text = PageHead;
    for (const std::string& name : names) {
        text += liveEntry(name) + "\n";
    }
    return text + "\n" + buildSampleEntry() + "\n" + PageTail;
}

std::string with(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', start)) {
        lines.emplace_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

::testing::AssertionResult sameText(std::string_view expected, std::string_view actual) {
    if (expected == actual) {
        return ::testing::AssertionSuccess();
    }
    const auto e = splitLines(expected);
    const auto a = splitLines(actual);
    for (std::size_t i = 0; i < std::max(e.size(), a.size()); ++i) {
        const std::string el = i < e.size() ? e[i] : "<none>";
        const std::string al = i < a.size() ? a[i] : "<none>";
        if (el != al) {
            return ::testing::AssertionFailure()
                   << "first difference at line " << i + 1 << "\n  expected: [" << el << "]\n  actual:   [" << al
                   << "]\n  (" << e.size() << " vs " << a.size() << " lines)";
        }
    }
    return ::testing::AssertionFailure() << "texts differ";
}

} // namespace clipnest::testing
