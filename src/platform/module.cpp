#include "platform/module.h"

#include <dlfcn.h>

namespace clipnest {

namespace fs = std::filesystem;

fs::path programFolder() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : program.parent_path();
}

void* loadModuleFunction(const std::vector<fs::path>& folders, const std::string& fileName, const char* symbol,
                         std::string& problem) {
    for (const fs::path& folder : folders) {
        std::error_code ec;
        const fs::path file = folder / fileName;
        if (folder.empty() || !fs::is_regular_file(file, ec)) {
            continue;
        }
        // Its symbols stay its own, so a library it links cannot stand in for one of the program's.
        void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = ::dlerror();
            problem = file.string() + " could not be loaded (" + (why ? why : "unknown reason") + ")";
            return nullptr;
        }
        if (void* function = ::dlsym(module, symbol)) {
            return function;
        }
        problem = file.string() + " is not Clipnest's " + fileName;
        return nullptr;
    }
    std::string where;
    for (const fs::path& folder : folders) {
        where += (where.empty() ? "" : " or ") + folder.string();
    }
    problem = fileName + " is not in " + (where.empty() ? "the program's folder" : where);
    return nullptr;
}

} // namespace clipnest
