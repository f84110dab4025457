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
    // .htaccess is the one hidden file that goes up: it is what keeps the comment files from visitors.
    if (name.front() == '.' && name != ServerRulesFile) {
        return "hidden files stay on this computer";
    }
    if (name.ends_with("_comments.txt") || name == CommentLimitsFile) {
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

// The names that go up, in upload order, each once; a name that may not go up is noted instead. Each name's stamp is
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
    // `listed`: named in the settings, so its absence is worth a note.
    void add(const std::string& name, bool listed) {
        if (!seen_.insert(name).second) {
            return;
        }
        if (const std::optional<std::string> why = unpublishable(folder_, name)) {
            notes_.push_back(name + " is not published: " + *why);
        } else if (stampOf(name)) {
            names.push_back(name);
        } else if (listed) {
            notes_.push_back(name + " is listed in " + std::string(SettingsFile) + " but not in the folder");
        }
    }

    std::vector<std::string> names;

private:
    const WorkingFolder& folder_;
    std::vector<std::string>& notes_;
    std::set<std::string> seen_;
    std::map<std::string, std::optional<FileStamp>, std::less<>> stamps_;
};

// The server's rules first, so that no page's comments are up before the rule hiding them; each entry's video, page,
// poster and captions; the rename page, the moderation file and the extra files; the feed and sitemap after every
// page they list, and the homepage that links the feed last.
void listChannel(Listing& listing, const WorkingFolder& folder, std::string_view homepage, const Settings& settings,
                 const Manifest& manifest, std::vector<std::string>& notes) {
    listing.add(std::string(ServerRulesFile), false);
    std::vector<std::string> missing;
    const std::vector<std::string> folderNames = folder.names();
    for (const LiveEntry& entry : liveEntries(homepage)) {
        listing.add(entry.fileName, false);
        // A video Clipnest never had cannot go up from here; the host may have put it on the server by hand.
        if (isPlainName(entry.fileName) && !listing.stampOf(entry.fileName) && !manifest.find(entry.fileName)) {
            missing.push_back(entry.fileName);
        }
        listing.add(std::string(withoutExtension(entry.fileName)) + ".php", false);
        listing.add(media::posterName(entry.fileName), false);
        for (const CaptionFile& caption : captionFilesOf(entry.fileName, folderNames)) {
            listing.add(caption.name, false);
        }
    }
    if (std::optional<std::string> note = missingVideosNote(missing)) {
        notes.push_back(std::move(*note));
    }
    listing.add("change_file_name.php", false);
    listing.add(CommentModerationFile, false);
    for (const std::string& name : settings.extra) {
        listing.add(name, true);
    }
    // Written by Clipnest only when the channel has an address.
    listing.add(discovery::FeedFile, false);
    listing.add(discovery::SitemapFile, false);
    listing.names.push_back("homepage.html");
}

// A new file that the server has already under the name it was last published as, which the pending rename page
// renames there.
std::optional<Plan::Renamed> renamedThere(const ChannelFile& file, const Manifest& manifest,
                                          const std::string& renamePage, const WorkingFolder& folder) {
    for (const auto& [name, published] : manifest.files()) {
        if (published.sha256 != file.now.sha256 || folder.stamp(name)) {
            continue;
        }
        if (std::vector<std::string> steps = renameSteps(renamePage, name, file.name); !steps.empty()) {
            return Plan::Renamed{file, name, {steps.begin() + 1, steps.end() - 1}};
        }
    }
    return std::nullopt;
}

} // namespace

Plan planPublish(const std::filesystem::path& channel, const Settings& settings, const Manifest& manifest) {
    Plan plan;
    WorkingFolder folder(channel);
    const std::optional<std::string> homepage = folder.read("homepage.html");
    if (!homepage) {
        plan.error = "there is no homepage.html in " + channel.string() + " to publish";
        return plan;
    }
    bringServerRulesUpToDate(folder, plan.notes);
    Listing listing(folder, plan.notes);
    listChannel(listing, folder, *homepage, settings, manifest, plan.notes);

    const std::string renamePage = folder.read(std::string(RenamePageFile)).value_or("");
    for (const std::string& name : listing.names) {
        const std::optional<FileStamp> stamp = name == "homepage.html" ? folder.stamp(name) : listing.stampOf(name);
        ChannelFile file{name, {"", stamp ? stamp->size : 0, stamp ? stamp->modifiedNs : 0}, true};
        const Published* last = manifest.find(name);
        if (last && stamp && last->size == stamp->size && last->modifiedNs == stamp->modifiedNs) {
            file.now.sha256 = last->sha256;
        } else {
            ++plan.hashed;
            file.now.sha256 = sha256Of(folder.pathOf(name)).value_or("");
        }
        file.changed = !last || last->sha256 != file.now.sha256 || file.now.sha256.empty();
        if (file.changed && !last) {
            if (std::optional<Plan::Renamed> renamed = renamedThere(file, manifest, renamePage, folder)) {
                plan.renamedThere.push_back(std::move(*renamed));
                continue;
            }
        }
        plan.files.push_back(file);
    }
    return plan;
}

} // namespace clipnest::publish
