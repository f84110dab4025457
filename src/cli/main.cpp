#include "cli/command_line.h"

#include <filesystem>
#include <iostream>

int main(int argc, char* argv[]) {
    return clipnest::cli::runCommandLine(argc, argv, std::filesystem::current_path(), std::cout, std::cerr);
}
