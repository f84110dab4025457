#include "cli/command_line.h"
#include "platform/process.h"

#include <filesystem>
#include <iostream>

int main(int argc, char* argv[]) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const bool folderOnly =
        argc == 2 && argv[1][0] != '-' && !clipnest::cli::isCommand(argv[1]) && fs::is_directory(argv[1], ec);
    if (argc < 2 || folderOnly) {
#ifdef CLIPNEST_WINDOW_PROGRAM
        // The window is a program of its own beside this one: only it loads the toolkit.
        const fs::path window = clipnest::ownProgram().parent_path() / CLIPNEST_WINDOW_PROGRAM;
        argv[0] = const_cast<char*>(window.c_str());
        clipnest::replaceProcess(window, argv);
        std::cerr << "clipnest: the window program " << window.string() << " could not be started; run a command "
                  << "instead (clipnest --help)\n";
#else
        std::cerr << "clipnest: built without the window; run a command (clipnest --help)\n";
#endif
        return 2;
    }
    std::ios::sync_with_stdio(false);
    return clipnest::cli::runCommandLine(argc, argv, fs::current_path(), std::cout, std::cerr);
}
