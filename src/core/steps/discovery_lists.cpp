#include "core/discovery_facts.h"
#include "core/form.h"
#include "history/first_made.h"
#include "media/shape.h"
#include "text/channel_settings.h"
#include "text/discovery.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <unordered_map>

namespace clipnest {

namespace {

// The feed holds this many of the newest entries unless the settings say `feed_items`.
constexpr std::size_t DefaultFeedItems = 100;

std::size_t feedItems(const WorkingFolder& folder) {
    std::size_t items = DefaultFeedItems;
    for (const SettingLine& line : readChannelSettings(folder)) {
        std::size_t n = 0;
        const auto [end, problem] = std::from_chars(line.value.data(), line.value.data() + line.value.size(), n);
        if (line.key == "feed_items" && problem == std::errc() && end == line.value.data() + line.value.size() &&
            n >= 1) {
            items = n;
        }
    }
    return items;
}

discovery::Moment momentOf(const WallTime& time) {
    return {time.seconds, time.offsetMinutes};
}

// The page description as the page shows it, or empty.
std::string shownPageDescription(const WorkingFolder& folder, const std::string& page) {
    const std::optional<std::string> bytes = folder.read(page);
    if (!bytes) {
        return {};
    }
    const std::string text = linesWithLf(*bytes);
    const auto content = contentAfterMarker(text, markers::IndividualDescriptionTail);
    return content ? shownText(std::string_view(text).substr(content->first, content->second - content->first)) : "";
}

// When the entry was first made: its record, else its video's time, else now.
discovery::Moment madeOf(const FirstMade& record, const WorkingFolder& folder, std::string_view name) {
    const auto kept = record.find(name);
    std::string_view date = kept == record.end() ? std::string_view() : kept->second;
    if (date.starts_with(SetAside)) {
        date.remove_prefix(1); // a deleted entry back by undo
    }
    if (const std::optional<discovery::Moment> made = discovery::parseIsoDateTime(date)) {
        return *made;
    }
    const std::optional<FileStamp> stamp = folder.stamp(name);
    return momentOf(stamp ? wallTimeAt(stamp->modifiedNs / 1'000'000'000) : wallTimeNow());
}

// An entry's facts as its files say them now. What was read of its video and poster is kept with its facts, and
// read again only when their stamps changed.
discovery::VideoFacts factsOfEntry(const WorkingFolder& folder, EntryFacts& facts, std::string_view name,
                                   std::string_view description, const discovery::Moment& made) {
    const std::string less(withoutExtension(name));
    KeptFacts& kept = facts.byName[std::string(name)];
    discovery::VideoFacts v;
    v.video = codePageToUtf8(name);
    v.page = codePageToUtf8(less + ".php");
    const std::optional<FileStamp> poster = folder.stamp(less + ".jpg");
    if (poster != kept.poster) {
        kept.posterSize = poster ? media::jpegSize(folder, less + ".jpg") : std::nullopt;
        kept.poster = poster;
    }
    if (poster) {
        v.poster = codePageToUtf8(less + ".jpg");
        v.posterWidth = kept.posterSize ? std::optional(kept.posterSize->first) : std::nullopt;
        v.posterHeight = kept.posterSize ? std::optional(kept.posterSize->second) : std::nullopt;
    }
    v.title = description.empty() ? v.video : shownText(description);
    v.description = shownPageDescription(folder, less + ".php");
    v.firstMade = made;
    const std::optional<FileStamp> video = folder.stamp(name);
    v.size = video ? video->size : 0;
    if (video && video != kept.video) {
        keepShapes(folder, facts, {std::string(name)});
    } else if (!video) {
        kept.video.reset();
        kept.shape = {};
    }
    if (video && video == kept.video) {
        v.width = kept.shape.width;
        v.height = kept.shape.height;
        v.seconds = kept.shape.seconds;
    }
    return v;
}

// What stands between a page's share markers.
std::string shareLines(std::string_view site, const discovery::VideoFacts& facts) {
    return discovery::shareTags(site, facts) + discovery::videoJsonLd(site, facts);
}

// A live entry as the lists see it.
struct Item {
    // A name is handed on decoded when the page writes it with references, so it is kept; the description is a
    // view of the homepage text.
    std::string name;
    std::string_view description;
    std::string page, poster;
    std::uint64_t hash = 0;
    bool dirty = false;
    discovery::Moment made;
};

// The items of a feed or sitemap as it stands, by key: each found once (a second entry of the same video is made
// again).
using OldItems = std::unordered_map<std::string_view, std::string_view>;

OldItems byKey(const std::vector<discovery::ListItem>& items) {
    OldItems found;
    for (const discovery::ListItem& item : items) {
        found.emplace(item.key, item.text);
    }
    return found;
}

} // namespace

// One making of the share tags, feed and sitemap: what the entries say now against what the lists were made from.
class DiscoveryWork {
public:
    DiscoveryWork(Form& form, std::string site, const Form::DiscoveryDue& due)
        : form_(form), folder_(form.folder_), site_(std::move(site)), due_(due), kept_(form.entryFacts()) {}
    void run();

private:
    void readItems();
    void chooseFeed();
    const discovery::VideoFacts& factsOf(std::size_t i);
    void readShapes();
    bool writePages();
    bool writeSitemap();
    bool writeFeed();
    bool writeIfChanged(const std::string& name, const std::optional<std::string>& was, const std::string& bytes);
    // An item's text: copied from the list as it stood, or made again.
    std::string_view itemText(std::size_t i, OldItems& old, bool feed);

    Form& form_;
    WorkingFolder& folder_;
    std::string site_;
    const Form::DiscoveryDue& due_;
    EntryFacts& kept_;
    std::vector<Item> items_;
    std::vector<std::optional<discovery::VideoFacts>> facts_;
    std::vector<std::size_t> feed_;
    std::deque<std::string> made_;
};

void DiscoveryWork::readItems() {
    forEachLiveEntry(form_.homepage_.PageText, [&](std::string_view name, std::string_view description) {
        if (!isPlainName(name)) {
            return;
        }
        const std::string less(withoutExtension(name));
        Item item{std::string(name), description, less + ".php", less + ".jpg", contentHash(description), false, {}};
        const auto kept = kept_.byName.find(item.name);
        item.dirty = due_.everyPage || kept == kept_.byName.end() || kept->second.hash != item.hash ||
                     due_.pages.contains(item.page);
        items_.push_back(std::move(item));
    });
    facts_.resize(items_.size());
    for (Item& item : items_) {
        item.made = madeOf(*form_.firstMade_, folder_, item.name);
    }
}

// The newest entries, in the homepage's order; a later entry of the same moment is the newer. Their videos and
// posters are looked at each time, as a feed reader fetches what the feed says.
void DiscoveryWork::chooseFeed() {
    std::vector<std::size_t> order(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const std::size_t count = std::min(feedItems(folder_), order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), order.end(),
                      [this](std::size_t a, std::size_t b) {
                          const std::int64_t x = items_[a].made.seconds, y = items_[b].made.seconds;
                          return x != y ? x > y : a > b;
                      });
    feed_.assign(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count));
    std::sort(feed_.begin(), feed_.end());
    for (const std::size_t i : feed_) {
        Item& item = items_[i];
        const KeptFacts& kept = kept_.byName[std::string(item.name)];
        item.dirty = item.dirty || folder_.stamp(item.name) != kept.video || folder_.stamp(item.poster) != kept.poster;
    }
}

// The shapes of the videos of the entries made again that are new or changed, read in one go.
void DiscoveryWork::readShapes() {
    std::vector<std::string> videos;
    for (const Item& item : items_) {
        const auto kept = kept_.byName.find(std::string(item.name));
        const std::optional<FileStamp> stamp = item.dirty ? folder_.stamp(item.name) : std::nullopt;
        if (stamp && (kept == kept_.byName.end() || kept->second.video != stamp)) {
            videos.emplace_back(item.name);
        }
    }
    keepShapes(folder_, kept_, videos);
}

const discovery::VideoFacts& DiscoveryWork::factsOf(std::size_t i) {
    if (!facts_[i]) {
        const Item& item = items_[i];
        facts_[i] = factsOfEntry(folder_, kept_, item.name, item.description, item.made);
        // Made again now: the lists say what this description says.
        kept_.byName[std::string(item.name)].hash = item.hash;
    }
    return *facts_[i];
}

std::string_view DiscoveryWork::itemText(std::size_t i, OldItems& old, bool feed) {
    if (!items_[i].dirty) {
        const auto found = old.find(discovery::markupText(discovery::addressOf(site_, codePageToUtf8(items_[i].name))));
        if (found != old.end()) {
            const std::string_view text = found->second;
            old.erase(found);
            return text;
        }
    }
    const discovery::VideoFacts& facts = factsOf(i);
    return made_.emplace_back(feed ? discovery::feedItem(site_, facts) : discovery::sitemapItem(site_, facts));
}

bool DiscoveryWork::writeIfChanged(const std::string& name, const std::optional<std::string>& was,
                                   const std::string& bytes) {
    return was == bytes || form_.writeBytes(name, bytes);
}

// The pages of the entries made again carry their share tags; a page two entries share (two kinds of one video)
// carries the later one's, as the homepage's order has them.
bool DiscoveryWork::writePages() {
    std::map<std::string_view, std::size_t> pages;
    for (const Item& item : items_) {
        if (item.dirty) {
            pages.emplace(item.page, 0);
        }
    }
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (const auto page = pages.find(items_[i].page); page != pages.end()) {
            page->second = i;
        }
    }
    for (const auto& [page, i] : pages) {
        if (!due_.tagged.contains(page) && !form_.tagPage(page, shareLines(site_, factsOf(i)))) {
            return false;
        }
    }
    return true;
}

bool DiscoveryWork::writeSitemap() {
    const bool anyDirty = std::any_of(items_.begin(), items_.end(), [](const Item& item) { return item.dirty; });
    const bool sameOrder = std::equal(items_.begin(), items_.end(), kept_.order.begin(), kept_.order.end(),
                                      [](const Item& item, const std::string& name) { return item.name == name; });
    if (!anyDirty && sameOrder && folder_.exists(discovery::SitemapFile)) {
        return true;
    }
    std::map<std::string, std::optional<std::string>> was{
        {discovery::SitemapFile, folder_.read(discovery::SitemapFile)}};
    const std::size_t parts = discovery::sitemapPartsNamed(was.begin()->second.value_or(""));
    for (std::size_t p = 1; p <= parts; ++p) {
        was.emplace(discovery::sitemapPart(p), folder_.read(discovery::sitemapPart(p)));
    }
    OldItems old;
    for (const auto& [name, bytes] : was) {
        old.merge(byKey(discovery::sitemapItems(bytes ? std::string_view(*bytes) : std::string_view())));
    }
    std::vector<std::string_view> texts;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        texts.push_back(itemText(i, old, false));
    }
    const std::vector<std::pair<std::string, std::string>> files = discovery::sitemapFiles(site_, texts);
    for (const auto& [name, bytes] : files) {
        const auto before = was.find(name);
        if (!writeIfChanged(name, before == was.end() ? std::nullopt : before->second, bytes)) {
            return false;
        }
    }
    // Parts it needs no more go, within the operation; a held run leaves them to the next operation.
    for (std::size_t p = files.size(); p <= parts && !form_.inHeldRun(); ++p) {
        if (p > 0 && folder_.exists(discovery::sitemapPart(p)) && !form_.removeFile(discovery::sitemapPart(p))) {
            return false;
        }
    }
    return true;
}

bool DiscoveryWork::writeFeed() {
    const std::optional<std::string> was = folder_.read(discovery::FeedFile);
    OldItems old = byKey(discovery::feedItems(was ? std::string_view(*was) : std::string_view()));
    std::vector<std::string_view> texts;
    for (const std::size_t i : feed_) {
        texts.push_back(itemText(i, old, true));
    }
    const auto [title, message] = form_.shownTitleAndMessage();
    return writeIfChanged(discovery::FeedFile, was, discovery::feedOf(site_, {title, message}, texts));
}

void DiscoveryWork::run() {
    if (!form_.firstMade_) {
        form_.firstMade_ = readFirstMade(folder_);
    }
    readItems();
    chooseFeed();
    readShapes();
    if (!writePages() || !writeFeed() || !writeSitemap()) {
        return;
    }
    std::vector<std::string_view> order;
    for (const Item& item : items_) {
        order.push_back(item.name);
    }
    std::string facts = entryFactsText(order, kept_);
    if (form_.inHeldRun()) {
        form_.entryFactsUnwritten_ = std::move(facts);
    } else {
        writeEntryFacts(folder_, facts);
    }
}

EntryFacts& Form::entryFacts() {
    if (!entryFacts_) {
        entryFacts_ = std::make_shared<EntryFacts>(readEntryFacts(folder_));
    }
    return *entryFacts_;
}

bool Form::tagPage(std::string_view page, const std::string& lines) {
    std::string text;
    if (!folder_.exists(page)) {
        return true;
    }
    if (!readText(page, text)) {
        return false;
    }
    std::string changed = text;
    discovery::setShareBlock(changed, lines);
    return changed == text || writeText(page, changed);
}

bool Form::tagPages(const std::string& site, const TaggedPages& tagged) {
    for (const auto& [page, entry] : tagged) {
        const auto& [name, description] = entry;
        if (name.empty()) {
            continue;
        }
        const discovery::Moment made = madeOf(*firstMade_, folder_, name);
        if (!tagPage(page, shareLines(site, factsOfEntry(folder_, entryFacts(), name, description, made)))) {
            return false;
        }
        discoveryDue_.tagged.insert(page);
    }
    return true;
}

void Form::finishDiscovery() {
    const DiscoveryDue due = std::exchange(discoveryDue_, {});
    const std::string site = channelSite(folder_);
    if (due.due && !site.empty()) {
        DiscoveryWork(*this, site, due).run();
    }
}

} // namespace clipnest
