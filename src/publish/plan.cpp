#include "publish/plan.h"

#include "media/poster.h"
#include "platform/working_folder.h"
#include "text/captions.h"
#include "text/discovery.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/individual_page.h"
#include "text/rename_page.h"
#include "text/server_rules.h"

#include <algorithm>
#include <map>
#include <set>

namespace clipnest::publish {

namespace {

// Why a name is not published, or nothing when it may be: a plain name in the channel folder that the server may
// show (no comment file, nothing hidden), nothing that could break out of the quoted name in a transfer command,
// and no link, wherever it points.
std::optional<std::string> unpublishable(const WorkingFolder& folder, const std::string& name) {
    if (!isPlainName(name) || name.find_first_of("\"\r\n") != std::string::npos) {
        return "only files right in the channel folder are published";
    }
    // Clipnest's block of .htaccess goes up on its own, merged into the server's file.
    if (name.front() == '.') {
        return "hidden files stay on this computer";
    }
    if (isVisitorsFile(name)) {
        return "comment files are the visitors' and stay on the server";
    }
    if (folder.isLink(name)) {
        return "it is a symbolic link, and Clipnest follows none";
    }
    return std::nullopt;
}

// The server's rules are brought up to date before anything is planned, so the first publish of a channel already
// hides its comment files; the host's own lines in the file stay, and a file that is there but cannot be read is the
// host's and is never written over.
void bringServerRulesUpToDate(WorkingFolder& folder, std::vector<std::string>& notes) {
    if (folder.isLink(ServerRulesFile)) {
        return;
    }
    const std::optional<std::string> rules =
        folder.exists(ServerRulesFile) ? folder.read(ServerRulesFile) : std::optional<std::string>("");
    if (!rules || (withServerRules(*rules) != *rules && !folder.write(ServerRulesFile, withServerRules(*rules)))) {
        notes.push_back(std::string(ServerRulesFile) +
                        " could not be brought up to date, so the server may show the comment files");
    }
}

// The note on videos the homepage links that were never in the folder; nothing when there are none.
std::optional<std::string> missingVideosNote(const std::vector<std::string>& missing) {
    if (missing.empty()) {
        return std::nullopt;
    }
    if (missing.size() == 1) {
        return missing.front() + " is linked by the homepage but is not in the folder and was never published from it: "
                                 "its entry shows no video unless the server has it";
    }
    std::string some = missing.front();
    for (std::size_t i = 1; i < missing.size() && i < 5; ++i) {
        some += ", " + missing[i];
    }
    return std::to_string(missing.size()) + " videos (" + some + (missing.size() > 5 ? ", ..." : "") +
           ") are linked by the homepage but are not in the folder and were never published from it: their entries "
           "show no video unless the server has them";
}

// The files that go up, in upload order, each once; a name that may not go up is noted instead. Each name's stamp is
// looked up once: a channel of many entries is mostly looking.
class Listing {
public:
    Listing(const WorkingFolder& folder, std::vector<std::string>& notes) : folder_(folder), notes_(notes) {}

    const std::optional<FileStamp>& stampOf(const std::string& name) {
        auto found = stamps_.find(name);
        if (found == stamps_.end()) {
            found = stamps_.emplace(name, folder_.stamp(name)).first;
        }
        return found->second;
    }
    // `listed`: named in the settings, so its absence is worth a note. True when it goes up.
    bool add(const std::string& name, Stage stage, bool listed = false) {
        if (!seen_.insert(name).second) {
            return false;
        }
        if (const std::optional<std::string> why = unpublishable(folder_, name)) {
            notes_.push_back(name + " is not published: " + *why);
        } else if (stampOf(name)) {
            files.push_back({name, {}, true, stage, {}});
            return true;
        } else if (listed) {
            notes_.push_back(name + " is listed in " + std::string(SettingsFile) + " but not in the folder");
        }
        return false;
    }

    std::vector<ChannelFile> files;

private:
    const WorkingFolder& folder_;
    std::vector<std::string>& notes_;
    std::set<std::string> seen_;
    std::map<std::string, std::optional<FileStamp>, std::less<>> stamps_;
};

// An entry's video, poster and captions, then its page, which names those of them that go up.
void listEntry(Listing& listing, const LiveEntry& entry, const std::vector<std::string>& folderNames,
               std::vector<ChannelFile>& pages) {
    std::vector<std::string> media{entry.fileName, media::posterName(entry.fileName)};
    // Its caption files begin with its name up to the extension and a period: only those names are looked at.
    const std::string stem = std::string(withoutExtension(entry.fileName)) + ".";
    std::vector<std::string> near;
    for (auto name = std::lower_bound(folderNames.begin(), folderNames.end(), stem);
         name != folderNames.end() && name->starts_with(stem); ++name) {
        near.push_back(*name);
    }
    for (const CaptionFile& caption : captionFilesOf(entry.fileName, near)) {
        media.push_back(caption.name);
    }
    std::vector<std::string> needs;
    for (const std::string& name : media) {
        if (listing.add(name, Stage::Media)) {
            needs.push_back(name);
        }
    }
    if (listing.add(std::string(withoutExtension(entry.fileName)) + ".php", Stage::Pages)) {
        pages.push_back(std::move(listing.files.back()));
        pages.back().needs = std::move(needs);
        listing.files.pop_back();
    }
}

// The server's rules first, so that no page's comments are up before the rule hiding them; each entry's video,
// poster and captions, the moderation file and the extra files; the pages and the rename page; the feed and sitemap
// after every page they list, and the homepage that links the feed last.
void listChannel(Listing& listing, const WorkingFolder& folder, std::string_view homepage, const Settings& settings,
                 const Record& record, std::vector<std::string>& notes) {
    std::vector<std::string> missing;
    std::vector<ChannelFile> pages;
    std::vector<std::string> folderNames = folder.names();
    std::sort(folderNames.begin(), folderNames.end());
    for (const LiveEntry& entry : liveEntries(homepage)) {
        listEntry(listing, entry, folderNames, pages);
        // A video Clipnest never had cannot go up from here; the host may have put it on the server by hand.
        if (isPlainName(entry.fileName) && !listing.stampOf(entry.fileName) && !record.find(entry.fileName)) {
            missing.push_back(entry.fileName);
        }
    }
    if (std::optional<std::string> note = missingVideosNote(missing)) {
        notes.push_back(std::move(*note));
    }
    listing.add(CommentModerationFile, Stage::Media);
    for (const std::string& name : settings.extra) {
        listing.add(name, Stage::Media, true);
    }
    listing.files.insert(listing.files.end(), std::make_move_iterator(pages.begin()),
                         std::make_move_iterator(pages.end()));
    listing.add(std::string(RenamePageFile), Stage::Pages);
    // Written by Clipnest only when the channel has an address.
    listing.add(discovery::FeedFile, Stage::Lists);
    // A sitemap in parts: the parts first, and the index that names them with the homepage, held back with it.
    const std::size_t parts = discovery::sitemapPartsNamed(folder.read(discovery::SitemapFile).value_or(""));
    for (std::size_t n = 1; n <= parts; ++n) {
        listing.add(discovery::sitemapPart(n), Stage::Lists);
    }
    listing.add(discovery::SitemapFile, parts ? Stage::Homepage : Stage::Lists);
    listing.files.push_back({"homepage.html", {}, true, Stage::Homepage, {}});
}

// Hashes the file, unless its size and time are as recorded.
void hashFile(ChannelFile& file, const std::optional<FileStamp>& stamp, const Record& record,
              const WorkingFolder& folder, std::size_t& hashed) {
    file.now = {"", stamp ? stamp->size : 0, stamp ? stamp->modifiedNs : 0};
    const Published* last = record.find(file.name);
    if (last && stamp && last->size == stamp->size && last->modifiedNs == stamp->modifiedNs) {
        file.now.sha256 = last->sha256;
    } else {
        ++hashed;
        file.now.sha256 = sha256Of(folder.pathOf(file.name)).value_or("");
    }
}

} // namespace

bool changedSince(const ChannelFile& file, const Record& record) {
    const Published* last = record.find(file.name);
    return !last || last->sha256 != file.now.sha256 || file.now.sha256.empty();
}

Plan planPublish(const std::filesystem::path& channel, const Settings& settings, const Record& record) {
    Plan plan;
    WorkingFolder folder(channel);
    const std::optional<std::string> homepage = folder.read("homepage.html");
    if (!homepage) {
        plan.error = "there is no homepage.html in " + channel.string() + " to publish";
        return plan;
    }
    bringServerRulesUpToDate(folder, plan.notes);
    // The server's rules are Clipnest's block, merged into the server's own file when it goes up.
    plan.files.push_back({std::string(ServerRulesFile), {sha256Hex(serverRulesBlock()), 0, 0}, true, Stage::Rules, {}});
    Listing listing(folder, plan.notes);
    listChannel(listing, folder, *homepage, settings, record, plan.notes);
    for (ChannelFile& file : listing.files) {
        hashFile(file, file.name == "homepage.html" ? folder.stamp(file.name) : listing.stampOf(file.name), record,
                 folder, plan.hashed);
        plan.files.push_back(std::move(file));
    }
    for (ChannelFile& file : plan.files) {
        file.changed = changedSince(file, record);
    }
    if (const std::optional<std::string> page = folder.read(std::string(RenamePageFile))) {
        plan.renames = renamePairs(*page);
        plan.renamePage = sha256Hex(*page);
    }
    return plan;
}

} // namespace clipnest::publish
