#include "publish/publisher.h"

#include "media/check.h"
#include "platform/clock.h"
#include "publish/publication.h"

#include <algorithm>
#include <set>

namespace clipnest::publish {

namespace {

std::string checkNote(const media::CheckReport& check) {
    std::vector<std::string> files;
    std::set<std::string> seen;
    for (const media::Problem& problem : check.problems) {
        if (seen.insert(problem.file).second) {
            files.push_back(problem.file);
        }
    }
    if (files.empty()) {
        return "";
    }
    std::string said = "clipnest check finds " + std::to_string(check.problems.size()) +
                       (check.problems.size() == 1 ? " problem" : " problems") + " (";
    for (std::size_t i = 0; i < files.size() && i < 5; ++i) {
        said += (i ? ", " : "") + files[i];
    }
    said += files.size() > 5 ? ", ...)" : ")";
    return said + ": run it to see them and how to mend them";
}

} // namespace

Publication::Publication(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                         const Events& events, const std::atomic<bool>& cancel, const Options& options,
                         RemoteMaker open)
    : channel_(channel), settings_(settings), target_(target), events_(events), cancel_(cancel), options_(options),
      folder_(channel), connections_(std::move(open), settings.connections ? settings.connections : DefaultConnections),
      lastSave_(monotonicMs()) {}

// One publish at a time: two would rename over each other's files on the server and each record what the other sent.
// A dry run changes nothing there, so it only looks when the lock is taken.
bool Publication::lock() {
    bool busy = false;
    if (folder_.subfolder(".clipnest", true)) {
        lock_ = FileLock::tryLock(channel_ / PublishLockFile, busy);
    }
    if (!lock_ && !options_.dryRun) {
        report_.busy = busy;
        report_.error = busy ? "another publish of this channel is running; this one did nothing"
                             : "Clipnest could not make " + std::string(PublishLockFile);
        return false;
    }
    return true;
}

void Publication::planWork() {
    manifest_ = Manifest::load(channel_);
    record_ = &manifest_.of(target_.recordKey());
    plan_ = planPublish(channel_, settings_, *record_);
    report_.error = plan_.error;
    report_.notes = plan_.notes;
    if (!report_.error.empty()) {
        return;
    }
    for (const RenamePair& pair : pendingRenames()) {
        deferred_.insert(pair.to);
    }
    renamesComplete_ = !plan_.renamePage.empty() && record_->renamesDone.contains(plan_.renamePage);
    // Files touched with the same content get their new time recorded, so they are not read again.
    for (const ChannelFile& file : plan_.files) {
        if (const Published* last = record_->find(file.name); !file.changed && last && !(*last == file.now)) {
            record_->record(file.name, file.now);
        }
    }
    // Only what goes up now is checked: the rest was checked when it went up, or waits for `clipnest check`. With
    // nothing to upload there is nothing to check.
    media::CheckOptions check{settings_.maxUpload, SettingsFile, std::set<std::string>(), std::set<std::string>()};
    for (const ChannelFile& file : plan_.files) {
        if (file.changed) {
            check.probeOnly->insert(file.name);
            check.files->insert(file.name);
        }
    }
    if (check.files->empty()) {
        return;
    }
    if (const std::string said = checkNote(media::checkChannel(channel_, check)); !said.empty()) {
        if (options_.strict) {
            report_.error = said + "; nothing was uploaded";
            return;
        }
        report_.notes.push_back(said);
    }
}

bool Publication::nothingToDo() const {
    const bool changed =
        std::any_of(plan_.files.begin(), plan_.files.end(), [](const ChannelFile& f) { return f.changed; });
    return !changed && pendingRenames().empty() && !record_->unfinished && record_->parts.empty() &&
           (!options_.remove || goneNames().empty());
}

// A file of a later stage waits for what it names: a page for its video, poster and captions; the feed, the sitemap,
// the homepage and the pages of renamed videos for everything before them.
bool Publication::holdBack(const ChannelFile& file) {
    std::string why;
    if (file.stage >= Stage::Lists && !missed_.empty()) {
        why = missed_.begin()->first + " did not arrive";
    }
    for (const std::string& need : file.needs) {
        if (why.empty() && missed_.contains(need)) {
            why = "it names " + need + ", which did not arrive";
        }
    }
    if (why.empty()) {
        return false;
    }
    why += record_->find(file.name) ? "; the server keeps its old " + file.name
                                    : "; the server has no " + file.name + " yet";
    report_.held.emplace_back(file.name, why);
    missed_.emplace(file.name, why);
    settledUnsent(file.name);
    return true;
}

std::vector<const ChannelFile*> Publication::due(Stage stage, bool deferred) const {
    std::vector<const ChannelFile*> files;
    for (const ChannelFile& file : plan_.files) {
        if (file.stage == stage && changedSince(file, *record_) && !ended_.contains(file.name) &&
            deferred_.contains(file.name) == deferred && !(file.name == RenamePageFile && renamesComplete_)) {
            files.push_back(&file);
        }
    }
    return files;
}

void Publication::putStage(Stage stage, bool deferred) {
    std::vector<const ChannelFile*> files = due(stage, deferred);
    for (const ChannelFile* file : files) {
        report_.changed.push_back(*file);
    }
    if (!cancel_ && report_.stopped.empty()) {
        std::erase_if(files, [this](const ChannelFile* f) { return holdBack(*f); });
        lookBeforeReplacing(files);
    }
    upload(files);
}

void Publication::dryRun() {
    // What the record would say once the renames are done, so a renamed file is not counted as sent again.
    Record after = *record_;
    dryRenames(after);
    for (const ChannelFile& file : plan_.files) {
        if (changedSince(file, after) &&
            !(file.name == RenamePageFile && (renamesComplete_ || !report_.renamed.empty()))) {
            report_.changed.push_back(file);
        }
    }
    if (options_.remove) {
        report_.removed = goneNames();
    }
}

void Publication::finish() {
    report_.cancelled = cancel_.load() && !report_.whole();
    record_->unfinished = !report_.stopped.empty();
    saveSoon(true);
}

Report Publication::run() {
    if (!lock()) {
        return report_;
    }
    planWork();
    if (!report_.error.empty() || options_.dryRun || nothingToDo()) {
        if (report_.error.empty() && options_.dryRun) {
            dryRun();
        }
        if (lock_) {
            saveSoon(true);
        }
        return report_;
    }
    for (const ChannelFile& file : plan_.files) {
        count_ += file.changed ? 1 : 0;
        if (file.changed) {
            allBytes_ += file.now.size;
            counted_[file.name] = file.now.size;
        }
    }
    if (const std::string problem = connections_.connect(); !problem.empty()) {
        report_.error = problem;
        saveSoon(true);
        return report_;
    }
    // Marked before anything goes up, so that a publish killed part way is tidied after by the next.
    const bool tidy = record_->unfinished || !record_->parts.empty();
    record_->unfinished = true;
    saveSoon(true);
    if (tidy) {
        sweep();
    }
    putServerRules();
    putStage(Stage::Media, false);
    renameOnServer();
    for (const Stage stage : {Stage::Media, Stage::Pages, Stage::Lists, Stage::Homepage}) {
        putStage(stage, stage == Stage::Media);
    }
    if (!moves_.empty() && (!missed_.empty() || cancel_ || !report_.stopped.empty())) {
        takeBackRenames();
    }
    putMovedPages();
    if (options_.remove && missed_.empty() && !cancel_ && report_.stopped.empty()) {
        removeGone(false);
    }
    finish();
    return report_;
}

Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, const Options& options) {
    return publishChannel(channel, settings, target, events, cancel, options,
                          [&] { return openRemote(target, settings, &cancel); });
}

Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, const Options& options,
                      const RemoteMaker& open) {
    return Publication(channel, settings, target, events, cancel, options, open).run();
}

} // namespace clipnest::publish
