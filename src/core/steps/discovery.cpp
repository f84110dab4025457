#include "text/discovery.h"

#include "core/form.h"
#include "history/first_made.h"
#include "media/shape.h"
#include "text/channel_settings.h"
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

#include <algorithm>

namespace clipnest {

namespace {

discovery::Moment momentOf(const WallTime& time) {
    return {time.seconds, time.offsetMinutes};
}

} // namespace

std::string channelSite(const WorkingFolder& folder) {
    std::string site;
    for (const SettingLine& line : readChannelSettings(folder)) {
        if (line.key == "site") {
            site = line.value;
        }
    }
    return discovery::siteProblem(site).empty() ? site : std::string();
}

namespace {

// The names of the homepage's entries, in page order, without copying their descriptions.
std::vector<std::string> entryNames(std::string_view pageText) {
    std::vector<std::string> names;
    forEachLiveEntry(pageText, [&](std::string_view name, std::string_view) { names.emplace_back(name); });
    return names;
}

} // namespace

void Form::noteEntriesAtStart(bool mayAppend) {
    if (entriesReadAt_ != std::pair{homepageRevision_, operationsStarted_ - 1}) {
        entriesAtStart_ = entryNames(homepage_.PageText);
    }
    // A single command reads the text a few times whatever it does; a batch's lines that add entries one after the
    // other read the whole text once, and each after that only its end.
    if (!mayAppend || !inHeldRun()) {
        front_.reset();
        return;
    }
    const bool followed =
        front_ && frontFollowed_ && frontOperation_ == operationsStarted_ - 1 && frontRevision_ == homepageRevision_;
    if (!followed) {
        front_ = PageFront::of(homepage_.PageText);
        // The held homepage was written under another front, or none.
        heldHomepageSame_ = 0;
    }
    frontOperation_ = operationsStarted_;
    frontRevision_ = homepageRevision_;
    frontFollowed_ = false;
}

const PageFront* Form::pageFront() const {
    return front_ && frontOperation_ == operationsStarted_ && frontRevision_ == homepageRevision_ && !frontFollowed_
               ? &*front_
               : nullptr;
}

// The first-made record follows the entries: a new one is made now; a deleted one's date is set aside, which only an
// undo of the delete brings back (undo puts back the channel's files, not the record). The record is read only when
// an entry came or went, or when the caller needs it.
void Form::keepFirstMade(std::size_t same, const std::vector<std::string>& names, bool needed) {
    const NamesChanged changed = namesChanged(std::span(entriesAtStart_).subspan(same), names);
    if (changed.added.empty() && changed.gone.empty() && !needed) {
        return;
    }
    // A held run reads the record once and writes it once its files are in place (endHeldRun).
    if (!inHeldRun()) {
        firstMade_.reset();
    }
    if (!firstMade_) {
        firstMade_ = readFirstMade(folder_);
    }
    if (followEntries(*firstMade_, changed, discovery::isoDateTime(momentOf(wallTimeNow())))) {
        if (inHeldRun()) {
            firstMadeUnwritten_ = true;
        } else {
            writeFirstMade(folder_, *firstMade_);
        }
    }
}

// Where this operation had a front, it is brought up to the text: the entries it held at the start are the start
// names' first ones and stay as they were; the rest are what follows them in the front now and after it. Without one,
// every name is read from the text. The entries whose pages `tagged` names are noted there on the way, the last of
// each page (a page of an entry in the front is never one an append writes).
std::vector<std::string> Form::entryNamesAtEnd(std::size_t& same, TaggedPages& tagged) {
    same = 0;
    std::vector<std::string> names;
    const auto tag = [&](std::string_view name, std::string_view description) {
        if (tagged.empty() || !isPlainName(name)) {
            return;
        }
        if (const auto page = tagged.find(std::string(withoutExtension(name)) + ".php"); page != tagged.end()) {
            page->second = {std::string(name), std::string(description)};
        }
    };
    const auto each = [&](std::string_view name, std::string_view description) {
        names.emplace_back(name);
        tag(name, description);
    };
    if (pageFront() != nullptr) {
        const std::size_t held = std::min(front_->names().size(), entriesAtStart_.size());
        const std::size_t heldEnd = front_->entriesEnd();
        front_ = PageFront::follow(std::move(*front_), homepage_.PageText);
        frontFollowed_ = true;
        if (front_) {
            same = held;
            names.assign(front_->names().begin() + static_cast<std::ptrdiff_t>(held), front_->names().end());
            const std::string_view text = homepage_.PageText;
            // The entries the front took in since are tagged as much as those after it, each read whole.
            if (!tagged.empty() && front_->entriesEnd() > heldEnd) {
                forEachLiveEntry(text.substr(heldEnd), tag);
            }
            forEachLiveEntry(text.substr(front_->entriesEnd()), each);
            return names;
        }
    }
    forEachLiveEntry(homepage_.PageText, each);
    return names;
}

void Form::keepDiscoveryInStep(bool everyPage) {
    if (!history_.current() || (operationFiles_.empty() && !everyPage)) {
        // Links a failed write left unwritten are written by the next operation, even one that writes nothing else.
        if (history_.current() && !linksOwed_.empty() && !inHeldRun()) {
            keepNeighbourLinks();
        }
        front_.reset();
        return;
    }
    // The neighbour links are written before the share tags, which depend on no neighbour.
    neighboursDue_.due = true;
    neighboursDue_.everyPage = neighboursDue_.everyPage || everyPage;
    for (const WrittenFile& file : operationFiles_) {
        if (file.name.ends_with(".php")) {
            neighboursDue_.pages.insert(file.name);
        }
    }
    const std::string site = channelSite(folder_);
    // The pages this operation wrote and those of the entries it names carry their share tags as the operation
    // leaves them, whatever a later operation of a held run does.
    TaggedPages tagged;
    if (!site.empty() && !everyPage) {
        for (const WrittenFile& file : operationFiles_) {
            if (file.name.ends_with(".php")) {
                tagged[file.name];
            }
        }
        for (const std::string& name : operation_.names) {
            if (const std::optional<std::string> bytes = toCodePage(name); bytes && isPlainName(*bytes)) {
                tagged[std::string(withoutExtension(*bytes)) + ".php"];
            }
        }
    }
    std::size_t same = 0;
    std::vector<std::string> names = entryNamesAtEnd(same, tagged);
    keepFirstMade(same, names, !site.empty());
    // The next operation of the session starts from the entries as they stand now.
    entriesAtStart_.resize(same);
    entriesAtStart_.insert(entriesAtStart_.end(), std::make_move_iterator(names.begin()),
                           std::make_move_iterator(names.end()));
    entriesReadAt_ = {homepageRevision_, operationsStarted_};
    if (!inHeldRun() && !keepNeighbourLinks()) {
        // Pages left linking what the homepage no longer says would stay so: the operation is turned back whole, and
        // asking again does it all.
        const std::string failure = messages_.words(Message::FileFailure);
        if (const HistoryEntry* op = history_.current(); op && !op->files.empty()) {
            undo(true);
            linksOwed_.clear();
            fileFailure(failure + "\nClipnest put back what it had written for this; nothing was changed.");
        }
        return;
    }
    if (site.empty()) {
        return;
    }
    if (!inHeldRun()) {
        entryFacts_.reset();
    }
    discoveryDue_.due = true;
    discoveryDue_.everyPage = discoveryDue_.everyPage || everyPage;
    for (const WrittenFile& file : operationFiles_) {
        if (file.name.ends_with(".php")) {
            discoveryDue_.pages.insert(file.name);
        }
    }
    if (!tagPages(site, tagged)) {
        return;
    }
    // A held run makes the lists once, at its end.
    if (!inHeldRun()) {
        finishDiscovery();
    }
}

void Form::writeDiscoveryFiles() {
    const ChannelHold hold(*this);
    if (!hold) {
        return;
    }
    startClick();
    if (!channelSite(folder_).empty()) {
        busy("Writing the share tags, feed.xml and sitemap.xml\u2026");
    }
    refreshHomepage();
    startOperation({Operation::Kind::Other, {"share tags, feed and sitemap"}});
    noteEntriesAtStart();
    // The homepage links the feed from now on (or no more, without an address).
    std::string linked = homepage_.PageText;
    if (findHomepage(folder_) && homepage_.UnreadableHomepage.empty() &&
        setFeedLink(linked, !channelSite(folder_).empty()) && !writeHomepage()) {
        return;
    }
    keepDiscoveryInStep(true);
}

} // namespace clipnest
