#include "core/form.h"
#include "history/first_made.h"
#include "history/originals.h"
#include "media/poster.h"
#include "text/captions.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/entry_edits.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/rename_page.h"
#include "text/text_ops.h"
#include "text/video_tag.h"

#include <algorithm>

namespace clipnest {

// Writes change_file_name.php from the two boxes, which keep their text. A name with a character the code page
// lacks cannot be written truthfully (any stand-in would rename the wrong file on the server), so the page is then
// not written, the old file stays, and the failure message says why.
void Form::writeRenamePage() {
    const ChannelHold hold(*this);
    if (!hold) {
        return;
    }
    startClick();
    const std::optional<std::string> oldName = toCodePage(controls.renameFrom);
    const std::optional<std::string> newName = toCodePage(controls.renameTo);
    if (!oldName || !newName) {
        fileFailure("Clipnest did not write " + std::string(RenamePageFile) +
                    ":\na name holds a character that the page cannot store.");
        return;
    }
    // The page runs on a public server: it may rename only a file beside itself, to a name beside itself.
    if (!isRenameName(*oldName) || !isRenameName(*newName)) {
        const std::string problem =
            fileNameProblem(isRenameName(*oldName) ? controls.renameTo : controls.renameFrom, true);
        refuseName(problem.empty() ? "a name needs a period after its first character" : problem);
        return;
    }
    if (const std::optional<std::string> refusal = renameRefusal(*oldName, *newName)) {
        fileFailure(("Clipnest did not write " + std::string(RenamePageFile) + ": " + *refusal + "."));
        return;
    }
    if (renamesAway(pendingRenamePage(), *newName)) {
        fileFailure(("Clipnest did not write " + std::string(RenamePageFile) + ": it still renames " +
                     controls.renameTo +
                     " to another name on the server.\nUndo that rename, or call the page up there "
                     "once and then delete it here, before renaming a file to that name."));
        return;
    }
    if (!controls.renameFileOnly) {
        refreshHomepage();
        const std::vector<LiveEntry> entries = liveEntries(homepage_.PageText);
        if (std::any_of(entries.begin(), entries.end(), [&](const LiveEntry& e) { return e.fileName == *oldName; })) {
            renameEntryEverywhere(*oldName, *newName);
            return;
        }
    }
    startOperation({Operation::Kind::Rename, {controls.renameFrom, controls.renameTo}});
    const std::vector<RenamePair> pair{{*oldName, *newName}};
    writeText(RenamePageFile, queuedRenamePage(pendingRenamePage(), pair, true));
}

// The renames not yet done on the server stay on the page with the new one after them, so one call does them all.
std::string Form::pendingRenamePage() const {
    return folder_.isLink(RenamePageFile) ? std::string() : folder_.read(RenamePageFile).value_or("");
}

// The thread's moderation follows its comments file: a closed thread stays closed, and one that holds its comments
// for approval holds them, under its new name (the file names it as the server's pages do, in UTF-8). Hidden and
// approved comments are known by their content and need nothing.
bool Form::moveClosedThread(const std::string& oldComments, const std::string& newComments) {
    const std::optional<std::string> moderation =
        folder_.isLink(CommentModerationFile) ? std::nullopt : folder_.read(CommentModerationFile);
    if (!moderation) {
        return true;
    }
    std::string text;
    bool moved = false;
    for (std::size_t from = 0; from < moderation->size();) {
        const std::size_t lf = moderation->find('\n', from);
        const std::size_t end = lf == std::string::npos ? moderation->size() : lf + 1;
        std::string_view line = std::string_view(*moderation).substr(from, end - from);
        const std::string_view ending = line.ends_with("\r\n") ? "\r\n" : line.ends_with('\n') ? "\n" : "";
        const std::string_view bare = line.substr(0, line.size() - ending.size());
        if (const std::string_view key = bare.substr(0, bare.find(' ') + 1);
            (key == "close " || key == "hold ") && bare.substr(key.size()) == codePageToUtf8(oldComments)) {
            text += std::string(key) + codePageToUtf8(newComments) + std::string(ending);
            moved = true;
        } else {
            text += line;
        }
        from = end;
    }
    return !moved || writeBytes(CommentModerationFile, text);
}

// The names an entry's rename moves: the video and, under the new name without extension, its page, comments file,
// poster and caption files.
struct Form::EntryRename {
    std::string oldName, newName, oldLess, newLess, oldPage, newPage, oldComments, newComments;
    // The local files that go along (when there), and the caption tracks the page names afterwards.
    std::vector<RenamePair> files;
    std::vector<CaptionFile> captions;

    EntryRename(const std::string& from, const std::string& to, const std::vector<std::string>& folderNames)
        : oldName(from), newName(to), oldLess(withoutExtension(from)), newLess(withoutExtension(to)),
          oldPage(oldLess + ".php"), newPage(newLess + ".php"), oldComments(oldLess + "_comments.txt"),
          newComments(newLess + "_comments.txt") {
        files = {{oldName, newName}, {oldComments, newComments}, {media::posterName(from), media::posterName(to)}};
        for (const std::string_view extension : {"vtt", "srt"}) {
            for (const CaptionFile& c : captionFilesOf(oldName, folderNames, extension)) {
                const std::string renamed = newLess + c.name.substr(oldLess.size());
                files.push_back({c.name, renamed});
                if (extension == "vtt") {
                    captions.push_back({renamed, c.language});
                }
            }
        }
    }
};

std::optional<std::string> Form::entryRenameProblem(const EntryRename& r) const {
    std::optional<std::string> problem;
    for (const LiveEntry& e : liveEntries(homepage_.PageText)) {
        if (e.fileName == r.newName) {
            problem = "the homepage already has an entry for " + r.newName;
        } else if (e.fileName != r.oldName && withoutExtension(e.fileName) == r.oldLess && r.newLess != r.oldLess) {
            problem = "the entry of " + e.fileName + " shares " + r.oldPage + ", which would lose its video";
        }
    }
    if (problem) {
        return problem;
    }
    if (const std::string made = fileNameProblem(codePageToUtf8(r.newName)); !made.empty()) {
        return "the new name cannot be an entry's: " + made;
    }
    if (r.newPage == RenamePageFile) {
        return std::string(RenamePageFile) + " is the rename page's own name";
    }
    // Nothing may stand where a file goes, unless it is the file itself (the page, comments file or poster of another
    // container of the same video).
    std::vector<RenamePair> targets{{r.oldPage, r.newPage}};
    targets.insert(targets.end(), r.files.begin(), r.files.end());
    for (const RenamePair& p : targets) {
        const bool itself = p.to == p.from || p.to == r.oldPage || p.to == r.files[2].from;
        if (!itself && (folder_.exists(p.to) || folder_.isLink(p.to))) {
            return p.to + " is in the folder already";
        }
    }
    return std::nullopt;
}

bool Form::moveEntryFiles(const EntryRename& r, std::string& page, bool hasPage) {
    const std::vector<LiveEntry> entries = liveEntries(homepage_.PageText);
    const auto entry =
        std::find_if(entries.begin(), entries.end(), [&](const LiveEntry& e) { return e.fileName == r.oldName; });
    renameEntry(homepage_.PageText, r.oldName, r.newName);
    bool done = writeHomepage();
    if (done && hasPage) {
        renameInPage(page, r.oldName, r.newName);
        if (entry != entries.end() && entry->description.empty()) {
            // A page without a homepage description is titled by its video's name.
            setContentAfterMarker(page, markers::PageTitleTail, pageTitle("", r.newName));
            setContentAfterMarker(page, markers::PageHeadingTail, pageTitle("", r.newName));
        }
        setCaptionTracks(page, pageSourceKey(r.newName), r.oldName, {});
        setCaptionTracks(page, pageSourceKey(r.newName), r.newName, r.captions);
        done = writeText(r.newPage, page) && (r.newPage == r.oldPage || removeFile(r.oldPage));
    }
    // The poster and captions go up under their new names with the page, as the page does: the rename page need not
    // rename them.
    for (const RenamePair& p : r.files) {
        if (done && p.from != p.to && folder_.exists(p.from)) {
            done = renameFile(p.from, p.to);
        }
    }
    if (done && r.newComments != r.oldComments) {
        done = moveClosedThread(r.oldComments, r.newComments);
    }
    std::vector<RenamePair> pairs{{r.oldName, r.newName}};
    if (r.newLess != r.oldLess) {
        // The page is not among them: publish uploads it under its new name, and the rename page replaces nothing.
        pairs.push_back({r.oldComments, r.newComments});
    }
    return done && writeText(RenamePageFile, queuedRenamePage(pendingRenamePage(), pairs, false));
}

// An entry's video takes its page and comments file along: the entry's source and link, the page's source and
// comments file, the local files that are there, and the server's files through the rename page. The checks come
// first, so a refused rename changes nothing; a write that fails later turns back what was done.
void Form::renameEntryEverywhere(const std::string& oldName, const std::string& newName) {
    const EntryRename rename(oldName, newName, folder_.names());
    const std::optional<std::string> problem = entryRenameProblem(rename);
    std::string page;
    const bool hasPage = folder_.exists(rename.oldPage);
    if (!problem && hasPage && !readText(rename.oldPage, page)) {
        return;
    }
    if (problem) {
        fileFailure("Clipnest renamed nothing: " + *problem +
                    ".\n(To rename only the one file on the server, tick \"File only\".)");
        return;
    }
    startOperation({Operation::Kind::Rename, {controls.renameFrom, controls.renameTo}});
    if (moveEntryFiles(rename, page, hasPage)) {
        // The entry keeps the day it was first made under its new name.
        FirstMade record = readFirstMade(folder_);
        if (auto kept = record.extract(oldName)) {
            kept.key() = newName;
            record.insert(std::move(kept));
            writeFirstMade(folder_, record);
        }
        noteEntriesAtStart();
        keepDiscoveryInStep(false);
        return;
    }
    const std::string failure = messages_.words(Message::FileFailure);
    if (const HistoryEntry* op = history_.current(); op && !op->files.empty()) {
        undo(true);
    }
    fileFailure(failure + "\nClipnest put back what it had renamed here; nothing was renamed.");
}

bool Form::renameFile(std::string_view from, std::string_view to) {
    if (folder_.isLink(from) || folder_.isLink(to)) {
        fileFailure(linkFailureWords(std::string(folder_.isLink(from) ? from : to)));
        return false;
    }
    if (!history_.keep(from) || !history_.keep(to)) {
        fileFailure(("Clipnest could not keep a copy of " + std::string(from) +
                     " for undo, so it did not rename it.\nThe file was left as it was."));
        return false;
    }
    if (!folder_.replace(from, to)) {
        fileFailure(("Clipnest could not rename " + std::string(from) + " to " + std::string(to) + "."));
        return false;
    }
    known_.erase(std::string(from));
    remember(to);
    noteWritten(from);
    noteWritten(to);
    history_.removed(from);
    if (const std::optional<FileStamp> stamp = folder_.stamp(to)) {
        history_.wrote(to, *stamp, std::nullopt);
    }
    return true;
}

bool Form::removeFile(std::string_view name) {
    if (!history_.keep(name)) {
        fileFailure(("Clipnest could not keep a copy of " + std::string(name) +
                     " for undo, so it did not remove it.\nThe file was left as it was."));
        return false;
    }
    if (!folder_.remove(name)) {
        fileFailure(("Clipnest could not remove " + std::string(name) + "."));
        return false;
    }
    known_.erase(std::string(name));
    noteWritten(name);
    history_.removed(name);
    return true;
}

std::optional<std::string> Form::conversionRefusal(const std::string& video, const std::string& newName) {
    if (newName == video) {
        return std::nullopt;
    }
    refreshHomepage();
    const std::vector<LiveEntry> entries = liveEntries(homepage_.PageText);
    if (std::any_of(entries.begin(), entries.end(), [&](const LiveEntry& e) { return e.fileName == video; })) {
        return entryRenameProblem(EntryRename(video, newName, folder_.names()));
    }
    if (folder_.exists(newName) || folder_.isLink(newName)) {
        return newName + " is in the folder already";
    }
    return std::nullopt;
}

bool Form::putConverted(const std::string& made, const std::string& name) {
    if (folder_.isLink(name)) {
        fileFailure(linkFailureWords(name));
        return false;
    }
    const bool existed = folder_.exists(name);
    if (!history_.keep(name)) {
        fileFailure("Clipnest could not keep a copy of " + name +
                    " for undo, so it did not replace it.\nThe file was left as it was.");
        return false;
    }
    if (!folder_.replace(made, name)) {
        fileFailure("Clipnest could not put the converted video in place as " + name + ".");
        return false;
    }
    remember(name);
    noteWritten(name, existed);
    if (const std::optional<FileStamp> stamp = folder_.stamp(name)) {
        history_.wrote(name, *stamp, std::nullopt);
    }
    return true;
}

bool Form::placeConverted(const std::string& video, const std::string& made, const std::string& newName,
                          const FileStamp& before) {
    const ChannelHold hold(*this);
    const auto dropMade = [&] {
        if (folder_.exists(made)) {
            folder_.remove(made);
        }
        return false;
    };
    if (!hold) {
        return dropMade();
    }
    startClick();
    if (folder_.isLink(video) || folder_.stamp(video) != before) {
        fileFailure(video + " changed while it was converted, so Clipnest left it as it is.");
        return dropMade();
    }
    if (const std::optional<std::string> refusal = conversionRefusal(video, newName)) {
        fileFailure("Clipnest converted nothing: " + *refusal + ".");
        return dropMade();
    }
    const std::vector<LiveEntry> entries = liveEntries(homepage_.PageText);
    const bool hasEntry =
        std::any_of(entries.begin(), entries.end(), [&](const LiveEntry& e) { return e.fileName == video; });
    const EntryRename rename(video, newName, folder_.names());
    std::string page;
    const bool hasPage = hasEntry && newName != video && folder_.exists(rename.oldPage);
    if (hasPage && !readText(rename.oldPage, page)) {
        return dropMade();
    }
    startOperation({Operation::Kind::Convert, {codePageToUtf8(video), codePageToUtf8(newName)}});
    if (!keepOriginal(folder_, video)) {
        fileFailure("Clipnest could not keep the original of " + video + " in " + std::string(OriginalsFolder) +
                    ", so it did not replace it.\nThe file was left as it was.");
        return dropMade();
    }
    bool done = false;
    if (newName == video) {
        done = putConverted(made, video);
    } else {
        done = removeFile(video) && putConverted(made, newName) && (!hasEntry || moveEntryFiles(rename, page, hasPage));
    }
    if (done) {
        if (hasEntry && newName != video) {
            FirstMade record = readFirstMade(folder_);
            if (auto kept = record.extract(video)) {
                kept.key() = newName;
                record.insert(std::move(kept));
                writeFirstMade(folder_, record);
            }
        }
        noteEntriesAtStart();
        keepDiscoveryInStep(false);
        return true;
    }
    const std::string failure = messages_.words(Message::FileFailure);
    if (const HistoryEntry* op = history_.current(); op && !op->files.empty()) {
        undo(true);
    }
    // The original is in its place again, or was never moved: it is not kept apart.
    forgetOriginal(folder_, video);
    dropMade();
    fileFailure(failure + "\nClipnest put back what it had changed here; nothing was converted.");
    return false;
}

} // namespace clipnest
