#include "cli/commands.h"
#include "cli/publish_address.h"
#include "comments/moderation.h"
#include "platform/code_page.h"
#include "text/entries.h"
#include "text/individual_page.h"
#include "text/safe_text.h"

#include <algorithm>

namespace clipnest::cli {

namespace {

// The entry's name (code-page bytes) of the video named on the command line, or nothing, said, when the homepage has
// no entry of that name.
std::optional<std::string> entryNamed(Runner& r, const std::string& typed) {
    const std::optional<std::string> video = toCodePage(typed);
    const std::vector<LiveEntry> entries = homepageEntries(WorkingFolder(r.dir()));
    if (video &&
        std::any_of(entries.begin(), entries.end(), [&](const LiveEntry& e) { return e.fileName == *video; })) {
        return video;
    }
    r.line(typed + " is not an entry of the homepage");
    return std::nullopt;
}

Status saved(Runner& r, bool written, const std::string& done) {
    if (!written) {
        r.line(std::string("Clipnest could not write ") + CommentModerationFile + "; nothing was changed");
        return Failed;
    }
    r.out() << safeText(done) << ": publish to have the server's page do the same.\n";
    return Done;
}

Status hideOrShow(Runner& r, const Args& a, bool hide) {
    ChannelLock lock;
    if (!lockChannel(r, lock)) {
        return Failed;
    }
    const std::optional<std::string> video = entryNamed(r, a.name);
    if (!video) {
        return Failed;
    }
    const std::vector<publish::ListedComment> all = publish::fetchedComments(r.dir());
    const auto it = std::find_if(all.begin(), all.end(), [&](const publish::ListedComment& c) {
        return c.video == *video && c.number == a.number;
    });
    if (it == all.end()) {
        r.line(a.name + " has no comment " + std::to_string(a.number) +
               " among those last fetched; clipnest comments fetches them again");
        return Failed;
    }
    return saved(r, publish::setHidden(r.dir(), it->comment.hash, hide),
                 std::string(hide ? "Hid" : "Showed") + " comment " + std::to_string(a.number) + " of " + a.name);
}

Status closeOrOpen(Runner& r, const Args& a, bool close) {
    ChannelLock lock;
    if (!lockChannel(r, lock)) {
        return Failed;
    }
    const std::optional<std::string> video = entryNamed(r, a.name);
    if (!video) {
        return Failed;
    }
    return saved(r, publish::setClosed(r.dir(), *video, close),
                 std::string(close ? "Closed" : "Opened") + " the comments of " + a.name);
}

} // namespace

Status runComments(Runner& r, const Args& a) {
    // The fetch writes the fetched files in the channel folder: it holds the channel from before its first write to
    // after the listing reads them back, so a second instance neither writes beside it nor lists half of a fetch.
    ChannelLock lock;
    if (!a.offline) {
        Status status = Done;
        const std::optional<publish::Destination> from = destinationOf(r, a, false, status);
        if (!from) {
            return status;
        }
        if (!lockChannel(r, lock)) {
            return Failed;
        }
        const publish::FetchReport report = publish::fetchComments(r.dir(), from->target, from->settings);
        if (!report.error.empty()) {
            r.line("comments: " + report.error);
            return Failed;
        }
        for (const auto& [video, why] : report.failed) {
            r.line("the comments of " + codePageToUtf8(video) + " were not fetched: " + why);
        }
        if (!report.failed.empty()) {
            return Failed;
        }
    }
    for (const publish::ListedComment& c : publish::fetchedComments(r.dir())) {
        r.out() << safeText(codePageToUtf8(c.video)) << '\t' << c.number << '\t' << safeText(c.comment.date) << '\t'
                << (c.hidden ? "[hidden] " : "") << safeText(c.comment.text, Backslash::Doubled) << '\n';
    }
    return Done;
}

Status runHide(Runner& r, const Args& a) {
    return hideOrShow(r, a, true);
}

Status runUnhide(Runner& r, const Args& a) {
    return hideOrShow(r, a, false);
}

Status runClose(Runner& r, const Args& a) {
    return closeOrOpen(r, a, true);
}

Status runOpen(Runner& r, const Args& a) {
    return closeOrOpen(r, a, false);
}

} // namespace clipnest::cli
