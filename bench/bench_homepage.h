#pragma once

// The homepages the benchmarks work on: as the tool writes them, with N live entries of about 1 kB.
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace clipnest::bench {

inline std::string liveEntry(int i) {
    std::string entry = buildSampleEntry();
    const std::string name = "clip" + std::to_string(i);
    replaceAll(entry, markers::FileNameToken, name + ".mp4");
    replaceAll(entry, markers::FileNameLessExtToken, name);
    replaceAll(entry, markers::HomepageDescripToken,
               "Video number " + std::to_string(i) + ": " + std::string(600, 'a' + static_cast<char>(i % 26)));
    replaceAll(entry, markers::WrapOpen, "");
    replaceAll(entry, markers::WrapClose, "");
    return entry;
}

// Writes a homepage as the tool writes it, with `n` live entries before the sample entry. Streamed, so that the
// peak memory printed at the end is the operations' and not this set-up's.
inline void writeHomepage(const std::filesystem::path& path, int n) {
    const std::string cut = "\x01entries\x01";
    const std::string page = buildDefaultHomepage("My channel", "Welcome", cut + "\n" + buildSampleEntry());
    const std::size_t at = page.find(cut);
    std::ofstream out(path, std::ios::binary);
    out << page.substr(0, at);
    for (int i = 1; i <= n; ++i) {
        out << liveEntry(i) << '\n';
    }
    out << page.substr(at + cut.size()) << "\r\n";
}

} // namespace clipnest::bench
