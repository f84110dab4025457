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

} // namespace

Plan planPublish(const std::filesystem::path& channel, const Settings& settings, const Manifest& manifest) {
    Plan plan;
    WorkingFolder folder(channel);
    const std::optional<std::string> homepage = folder.read("homepage.html");
    if (!homepage) {
        plan.error = "there is no homepage.html in " + channel.string() + " to publish";
        return plan;
    }
    // The server's rules are brought up to date before anything is planned, so the first publish of a channel already
    // hides its comment files; the host's own lines in the file stay.
    if (!folder.isLink(ServerRulesFile)) {
        // A file that is there but cannot be read is the host's and is never written over.
        const std::optional<std::string> rules =
            folder.exists(ServerRulesFile) ? folder.read(ServerRulesFile) : std::optional<std::string>("");
        if (!rules || (withServerRules(*rules) != *rules && !folder.write(ServerRulesFile, withServerRules(*rules)))) {
            plan.notes.push_back(std::string(ServerRulesFile) +
                                 " could not be brought up to date, so the server may show the comment files");
        }
    }
    std::vector<std::string> names;
    std::set<std::string> seen;
    // Each name is looked up once: a channel of many entries is mostly looking.
    std::map<std::string, std::optional<FileStamp>, std::less<>> stamps;
    const auto stampOf = [&](const std::string& name) -> const std::optional<FileStamp>& {
        auto found = stamps.find(name);
        if (found == stamps.end()) {
            found = stamps.emplace(name, folder.stamp(name)).first;
        }
        return found->second;
    };
    const auto add = [&](const std::string& name, bool listed) {
        if (!seen.insert(name).second) {
            return;
        }
        if (const std::optional<std::string> why = unpublishable(folder, name)) {
            plan.notes.push_back(name + " is not published: " + *why);
        } else if (stampOf(name)) {
            names.push_back(name);
        } else if (listed) {
            plan.notes.push_back(name + " is listed in " + std::string(SettingsFile) + " but not in the folder");
        }
    };
    // First, so that no page's comments are up before the rule hiding them.
    add(std::string(ServerRulesFile), false);
    std::vector<std::string> missing;
    const std::vector<std::string> folderNames = folder.names();
    for (const LiveEntry& entry : liveEntries(*homepage)) {
        add(entry.fileName, false);
        // A video Clipnest never had cannot go up from here; the host may have put it on the server by hand.
        if (isPlainName(entry.fileName) && !stampOf(entry.fileName) && !manifest.find(entry.fileName)) {
            missing.push_back(entry.fileName);
        }
        add(std::string(withoutExtension(entry.fileName)) + ".php", false);
        add(media::posterName(entry.fileName), false);
        for (const CaptionFile& caption : captionFilesOf(entry.fileName, folderNames)) {
            add(caption.name, false);
        }
    }
    if (missing.size() == 1) {
        plan.notes.push_back(missing.front() +
                             " is linked by the homepage but is not in the folder and was never published from it: "
                             "its entry shows no video unless the server has it");
    } else if (!missing.empty()) {
        std::string some = missing.front();
        for (std::size_t i = 1; i < missing.size() && i < 5; ++i) {
            some += ", " + missing[i];
        }
        plan.notes.push_back(std::to_string(missing.size()) + " videos (" + some + (missing.size() > 5 ? ", ..." : "") +
                             ") are linked by the homepage but are not in the folder and were never published from "
                             "it: their entries show no video unless the server has them");
    }
    add("change_file_name.php", false);
    add(CommentModerationFile, false);
    for (const std::string& name : settings.extra) {
        add(name, true);
    }
    // Written by Clipnest only when the channel has an address; they go up after every page they list and just
    // before the homepage that links the feed.
    add(discovery::FeedFile, false);
    add(discovery::SitemapFile, false);
    names.push_back("homepage.html");

    const std::string renamePage = folder.read(std::string(RenamePageFile)).value_or("");
    const auto renamedThere = [&](const ChannelFile& file) {
        for (const auto& [name, published] : manifest.files()) {
            if (published.sha256 != file.now.sha256 || folder.stamp(name)) {
                continue;
            }
            if (std::vector<std::string> steps = renameSteps(renamePage, name, file.name); !steps.empty()) {
                plan.renamedThere.push_back({file, name, {steps.begin() + 1, steps.end() - 1}});
                return true;
            }
        }
        return false;
    };

    for (const std::string& name : names) {
        const std::optional<FileStamp> stamp = name == "homepage.html" ? folder.stamp(name) : stampOf(name);
        ChannelFile file{name, {"", stamp ? stamp->size : 0, stamp ? stamp->modifiedNs : 0}, true};
        const Published* last = manifest.find(name);
        if (last && stamp && last->size == stamp->size && last->modifiedNs == stamp->modifiedNs) {
            file.now.sha256 = last->sha256;
        } else {
            ++plan.hashed;
            file.now.sha256 = sha256Of(folder.pathOf(name)).value_or("");
        }
        file.changed = !last || last->sha256 != file.now.sha256 || file.now.sha256.empty();
        if (file.changed && !last && renamedThere(file)) {
            continue;
        }
        plan.files.push_back(file);
    }
    return plan;
}

} // namespace clipnest::publish
