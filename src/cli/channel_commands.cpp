// The commands that work on the channel's files, each as the window's panel does it: type into the boxes, click,
// let the Steps run, say what the outcome said.
#include "cli/commands.h"
#include "history/channel_lock.h"
#include "history/history.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/page_text.h"
#include "text/safe_text.h"

namespace clipnest::cli {

Status runEntry(Runner& r, const Args& a) {
    r.begin();
    EntryBoxes& boxes = r.session().form().controls.first;
    boxes = {a.name, boxText(a.homepage), boxText(a.individual), a.homepageOnly};
    Outcome outcome = r.click([](Form& f) { f.createOrChangeEntry(EntryPanel::First); });
    // The notice about a missing video page asks for a second click, which creates the page: one operation.
    if (a.createPage && outcome.says(Message::PageNotFound)) {
        r.print(outcome, Message::PageNotFound);
        r.session().form().joinNextOperation();
        outcome = r.click([](Form& f) { f.createOrChangeEntry(EntryPanel::First); });
    }
    r.print(outcome);
    if (outcome.says(Message::PageNotFound)) {
        r.line("add --create-page to create the page.", true);
    }
    return r.finish();
}

Status runDelete(Runner& r, const Args& a) {
    r.begin();
    r.session().form().controls.first.name = a.name;
    r.print(r.click([](Form& f) { f.deleteEntry(EntryPanel::First); }));
    return r.finish();
}

Status runInsert(Runner& r, const Args& a) {
    r.begin();
    r.session().form().controls.insert = {a.name, boxText(a.homepage), boxText(a.individual), a.anchor};
    r.print(r.click([](Form& f) { f.insertAboveEntry(); }));
    return r.finish();
}

Status runTitle(Runner& r, const Args& a) {
    r.begin();
    Controls& c = r.session().form().controls;
    c.title = boxText(a.title);
    c.message = boxText(a.message);
    r.print(r.click([](Form& f) { f.setTitleAndMessage(); }));
    return r.finish();
}

Status runRename(Runner& r, const Args& a) {
    r.begin();
    Controls& c = r.session().form().controls;
    c.renameFrom = a.oldName;
    c.renameTo = a.newName;
    c.renameFileOnly = a.fileOnly;
    const Outcome outcome = r.click([](Form& f) { f.writeRenamePage(); });
    r.print(outcome);
    if (outcome.says(Message::InvalidName)) {
        r.line("The rename page renames one file beside itself: each name needs a period after its first character "
               "and no /, \\, .., : * ? \" < > | or control character.");
    }
    return r.finish();
}

// Says what was made, and why a poster was not; it fails when no poster could be made.
Status runPosters(Runner& r, const Args& a) {
    r.begin();
    Form& form = r.session().form();
    form.makePosters(a.names, a.at >= 0 ? std::optional<double>(a.at) : std::nullopt);
    const Outcome outcome = r.outcome();
    r.print(outcome);
    if (outcome.says(Message::FileFailure)) {
        return Failed;
    }
    const HistoryEntry* op = form.history().current();
    const bool made = op && op->operation.kind == Operation::Kind::Posters && !op->files.empty();
    if (!made || !r.quiet()) {
        r.line(form.operationSummary());
    } else {
        for (const std::string& note : form.posterNotes()) {
            r.line(note, true);
        }
    }
    return made ? Done : Failed;
}

Status runCaptions(Runner& r, const Args& a) {
    r.begin();
    r.session().form().updateCaptions(a.names);
    r.print(r.outcome());
    return r.finish("Nothing was changed: the pages name their caption files already.");
}

Status runMove(Runner& r, const Args& a) {
    if (a.anchor.empty() == !a.toEnd) {
        r.line("move needs --above OTHER or --to-end: where the entry is to stand.");
        return Usage;
    }
    r.begin();
    r.session().form().moveEntry(a.name, a.toEnd ? std::nullopt : std::optional<std::string>(a.anchor));
    r.print(r.outcome());
    return r.finish("Nothing was changed: the entry stands there already.");
}

// The homepage as it is on disk, read as the window reads it at start-up; nothing is written.
Status runList(Runner& r, const Args&) {
    const WorkingFolder folder(r.dir());
    const std::optional<std::string_view> name = findHomepage(folder);
    if (!name) {
        r.line(Said{Message::NoHomepage, {}}.line());
        return Failed;
    }
    // The entries are listed as the homepage is read, the listing written out a megabyte at a time: a large homepage
    // lists about as fast as it reads, in little memory.
    std::string listing;
    constexpr std::size_t Piece = std::size_t{1} << 20;
    listing.reserve(Piece + 4096);
    LiveEntryReader entries([&](std::string_view fileName, std::string_view description) {
        // Read as the editing Steps read it: a CR LF or a lone CR in a name is one LF.
        // Names and descriptions are printed escaped (text/safe_text.h): a name or a description's character
        // reference cannot put a control character on the terminal.
        if (fileName.find('\r') == std::string_view::npos) {
            listing += safeText(codePageToUtf8(fileName));
        } else {
            std::string lf;
            for (std::size_t i = 0; i < fileName.size(); ++i) {
                lf += fileName[i] == '\r' ? '\n' : fileName[i];
                i += fileName[i] == '\r' && i + 1 < fileName.size() && fileName[i + 1] == '\n' ? 1 : 0;
            }
            listing += safeText(codePageToUtf8(lf));
        }
        listing += '\t';
        listing += safeText(shownText(description));
        listing += '\n';
        if (listing.size() >= Piece) {
            r.out().write(listing.data(), static_cast<std::streamsize>(listing.size()));
            listing.clear();
        }
    });
    if (!folder.readInPieces(*name, entries)) {
        const std::string file(*name);
        r.line(
            Said{Message::FileFailure, folder.isLink(file) ? linkFailureWords(file) : readFailureWords(file)}.line());
        return Failed;
    }
    entries.finish();
    r.out().write(listing.data(), static_cast<std::streamsize>(listing.size()));
    return Done;
}

bool lockChannel(Runner& r, ChannelLock& lock) {
    if (lock.take(WorkingFolder(r.dir()))) {
        return true;
    }
    r.line(ChannelLock::BusyWords);
    return false;
}

// In a batch that has begun its session, the session undoes, so it works on the files put back from then on, as the
// window does; its outcome says what the result says.
Status runUndo(Runner& r, const Args& a) {
    UndoResult result;
    if (r.hasSession()) {
        result = r.session().form().undo(a.force);
        r.outcome();
    } else {
        WorkingFolder folder(r.dir());
        ChannelLock lock;
        if (!lockChannel(r, lock)) {
            return Failed;
        }
        result = History(folder).undoLast(a.force);
    }
    if (!result.undone) {
        r.line(result.message);
        return Failed;
    }
    r.out() << safeText(result.message) << '\n';
    return Done;
}

Status runHistory(Runner& r, const Args& a) {
    WorkingFolder folder(r.dir());
    if (a.limit > 0) {
        ChannelLock lock;
        if (!lockChannel(r, lock)) {
            return Failed;
        }
        if (!History(folder).setKept(a.limit)) {
            r.line("Clipnest could not write the history's limit in " + std::string(History::Folder));
            return Failed;
        }
        r.line("The history keeps the last " + std::to_string(a.limit) + " operations.", true);
    }
    for (const HistoryEntry& e : History(folder).entries()) {
        if (!e.damage.empty()) {
            r.out() << e.number << "\t\t(a damaged record: " << safeText(e.damage) << "; it is not undone)\t\n";
            continue;
        }
        r.out() << e.number << '\t' << History::timeText(e.time) << '\t'
                << safeText(codePageToUtf8(e.operation.label())) << '\t';
        for (std::size_t i = 0; i < e.files.size(); ++i) {
            r.out() << (i == 0 ? "" : " ") << safeText(codePageToUtf8(e.files[i].name));
        }
        r.out() << '\n';
    }
    return Done;
}

} // namespace clipnest::cli
