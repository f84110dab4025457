#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Caption files beside a video, and the track lines of its page that name them.
namespace clipnest {

// A caption file of a video: NAME.vtt (no language) or NAME.LANG.vtt ("roses.en.vtt", "roses.pt-BR.vtt").
struct CaptionFile {
    std::string name;
    std::string language; // empty for NAME.vtt
};

// The caption files of `video` among the folder's `names` with that extension ("vtt" or "srt"): NAME.EXT first, then
// NAME.LANG.EXT by language.
std::vector<CaptionFile> captionFilesOf(std::string_view video, const std::vector<std::string>& names,
                                        std::string_view extension = "vtt");

// Whether a caption file's text is WebVTT, which is all browsers read: it starts with "WEBVTT" (after a byte order
// mark), then a blank, a line break or its end.
bool isWebVtt(std::string_view text);

// The largest caption file Clipnest converts, or that check lets pass: a film's captions are a few hundred kilobytes,
// and every visitor's browser fetches the track whole.
inline constexpr std::uintmax_t CaptionMaxBytes = std::uintmax_t{2} << 20;

// Whether a text is SubRip captions: after a byte order mark, blocks parted by blank lines, each a cue's number, its
// times ("00:00:01,000 --> 00:00:02,500") and its lines of text; no NUL. Random bytes, or another file named .srt,
// are not.
bool isSrtCues(std::string_view text);

// SubRip captions as WebVTT: the header in front, line breaks as LF, a comma before the milliseconds of each cue's
// times a period.
std::string srtToWebVtt(std::string_view srt);

// Puts one <track kind="captions"> line for each of `captions` (the first the default) inside the <video> element
// that holds the source line starting with `sourceKey`, in front of its end, in place of the track lines of this
// video's caption files it had; a track the host added for another file stays. False, and no change, when there is
// no such element.
bool setCaptionTracks(std::string& page, std::string_view sourceKey, std::string_view video,
                      const std::vector<CaptionFile>& captions);

} // namespace clipnest
