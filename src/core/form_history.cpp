#include "core/discovery_facts.h"
#include "core/form.h"
#include "text/document.h"
#include "text/markers.h"
#include "text/page_text.h"

namespace clipnest {

void Form::beginHeldRun() {
    heldOperations_ = 0;
    staleLookedFor_ = false;
    heldHomepageSame_ = 0;
    firstMade_.reset();
    firstMadeUnwritten_ = false;
    entryFactsUnwritten_.reset();
    entryFacts_.reset();
    folder_.holdWrites();
}

bool Form::endHeldRun(const std::string& label) {
    // The run held the channel since its first operation; it lets it go once its files are in place (or not).
    struct Release {
        Form& form;
        ~Release() { form.letChannelGo(); }
    } const release{*this};
    // The run's neighbour links, share tags, feed and sitemap are made once, for all its lines, and go in place with
    // the rest.
    if (std::exchange(neighboursDue_.due, false)) {
        keepNeighbourLinks();
    }
    finishDiscovery();
    entryFacts_.reset();
    const bool shared = std::exchange(heldOperations_, 0) > 1;
    const std::vector<std::pair<std::string, std::string>> files = folder_.takeHeld();
    // The first-made record follows the files: written once they are in place, dropped when they are not.
    const std::optional<FirstMade> record = std::exchange(firstMade_, std::nullopt);
    const bool recordChanged = std::exchange(firstMadeUnwritten_, false);
    const std::optional<std::string> facts = std::exchange(entryFactsUnwritten_, std::nullopt);
    const auto keepRecord = [&] {
        if (record && recordChanged) {
            writeFirstMade(folder_, *record);
        }
        if (facts) {
            writeEntryFacts(folder_, *facts);
        }
    };
    if (files.empty()) {
        keepRecord();
        return true;
    }
    if (const std::optional<History::NotPut> notPut = history_.putTogether(files)) {
        for (const auto& file : files) {
            known_.erase(file.first);
        }
        // The run's record holds no file yet, so it goes: the files are as they were, or become what the run made
        // when the next run of Clipnest finishes putting them in place.
        history_.end();
        fileFailure("Clipnest could not put the files of the last commands in place: " + notPut->why + "." +
                    (notPut->untouched ? "\nThe files are as they were before those commands." : ""));
        return false;
    }
    // The history is told of every file at once, so its record is written once, not once a file.
    std::vector<History::Written> told;
    for (const auto& [name, bytes] : files) {
        remember(name);
        if (const auto known = known_.find(name); known != known_.end()) {
            told.push_back({name, known->second, contentHash(bytes)});
        }
    }
    history_.wrote(told);
    if (shared) {
        history_.retitle({Operation::Kind::Other, {label}});
    }
    keepRecord();
    return true;
}

UndoResult Form::undo(bool force) {
    const ChannelHold hold(*this);
    if (!hold) {
        return {false, std::string(ChannelLock::BusyWords), {}};
    }
    const UndoResult result = history_.undoLast(force);
    for (const std::string& name : result.files) {
        noteWritten(name);
    }
    for (const std::string& name : result.files) {
        if (std::find(markers::HomepageNames.begin(), markers::HomepageNames.end(), name) !=
            markers::HomepageNames.end()) {
            known_.erase(name);
            if (folder_.exists(name)) {
                loadHomepage(name);
            } else if (!findHomepage(folder_)) {
                // The operation made the homepage: back to the one held at the start.
                homepage_.HomepageLoaded = false;
                holdDefaultHomepage();
            }
        } else if (folder_.exists(name)) {
            remember(name);
        } else {
            known_.erase(name);
        }
    }
    ++operationNumber_;
    undoSummary_ = result.message;
    // What was undone is the status line's to say (operationSummary); a message only for a refusal.
    if (!result.undone) {
        fileFailure((toCodePage(result.message).value_or("Clipnest could not undo the last operation.")));
    }
    return result;
}

} // namespace clipnest
