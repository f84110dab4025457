#include "publish/connection_check.h"

#include "platform/code_page.h"
#include "publish/remote.h"

#include <algorithm>
#include <fstream>
#include <random>

namespace clipnest::publish {

namespace {

using Outcome = ConnectionReport::Outcome;

// The name the test's small file goes up under, hidden beside the channel's files.
constexpr const char* ProbeName = ".clipnest-connection-test";

// The folder's own name for a report: its last part, or "the login folder".
std::string shortName(const Target& target) {
    std::string folder = target.folder();
    while (folder.size() > 1 && folder.ends_with('/')) {
        folder.pop_back();
    }
    if (folder.empty()) {
        return "the login folder";
    }
    const std::size_t slash = folder.rfind('/', folder.size() - 2);
    return folder.size() > 1 && slash != std::string::npos ? folder.substr(slash + 1) : folder;
}

// "holds homepage.html and 12 other files", "is empty".
std::string holdings(const std::vector<RemoteFile>& files) {
    std::vector<std::string> names;
    for (const RemoteFile& file : files) {
        if (!file.name.starts_with('.')) {
            names.push_back(codePageToUtf8(file.name));
        }
    }
    if (names.empty()) {
        return "is empty";
    }
    std::sort(names.begin(), names.end());
    const auto homepage = std::find(names.begin(), names.end(), "homepage.html");
    const std::string first = homepage != names.end() ? *homepage : names.front();
    const std::size_t others = names.size() - 1;
    return "holds " + first +
           (others == 0   ? std::string()
            : others == 1 ? " and 1 other file"
                          : " and " + std::to_string(others) + " other files");
}

Outcome outcomeOf(Remote::Fault fault) {
    switch (fault) {
    case Remote::Fault::Login:
        return Outcome::LoginRefused;
    case Remote::Fault::HostKey:
        return Outcome::HostKeyUnknown;
    case Remote::Fault::FolderMissing:
        return Outcome::FolderMissing;
    default:
        return Outcome::Unreachable;
    }
}

// The address in `settings`, checked as a publish checks it.
Result<Target> targetOf(const Settings& settings) {
    if (settings.to.empty()) {
        return Failure{"there is no address to connect to"};
    }
    Result<Target> target = parseTarget(settings.to);
    if (target && target->scheme == Target::Scheme::Ftp && !settings.insecure) {
        return Failure{"plain ftp:// sends your password unencrypted; use sftp:// or ftps://, or allow it with "
                       "`insecure = yes`"};
    }
    return target;
}

// A small file of its own in the system's temporary folder, gone with the object.
struct ProbeFile {
    std::filesystem::path path;
    bool made = false;
    ProbeFile() {
        std::random_device random;
        std::error_code error;
        path = std::filesystem::temp_directory_path(error) /
               ("clipnest-connection-test-" + std::to_string(random()) + std::to_string(random()));
        std::ofstream out(path, std::ios::binary);
        out << "Clipnest tests whether it can write here; this file is removed at once.\n";
        made = static_cast<bool>(out.flush());
    }
    ~ProbeFile() {
        std::error_code error;
        std::filesystem::remove(path, error);
    }
    ProbeFile(const ProbeFile&) = delete;
    ProbeFile& operator=(const ProbeFile&) = delete;
};

} // namespace

ConnectionReport checkConnection(const Settings& settings, const std::atomic<bool>* cancel) {
    ConnectionReport report;
    const Result<Target> target = targetOf(settings);
    if (!target) {
        report.outcome = Outcome::BadAddress;
        report.text = why(target);
        return report;
    }
    const std::unique_ptr<Remote> remote = openRemote(*target, settings, cancel);
    if (const std::string problem = remote->connect(); !problem.empty()) {
        report.outcome = outcomeOf(remote->fault());
        report.text = problem;
        report.loginTop = remote->loginTop();
        return report;
    }
    std::vector<RemoteFile> files;
    if (const std::string problem = remote->list(files); !problem.empty()) {
        report.outcome = remote->lost().empty() ? Outcome::NotWritable : Outcome::Unreachable;
        report.text = problem;
        return report;
    }
    const std::string connected = "Connected" + (target->user.empty() ? " to " + target->host : " as " + target->user) +
                                  "; " + shortName(*target) + " " + holdings(files);
    const ProbeFile probe;
    if (!probe.made) {
        report.outcome = Outcome::NotWritable;
        report.text = connected + "; whether it can be written is not known: Clipnest could not make its test file";
        return report;
    }
    std::string refused;
    PutEvents events;
    events.finished = [&](std::size_t, const std::string& problem) { refused = problem; };
    const std::atomic<bool> never{false};
    if (const std::string lost =
            remote->put({Upload{probe.path, ProbeName, 0, false}}, events, cancel ? *cancel : never);
        !lost.empty()) {
        report.outcome = outcomeOf(remote->fault());
        report.text = lost;
        return report;
    }
    if (!refused.empty()) {
        report.outcome = Outcome::NotWritable;
        report.text = connected + "; not writable: " + refused;
        return report;
    }
    const std::string left = remote->remove(ProbeName);
    report.outcome = Outcome::Writable;
    report.text =
        connected + "; writable" +
        (left.empty() ? std::string() : " (its test file " + std::string(ProbeName) + " stayed: " + left + ")");
    return report;
}

Result<std::vector<std::string>> listFolders(const Settings& settings, const std::string& path) {
    Result<Target> target = targetOf(settings);
    if (!target) {
        return Failure{why(target)};
    }
    // As an address writes it: from the root with a leading slash, else inside the login folder.
    target->path = "/" + path;
    if (!target->path.ends_with('/')) {
        target->path += '/';
    }
    if (target->path.find("/../") != std::string::npos) {
        return Failure{"a folder's path may not lead up with .."};
    }
    const std::unique_ptr<Remote> remote = openRemote(*target, settings);
    std::vector<RemoteFile> entries;
    if (const std::string problem = remote->list(entries); !problem.empty()) {
        return Failure{problem};
    }
    std::vector<std::string> folders;
    for (const RemoteFile& entry : entries) {
        if (entry.folder) {
            folders.push_back(codePageToUtf8(entry.name));
        }
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

} // namespace clipnest::publish
