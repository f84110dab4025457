#include "core/form.h"
#include "media/poster.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/page_text.h"
#include "text/text_ops.h"
#include "text/video_tag.h"

#include <algorithm>
#include <iterator>

namespace clipnest {

namespace {

// What a status line says while the posters of these videos (code-page names, at least one) are made.
std::string makingPosters(const std::vector<std::string>& videos) {
    return videos.size() == 1 ? "Making the poster for " + codePageToUtf8(videos.front()) + "\u2026"
                              : "Making the posters for " + std::to_string(videos.size()) + " videos\u2026";
}

} // namespace

bool Form::givePoster(const std::string& video, std::optional<double> at, bool remake) {
    const std::string poster = media::posterName(video);
    // A poster the host put there is theirs: only a remake, which the host asks for, replaces it.
    if (!remake && (folder_.exists(poster) || folder_.isLink(poster))) {
        return folder_.exists(poster);
    }
    if (const auto prepared = preparedPosters_.find(video); prepared != preparedPosters_.end() && !remake && !at) {
        media::PosterFrame frame{std::move(prepared->second.first), std::move(prepared->second.second)};
        preparedPosters_.erase(prepared);
        return placePoster(video, frame);
    }
    // Without the video there is nothing to wait for: its note says so at once.
    if (folder_.exists(video)) {
        busy(makingPosters({video}));
    }
    return placePoster(video, media::writePosterFrame(folder_, video, at));
}

void Form::preparePosters(const std::vector<std::string>& videos) {
    std::vector<std::string> plain;
    for (const std::string& video : videos) {
        const std::string poster = media::posterName(video);
        if (isPlainName(video) && !preparedPosters_.contains(video) && !folder_.exists(poster) &&
            !folder_.isLink(poster)) {
            plain.push_back(video);
        }
    }
    if (plain.empty()) {
        return;
    }
    busy(makingPosters(plain));
    std::vector<media::PosterFrame> frames = media::writePosterFrames(folder_, plain, std::nullopt);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        preparedPosters_[plain[i]] = {std::move(frames[i].part), std::move(frames[i].why)};
    }
}

void Form::dropPreparedPosters() {
    for (const auto& [video, frame] : preparedPosters_) {
        if (frame.first) {
            folder_.remove(*frame.first);
        }
    }
    preparedPosters_.clear();
}

void Form::busy(const std::string& doing) const {
    if (onBusy) {
        onBusy(doing);
    }
}

bool Form::placePoster(const std::string& video, const media::PosterFrame& frame) {
    const std::string poster = media::posterName(video);
    const std::string shown = codePageToUtf8(video);
    if (!frame.part) {
        posterNotes_.push_back("No poster for " + shown + ": " + codePageToUtf8(frame.why) + ".");
        return folder_.exists(poster);
    }
    if (folder_.isLink(poster) || folder_.readOnly(poster) || !history_.keep(poster) ||
        !folder_.replace(*frame.part, poster)) {
        folder_.remove(*frame.part);
        posterNotes_.push_back("No poster for " + shown + ": " + codePageToUtf8(poster) +
                               " could not be written (a link, read-only, or no copy for undo).");
        return folder_.exists(poster);
    }
    remember(poster);
    noteWritten(poster);
    if (const std::optional<FileStamp> stamp = folder_.stamp(poster); stamp && !inHeldRun()) {
        history_.wrote(poster, *stamp, std::nullopt);
    }
    return true;
}

std::optional<std::vector<std::string>> Form::entriesAsked(const std::vector<std::string>& names,
                                                           const std::string& refusal) {
    startClick();
    refreshHomepage();
    // Refreshed, the held text is what the file on disk holds.
    if (!findHomepage(folder_) || !homepage_.UnreadableHomepage.empty()) {
        fileFailure((refusal + ": there is no homepage.html in the folder."));
        return std::nullopt;
    }
    std::vector<std::string> videos;
    for (const LiveEntry& entry : liveEntries(homepage_.PageText)) {
        if (std::find(videos.begin(), videos.end(), entry.fileName) == videos.end()) {
            videos.push_back(entry.fileName);
        }
    }
    if (names.empty()) {
        return videos;
    }
    std::vector<std::string> asked;
    for (const std::string& name : names) {
        const std::optional<std::string> video = toCodePage(stripBlanks(name));
        if (!video || std::find(videos.begin(), videos.end(), *video) == videos.end()) {
            fileFailure(
                (refusal + ": the homepage has no entry for " + toCodePage(name).value_or(std::string(name)) + "."));
            return std::nullopt;
        }
        asked.push_back(*video);
    }
    return asked;
}

void Form::makePosters(const std::vector<std::string>& names, std::optional<double> at) {
    const ChannelHold hold(*this);
    if (!hold) {
        return;
    }
    const std::optional<std::vector<std::string>> videos = entriesAsked(names, "Clipnest made no posters");
    if (!videos) {
        return;
    }
    startOperation({Operation::Kind::Posters, names});
    const std::string before = homepage_.PageText;
    std::vector<std::string> plain;
    std::copy_if(videos->begin(), videos->end(), std::back_inserter(plain),
                 [](const auto& v) { return isPlainName(v); });
    // The frames are made side by side, then put in place one by one, as one at a time would be.
    if (!plain.empty()) {
        busy(makingPosters(plain));
    }
    const std::vector<media::PosterFrame> frames = media::writePosterFrames(folder_, plain, at);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const std::string& video = plain[i];
        if (!placePoster(video, frames[i])) {
            continue;
        }
        setVideoAttributes(homepage_.PageText, homepageSourceKey(video), posterValue(video));
        // The page's tag too, where the page is the folder's own file; a host's edits elsewhere in it stay.
        const std::string page = std::string(withoutExtension(video)) + ".php";
        std::string text;
        if (!folder_.exists(page) || folder_.isLink(page) || !readText(page, text)) {
            continue;
        }
        const std::string was = text;
        setVideoAttributes(text, pageSourceKey(video), posterValue(video));
        if (!keepCaptions(video, text) || (text != was && !writeText(page, text))) {
            for (std::size_t later = i + 1; later < frames.size(); ++later) {
                if (frames[later].part) {
                    folder_.remove(*frames[later].part);
                }
            }
            return;
        }
    }
    if (homepage_.PageText != before) {
        writeHomepage();
    }
}

} // namespace clipnest
