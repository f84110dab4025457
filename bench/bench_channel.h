#pragma once

// Channels made as a host makes them: the tool's own `title`, then one batch of `entry` lines with descriptions of
// the length people write (about 600 characters for the homepage, 300 for the page), so the folder holds the
// homepage and every video page; and, for a copy, the channel's address set with `publish --site`.
#include "cli/command_line.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace clipnest::bench {

inline constexpr const char* BenchSite = "https://example.net/garden/";

// Words of a sentence about a garden video, picked by `seed`; about `length` characters, no quotes.
inline std::string description(unsigned seed, std::size_t length) {
    static const std::vector<std::string> words = {
        "the",    "roses",   "after", "rain",   "pruning", "we",    "cut",   "back",        "old",
        "wood",   "and",     "water", "slowly", "tulips",  "bloom", "early", "caf\xC3\xA9", "soil",
        "spring", "compost", "&",     "shade",  "beds",    "green", "light", "morning",     "seeds"};
    std::string text;
    unsigned state = seed * 2654435761u + 1;
    while (text.size() < length) {
        state = state * 1103515245u + 12345u;
        text += (text.empty() ? "" : " ") + words[(state >> 16) % words.size()];
        if ((state >> 8) % 11 == 0) {
            text += ".";
        }
    }
    return text;
}

// "entry NAME --homepage '...' --individual '...'".
inline std::string entryLine(const std::string& name, unsigned seed) {
    return "entry " + name + " --homepage '" + description(seed, 600) + "' --individual '" +
           description(seed + 7, 300) + "'\n";
}

inline int runIn(const std::filesystem::path& dir, const std::vector<std::string>& words) {
    std::vector<const char*> argv = {"clipnest"};
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    std::ostringstream out, err;
    return cli::runCommandLine(static_cast<int>(argv.size()), argv.data(), dir, out, err);
}

// Makes a channel of `n` entries clip1.mp4 ... in `dir` with this build of the tool; with `site`, its address too.
inline bool makeChannel(const std::filesystem::path& dir, int n, const std::string& site) {
    std::filesystem::create_directories(dir);
    if (runIn(dir, {"title", "--title", "My garden", "--message", description(1, 400)}) != 0) {
        return false;
    }
    const std::filesystem::path lines = dir.string() + "-lines.txt";
    {
        std::ofstream out(lines, std::ios::binary);
        for (int i = 1; i <= n; ++i) {
            out << entryLine("clip" + std::to_string(i) + ".mp4", static_cast<unsigned>(i));
        }
    }
    const bool made = runIn(dir, {"batch", lines.string()}) == 0;
    std::filesystem::remove(lines);
    return made && (site.empty() || runIn(dir, {"publish", "--site", site}) == 0);
}

} // namespace clipnest::bench
