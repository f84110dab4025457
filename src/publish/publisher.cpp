#include "publish/publisher.h"

#include "publish/check.h"

#include <algorithm>

namespace clipnest::publish {

Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, bool dryRun, bool strict) {
    Report report;
    Manifest manifest = Manifest::load(channel);
    manifest.retarget(target.display());
    const Plan plan = planPublish(channel, settings, manifest);
    report.error = plan.error;
    report.notes = plan.notes;
    if (report.error.empty()) {
        const CheckReport check = checkChannel(channel, settings);
        std::vector<std::string> files;
        for (const Problem& problem : check.problems) {
            if (std::find(files.begin(), files.end(), problem.file) == files.end()) {
                files.push_back(problem.file);
            }
        }
        if (!files.empty()) {
            std::string said = "clipnest check finds " + std::to_string(check.problems.size()) +
                               (check.problems.size() == 1 ? " problem" : " problems") + " (";
            for (std::size_t i = 0; i < files.size() && i < 5; ++i) {
                said += (i ? ", " : "") + files[i];
            }
            said += files.size() > 5 ? ", ...)" : ")";
            said += ": run it to see them and how to mend them";
            if (strict) {
                report.error = said + "; nothing was uploaded";
                return report;
            }
            report.notes.push_back(said);
        }
    }
    // Records not yet saved: the new times of files touched with the same content.
    bool unsaved = false;
    for (const ChannelFile& file : plan.files) {
        if (file.changed) {
            report.changed.push_back(file);
        } else if (const Published* last = manifest.find(file.name); last && !(*last == file.now)) {
            // Same content, touched since: remember the new time so it is not read again.
            manifest.record(file.name, file.now);
            unsaved = true;
        }
    }
    if (dryRun || !report.error.empty()) {
        return report;
    }
    Uploader uploader(target, settings);
    for (std::size_t i = 0; i < report.changed.size(); ++i) {
        const ChannelFile& file = report.changed[i];
        if (cancel) {
            report.cancelled = true;
            break;
        }
        if (file.name == "homepage.html" && !report.failed.empty()) {
            report.notes.push_back("homepage.html was not uploaded: it would link to files the server lacks");
            break;
        }
        if (events.starting) {
            events.starting(file, i, report.changed.size());
        }
        const std::string problem = file.now.sha256.empty()
                                        ? "Clipnest could not read " + file.name
                                        : uploader.put(channel / file.name, file.name, events.progress, cancel);
        if (events.finished) {
            events.finished(file, problem);
        }
        if (!problem.empty()) {
            report.failed.emplace_back(file.name, problem);
            report.cancelled = cancel.load();
            if (report.cancelled) {
                break;
            }
            continue;
        }
        report.uploaded.push_back(file.name);
        manifest.record(file.name, file.now);
        if (!manifest.save(channel)) {
            report.notes.push_back("Clipnest could not record the upload in " + std::string(Manifest::File) +
                                   "; the next publish uploads the file again");
        }
        unsaved = false;
    }
    if (unsaved) {
        manifest.save(channel);
    }
    return report;
}

} // namespace clipnest::publish
