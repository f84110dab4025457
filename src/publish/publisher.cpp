#include "publish/publisher.h"

#include "media/check.h"
#include "platform/clock.h"
#include "platform/file_lock.h"
#include "platform/working_folder.h"
#include "text/rename_page.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

namespace clipnest::publish {

namespace {

// The record is saved after this many uploads or this long, whichever comes first, and at the end.
constexpr std::size_t SaveEvery = 500;
constexpr std::int64_t SaveAfterMs = 2000;
// Files handed to a connection at a time: small files go up several in flight.
constexpr std::size_t Batch = 16;

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

std::string renamedNote(const Plan::Renamed& renamed, std::size_t held, const std::string& there = "") {
    const std::string holds = held > 1 ? " (which holds " + std::to_string(held) + " renames, done in one call)" : "";
    return renamed.file.name + " is not uploaded: the server has it as " +
           (there.empty() ? renamed.serverName : there) + ", and " + std::string(RenamePageFile) + holds +
           " renames it there; call that page up once after this publish";
}

} // namespace

Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, bool dryRun, bool strict) {
    return publishChannel(channel, settings, target, events, cancel, dryRun, strict,
                          [&] { return openRemote(target, settings, &cancel); });
}

Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, bool dryRun, bool strict,
                      const RemoteMaker& open) {
    Report report;
    // One publish at a time: two would rename over each other's files on the server and each record what the other
    // sent. A dry run changes nothing there, so it only looks when the lock is taken.
    bool busy = false;
    std::unique_ptr<FileLock> lock;
    if (WorkingFolder(channel).subfolder(".clipnest", true)) {
        lock = FileLock::tryLock(channel / PublishLockFile, busy);
    }
    if (!lock && !dryRun) {
        report.busy = busy;
        report.error = busy ? "another publish of this channel is running; this one did nothing"
                            : "Clipnest could not make " + std::string(PublishLockFile);
        return report;
    }

    Manifest manifest = Manifest::load(channel);
    manifest.retarget(target.display());
    const Plan plan = planPublish(channel, settings, manifest);
    const std::size_t held = renamesHeld(WorkingFolder(channel).read(std::string(RenamePageFile)).value_or(""));
    report.error = plan.error;
    report.notes = plan.notes;
    if (report.error.empty()) {
        // Only what goes up now is probed: the rest was probed when it went up, or waits for `clipnest check`.
        media::CheckOptions options{settings.maxUpload, SettingsFile, std::set<std::string>()};
        for (const ChannelFile& file : plan.files) {
            if (file.changed) {
                options.probeOnly->insert(file.name);
            }
        }
        if (const std::string said = checkNote(media::checkChannel(channel, options)); !said.empty()) {
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
    const auto saveAtEnd = [&] {
        if (unsaved && lock && !manifest.save(channel)) {
            report.notes.push_back("Clipnest could not record the upload in " + std::string(Manifest::File) +
                                   "; the next publish uploads those files again");
        }
    };
    if (dryRun || !report.error.empty()) {
        for (const Plan::Renamed& renamed : plan.renamedThere) {
            report.notes.push_back(renamedNote(renamed, held));
        }
        saveAtEnd();
        return report;
    }
    if (report.changed.empty() && plan.renamedThere.empty()) {
        saveAtEnd();
        return report;
    }

    const int connections = std::max(1, settings.connections ? settings.connections : DefaultConnections);
    std::vector<std::unique_ptr<Remote>> remotes;
    remotes.push_back(open());
    if (const std::string problem = remotes.front()->connect(); !problem.empty()) {
        report.error = problem;
        saveAtEnd();
        return report;
    }

    // A file renamed there by a pending rename page: said while the server still has the old name; once the page has
    // run, the server's file is the new one and is recorded as such; with neither there, it goes up.
    const auto exists = [&](const std::string& name, bool& there) {
        std::vector<RemoteFile> found;
        const std::string problem = remotes.front()->stat({name}, found);
        there = !found.empty();
        return problem;
    };
    for (const Plan::Renamed& renamed : plan.renamedThere) {
        bool oldThere = false, newThere = false;
        std::string problem = exists(renamed.serverName, oldThere);
        // An earlier call of the page may have left it under a name on the way, which this call renames on.
        std::string there = renamed.serverName;
        for (const std::string& name : renamed.between) {
            if (problem.empty() && !oldThere) {
                problem = exists(name, oldThere);
                there = name;
            }
        }
        if (problem.empty() && !oldThere && exists(renamed.file.name, newThere).empty() && newThere) {
            manifest.record(renamed.file.name, renamed.file.now);
            manifest.forget(renamed.serverName);
            unsaved = true;
        } else if (problem.empty() && !oldThere) {
            const bool homepageLast = !report.changed.empty() && report.changed.back().name == "homepage.html";
            report.changed.insert(report.changed.end() - (homepageLast ? 1 : 0), renamed.file);
        } else {
            report.notes.push_back(renamedNote(renamed, held, oldThere ? there : ""));
        }
    }
    std::vector<const ChannelFile*> queue;
    const ChannelFile* homepage = nullptr;
    std::vector<std::pair<std::string, std::string>> problems;
    for (const ChannelFile& file : report.changed) {
        if (file.name == "homepage.html") {
            homepage = &file;
        } else if (file.now.sha256.empty()) {
            problems.emplace_back(file.name, "Clipnest could not read " + file.name);
        } else {
            queue.push_back(&file);
        }
    }

    std::mutex mutex;
    std::size_t next = 0, done = 0, sinceSave = 0;
    std::int64_t lastSave = monotonicMs();
    std::atomic<bool> stop = false;
    const std::size_t count = report.changed.size();
    // Called with the mutex held.
    const auto arrived = [&](const ChannelFile& file) {
        report.uploaded.push_back(file.name);
        manifest.record(file.name, file.now);
        unsaved = true;
        const std::int64_t now = monotonicMs();
        if (++sinceSave >= SaveEvery || now - lastSave >= SaveAfterMs) {
            // A failed save here is said by the one at the end, which saves the same and more.
            (void)manifest.save(channel);
            sinceSave = 0;
            lastSave = now;
        }
    };
    const auto work = [&](Remote& remote, const std::vector<const ChannelFile*>& files, bool own) {
        for (;;) {
            std::vector<const ChannelFile*> batch;
            {
                const std::lock_guard guard(mutex);
                if (!own) {
                    while (batch.size() < Batch && next < files.size() && !stop && !cancel) {
                        batch.push_back(files[next++]);
                    }
                } else if (!stop && !cancel) {
                    batch = files;
                }
            }
            if (batch.empty()) {
                return;
            }
            std::vector<Upload> uploads;
            for (const ChannelFile* file : batch) {
                uploads.push_back({WorkingFolder(channel).pathOf(file->name), file->name});
            }
            PutEvents put;
            put.started = [&](std::size_t k) {
                const std::lock_guard guard(mutex);
                if (events.starting) {
                    events.starting(*batch[k], done, count);
                }
            };
            put.progress = [&](std::size_t k, std::uintmax_t sent, std::uintmax_t total) {
                const std::lock_guard guard(mutex);
                if (events.progress) {
                    events.progress(*batch[k], sent, total);
                }
            };
            put.finished = [&](std::size_t k, const std::string& problem) {
                const std::lock_guard guard(mutex);
                ++done;
                if (events.finished) {
                    events.finished(*batch[k], problem);
                }
                if (problem.empty()) {
                    arrived(*batch[k]);
                } else {
                    problems.emplace_back(batch[k]->name, problem);
                }
            };
            const std::string lost = remote.put(uploads, put, cancel);
            if (!lost.empty()) {
                const std::lock_guard guard(mutex);
                stop = true;
                report.stopped = report.stopped.empty() ? lost : report.stopped;
                return;
            }
            if (own) {
                return;
            }
        }
    };

    // The first connection starts at once; the others join when there is enough to share.
    const std::size_t helpers = std::min<std::size_t>(static_cast<std::size_t>(connections - 1), queue.size() / 2);
    for (std::size_t i = 0; i < helpers; ++i) {
        remotes.push_back(open());
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < remotes.size(); ++i) {
        threads.emplace_back([&, i] {
            // A host that takes fewer connections leaves the work to those it took.
            if (remotes[i]->connect().empty()) {
                work(*remotes[i], queue, false);
            }
        });
    }
    work(*remotes.front(), queue, false);
    for (std::thread& thread : threads) {
        thread.join();
    }

    const auto arrivedAll = [&] {
        return problems.empty() && report.stopped.empty() && !cancel && next == queue.size();
    };
    if (homepage && arrivedAll()) {
        work(*remotes.front(), {homepage}, true);
    } else if (homepage) {
        if (!cancel) {
            report.notes.push_back("homepage.html was not uploaded: it would link to files the server lacks");
        }
    }
    for (auto& [name, problem] : problems) {
        if (!report.stopped.empty() && problem == report.stopped) {
            report.cutOff.push_back(name);
        } else {
            report.failed.emplace_back(name, problem);
        }
    }
    // The files the lost connection never came to are cut off as well, as much as those it broke off.
    if (!report.stopped.empty()) {
        const std::set<std::string> ended(report.uploaded.begin(), report.uploaded.end());
        for (const ChannelFile* file : queue) {
            if (!ended.contains(file->name) &&
                std::none_of(problems.begin(), problems.end(), [&](const auto& p) { return p.first == file->name; })) {
                report.cutOff.push_back(file->name);
            }
        }
    }
    report.cancelled = cancel.load() && report.uploaded.size() < report.changed.size();
    saveAtEnd();
    return report;
}

} // namespace clipnest::publish
