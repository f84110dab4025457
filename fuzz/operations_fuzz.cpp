// Arbitrary homepages and requests through the whole Form: the fuzz input chooses the homepage bytes, then a
// sequence of clicks with the names and descriptions typed for them, and which write fails. Every chain runs under a
// bound of virtual time and Step runs, so a chain that never ends is found as a hang.
#include "core/form.h"
#include "platform/working_folder.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>
#include <unistd.h>

using namespace clipnest;
namespace fs = std::filesystem;

namespace {

// The real folder with the flush to disk left out (it only costs time here) and one write that may fail.
class FuzzFolder final : public WorkingFolder {
public:
    using WorkingFolder::WorkingFolder;
    bool write(std::string_view name, std::string_view bytes) override {
        if (++writes == failAt) {
            return false;
        }
        std::ofstream out(dir() / std::string(name), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
    }
    int writes = 0;
    int failAt = -1;
};

const fs::path& folderPath() {
    static const fs::path path = [] {
        fs::path p = fs::temp_directory_path() / ("clipnest-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    return path;
}

void emptyFolder() {
    for (const auto& entry : fs::directory_iterator(folderPath())) {
        fs::remove_all(entry.path());
    }
}

// Runs until no chain is armed, within ten minutes of virtual time and a fixed number of Step runs.
void runChains(Form& form, VirtualClock& clock) {
    int runs = 0;
    const bool ended = runInVirtualTime(form.scheduler(), clock, clock.now + 600000,
                                        [&] { return form.chainRunning() && ++runs <= 5000; });
    if (!ended || form.chainRunning()) {
        std::abort(); // a chain that does not end
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    emptyFolder();
    const fs::path dir = folderPath();
    const int homepageName = in.ConsumeIntegralInRange(0, 4); // 4: no homepage at all
    const std::string homepage = in.ConsumeRandomLengthString(8192);
    if (homepageName < 4) {
        const char* names[] = {"homepage.html", "Homepage.html", "homepage.htm", "Homepage.htm"};
        std::ofstream(dir / names[homepageName], std::ios::binary) << homepage;
    }
    if (in.ConsumeBool()) {
        std::ofstream(dir / "AppDocs.txt", std::ios::binary) << "\r\n";
    }
    if (in.ConsumeBool()) {
        std::ofstream(dir / "clip.php", std::ios::binary) << in.ConsumeRandomLengthString(2048);
    }

    VirtualClock clock;
    FuzzFolder folder(dir);
    auto form = std::make_unique<Form>(clock, folder);
    runChains(*form, clock);

    const int clicks = in.ConsumeIntegralInRange(1, 6);
    for (int i = 0; i < clicks && in.remaining_bytes() > 0; ++i) {
        Controls& c = form->controls;
        if (in.ConsumeBool()) {
            folder.failAt = folder.writes + in.ConsumeIntegralInRange(1, 3);
        }
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
        case 1:
            c.first.name = in.ConsumeRandomLengthString(40);
            c.first.homepageDescription = in.ConsumeRandomLengthString(200);
            c.first.pageDescription = in.ConsumeRandomLengthString(200);
            c.first.homepageOnly = in.ConsumeBool();
            form->createOrChangeEntry(EntryPanel::First);
            break;
        case 2:
            c.second.name = in.ConsumeRandomLengthString(40);
            c.second.homepageDescription = in.ConsumeRandomLengthString(200);
            c.second.pageDescription = in.ConsumeRandomLengthString(200);
            c.second.homepageOnly = in.ConsumeBool();
            form->createOrChangeEntry(EntryPanel::Second);
            break;
        case 3:
            c.first.name = in.ConsumeRandomLengthString(40);
            form->deleteEntry(EntryPanel::First);
            break;
        case 4:
            c.insert.name = in.ConsumeRandomLengthString(40);
            c.insert.homepageDescription = in.ConsumeRandomLengthString(200);
            c.insert.pageDescription = in.ConsumeRandomLengthString(200);
            c.insert.above = in.ConsumeRandomLengthString(40);
            form->insertAboveEntry();
            break;
        case 5:
            c.title = in.ConsumeRandomLengthString(100);
            c.message = in.ConsumeRandomLengthString(100);
            form->setTitleAndMessage();
            break;
        case 6:
            c.renameFrom = in.ConsumeRandomLengthString(40);
            c.renameTo = in.ConsumeRandomLengthString(40);
            form->writeRenamePage();
            break;
        default:
            form->clickMessage(Message::FileFailure);
            form->clearEntryBoxes(EntryPanel::First);
            break;
        }
        // Sometimes the next click comes while the chain is still under way.
        if (in.ConsumeBool()) {
            runChains(*form, clock);
        }
    }
    runChains(*form, clock);
    return 0;
}
