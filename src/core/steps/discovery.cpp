#include "text/discovery.h"

#include "core/form.h"
#include "history/first_made.h"
#include "media/shape.h"
#include "text/channel_settings.h"
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

// The page description as the page shows it, or empty.
std::string shownPageDescription(const WorkingFolder& folder, const std::string& page) {
    const std::optional<std::string> bytes = folder.isLink(page) ? std::nullopt : folder.read(page);
    if (!bytes) {
        return {};
    }
    const std::string text = linesWithLf(*bytes);
    const auto content = contentAfterMarker(text, markers::IndividualDescriptionTail);
    return content ? shownText(std::string_view(text).substr(content->first, content->second - content->first)) : "";
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
std::optional<FirstMade> Form::keepFirstMade(std::size_t same, const std::vector<std::string>& names, bool needed) {
    const NamesChanged changed = namesChanged(std::span(entriesAtStart_).subspan(same), names);
    if (changed.added.empty() && changed.gone.empty() && !needed) {
        return std::nullopt;
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
    return needed ? firstMade_ : std::nullopt;
}

namespace {

// When the video was first made: its record, else its file's time, else now.
discovery::Moment firstMadeOf(const FirstMade& record, const std::string& video,
                              const std::optional<FileStamp>& stamp) {
    const auto kept = record.find(video);
    std::string_view date = kept == record.end() ? std::string_view() : kept->second;
    if (date.starts_with(SetAside)) {
        date.remove_prefix(1); // a deleted entry back by undo
    }
    std::optional<discovery::Moment> made = discovery::parseIsoDateTime(date);
    if (!made && stamp) {
        made = momentOf(wallTimeAt(stamp->modifiedNs / 1'000'000'000));
    }
    return made.value_or(momentOf(wallTimeNow()));
}

// What the feed, the sitemap and the share tags say of each entry's video, and beside it its page's code-page name.
struct Videos {
    std::vector<discovery::VideoFacts> facts;
    std::vector<std::string> pages;
};

Videos videoFactsOf(const WorkingFolder& folder, const std::string& homepage, const std::vector<std::string>& names,
                    const FirstMade& record) {
    const std::map<std::string, media::Shape, std::less<>> shapes = media::shapesOf(folder, names);
    Videos videos;
    for (const LiveEntry& e : liveEntries(homepage)) {
        if (!isPlainName(e.fileName)) {
            continue;
        }
        const std::string less(withoutExtension(e.fileName));
        discovery::VideoFacts v;
        v.video = codePageToUtf8(e.fileName);
        v.page = codePageToUtf8(less + ".php");
        if (folder.exists(less + ".jpg")) {
            v.poster = codePageToUtf8(less + ".jpg");
            if (const std::optional<std::pair<int, int>> size = media::jpegSize(folder, less + ".jpg")) {
                v.posterWidth = size->first;
                v.posterHeight = size->second;
            }
        }
        v.title = e.description.empty() ? v.video : shownText(e.description);
        v.description = shownPageDescription(folder, less + ".php");
        const std::optional<FileStamp> stamp = folder.isLink(e.fileName) ? std::nullopt : folder.stamp(e.fileName);
        v.firstMade = firstMadeOf(record, e.fileName, stamp);
        v.size = stamp ? stamp->size : 0;
        if (const auto shape = shapes.find(e.fileName); shape != shapes.end()) {
            v.width = shape->second.width;
            v.height = shape->second.height;
            v.seconds = shape->second.seconds;
        }
        videos.facts.push_back(std::move(v));
        videos.pages.push_back(less + ".php");
    }
    return videos;
}

} // namespace

// Where this operation had a front, it is brought up to the text: the entries it held at the start are the start
// names' first ones and stay as they were; the rest are what follows them in the front now and after it. Without one,
// every name is read from the text.
std::vector<std::string> Form::entryNamesAtEnd(std::size_t& same) {
    same = 0;
    if (pageFront() == nullptr) {
        return entryNames(homepage_.PageText);
    }
    const std::size_t held = std::min(front_->names().size(), entriesAtStart_.size());
    front_ = PageFront::follow(std::move(*front_), homepage_.PageText);
    frontFollowed_ = true;
    if (!front_) {
        return entryNames(homepage_.PageText);
    }
    same = held;
    std::vector<std::string> names(front_->names().begin() + static_cast<std::ptrdiff_t>(held), front_->names().end());
    forEachLiveEntry(std::string_view(homepage_.PageText).substr(front_->entriesEnd()),
                     [&](std::string_view name, std::string_view) { names.emplace_back(name); });
    return names;
}

void Form::keepDiscoveryInStep(bool everyPage) {
    if (!history_.current() || (operationFiles_.empty() && !everyPage)) {
        front_.reset();
        return;
    }
    std::size_t same = 0;
    std::vector<std::string> names = entryNamesAtEnd(same);
    const std::string site = channelSite(folder_);
    const std::optional<FirstMade> record = keepFirstMade(same, names, !site.empty());
    // The next operation of the session starts from the entries as they stand now.
    entriesAtStart_.resize(same);
    entriesAtStart_.insert(entriesAtStart_.end(), std::make_move_iterator(names.begin()),
                           std::make_move_iterator(names.end()));
    entriesReadAt_ = {homepageRevision_, operationsStarted_};
    if (site.empty()) {
        return;
    }
    const auto videos = videoFactsOf(folder_, homepage_.PageText, entriesAtStart_, *record);
    // The pages this operation wrote (or all of them) carry the share tags as the entries stand now.
    for (std::size_t i = 0; i < videos.pages.size(); ++i) {
        const std::string& page = videos.pages[i];
        const discovery::VideoFacts& facts = videos.facts[i];
        const bool written = std::any_of(operationFiles_.begin(), operationFiles_.end(),
                                         [&page](const WrittenFile& f) { return f.name == page; });
        if ((!written && !everyPage) || !folder_.exists(page)) {
            continue;
        }
        std::string text;
        if (!readText(page, text)) {
            return;
        }
        std::string changed = text;
        discovery::setShareBlock(changed, discovery::shareTags(site, facts) + discovery::videoJsonLd(site, facts));
        if (changed != text && !writeText(page, changed)) {
            return;
        }
    }
    const auto [title, message] = shownTitleAndMessage();
    const std::pair<const char*, std::string> files[] = {
        {discovery::FeedFile, discovery::feedXml(site, {title, message}, videos.facts)},
        {discovery::SitemapFile, discovery::sitemapXml(site, videos.facts)},
    };
    for (const auto& [name, bytes] : files) {
        if (folder_.read(name) != bytes && !writeBytes(name, bytes)) {
            return;
        }
    }
}

void Form::writeDiscoveryFiles() {
    startClick();
    refreshHomepage();
    startOperation({Operation::Kind::Other, {"share tags, feed and sitemap"}});
    noteEntriesAtStart();
    keepDiscoveryInStep(true);
}

} // namespace clipnest
