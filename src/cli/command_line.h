#pragma once

#include <filesystem>
#include <ostream>
#include <string_view>

namespace clipnest::cli {

// Runs one command line (argv[0] is the program) in the folder `dir`, through the same Form, button actions and Steps
// as the window, in virtual time. Listings go to `out`; what the operation said goes to `err`, a
// line each. Returns the exit status: 0 when the operation did its work (or, for a change with nothing to change,
// had none to do), 1 when it could not, 2 for a usage error.
int runCommandLine(int argc, const char* const* argv, const std::filesystem::path& dir, std::ostream& out,
                   std::ostream& err);

// Whether `word` names one of the commands.
bool isCommand(std::string_view word);

} // namespace clipnest::cli
