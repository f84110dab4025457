#include "cli/command_line.h"

#include "cli/commands.h"
#include "platform/files.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace clipnest::cli {

bool isCommand(std::string_view word) {
    const std::span<const Command> table = commands();
    return std::any_of(table.begin(), table.end(), [word](const Command& c) { return word == c.name; });
}

int runCommandLine(int argc, const char* const* argv, const std::filesystem::path& dir, std::ostream& out,
                   std::ostream& err) {
    std::vector<std::string> words(argv + std::min(argc, 1), argv + argc);
    int status = 0;
    const std::optional<Args> args = parseCommand(
        words, false, [&](const CLI::ParseError& e, CLI::App& app) { app.exit(e, out, err); }, status);
    if (!args) {
        return status;
    }
    std::filesystem::path folder = dir;
    if (!args->folder.empty()) {
        folder = dir / args->folder;
        std::error_code ec;
        const bool reading = args->command->run == runList || args->command->run == runHistory;
        if (!std::filesystem::is_directory(folder, ec)) {
            err << "clipnest: cannot work in " << args->folder << ": "
                << (std::filesystem::exists(folder, ec) ? "not a folder" : "no such folder") << '\n';
            return Usage;
        }
        if (!reading && !mayWriteIn(folder)) {
            err << "clipnest: cannot work in " << args->folder << ": the folder cannot be written\n";
            return Usage;
        }
    }
    Runner runner(folder, out, err);
    runner.setQuiet(args->quiet);
    return runner.run(*args);
}

} // namespace clipnest::cli
