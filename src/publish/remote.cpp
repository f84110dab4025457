#include "publish/remote.h"

#include "platform/code_page.h"
#include "platform/module.h"
#include "publish/sftp.h"

#include <algorithm>

namespace clipnest::publish {

namespace {

// Stands in for the FTP module when it cannot be loaded: every call says why, as a connection problem would.
class Unavailable final : public Remote {
public:
    explicit Unavailable(std::string problem) : problem_(std::move(problem)) {}
    std::string connect() override { return problem_; }
    std::string put(const std::vector<Upload>&, const PutEvents&, const std::atomic<bool>&) override {
        return problem_;
    }
    std::string get(const std::string&, std::string& bytes, bool& missing) override {
        bytes.clear();
        missing = false;
        return problem_;
    }
    std::string stat(const std::vector<std::string>&, std::vector<RemoteFile>& found) override {
        found.clear();
        return problem_;
    }
    std::string list(std::vector<RemoteFile>& files) override {
        files.clear();
        return problem_;
    }
    std::string rename(const std::string&, const std::string&) override { return problem_; }
    std::string remove(const std::string&) override { return problem_; }
    std::string lost() const override { return problem_; }

private:
    std::string problem_;
};

} // namespace

std::vector<std::string> topNames(const std::vector<RemoteFile>& entries, std::size_t most) {
    std::vector<const RemoteFile*> shown;
    for (const RemoteFile& entry : entries) {
        if (!entry.name.starts_with('.')) {
            shown.push_back(&entry);
        }
    }
    std::sort(shown.begin(), shown.end(), [](const RemoteFile* a, const RemoteFile* b) {
        return a->folder != b->folder ? a->folder : a->name < b->name;
    });
    std::vector<std::string> names;
    for (std::size_t i = 0; i < shown.size() && i < most; ++i) {
        names.push_back(codePageToUtf8(shown[i]->name));
    }
    return names;
}

std::string missingFolder(const Target& target, const std::vector<std::string>& top, bool listed) {
    std::string said = target.described() + " is not there";
    if (target.folder().empty()) {
        return said;
    }
    if (!listed) {
        return said + " (the login folder could not be listed)";
    }
    if (top.empty()) {
        return said + "; the login folder is empty";
    }
    said += "; the login folder holds: ";
    for (std::size_t i = 0; i < top.size(); ++i) {
        said += (i ? ", " : "") + top[i];
    }
    // A path of several folders may have been meant from the root, as SFTP addresses were once read.
    if (const std::string inside = target.folder(); !inside.starts_with('/') && inside.find('/') + 1 < inside.size()) {
        Target fromRoot = target;
        fromRoot.path = "//" + inside;
        said += "; a folder from the server's root is written with two slashes: " + fromRoot.display();
    }
    return said;
}

std::unique_ptr<Remote> openRemote(const Target& target, const Settings& settings, const std::atomic<bool>* cancel) {
    if (target.scheme == Target::Scheme::Sftp) {
        return openSftp(target, settings, cancel);
    }
    const std::filesystem::path program = programFolder();
    std::string problem;
    void* function = loadModuleFunction({program, program.empty() ? program : program / CLIPNEST_MODULE_FOLDER},
                                        FtpModule, FtpModuleFunction, problem);
    if (!function) {
        return std::make_unique<Unavailable>("Clipnest's FTP support is missing: " + problem +
                                             "; install Clipnest again");
    }
    Remote* ftp = reinterpret_cast<OpenFtp>(function)(target, settings, cancel, CLIPNEST_VERSION);
    if (!ftp) {
        return std::make_unique<Unavailable>("Clipnest's FTP support (" + std::string(FtpModule) +
                                             ") belongs to another version of Clipnest; install Clipnest again");
    }
    return std::unique_ptr<Remote>(ftp);
}

} // namespace clipnest::publish
