#include "text/captions.h"

#include "core/form.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/page_text.h"
#include "text/text_ops.h"
#include "text/video_tag.h"

#include <algorithm>

namespace clipnest {

bool Form::keepCaptions(const std::string& video, std::string& page) {
    // Only the names that may be this video's caption files: a folder of many pages is not copied for each.
    const std::string stem = std::string(withoutExtension(video)) + ".";
    std::vector<std::string> names = folder_.names(stem);
    // A .vtt the host has is theirs and stays; an .srt without one is converted once.
    bool converted = false;
    for (const CaptionFile& srt : captionFilesOf(video, names, "srt")) {
        const std::string vtt = srt.name.substr(0, srt.name.size() - 3) + "vtt";
        if (folder_.exists(vtt) || folder_.isLink(vtt)) {
            continue;
        }
        // Only SubRip captions of a caption file's size become a track every visitor fetches: a large file is not
        // read at all.
        const std::optional<FileStamp> stamp = folder_.stamp(srt.name);
        if (!stamp || stamp->size > CaptionMaxBytes) {
            notice(srt.name + " was not converted to " + vtt + ": it is over 2 MB, larger than any captions.");
            continue;
        }
        const std::optional<std::string> text = folder_.read(srt.name);
        if (!text) {
            continue;
        }
        if (!isSrtCues(*text)) {
            notice(srt.name + " was not converted to " + vtt + ": it is not SubRip captions.");
            continue;
        }
        if (!writeBytes(vtt, srtToWebVtt(*text))) {
            return false;
        }
        converted = true;
    }
    if (converted) {
        names = folder_.names(stem);
    }
    setCaptionTracks(page, pageSourceKey(video), video, captionFilesOf(video, names));
    return true;
}

void Form::updateCaptions(const std::vector<std::string>& names) {
    const ChannelHold hold(*this);
    if (!hold) {
        return;
    }
    const std::optional<std::vector<std::string>> videos = entriesAsked(names, "Clipnest changed no captions");
    if (!videos) {
        return;
    }
    startOperation({Operation::Kind::Captions, names});
    for (const std::string& video : *videos) {
        const std::string page = std::string(withoutExtension(video)) + ".php";
        std::string text;
        if (!isPlainName(video) || !folder_.exists(page) || folder_.isLink(page) || !readText(page, text)) {
            continue;
        }
        const std::string was = text;
        if (!keepCaptions(video, text) || (text != was && !writeText(page, text))) {
            return;
        }
    }
}

} // namespace clipnest
