#include "platform/clock.h"
#include "publish/publication.h"

#include <algorithm>
#include <cstdio>

namespace clipnest::publish {

namespace {

// The record is saved after this many uploads or this long, whichever comes first, and at the end.
constexpr std::size_t SaveEvery = 500;
constexpr std::int64_t SaveAfterMs = 2000;

std::string megabytes(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

} // namespace

void Publication::saveSoon(bool now) {
    const std::int64_t at = monotonicMs();
    if (now || ++sinceSave_ >= SaveEvery || at - lastSave_ >= SaveAfterMs) {
        if (!manifest_.save(channel_) && now) {
            report_.notes.push_back("Clipnest could not record the upload in " + std::string(Manifest::File) +
                                    "; the next publish uploads those files again");
        }
        sinceSave_ = 0;
        lastSave_ = at;
    }
}

void Publication::arrived(const ChannelFile& file) {
    report_.uploaded.push_back(file.name);
    ended_.insert(file.name);
    record_->record(file.name, file.now);
    record_->parts.erase(file.name);
    saveSoon(false);
}

// A file stopped part way is cut off, as are those a lost connection ended; any other problem is the file's own,
// and its part is gone from the server.
void Publication::missed(const ChannelFile& file, const std::string& problem) {
    ended_.insert(file.name);
    const bool stopped = cancel_ || (!report_.stopped.empty() && (problem == report_.stopped || problem == NotBegun));
    if (stopped) {
        report_.cutOff.push_back(file.name);
        if (record_->parts.contains(file.name) && sent_[file.name] > 0) {
            report_.notes.push_back(stoppedNote(file));
        }
    } else {
        report_.failed.emplace_back(file.name, problem);
        record_->parts.erase(file.name);
    }
    missed_.emplace(file.name, problem);
}

std::string Publication::stoppedNote(const ChannelFile& file) const {
    const auto sent = sent_.find(file.name);
    return file.name + " was stopped part way: " + megabytes(sent == sent_.end() ? 0 : sent->second) + " of " +
           megabytes(file.now.size) + " wait on the server, out of sight, for the next publish to go on from; " +
           (record_->find(file.name) ? "the server keeps its old " + file.name
                                     : "no earlier copy of " + file.name + " is on the server");
}

// Each file as it goes up: from the folder or, made for the server, from the outgoing folder; a large video's part
// recorded first, so that even a killed publish can go on from it.
std::vector<Upload> Publication::uploadsOf(const std::vector<const ChannelFile*>& files) {
    std::vector<Upload> uploads;
    bool parts = false;
    for (const ChannelFile* file : files) {
        const bool made = std::any_of(made_.begin(), made_.end(), [&](const ChannelFile& m) { return &m == file; });
        Upload upload{made ? channel_ / OutgoingFolder / file->name : folder_.pathOf(file->name), file->name, 0, false};
        if (const auto part = resume_.find(file->name); part != resume_.end()) {
            upload.resumeFrom = part->second;
        }
        if (file->stage == Stage::Media && file->now.size >= ResumeAtLeast) {
            upload.keepPart = true;
            record_->parts[file->name] = file->now;
            parts = true;
        }
        uploads.push_back(std::move(upload));
    }
    if (parts) {
        saveSoon(true);
    }
    return uploads;
}

void Publication::settledUnsent(const std::string& name) {
    if (!settled_.insert(name).second) {
        return;
    }
    if (const auto counted = counted_.find(name); counted != counted_.end()) {
        allBytes_ -= std::min(allBytes_, counted->second);
        counted->second = 0;
    }
    tellOverall();
}

void Publication::tellOverall() {
    if (!events_.overall) {
        return;
    }
    Overall o;
    o.files = std::max(count_, settled_.size());
    o.filesDone = settled_.size();
    o.bytesDone = endedBytes_;
    for (const auto& [name, sent] : going_) {
        o.bytesDone += sent;
    }
    o.bytes = std::max(allBytes_, o.bytesDone);
    const double seconds = firstBegan_ < 0 ? 0 : static_cast<double>(monotonicMs() - firstBegan_) / 1000.0;
    const std::uintmax_t moved = o.bytesDone > resumedBytes_ ? o.bytesDone - resumedBytes_ : 0;
    o.bytesPerSecond = seconds > 0 ? static_cast<double>(moved) / seconds : 0;
    // Only once the rate has had a second to settle.
    if (seconds >= 1 && o.bytesPerSecond > 0) {
        o.secondsLeft = static_cast<int>(static_cast<double>(o.bytes - o.bytesDone) / o.bytesPerSecond + 0.5);
    }
    events_.overall(o);
}

// What the connections tell of each of `files` as it goes: the progress told on, a file's end settled, and the
// problems of those that did not arrive gathered in `problems` for after the put.
Connections::Events Publication::eventsOf(const std::vector<const ChannelFile*>& files,
                                          const std::vector<Upload>& uploads,
                                          std::vector<std::pair<std::size_t, std::string>>& problems) {
    Connections::Events events;
    events.started = [this, &files](std::size_t i) {
        firstBegan_ = firstBegan_ < 0 ? monotonicMs() : firstBegan_;
        if (events_.starting) {
            events_.starting(*files[i], done_, count_);
        }
        tellOverall();
    };
    events.progress = [this, &files, &uploads](std::size_t i, std::uintmax_t sent, std::uintmax_t total) {
        sent_[files[i]->name] = sent;
        // A part gone on from is on the server already: it counts as done, not as sent at this publish's rate.
        if (const auto [at, first] = going_.try_emplace(files[i]->name, sent); first) {
            resumedBytes_ += std::min(uploads[i].resumeFrom, sent);
        } else {
            at->second = sent;
        }
        if (events_.progress) {
            events_.progress(*files[i], sent, total);
        }
        tellOverall();
    };
    events.finished = [this, &files, &problems](std::size_t i, const std::string& problem) {
        ++done_;
        settled_.insert(files[i]->name);
        going_.erase(files[i]->name);
        // A file that did not arrive is no longer to be sent: the whole comes to its end all the same.
        endedBytes_ += problem.empty() ? files[i]->now.size : 0;
        allBytes_ -= problem.empty() ? 0 : std::min(allBytes_ - endedBytes_, files[i]->now.size);
        if (events_.finished) {
            events_.finished(*files[i], problem);
        }
        tellOverall();
        if (problem.empty()) {
            arrived(*files[i]);
        } else {
            problems.emplace_back(i, problem);
        }
    };
    return events;
}

void Publication::upload(const std::vector<const ChannelFile*>& files) {
    if (files.empty() || cancel_ || !report_.stopped.empty()) {
        for (const ChannelFile* file : files) {
            missed(*file, NotBegun);
            settledUnsent(file->name);
        }
        return;
    }
    const std::vector<Upload> uploads = uploadsOf(files);
    // A file made for the server (the merged rules) has its size only now.
    for (const ChannelFile* file : files) {
        std::uintmax_t& counted = counted_[file->name];
        allBytes_ = allBytes_ - std::min(allBytes_, counted) + file->now.size;
        counted = file->now.size;
    }
    std::vector<std::pair<std::size_t, std::string>> problems;
    const Connections::Events events = eventsOf(files, uploads, problems);
    const std::string lost = connections_.put(uploads, events, cancel_);
    report_.stopped = report_.stopped.empty() ? lost : report_.stopped;
    // Told apart once the put is over: a file the lost connection ended is cut off, not failed.
    for (const auto& [i, problem] : problems) {
        missed(*files[i], problem);
    }
    for (const ChannelFile* file : files) {
        if (!ended_.contains(file->name)) {
            missed(*file, NotBegun);
            settledUnsent(file->name);
        }
    }
}

} // namespace clipnest::publish
