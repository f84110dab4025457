#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace clipnest {

// The folder the running program's file is in (empty when it cannot be told).
std::filesystem::path programFolder();

// Loads the shared module `fileName` from the first of `folders` that holds it and returns its function `symbol`, or
// null with the reason in `problem`. A module stays loaded until the program ends: what it made may outlive the call
// that made it. A library that only some commands use lives in such a module, so the others never load it.
void* loadModuleFunction(const std::vector<std::filesystem::path>& folders, const std::string& fileName,
                         const char* symbol, std::string& problem);

} // namespace clipnest
