#pragma once

#include <optional>
#include <string>
#include <vector>

namespace clipnest::cli {

// What the parser would say less plainly about a line of words: an unknown command, with the known one it is
// closest to (or the list of them), and an option given twice.
std::optional<std::string> usageProblem(const std::vector<std::string>& words, const std::vector<std::string>& known);

} // namespace clipnest::cli
