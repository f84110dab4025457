// add: videos of the channel folder become entries at the homepage's end, their descriptions taken from their names,
// as one held run of Create/Change clicks, so the run is one operation to undo and its files go in place together.
#include "cli/commands.h"
#include "history/history.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/page_text.h"

#include <set>

namespace clipnest::cli {

namespace {

namespace fs = std::filesystem;

// The name in the channel folder of a file given by its name there or by a path (from the current folder) into it.
Result<std::string> nameInFolder(const fs::path& channel, const std::string& file) {
    if (file.find('/') == std::string::npos) {
        return file;
    }
    std::error_code ec;
    const fs::path given = fs::absolute(fs::path(file), ec);
    // The file itself may be a link, which the entry's checks take care of; only its folder is followed.
    const fs::path parent = fs::weakly_canonical(given.parent_path(), ec);
    const fs::path folder = fs::weakly_canonical(fs::absolute(channel, ec), ec);
    if (ec || given.filename().empty() || parent != folder) {
        return Failure{"it is not in the channel folder"};
    }
    return given.filename().string();
}

// What the undo history calls the run.
std::string runLabel(const std::vector<std::string>& videos) {
    return videos.size() <= 3 ? "add " + joinNames(videos) : "add " + std::to_string(videos.size()) + " videos";
}

// The videos to add, each with the name for the panel's box (UTF-8) and as the pages write it; each one skipped is
// said with why, and noted in the report.
struct Chosen {
    std::vector<std::pair<std::string, std::string>> toAdd;
    std::string skips;
};

Chosen chooseVideos(Runner& r, Form& form, const std::vector<std::string>& files, bool newVideos, AddReport& report) {
    std::set<std::string, std::less<>> named;
    for (const LiveEntry& entry : liveEntries(form.homepageText())) {
        named.insert(entry.fileName);
    }
    Chosen chosen;
    const auto skip = [&](const std::string& shown, const std::string& why) {
        report.skipped.push_back(shown);
        chosen.skips += " Skipped " + shown + ": " + why + ".";
        r.line("Skipped " + shown + ": " + why + ".");
    };
    const auto consider = [&](const std::string& name, const std::string& shown) {
        const std::optional<std::string> video = typedFileName(name);
        if (!video) {
            skip(shown, fileNameProblem(name));
        } else if (!form.folder().exists(*video) && !form.folder().isLink(*video)) {
            skip(shown, "it is not in the channel folder");
        } else if (!named.insert(*video).second) {
            skip(shown, "it has an entry already");
        } else {
            chosen.toAdd.emplace_back(name, *video);
        }
    };
    for (const std::string& file : files) {
        if (const Result<std::string> name = nameInFolder(r.dir(), file); name) {
            consider(*name, file);
        } else {
            skip(file, why(name));
        }
    }
    if (newVideos) {
        for (const std::string& onDisk : form.folder().names()) {
            if (isVideoName(onDisk) && !named.contains(onDisk)) {
                consider(codePageToUtf8(onDisk), codePageToUtf8(onDisk));
            }
        }
    }
    return chosen;
}

// The chosen videos as one held run of Create/Change clicks; the report says what was added.
void addChosen(Runner& r, Form& form, const Chosen& chosen, AddReport& report) {
    std::vector<std::string> videos;
    for (const auto& added : chosen.toAdd) {
        videos.push_back(added.second);
    }
    form.beginHeldRun();
    form.preparePosters(videos);
    std::string lastSummary;
    for (const auto& [name, video] : chosen.toAdd) {
        form.controls.first = {name, descriptionFromFileName(name), "", false};
        const Outcome outcome = r.click([](Form& f) { f.createOrChangeEntry(EntryPanel::First); });
        r.print(outcome);
        if (outcome.failed() || outcome.written.empty()) {
            report.failed = true;
            continue;
        }
        report.added.push_back(name);
        lastSummary = form.operationSummary();
        if (!r.quiet()) {
            r.line(lastSummary);
        }
    }
    form.dropPreparedPosters();
    if (!form.endHeldRun(runLabel(videos))) {
        for (const Said& s : r.outcome().said) {
            r.line(s.line());
        }
        report.added.clear();
        report.failed = true;
        report.summary = "Nothing was added: the files could not be put in place." + chosen.skips;
    } else if (report.added.size() == 1) {
        report.summary = lastSummary + chosen.skips;
    } else if (report.added.empty()) {
        report.summary = "Nothing was added." + chosen.skips;
    } else {
        report.summary =
            "Added " + std::to_string(report.added.size()) + " videos: " + joinNames(report.added) + "." + chosen.skips;
    }
}

} // namespace

AddReport addVideos(Runner& r, const std::vector<std::string>& files, bool newVideos) {
    AddReport report;
    r.begin();
    Form& form = r.session().form();
    // The channel is held from the first look at its entries to the run's last write.
    const ChannelHold hold(form);
    if (!hold) {
        r.print(r.outcome());
        report.failed = true;
        report.summary = std::string(ChannelLock::BusyWords);
        return report;
    }
    form.refreshHomepage();
    const Chosen chosen = chooseVideos(r, form, files, newVideos, report);
    report.failed = !report.skipped.empty();
    if (chosen.toAdd.empty()) {
        report.summary = report.skipped.empty() ? "Nothing was changed: every video in the folder has an entry."
                                                : "Nothing was added." + chosen.skips;
        if (report.skipped.empty()) {
            r.line(report.summary);
        }
        return report;
    }
    addChosen(r, form, chosen, report);
    return report;
}

Status runAdd(Runner& r, const Args& a) {
    if (a.names.empty() && !a.newVideos) {
        r.line("add needs the videos' file names, or --new for every video in the folder that has no entry.");
        return Usage;
    }
    return addVideos(r, a.names, a.newVideos).failed ? Failed : Done;
}

} // namespace clipnest::cli
