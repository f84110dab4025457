#include "platform/code_page.h"
#include "platform/working_folder.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

// The folder's listing: read from the directory itself, or while holding from the listing the run read once.
namespace clipnest {

std::vector<std::string> WorkingFolder::namesOnDisk(std::string_view prefix, bool temporaries) const {
    if (listing_ && !temporaries) {
        return {listing_->lower_bound(prefix),
                std::find_if(listing_->lower_bound(prefix), listing_->end(),
                             [&](const std::string& n) { return !n.starts_with(prefix); })};
    }
    // While holding, the whole folder is read once; otherwise only the names asked for are converted and kept.
    const std::string onDisk = holding_ ? std::string() : codePageToUtf8(prefix);
    std::vector<std::string> found;
    DIR* dir = ::opendir(dir_.c_str());
    for (const dirent* e = dir ? ::readdir(dir) : nullptr; e; e = ::readdir(dir)) {
        const std::string_view raw = e->d_name;
        if (temporaries) {
            if (raw.starts_with(TemporaryPrefix) ||
                (raw.size() > 12 && raw.front() == '.' && raw.find(".tmp-") != raw.npos)) {
                found.emplace_back(raw);
            }
            continue;
        }
        if (!raw.starts_with(onDisk) || raw.starts_with(TemporaryPrefix)) {
            continue;
        }
        // A name on disk that is no UTF-8 of code-page letters names nothing here.
        std::optional<std::string> name = toCodePage(raw);
        struct stat st {};
        const bool regular = e->d_type == DT_REG || (e->d_type == DT_UNKNOWN && name &&
                                                     ::lstat(pathOf(*name).c_str(), &st) == 0 && S_ISREG(st.st_mode));
        if (name && regular && isPlainName(*name)) {
            found.push_back(std::move(*name));
        }
    }
    if (dir) {
        ::closedir(dir);
    }
    if (!holding_ || temporaries) {
        return found;
    }
    listing_.emplace(std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return namesOnDisk(prefix);
}

std::vector<std::string> WorkingFolder::names(std::string_view prefix) const {
    std::vector<std::string> found = namesOnDisk(prefix);
    std::erase_if(found, [this](const std::string& name) { return held(name) != nullptr; });
    for (auto h = heldAt_.lower_bound(prefix); h != heldAt_.end() && h->first.starts_with(prefix); ++h) {
        found.push_back(h->first);
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace clipnest
