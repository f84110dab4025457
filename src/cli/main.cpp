#include "cli/command_line.h"

#include <filesystem>
#include <iostream>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::cerr << "clipnest: built without the window; run a command (clipnest --help)\n";
        return 2;
    }
    return clipnest::cli::runCommandLine(argc, argv, std::filesystem::current_path(), std::cout, std::cerr);
}
