#include "cli/suggestions.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace clipnest::cli {

namespace {

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::optional<std::string> usageProblem(const std::vector<std::string>& words, const std::vector<std::string>& known) {
    auto command = words.begin();
    while (command != words.end() && command->starts_with("-")) {
        // -C's folder is no command.
        command += *command == "-C" && command + 1 != words.end() ? 2 : 1;
    }
    if (command == words.end()) {
        return std::nullopt;
    }
    if (std::find(known.begin(), known.end(), *command) == known.end()) {
        std::string best;
        std::size_t distance = 3;
        for (const std::string& name : known) {
            if (const std::size_t d = editDistance(*command, name); d < distance) {
                best = name;
                distance = d;
            }
        }
        std::string all;
        for (const std::string& name : known) {
            all += (all.empty() ? "" : ", ") + name;
        }
        return "unknown command '" + *command + "'; " +
               (best.empty() ? "the commands are " + all : "did you mean '" + best + "'?");
    }
    std::vector<std::string> seen;
    for (auto w = command + 1; w != words.end() && *w != "--"; ++w) {
        if (!w->starts_with("--") || *w == "--help") {
            continue;
        }
        const std::string option = w->substr(0, w->find('='));
        if (std::find(seen.begin(), seen.end(), option) != seen.end()) {
            return option + " given twice";
        }
        seen.push_back(option);
    }
    return std::nullopt;
}

} // namespace clipnest::cli
