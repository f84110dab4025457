#include "publish/publication.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/moved_page.h"
#include "text/server_rules.h"

#include <algorithm>

namespace clipnest::publish {

namespace {

// A video's rename takes its page's address along; a rename of a page or comments file is part of one.
bool videoPair(const RenamePair& pair) {
    return !pair.from.ends_with(".php") && !isVisitorsFile(pair.from);
}

std::string pageOf(const std::string& video) {
    return std::string(withoutExtension(video)) + ".php";
}

} // namespace

std::vector<RenamePair> Publication::pendingRenames() const {
    if (plan_.renamePage.empty() || record_->renamesDone.contains(plan_.renamePage)) {
        return {};
    }
    return plan_.renames;
}

namespace {

// Why the renames cannot be done as one, or nothing; `steps` are those the server must do, in order. A rename whose
// file is gone and whose target is there was done before (by the page, or an earlier publish).
std::optional<std::string> planRenames(const std::vector<RenamePair>& pairs, std::set<std::string> there,
                                       const std::set<std::string>& channel, std::vector<RenamePair>& steps) {
    const RenamePair* video = nullptr;
    for (const RenamePair& pair : pairs) {
        // A comments file moves only as the thread of the video renamed just before it.
        const bool thread = video && pair.from == std::string(withoutExtension(video->from)) + "_comments.txt" &&
                            pair.to == std::string(withoutExtension(video->to)) + "_comments.txt";
        video = videoPair(pair) ? &pair : nullptr;
        if (const std::optional<std::string> refusal = renameRefusal(pair.from, pair.to); refusal && !thread) {
            return refusal;
        }
        if (!there.contains(pair.from)) {
            continue;
        }
        // The homepage still names it: renamed away, it would be missing.
        if (channel.contains(pair.from)) {
            return pair.from + " is still one of the channel's files";
        }
        if (there.contains(pair.to)) {
            return pair.to + " is on the server already";
        }
        steps.push_back(pair);
        there.erase(pair.from);
        there.insert(pair.to);
    }
    return std::nullopt;
}

} // namespace

// The pending renames, done on the server before the pages that name the new names go up: all of them or none. A
// file whose rename is done keeps its record under the new name, so it is not sent again.
bool Publication::renameOnServer() {
    const std::vector<RenamePair> pairs = pendingRenames();
    if (pairs.empty() || cancel_ || !report_.stopped.empty()) {
        return pairs.empty();
    }
    if (!missed_.empty()) {
        holdRenameTargets();
        return false;
    }
    std::vector<std::string> names;
    for (const RenamePair& pair : pairs) {
        names.insert(names.end(), {pair.from, pair.to});
    }
    std::vector<RemoteFile> found;
    if (const std::string problem = connections_.first().stat(names, found); !problem.empty()) {
        report_.stopped = problem;
        return false;
    }
    std::set<std::string> there;
    for (const RemoteFile& f : found) {
        there.insert(f.name);
    }
    std::vector<RenamePair> steps;
    if (const std::optional<std::string> refusal = planRenames(pairs, there, channelNames(), steps)) {
        report_.notes.push_back("The renames of " + std::string(RenamePageFile) + " were not done on the server: " +
                                *refusal + "; the page goes up for you to call, and the renamed files go up whole");
        return false;
    }
    for (const RenamePair& step : steps) {
        if (const std::string problem = connections_.first().rename(step.from, step.to); !problem.empty()) {
            report_.notes.push_back("Clipnest could not rename " + step.from + " to " + step.to + " on the server (" +
                                    problem + "); the renamed files go up whole");
            takeBackRenames();
            return false;
        }
        const Published* recorded = record_->find(step.from);
        moves_.push_back({step, recorded ? std::optional<Published>(*recorded) : std::nullopt});
        report_.renamed.push_back(step);
    }
    followRenames(pairs, there, steps);
    renamesComplete_ = true;
    return true;
}

// What the renames would do, judged by what the record says the server has.
void Publication::dryRenames(Record& after) {
    std::set<std::string> there;
    for (const auto& [name, published] : after.files) {
        there.insert(name);
    }
    std::vector<RenamePair> steps;
    if (planRenames(pendingRenames(), there, channelNames(), steps)) {
        return;
    }
    for (const RenamePair& step : steps) {
        if (const Published* recorded = after.find(step.from)) {
            const Published p = *recorded;
            after.forget(step.from);
            after.record(step.to, p);
        }
        report_.renamed.push_back(step);
    }
}

// The renames wait for the files that did not arrive, and their targets with them.
void Publication::holdRenameTargets() {
    for (const ChannelFile& file : plan_.files) {
        if (deferred_.contains(file.name) && changedSince(file, *record_)) {
            report_.changed.push_back(file);
            report_.held.emplace_back(file.name,
                                      "its rename on the server waits until " + missed_.begin()->first + " arrives");
            missed_.emplace(file.name, "waits for the renames");
            settledUnsent(file.name);
            ended_.insert(file.name);
        }
    }
}

// Done before or now, the record follows each rename in turn, and names none the server lacks after them.
void Publication::followRenames(const std::vector<RenamePair>& pairs, std::set<std::string> after,
                                const std::vector<RenamePair>& steps) {
    for (const RenamePair& step : steps) {
        after.erase(step.from);
        after.insert(step.to);
    }
    for (const RenamePair& pair : pairs) {
        if (const Published* recorded = record_->find(pair.from)) {
            const Published p = *recorded;
            record_->forget(pair.from);
            record_->record(pair.to, p);
        }
    }
    for (const RenamePair& pair : pairs) {
        if (!after.contains(pair.to)) {
            record_->forget(pair.to);
        }
    }
}

// The homepage could not follow the renames: the server's files go back under their old names, as its live pages
// name them.
void Publication::takeBackRenames() {
    for (auto move = moves_.rbegin(); move != moves_.rend(); ++move) {
        if (const std::string problem = connections_.first().rename(move->pair.to, move->pair.from); !problem.empty()) {
            report_.notes.push_back("Clipnest could not rename " + move->pair.to + " back to " + move->pair.from +
                                    " on the server (" + problem + ")");
        }
        record_->forget(move->pair.to);
        if (move->recorded) {
            record_->record(move->pair.from, *move->recorded);
        }
    }
    if (!moves_.empty()) {
        report_.notes.push_back("The renames were taken back on the server, since the homepage could not follow "
                                "them; the next publish does them again");
    }
    moves_.clear();
    report_.renamed.clear();
    renamesComplete_ = false;
}

// Once the homepage names the new pages, each renamed video's old page sends its visitors (and their posts) to the
// new one; the rename page, its work done, goes from the server.
void Publication::putMovedPages() {
    if (!renamesComplete_ || !missed_.empty() || cancel_ || !report_.stopped.empty()) {
        return;
    }
    const std::set<std::string> live = channelNames();
    std::vector<const ChannelFile*> pages;
    std::optional<WorkingFolder> outgoing = folder_.subfolder(".clipnest", true);
    outgoing = outgoing ? outgoing->subfolder("outgoing", true) : std::nullopt;
    const std::vector<RenamePair> pairs = pendingRenames();
    for (auto pair = pairs.begin(); pair != pairs.end(); ++pair) {
        // A name renamed on (a to c, then c to e) sends its old page's visitors to the last name.
        std::string last = pair->to;
        for (auto later = pair + 1; later != pairs.end(); ++later) {
            last = later->from == last ? later->to : last;
        }
        const std::string from = pageOf(pair->from), to = pageOf(last);
        if (!videoPair(*pair) || from == to || !record_->find(from) || record_->moved.contains(from) ||
            live.contains(from)) {
            continue;
        }
        const std::string text = buildMovedPage(to);
        if (!outgoing || !outgoing->write(from, text)) {
            report_.notes.push_back("Clipnest could not make the page that sends " + from + " to " + to);
            return;
        }
        ChannelFile& page = made_.emplace_back();
        page.name = from;
        page.now.sha256 = sha256Hex(text);
        page.now.size = text.size();
        page.changed = true;
        page.stage = Stage::Lists;
        page.needs.push_back(to);
        report_.changed.push_back(made_.back());
        pages.push_back(&made_.back());
    }
    upload(pages);
    for (const ChannelFile* page : pages) {
        if (!missed_.contains(page->name)) {
            record_->moved.insert(page->name);
        }
    }
    if (missed_.empty()) {
        record_->renamesDone.insert(plan_.renamePage);
        if (record_->find(std::string(RenamePageFile)) &&
            connections_.first().remove(std::string(RenamePageFile)).empty()) {
            record_->forget(std::string(RenamePageFile));
        }
    }
}

// What the channel put on the server and has no more: a deleted entry's page, video, poster and captions. Never a
// comments file, nor a renamed video's old page, nor the server's rules.
std::set<std::string> Publication::channelNames() const {
    std::set<std::string> names;
    for (const ChannelFile& file : plan_.files) {
        names.insert(file.name);
    }
    return names;
}

std::vector<std::string> Publication::goneNames() const {
    std::set<std::string> keep = channelNames();
    for (const RenamePair& pair : pendingRenames()) {
        keep.insert(pair.from);
    }
    std::vector<std::string> gone;
    for (const auto& [name, published] : record_->files) {
        if (!keep.contains(name) && !record_->moved.contains(name) && !isVisitorsFile(name) &&
            name != ServerRulesFile) {
            gone.push_back(name);
        }
    }
    return gone;
}

void Publication::removeGone(bool dryRun) {
    for (const std::string& name : goneNames()) {
        if (dryRun) {
            report_.removed.push_back(name);
        } else if (const std::string problem = connections_.first().remove(name); problem.empty()) {
            report_.removed.push_back(name);
            record_->forget(name);
        } else {
            report_.notes.push_back("Clipnest could not remove " + name + " from the server (" + problem + ")");
        }
    }
}

} // namespace clipnest::publish
