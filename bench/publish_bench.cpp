// What a publish costs before it sends anything: deciding what changed on a channel of 2,000 entries whose files
// are all as last published (nothing to upload), and hashing a folder of videos the first time, against the second
// time, when only size and time are looked at; and the hash of one 200 MB video on its own. Prints figures; never
// fails on speed.
#include "publish/manifest.h"
#include "publish/plan.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace clipnest::publish;

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Plans once to hash and record everything, then times a plan that finds nothing changed.
void measure(const fs::path& dir, const char* what, double megabytes) {
    Manifest manifest;
    Record& record = manifest.of("");
    auto start = std::chrono::steady_clock::now();
    const Plan first = planPublish(dir, {}, record);
    const double firstMs = msSince(start);
    for (const ChannelFile& f : first.files) {
        record.record(f.name, f.now);
    }
    manifest.save(dir);
    start = std::chrono::steady_clock::now();
    const Plan again = planPublish(dir, {}, Manifest::load(dir).of(""));
    const double againMs = msSince(start);
    std::size_t changed = 0;
    for (const ChannelFile& f : again.files) {
        changed += f.changed;
    }
    std::printf(
        "%-34s %6zu files: first plan %8.1f ms (%zu hashed%s), unchanged plan %7.1f ms (%zu hashed, %zu "
        "changed)\n",
        what, first.files.size(), firstMs, first.hashed,
        megabytes > 0 ? (", " + std::to_string(static_cast<int>(megabytes / (firstMs / 1000))) + " MB/s").c_str() : "",
        againMs, again.hashed, changed);
}

// Hashes one file of 200 MB three times in turn (the page cache holds it after the write), printing each rate.
void measureHash(const fs::path& dir) {
    const fs::path video = dir / "video.mp4";
    std::ofstream(video, std::ios::binary) << std::string(200'000'000, 'v');
    std::printf("%-34s", "SHA-256 of one 200 MB video");
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const bool read = sha256Of(video).has_value();
        std::printf(" %6.0f MB/s%s", 200 / (msSince(start) / 1000), read ? "" : " (not read)");
    }
    std::printf("\n");
}

} // namespace

// clipnest_publish_bench [--hash]: every figure, or only the 200 MB video's hash.
int main(int argc, char** argv) {
    const fs::path base = fs::temp_directory_path() / "clipnest-publish-bench";
    fs::remove_all(base);
    if (argc > 1 && std::string(argv[1]) == "--hash") {
        fs::create_directories(base);
        measureHash(base);
        fs::remove_all(base);
        return 0;
    }

    // 2,000 entries: the homepage, a page for each, no videos in the folder.
    fs::create_directories(base / "pages");
    std::string homepage = "<html>\n";
    for (int i = 0; i < 2000; ++i) {
        const std::string name = "clip" + std::to_string(i);
        homepage += "<a href=\"" + name + ".php\">\n<source src=\"" + name + ".mp4\" type=\"video/mp4\"/>\n";
        std::ofstream(base / "pages" / (name + ".php")) << std::string(3700, 'p') << i;
    }
    std::ofstream(base / "pages" / "homepage.html") << homepage << "</html>\n";
    measure(base / "pages", "2,000 entries, pages only", 0);

    // 20 videos of 50 MB each beside their pages.
    fs::create_directories(base / "videos");
    homepage = "<html>\n";
    const std::string video(50'000'000, 'v');
    for (int i = 0; i < 20; ++i) {
        const std::string name = "video" + std::to_string(i);
        homepage += "<source src=\"" + name + ".mp4\" type=\"video/mp4\"/>\n";
        std::ofstream(base / "videos" / (name + ".mp4"), std::ios::binary) << video << i;
        std::ofstream(base / "videos" / (name + ".php")) << "page " << i;
    }
    std::ofstream(base / "videos" / "homepage.html") << homepage << "</html>\n";
    measure(base / "videos", "20 videos of 50 MB with pages", 20 * 50.0);

    measureHash(base);
    fs::remove_all(base);
}
