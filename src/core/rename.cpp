#include "core/form.h"
#include "history/first_made.h"
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

// The thread's moderation follows its comments file: a closed thread stays closed under its new name (the file names
// it as the server's pages do, in UTF-8). Hidden comments are known by their content and need nothing.
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
        if (line.substr(0, line.size() - ending.size()) == "close " + codePageToUtf8(oldComments)) {
            text += "close " + codePageToUtf8(newComments) + std::string(ending);
            moved = true;
        } else {
            text += line;
        }
        from = end;
    }
    return !moved || writeBytes(CommentModerationFile, text);
}

// An entry's video takes its page and comments file along: the entry's source and link, the page's source and
// comments file, the local files that are there, and the server's files through the rename page. The checks come
// first, so a refused rename changes nothing; a write that fails later turns back what was done.
void Form::renameEntryEverywhere(const std::string& oldName, const std::string& newName) {
    const std::string oldLess(withoutExtension(oldName)), newLess(withoutExtension(newName));
    const std::string oldPage = oldLess + ".php", newPage = newLess + ".php";
    const std::string oldComments = oldLess + "_comments.txt", newComments = newLess + "_comments.txt";
    const std::string oldPoster = media::posterName(oldName), newPoster = media::posterName(newName);
    const auto refuse = [this](const std::string& why) {
        fileFailure(("Clipnest renamed nothing: " + why +
                     ".\n(To rename only the one file on the server, tick \"File only\".)"));
    };
    std::optional<std::string> problem;
    for (const LiveEntry& e : liveEntries(homepage_.PageText)) {
        if (e.fileName == newName) {
            problem = "the homepage already has an entry for " + newName;
        } else if (e.fileName != oldName && withoutExtension(e.fileName) == oldLess && newLess != oldLess) {
            problem = "the entry of " + e.fileName + " shares " + oldPage + ", which would lose its video";
        }
    }
    const std::string made = fileNameProblem(codePageToUtf8(newName));
    if (!problem && !made.empty()) {
        problem = "the new name cannot be an entry's: " + made;
    }
    if (!problem && newLess + ".php" == RenamePageFile) {
        problem = std::string(RenamePageFile) + " is the rename page's own name";
    }
    for (const std::string& name : {newName, newPage, newComments, newPoster}) {
        if (!problem && name != oldPage && name != oldPoster && (folder_.exists(name) || folder_.isLink(name))) {
            problem = name + " is in the folder already";
        }
    }
    // The caption files go along under the new name, as the poster does.
    std::vector<RenamePair> files{{oldName, newName}, {oldComments, newComments}, {oldPoster, newPoster}};
    std::vector<CaptionFile> captions;
    const std::vector<std::string> names = folder_.names();
    for (const std::string_view extension : {"vtt", "srt"}) {
        for (const CaptionFile& c : captionFilesOf(oldName, names, extension)) {
            const std::string renamed = newLess + c.name.substr(oldLess.size());
            files.push_back({c.name, renamed});
            if (extension == "vtt") {
                captions.push_back({renamed, c.language});
            }
            if (!problem && renamed != c.name && (folder_.exists(renamed) || folder_.isLink(renamed))) {
                problem = renamed + " is in the folder already";
            }
        }
    }
    std::string page;
    const bool hasPage = folder_.exists(oldPage);
    if (!problem && hasPage && !readText(oldPage, page)) {
        return;
    }
    if (problem) {
        refuse(*problem);
        return;
    }

    std::vector<RenamePair> pairs{{oldName, newName}};
    if (newLess != oldLess) {
        // The page is not among them: publish uploads it under its new name, and the rename page replaces nothing.
        pairs.push_back({oldComments, newComments});
    }
    startOperation({Operation::Kind::Rename, {controls.renameFrom, controls.renameTo}});
    const std::vector<LiveEntry> entries = liveEntries(homepage_.PageText);
    const auto entry =
        std::find_if(entries.begin(), entries.end(), [&](const LiveEntry& e) { return e.fileName == oldName; });
    renameEntry(homepage_.PageText, oldName, newName);
    bool done = writeHomepage();
    if (done && hasPage) {
        renameInPage(page, oldName, newName);
        if (entry != entries.end() && entry->description.empty()) {
            // A page without a homepage description is titled by its video's name.
            setContentAfterMarker(page, markers::PageTitleTail, pageTitle("", newName));
            setContentAfterMarker(page, markers::PageHeadingTail, pageTitle("", newName));
        }
        setCaptionTracks(page, pageSourceKey(newName), oldName, {});
        setCaptionTracks(page, pageSourceKey(newName), newName, captions);
        done = writeText(newPage, page) && (newPage == oldPage || removeFile(oldPage));
    }
    // The poster and captions go up under their new names with the page, as the page does: the rename page need not
    // rename them.
    for (const RenamePair& p : files) {
        if (done && p.from != p.to && folder_.exists(p.from)) {
            done = renameFile(p.from, p.to);
        }
    }
    if (done && newComments != oldComments) {
        done = moveClosedThread(oldComments, newComments);
    }
    done = done && writeText(RenamePageFile, queuedRenamePage(pendingRenamePage(), pairs, false));
    if (done) {
        // The entry keeps the day it was first made under its new name.
        FirstMade record = readFirstMade(folder_);
        if (auto kept = record.extract(oldName)) {
            kept.key() = newName;
            record.insert(std::move(kept));
            writeFirstMade(folder_, record);
        }
        noteEntriesAtStart();
        keepDiscoveryInStep(false);
    }
    if (!done) {
        const std::string failure = messages_.words(Message::FileFailure);
        if (const HistoryEntry* op = history_.current(); op && !op->files.empty()) {
            undo(true);
        }
        fileFailure(failure + ("\nClipnest put back what it had renamed here; nothing was renamed."));
    }
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

} // namespace clipnest
