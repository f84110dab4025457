#include "core/form.h"

#include "core/form_state.h"
#include "text/channel_settings.h"
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/rename_page.h"
#include "text/text_ops.h"

#include <algorithm>
#include <array>

namespace clipnest {

std::string& Controls::text(Box box) {
    switch (box) {
    case Box::FirstName:
        return first.name;
    case Box::FirstHomepageDescription:
        return first.homepageDescription;
    case Box::FirstPageDescription:
        return first.pageDescription;
    case Box::SecondName:
        return second.name;
    case Box::SecondHomepageDescription:
        return second.homepageDescription;
    case Box::SecondPageDescription:
        return second.pageDescription;
    case Box::InsertName:
        return insert.name;
    case Box::InsertHomepageDescription:
        return insert.homepageDescription;
    case Box::InsertPageDescription:
        return insert.pageDescription;
    case Box::InsertAbove:
        return insert.above;
    case Box::Title:
        return title;
    case Box::Message:
        return message;
    case Box::RenameFrom:
        return renameFrom;
    case Box::RenameTo:
        break;
    }
    return renameTo;
}

FormState state(Form& form) {
    return {form.homepage_, form.startup_, form.notices_, form.request_};
}

Form::Form(const Clock& clock, WorkingFolder& folder) : folder_(folder), scheduler_(clock), history_(folder) {
    for (const StepDef& def : schedule()) {
        scheduler_.add(def.designName, def.intervalMs, [this, run = def.run, inChain = def.inChain] {
            run(*this);
            // However a chain ends (its work done, refused, a page missing, an anchor not found), its request ends
            // with it: this is the one place that lets it go.
            if (inChain && !chainRunning()) {
                keepDiscoveryInStep(false);
                endRequest();
                letChannelGo();
            }
        });
    }
    arm(Step::StartUp);
}

std::string Form::pageTemplate() const {
    const std::vector<SettingLine> settings = readChannelSettings(folder_);
    PageOptions options;
    for (const auto& [key, into] : {std::pair{"script", &options.scripts}, std::pair{"fonts", &options.fonts}}) {
        for (const std::string& address : settingWords(settings, key)) {
            if (isPageAddress(address)) {
                into->push_back(address);
            }
        }
    }
    options.styles = folder_.exists("styles3.css");
    options.commentSecret = commentSecret(folder_);
    return buildIndividualPageTemplate(options);
}

void Form::holdDefaultHomepage() {
    homepage_.PageText = buildDefaultHomepage("", "", homepage_.SampleEntry);
    homepage_.HeldOnlyInMemory = true;
    ++homepageRevision_;
}

void Form::clickMessage(Message message) {
    switch (message) {
    case Message::EntryNotFound:
    case Message::NoHomepage:
    case Message::HomepageWillBeCreated:
    case Message::HomepageNotFound:
    case Message::FileFailure:
    case Message::InvalidName:
    case Message::Notice:
        hide(message);
        break;
    default:
        break;
    }
}

bool Form::chainRunning() const {
    const auto schedule = clipnest::schedule();
    return std::any_of(schedule.begin(), schedule.end(),
                       [this](const StepDef& def) { return def.inChain && isArmed(def.step); });
}

bool Form::readText(std::string_view name, std::string& into) {
    const bool changed = changedOnDisk(name);
    const std::optional<FileStamp> before = folder_.stamp(name);
    std::optional<std::string> bytes = folder_.read(name);
    if (!bytes) {
        fileFailure(folder_.isLink(name) ? linkFailureWords(std::string(name)) : readFailureWords(std::string(name)));
        return false;
    }
    remember(name, before);
    if (changed) {
        notice(std::string(name) + " was changed on disk since Clipnest read it. Clipnest read it again.");
    }
    into = linesWithLf(std::move(*bytes));
    return true;
}

bool Form::loadHomepage(std::string_view name) {
    const std::optional<FileStamp> before = folder_.stamp(name);
    std::optional<std::string> bytes = folder_.read(name);
    if (!bytes) {
        // A file that went away in between is simply not there; one that stays but cannot be read is protected.
        if (folder_.exists(name) || folder_.isLink(name)) {
            homepage_.UnreadableHomepage = std::string(name);
            fileFailure(folder_.isLink(name) ? linkFailureWords(homepage_.UnreadableHomepage)
                                             : readFailureWords(homepage_.UnreadableHomepage));
        }
        return false;
    }
    homepage_.UnreadableHomepage.clear();
    homepage_.ReadFrom = std::string(name);
    remember(name, before);
    homepage_.PageText = linesWithLf(std::move(*bytes));
    homepage_.HeldOnlyInMemory = false;
    ++homepageRevision_;
    homepage_.HomepageLoaded = true;
    return true;
}

bool Form::writeText(std::string_view name, std::string_view text) {
    std::string bytes(text);
    return writeWithLineEnd(name, bytes);
}

bool Form::writeWithLineEnd(std::string_view name, std::string& text, std::size_t unchanged) {
    // The line end goes on and comes off again, so a large homepage is never copied for its write.
    text += "\r\n";
    const std::optional<std::string> failure = writeWithoutTelling(name, text, unchanged);
    // Before the failure is told: ending the chains may hand `text` to someone else.
    text.resize(text.size() - 2);
    return !failure || failed(*failure);
}

bool Form::writeBytes(std::string_view name, const std::string& bytes) {
    const std::optional<std::string> failure = writeWithoutTelling(name, bytes);
    return !failure || failed(*failure);
}

bool Form::failed(const std::string& failure) {
    fileFailure(failure);
    endChains();
    return false;
}

std::optional<std::string> Form::writeWithoutTelling(std::string_view name, const std::string& bytes,
                                                     std::size_t unchanged) {
    if (name == markers::HomepageFile) {
        heldHomepageSame_ = 0;
    }
    if (folder_.isLink(name)) {
        return linkFailureWords(std::string(name));
    }
    // A rename over the file would replace it whatever its mode says.
    if (folder_.readOnly(name)) {
        return ("Clipnest did not write " + std::string(name) +
                ": the file is read-only.\nMake it writable to let Clipnest change it.");
    }
    // Nothing is written that could not be undone.
    if (!history_.keep(name)) {
        return ("Clipnest could not keep a copy of " + std::string(name) +
                " for undo, so it did not write it.\nThe file was left as it was.");
    }
    const bool existed = folder_.exists(name);
    if (!folder_.writeKeeping(name, bytes, unchanged)) {
        return writeFailureWords(std::string(name));
    }
    noteWritten(name, existed);
    remember(name);
    // A held run tells the history what it wrote once the files are in place: a run cut off before leaves no record.
    if (!inHeldRun()) {
        tellHistoryWrote(name, bytes);
    }
    return std::nullopt;
}

void Form::remember(std::string_view name) {
    remember(name, folder_.stamp(name));
}

void Form::remember(std::string_view name, const std::optional<FileStamp>& stamp) {
    if (!stamp) {
        known_.erase(std::string(name));
        return;
    }
    known_.insert_or_assign(std::string(name), *stamp);
}

bool Form::holdsCurrent(std::string_view name) {
    return known_.find(name) != known_.end() && !changedOnDisk(name);
}

bool Form::changedOnDisk(std::string_view name) {
    const auto known = known_.find(name);
    if (known == known_.end()) {
        return false;
    }
    const std::optional<FileStamp> stamp = folder_.stamp(name);
    if (!stamp || *stamp == known->second) {
        return false;
    }
    if (stamp->size != known->second.size) {
        return true;
    }
    // Touched, or written again with what it held: for the homepage, whose text is held, the bytes tell (as read,
    // or as written); any other file counts as changed, and is read again anyway.
    if (name != homepage_.ReadFrom) {
        return true;
    }
    const std::optional<std::string> bytes = folder_.read(name);
    if (!bytes) {
        return true;
    }
    const std::string_view held = homepage_.PageText;
    const bool asWritten = bytes->size() == held.size() + 2 && bytes->ends_with("\r\n") &&
                           std::string_view(*bytes).substr(0, held.size()) == held;
    if (!asWritten && linesWithLf(*bytes) != held) {
        return true;
    }
    known->second = *stamp;
    return false;
}

void Form::refreshHomepage() {
    const std::optional<std::string_view> name = findHomepage(folder_);
    if (!name) {
        return;
    }
    // A homepage this Form has not read yet (placed in the folder since the start, or one that could not be read)
    // is read now; a known one again when it changed.
    const bool unknown = known_.find(*name) == known_.end();
    const bool heldOther = unknown && homepage_.HomepageLoaded;
    if ((unknown || changedOnDisk(*name)) && loadHomepage(*name) && (heldOther || !unknown)) {
        notice(std::string(*name) +
               " was changed on disk since Clipnest read or wrote it. Clipnest read it again and works on that.");
    }
}

void Form::readHomepageAgain() {
    if (const std::optional<std::string_view> name = findHomepage(folder_)) {
        loadHomepage(*name);
    }
}

void Form::notice(const std::string& text) {
    const std::string& shown = messages_.words(Message::Notice);
    messages_.show(Message::Notice, isVisible(Message::Notice) && !shown.empty() ? shown + "\n" + text : text);
    record({Message::Notice, text});
    arm(Step::HideNotices);
}

void Form::say(Message m, std::string words) {
    record({m, words});
    messages_.show(m, std::move(words));
}

void Form::record(Said said) {
    if (std::find(outcome_.said.begin(), outcome_.said.end(), said) == outcome_.said.end()) {
        outcome_.said.push_back(std::move(said));
    }
}

void Form::tellHistoryWrote(std::string_view name, std::string_view bytes) {
    if (const auto known = known_.find(name); known != known_.end()) {
        history_.wrote(name, known->second, contentHash(bytes));
    }
}

void Form::noteWritten(std::string_view name, bool existedBefore) {
    outcome_.written.emplace_back(name);
    if (std::none_of(operationFiles_.begin(), operationFiles_.end(),
                     [&](const WrittenFile& f) { return f.name == name; })) {
        operationFiles_.push_back({std::string(name), existedBefore});
    }
}

void Form::refuseQuietly(std::string why) {
    refusal_ = why;
    outcome_.refusal = std::move(why);
}

bool Form::holdChannel() {
    if (channel_.take(folder_, channelWaitMs_)) {
        return true;
    }
    fileFailure(std::string(ChannelLock::BusyWords));
    return false;
}

void Form::letChannelGo() {
    if (channelHolds_ == 0 && !inHeldRun() && !chainRunning()) {
        channel_.release();
    }
}

void Form::startOperation(Operation operation) {
    ++operationsStarted_;
    // A held run looks for what a cut-off write left once, not once a line.
    const bool lookForStale = !inHeldRun() || !std::exchange(staleLookedFor_, true);
    if (const WorkingFolder::Removed stale = lookForStale ? folder_.removeStaleTemporaries() : WorkingFolder::Removed{};
        stale.files > 0) {
        notice("Clipnest removed " + std::to_string(stale.files) + " temporary file" + (stale.files == 1 ? "" : "s") +
               " (" + std::to_string(stale.bytes) + " bytes) left by a write that was cut off.");
    }
    if (std::exchange(joinNext_, false) && history_.open()) {
        return;
    }
    ++operationNumber_;
    undoSummary_.clear();
    posterNotes_.clear();
    refusal_.clear();
    operation_ = operation;
    operationFiles_.clear();
    // A held run's neighbour links follow the run as a whole, from the entries at its start.
    if (!inHeldRun() || heldOperations_ == 0) {
        noteNeighboursAtStart();
    }
    // The operations of a held run share the record its first one opened.
    if (inHeldRun() && heldOperations_++ > 0 && history_.open()) {
        return;
    }
    history_.begin(std::move(operation));
}

bool Form::writeHomepage() {
    if (!homepage_.UnreadableHomepage.empty()) {
        fileFailure(readFailureWords(homepage_.UnreadableHomepage));
        endChains();
        return false;
    }
    // The head links feed.xml only while there is a feed, which the channel's address brings; a change of the head
    // moves every later byte, so a front of the text is not used again.
    if (setFeedLink(homepage_.PageText, !channelSite(folder_).empty())) {
        dropPageFront();
    }
    // Under the same front as the last held write, the text before where that front's searches began is unchanged.
    const PageFront* front = pageFront();
    const std::size_t unchanged = front ? heldHomepageSame_ : 0;
    if (!writeWithLineEnd(markers::HomepageFile, homepage_.PageText, unchanged)) {
        return false;
    }
    homepage_.HeldOnlyInMemory = false;
    ++homepageRevision_;
    if (front) {
        // The text written is the text the front follows.
        frontRevision_ = homepageRevision_;
        heldHomepageSame_ = front->searchFrom();
    }
    if (!homepage_.ReadFrom.empty() && homepage_.ReadFrom != markers::HomepageFile) {
        notice("The homepage was read from " + homepage_.ReadFrom + " and written as homepage.html: upload " +
               "homepage.html from now on; " + homepage_.ReadFrom + " was left as it was.");
    }
    homepage_.ReadFrom = markers::HomepageFile;
    return true;
}

void Form::fileFailure(std::string words) {
    say(Message::FileFailure, std::move(words));
}

void Form::endChains() {
    for (const StepDef& def : schedule()) {
        if (def.inChain && def.step != Step::StartUp) {
            disarm(def.step);
        }
    }
    endRequest();
    front_.reset();
    // Whatever the ended chains changed in the held homepage never reached the disk, whose writes are whole or
    // not at all: the held text is read from there again (or built again where no homepage is on disk yet), so no
    // copy of a large homepage is kept on the side for this. A default homepage this session wrote is on disk now
    // with its entries, and is read like any other.
    if (const std::optional<std::string_view> name = findHomepage(folder_)) {
        loadHomepage(*name);
    } else if (homepage_.HeldOnlyInMemory || !homepage_.HomepageLoaded) {
        holdDefaultHomepage();
    }
    letChannelGo();
}

void Form::quit() {
    scheduler_.stopAll();
    quitRequested_ = true;
}

std::string Form::operationSummary() const {
    if (!undoSummary_.empty()) {
        return undoSummary_;
    }
    if (!refusal_.empty()) {
        return refusal_;
    }
    std::string said = summaryOfWrites();
    for (const std::string& note : posterNotes_) {
        said += (said.empty() ? "" : " ") + note;
    }
    return said;
}

std::string Form::summaryOfWrites() const {
    if (!history_.current()) {
        return {};
    }
    std::vector<std::string> written;
    for (const WrittenFile& f : operationFiles_) {
        written.push_back(codePageToUtf8(f.name));
    }
    const std::string& name = operation_.name();
    if (isVisible(Message::FileFailure)) {
        return "Stopped (see the message): " +
               (written.empty() ? "nothing was written." : joinNames(written) + " written.");
    }
    if (written.empty()) {
        return "Nothing was written for " + operation_.label() + ".";
    }
    const std::string files = joinNames(written) + " written.";
    const std::string page = std::string(withoutExtension(name)) + ".php";
    switch (operation_.kind) {
    case Operation::Kind::Entry: {
        const bool made = std::any_of(operationFiles_.begin(), operationFiles_.end(), [&](const WrittenFile& f) {
            return codePageToUtf8(f.name) == page && !f.existedBefore;
        });
        return (made ? "Added " : "Changed ") + name + ": " + files;
    }
    case Operation::Kind::Delete: {
        const std::optional<std::string> pageBytes = toCodePage(page);
        const bool left = pageBytes && folder_.exists(*pageBytes);
        return "Deleted " + name + " from the homepage" + (left ? "; " + page + " is still in the folder." : ".");
    }
    case Operation::Kind::Insert:
        return "Inserted " + name + " above " + operation_.names.back() + ": " + files;
    case Operation::Kind::Title:
        return "Updated the title and message: " + files;
    case Operation::Kind::Rename: {
        const std::size_t held = renamesHeld(folder_.read(RenamePageFile).value_or(""));
        const std::string holds = held > 1 ? ", which holds " + std::to_string(held) + " renames," : "";
        if (operationFiles_.size() > 1) {
            return "Renamed " + name + " to " + operation_.names.back() + " here (" + joinNames(written) +
                   " changed): publish, then call up change_file_name.php" + holds +
                   " in a browser once to rename them on the server.";
        }
        return "Wrote change_file_name.php (" + operation_.label() +
               (held > 1 ? "; it holds " + std::to_string(held) + " renames" : "") +
               "): upload it and call it up in a browser once.";
    }
    case Operation::Kind::Posters:
        return "Posters: " + files;
    case Operation::Kind::Captions:
        return "Captions: " + files;
    case Operation::Kind::Move:
        return "Moved " + name + (operation_.names.size() > 1 ? " above " + operation_.names.back() : " to the end") +
               ": " + files;
    case Operation::Kind::Convert: {
        const std::string& made = operation_.names.back();
        const bool renamed = made != name && std::any_of(operationFiles_.begin(), operationFiles_.end(),
                                                         [](const WrittenFile& f) { return f.name == RenamePageFile; });
        return "Converted " + name + (made != name ? " to " + made : std::string()) + " (" + joinNames(written) +
               " written); the original is kept in .clipnest/originals" +
               (renamed ? ": publish, then call up change_file_name.php in a browser once to rename it on the server."
                        : ".");
    }
    case Operation::Kind::Other:
        break;
    }
    return operation_.label() + ": " + files;
}

std::optional<Form::Descriptions> Form::entryDescriptions(std::string_view fileName) const {
    const std::optional<std::string> name = toCodePage(stripBlanks(fileName));
    if (!name || name->empty()) {
        return std::nullopt;
    }
    for (const LiveEntry& e : liveEntries(homepage_.PageText)) {
        if (e.fileName != *name) {
            continue;
        }
        Descriptions d{shownText(e.description), {}};
        if (const std::optional<std::string> page = folder_.read(std::string(withoutExtension(*name)) + ".php")) {
            const std::string text = linesWithLf(*page);
            if (const auto content = contentAfterMarker(text, markers::IndividualDescriptionTail)) {
                d.page = shownText(std::string_view(text).substr(content->first, content->second - content->first));
            }
        }
        return d;
    }
    return std::nullopt;
}

std::pair<std::string, std::string> Form::shownTitleAndMessage() const {
    const auto shown = [this](std::string_view marker) {
        const std::optional<std::string_view> value = valueAfterMarker(homepage_.PageText, marker);
        return value ? shownText(*value) : std::string();
    };
    return {shown(markers::Title), shown(markers::Message)};
}

} // namespace clipnest
