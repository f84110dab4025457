#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace clipnest {

class PageFront;
class WorkingFolder;

// The first of the four homepage names that exists in the folder (as a file, or as a link, which is not read).
std::optional<std::string_view> findHomepage(const WorkingFolder& folder);

// File bytes as held text: a line ends at CR LF or a lone CR (a lone LF stays inside the line), and every line,
// the last included, is followed by one LF.
std::string linesWithLf(std::string bytes);

// The disabled sample entry (templates/sample_entry.html): 13 wrapped lines joined by LF, no LF after the last.
std::string buildSampleEntry();

// The sample entry as the homepage takes it: with the lines that hold its video back for the homepage's poster script
// (markers::ClipScript, in templates/homepage.html) when the text has that script from `from` on; else without them,
// so that in a homepage made before the script, or a host's own, the entry's video is in sight as it always was.
std::string sampleEntryFor(std::string_view pageText, std::size_t from, std::string_view sampleEntry);

// Puts LF + sample + LF in front of the first end marker (A, then B, then C, else the last "</div>") when the text
// is not empty and lacks `key`; the sample as sampleEntryFor gives it. Returns whether it inserted. The key and the
// markers are looked for from `from` on.
bool seedSampleEntry(std::string& pageText, std::string_view key, std::string_view sampleEntry, std::size_t from = 0);

// Why a new entry cannot go at the end of the entries of this homepage text, in words that follow its file name
// ("has no end marker ..."), or nothing when it can: it needs one end marker (the comment below the last entry) and
// one disabled sample entry at most, or the entry would go nowhere, or in several places. The markers are counted
// from `from` on.
std::optional<std::string> appendProblem(std::string_view pageText, std::size_t from = 0);

// Whether the homepage has an entry for a video of this name without extension: an entry source line
// ("<source src=" + quote) for the name and a period. With the text's front, only the text after it is read.
bool entryPresent(std::string_view pageText, std::string_view fileNameLessExt, const PageFront* front = nullptr);

// The file name of the first entry for that name without extension (the one whose page it is), or nothing.
std::optional<std::string> entryFileName(std::string_view pageText, std::string_view fileNameLessExt,
                                         const PageFront* front = nullptr);

// "<source src=" + quote + file name (as written in a page) + quote: the source line of exactly that file.
std::string entrySourceKey(std::string_view fileName);

// A (code-page) file name as the pages write it in an attribute: "&" as "&amp;" and every byte above 127 as a numeric
// character reference, so that whatever charset the server sends, a browser asks for exactly the name on disk (in
// UTF-8), not for what an "&amp;" or "&copy" in it would stand for.
std::string nameInPage(std::string_view fileName);

// A file name as a page holds it, as code-page bytes: the references nameInPage writes ("&amp;", numeric ones) are
// read back (a name holds no "#" of its own), and a byte above 127 or a bare "&" (as pages written before held such
// names) stays as it is.
std::string nameFromPage(std::string_view inPage);

// Where the source line of the entry of `fileName` (or of a name it begins, when `whole` is false) starts in the
// page text, and how long the key found there is: the name is looked for as pages write it now and, when it differs,
// as older pages wrote it (the bytes as they stand). Nothing when neither is there.
std::optional<std::pair<std::size_t, std::size_t>> findEntrySource(std::string_view pageText, std::string_view fileName,
                                                                   bool whole);

// The page text that stands between `marker` and the next "<" (a title's or message's value), without the blanks
// and line breaks around it; nothing when the marker is missing.
std::optional<std::string_view> valueAfterMarker(std::string_view pageText, std::string_view marker);

// The file name up to, not including, its first period.
std::string_view withoutExtension(std::string_view fileName);

// The extension of a file name (after its last period) in lower case ("mp4"), or nothing when it has none.
std::string extensionOf(std::string_view fileName);

// Whether a file name is a video in a container browsers play: .mp4, .m4v, .mov or .webm, in any case.
bool isVideoName(std::string_view fileName);

// The description a new entry of this video gets before the host writes one (UTF-8 in, UTF-8 out): the name without
// its extension (what follows its last period), each _ and - a blank, blanks around and between words one, the first
// letter a capital ("rose_pruning-2026.mp4" -> "Rose pruning 2026").
std::string descriptionFromFileName(std::string_view fileName);

// The name typed into a file-name box (UTF-8), without the blanks around it, as code-page bytes; nothing when it
// fails the checks below or holds a character the code page lacks.
std::optional<std::string> typedFileName(std::string_view box);

// Whether a (code-page) file name passes the checks of every request: a period after the first character, none of
// \ / : * ? " < > | # % or a control character, and no placeholder's "p4y" or "p5y" or marker tail in it.
bool isValidFileName(std::string_view name);

// What is wrong with the name typed into a file-name box (UTF-8), in words that follow "Please enter a valid file
// name: " (UTF-8: "clip has no period ..."); empty when typedFileName takes it. `rename` adds the rename page's rule
// (no "..").
std::string fileNameProblem(std::string_view box, bool rename = false);

// Whether a name may go into the rename page, which runs on a public server: a valid file name without "..", so
// the page can only rename a file beside itself to a name beside itself.
bool isRenameName(std::string_view name);

} // namespace clipnest
