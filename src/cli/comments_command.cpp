#include "cli/commands.h"
#include "cli/publish_address.h"
#include "comments/moderation.h"
#include "comments/reply.h"
#include "platform/code_page.h"
#include "publish/settings.h"
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

// Comment N of the video named on the command line, as last fetched; nothing, said, when there is none.
std::optional<publish::ListedComment> commentNamed(Runner& r, const Args& a) {
    const std::optional<std::string> video = entryNamed(r, a.name);
    if (!video) {
        return std::nullopt;
    }
    for (publish::ListedComment& c : publish::fetchedComments(r.dir())) {
        if (c.video == *video && c.number == a.number) {
            return std::move(c);
        }
    }
    r.line(a.name + " has no comment " + std::to_string(a.number) +
           " among those last fetched; clipnest comments fetches them again");
    return std::nullopt;
}

// The comment the command names, looked up once the channel is held (both said when they fail).
std::optional<publish::ListedComment> lockedComment(Runner& r, const Args& a, ChannelLock& lock) {
    return lockChannel(r, lock) ? commentNamed(r, a) : std::nullopt;
}

Status hideOrShow(Runner& r, const Args& a, bool hide) {
    ChannelLock lock;
    const std::optional<publish::ListedComment> comment = lockedComment(r, a, lock);
    if (!comment) {
        return Failed;
    }
    return saved(r, publish::setHidden(r.dir(), comment->comment.hash, hide),
                 std::string(hide ? "Hid" : "Showed") + " comment " + std::to_string(a.number) + " of " + a.name);
}

Status holdOrNot(Runner& r, const Args& a, bool hold) {
    ChannelLock lock;
    if (!lockChannel(r, lock)) {
        return Failed;
    }
    const std::optional<std::string> video = entryNamed(r, a.name);
    if (!video) {
        return Failed;
    }
    // The channel's own setting holds every thread, whatever one thread's line says.
    const Result<publish::Settings> settings = publish::loadSettings(r.dir());
    const bool allHeld = settings && settings->commentsHeld;
    return saved(r, publish::setHeld(r.dir(), *video, hold),
                 hold      ? "The new comments of " + a.name + " wait for approval"
                 : allHeld ? "The new comments of " + a.name + " still wait for approval, as every video's do while " +
                                 std::string(publish::SettingsFile) + " says comments = held"
                           : "The new comments of " + a.name + " show at once");
}

void listComment(Runner& r, const publish::ListedComment& c) {
    const std::string name = c.comment.host ? "[host]" : c.comment.name.empty() ? "Anonymous" : c.comment.name;
    r.out() << safeText(codePageToUtf8(c.video)) << '\t' << c.number << '\t' << safeText(c.comment.date) << '\t'
            << safeText(name, Backslash::Doubled) << '\t' << (c.isNew ? "[new] " : "") << (c.waiting() ? "[held] " : "")
            << (c.hidden ? "[hidden] " : "") << safeText(c.comment.text, Backslash::Doubled) << '\n';
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
    std::optional<publish::FetchReport> fetched;
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
        if (!report.unrecorded.empty()) {
            r.line(report.unrecorded);
        }
        if (!report.failed.empty() || !report.unrecorded.empty()) {
            return Failed;
        }
        fetched = report;
    }
    for (const publish::ListedComment& c : publish::fetchedComments(r.dir())) {
        if (c.isNew || !a.onlyNew) {
            listComment(r, c);
        }
    }
    if (fetched) {
        r.out() << fetched->fresh << " new comment" << (fetched->fresh == 1 ? "" : "s") << '\n';
        for (const auto& [video, count] : fetched->freshByVideo) {
            r.out() << "  " << safeText(codePageToUtf8(video)) << ": " << count << " new\n";
        }
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

Status runHold(Runner& r, const Args& a) {
    return holdOrNot(r, a, true);
}

Status runUnhold(Runner& r, const Args& a) {
    return holdOrNot(r, a, false);
}

Status runApprove(Runner& r, const Args& a) {
    ChannelLock lock;
    const std::optional<publish::ListedComment> comment = lockedComment(r, a, lock);
    if (!comment) {
        return Failed;
    }
    if (!comment->comment.held) {
        r.line("comment " + std::to_string(a.number) + " of " + a.name + " is not held: it shows without approval");
        return Failed;
    }
    return saved(r, publish::setApproved(r.dir(), comment->comment.hash, true),
                 "Approved comment " + std::to_string(a.number) + " of " + a.name);
}

Status runReply(Runner& r, const Args& a) {
    const Result<publish::Settings> settings = publish::loadSettings(r.dir());
    if (!settings) {
        r.line(why(settings));
        return Failed;
    }
    if (settings->site.empty()) {
        r.line(publish::NoSiteForReplies);
        return Failed;
    }
    std::optional<publish::ListedComment> comment;
    {
        ChannelLock lock;
        comment = lockedComment(r, a, lock);
    }
    if (!comment) {
        return Failed;
    }
    const publish::ReplyOutcome outcome =
        publish::postReply(r.dir(), comment->video, publish::replyText(*comment, a.text));
    if (!outcome.stored) {
        r.line(outcome.said);
        return Failed;
    }
    r.out() << safeText(outcome.said) << '\n';
    // The reply is shown under the channel's title from the next publish on.
    if (const std::optional<std::string> problem = publish::updateModeration(r.dir(), true)) {
        r.line(*problem, true);
    }
    return Done;
}

} // namespace clipnest::cli
