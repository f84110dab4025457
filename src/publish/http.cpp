#include "publish/http.h"

#include "platform/module.h"
#include "publish/remote.h"

namespace clipnest::publish {

HttpAnswer postForm(const std::string& url, const FormFields& fields) {
    const std::filesystem::path program = programFolder();
    HttpAnswer answer;
    void* function = loadModuleFunction({program, program.empty() ? program : program / CLIPNEST_MODULE_FOLDER},
                                        FtpModule, PostFormFunction, answer.problem);
    if (!function) {
        answer.problem = "Clipnest's web support is missing: " + answer.problem + "; install Clipnest again";
    } else if (!reinterpret_cast<PostForm>(function)(url, fields, answer, CLIPNEST_VERSION)) {
        answer.problem = "Clipnest's web support (" + std::string(FtpModule) +
                         ") belongs to another version of Clipnest; install Clipnest again";
    }
    return answer;
}

} // namespace clipnest::publish
