#include "publish/publication.h"
#include "text/server_rules.h"

#include <algorithm>

namespace clipnest::publish {

namespace {

constexpr std::string_view PartEnd = ".clipnest-part", AsideEnd = ".clipnest-old";

// The file a part or an old file set aside stands for: "x.mp4" of ".x.mp4.clipnest-part"; empty for any other name.
std::string leftOf(const std::string& name, std::string_view end) {
    if (name.size() <= end.size() + 1 || name.front() != '.' || !name.ends_with(end)) {
        return "";
    }
    return name.substr(1, name.size() - end.size() - 1);
}

} // namespace

// What a publish cut off left on the server, by Clipnest's own names only: a part of a large video that is unchanged
// is gone on from, any other part removed; an old file set aside for a rename that never came goes back in its place.
void Publication::sweep() {
    std::vector<RemoteFile> listing;
    if (const std::string problem = connections_.first().list(listing); !problem.empty()) {
        report_.notes.push_back("Clipnest could not look for what an earlier publish left on the server (" + problem +
                                ")");
        return;
    }
    std::set<std::string> there;
    for (const RemoteFile& f : listing) {
        there.insert(f.name);
    }
    for (const RemoteFile& f : listing) {
        if (const std::string of = leftOf(f.name, AsideEnd); !of.empty() && f.regular) {
            const std::string problem =
                there.contains(of) ? connections_.first().remove(f.name) : connections_.first().rename(f.name, of);
            if (!problem.empty()) {
                report_.notes.push_back("Clipnest could not tidy " + f.name + " on the server (" + problem + ")");
            }
            continue;
        }
        const std::string of = leftOf(f.name, PartEnd);
        const auto part = record_->parts.find(of);
        const auto file = std::find_if(plan_.files.begin(), plan_.files.end(),
                                       [&](const ChannelFile& c) { return c.name == of && c.changed; });
        if (of.empty()) {
            continue;
        }
        if (f.regular && part != record_->parts.end() && file != plan_.files.end() && part->second == file->now &&
            f.size < file->now.size) {
            resume_[of] = f.size;
        } else if (const std::string problem = connections_.first().remove(f.name); !problem.empty()) {
            report_.notes.push_back("Clipnest could not remove " + f.name + " from the server (" + problem + ")");
        }
    }
    // A part recorded that is no longer there, or no longer wanted, is forgotten.
    std::erase_if(record_->parts, [this](const auto& p) { return !resume_.contains(p.first); });
}

// Whether a record of the channel, for any address, says it sent `name` with this size (and, when known, hash).
bool Publication::sentBefore(const std::string& name, std::uintmax_t size, const std::string& hash) const {
    for (const auto& [target, record] : manifest_.records()) {
        const Published* p = record.find(name);
        if (p && p->size == size && (hash.empty() || p->sha256 == hash)) {
            return true;
        }
    }
    return false;
}

// Before the first upload of a name to this folder: a file the server holds there already is the host's, unless it
// holds the same bytes (then it is recorded as sent) or the user let it go.
void Publication::lookBeforeReplacing(std::vector<const ChannelFile*>& files) {
    std::vector<std::string> names;
    for (const ChannelFile* file : files) {
        if (!record_->find(file->name) && !options_.replace.contains(file->name) && !resume_.contains(file->name)) {
            names.push_back(file->name);
        }
    }
    std::vector<RemoteFile> found;
    if (names.empty()) {
        return;
    }
    if (const std::string problem = connections_.first().stat(names, found); !problem.empty()) {
        report_.stopped = problem;
        return;
    }
    for (const RemoteFile& there : found) {
        const auto file =
            std::find_if(files.begin(), files.end(), [&](const ChannelFile* f) { return f->name == there.name; });
        if (file == files.end()) {
            continue;
        }
        const ChannelFile& f = **file;
        // The server's bytes, when small enough to read, tell the same file, or an earlier one of the channel's.
        std::string bytes;
        bool missing = false;
        const bool read = there.regular && there.size <= MaxFetched &&
                          connections_.first().get(f.name, bytes, missing).empty() && !missing;
        const std::string hash = read ? sha256Hex(bytes) : "";
        const bool same =
            there.regular && there.size == f.now.size && (there.size > MaxFetched || hash == f.now.sha256);
        if (!same && there.regular && sentBefore(f.name, there.size, hash)) {
            continue; // the channel's own, sent to this folder under another address: replaced as any of its files
        }
        if (same) {
            report_.found.push_back(f.name);
            settledUnsent(f.name);
            ended_.insert(f.name);
            record_->record(f.name, f.now);
        } else {
            report_.kept.push_back(f.name);
            settledUnsent(f.name);
            missed_.emplace(f.name, "the server's own " + f.name + " differs");
            ended_.insert(f.name);
        }
        files.erase(file);
    }
}

// Clipnest's block goes into the server's own .htaccess, whose lines stay as they stand; a server without one gets
// the channel folder's.
void Publication::putServerRules() {
    const auto rules = std::find_if(plan_.files.begin(), plan_.files.end(), [](const ChannelFile& f) {
        return f.name == ServerRulesFile && f.stage == Stage::Rules;
    });
    if (rules == plan_.files.end() || !changedSince(*rules, *record_) || cancel_ || !report_.stopped.empty()) {
        return;
    }
    std::string server;
    bool missing = false;
    if (const std::string problem = connections_.first().get(rules->name, server, missing); !problem.empty()) {
        report_.changed.push_back(*rules);
        settledUnsent(rules->name);
        report_.failed.emplace_back(rules->name, "Clipnest could not read the server's " + rules->name +
                                                     " to keep its lines (" + problem + ")");
        missed_.emplace(rules->name, problem);
        return;
    }
    const std::string merged = withServerRules(missing ? folder_.read(rules->name).value_or("") : server);
    if (!missing && merged == server) {
        report_.changed.push_back(*rules);
        report_.found.push_back(rules->name);
        settledUnsent(rules->name);
        record_->record(rules->name, rules->now);
        return;
    }
    std::optional<WorkingFolder> outgoing = folder_.subfolder(".clipnest", true);
    outgoing = outgoing ? outgoing->subfolder("outgoing", true) : std::nullopt;
    if (!outgoing || !outgoing->write(rules->name, merged)) {
        report_.changed.push_back(*rules);
        report_.failed.emplace_back(rules->name, "Clipnest could not make the merged " + rules->name);
        missed_.emplace(rules->name, "not made");
        return;
    }
    // Recorded as the block it carries, so it goes again only when the block changes.
    made_.push_back(*rules);
    made_.back().now.size = merged.size();
    report_.changed.push_back(made_.back());
    upload({&made_.back()});
}

} // namespace clipnest::publish
