#pragma once

#include "core/messages.h"
#include "core/scheduler.h"
#include "history/channel_lock.h"
#include "history/first_made.h"
#include "history/history.h"
#include "platform/clock.h"
#include "platform/working_folder.h"
#include "text/page_front.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace clipnest {

class Form;
class ChannelHold;
struct EntryFacts;
namespace media {
struct PosterFrame;
}

// One interval timer per Step. The schedule table (core/steps/schedule.cpp) gives each its design timer, interval,
// what one run does and whether it belongs to a chain of file work.
enum class Step {
    ShowInvalidName,
    StartUp,
    Append,
    ChangeDescriptions,
    TitleAndMessage,
    CutEntry,
    Route,
    DefaultHomepage,
    PreparePage,
    Insert,
    HideNotices,
    EntryNotFound,
    FindHomepage,
};

struct StepDef {
    Step step;
    // The window design's timer, for tracing the design.
    const char* designName;
    int intervalMs;
    void (*run)(Form&);
    // A Step of a chain of file work; the message timers are not.
    bool inChain;
};

// Every Step, in the order of the Step enum.
std::span<const StepDef> schedule();

// The two Create a New Entry panels work alike, each on its own boxes.
enum class EntryPanel { First, Second };

// The boxes of one Create a New Entry panel.
struct EntryBoxes {
    std::string name;
    std::string homepageDescription;
    std::string pageDescription;
    bool homepageOnly = false;
};

// The boxes of the Insert an entry panel: the new entry and the entry it goes above.
struct InsertBoxes {
    std::string name, homepageDescription, pageDescription, above;
};

// The text boxes, named for what they hold.
enum class Box {
    FirstName,
    FirstHomepageDescription,
    FirstPageDescription,
    SecondName,
    SecondHomepageDescription,
    SecondPageDescription,
    InsertName,
    InsertHomepageDescription,
    InsertPageDescription,
    InsertAbove,
    Title,
    Message,
    RenameFrom,
    RenameTo,
};

// What the user has typed, as UTF-8.
struct Controls {
    EntryBoxes first, second;
    InsertBoxes insert;
    std::string title, message;
    // Rename page: the file's present and new name.
    std::string renameFrom, renameTo;
    // Rename only the one file on the server, even when it is an entry's video.
    bool renameFileOnly = false;

    EntryBoxes& entry(EntryPanel panel) { return panel == EntryPanel::First ? first : second; }

    // The text a box holds.
    std::string& text(Box box);
};

// One click's request, as a value: what its boxes held at the click (page text, code-page bytes) and how far its chain
// has come. The click makes it whole and the end of its chain, however it ends, drops it, so nothing typed or held for
// one request reaches the next: an empty box is empty for this request.
struct Request {
    // What it is for: an entry, delete, insert or title request.
    Operation::Kind kind = Operation::Kind::Other;
    std::string FileName;
    std::string FileNameLessExt;
    std::string HomepageDescrip;
    std::string IndividDescrip;
    bool HomepageOnly = false;
    // Insert: the entry the new one goes above, and whether a page description was typed (a page already in the
    // folder is then changed; otherwise it is kept as it is).
    std::string AnchorFileName;
    bool IndividTyped = false;
    // Title: each empty when its box was, and then left as the homepage has it.
    std::string HomepageTitle;
    std::string HomepageMessage;

    // The chain's progress.
    int RoutePhase = 0;
    // The entry's page as read from the folder or built from the template; empty while none is held.
    std::string IndividPageText;
    int IndividStepTick = 0;
    int AppendPhase = 0;
    int ChangePhase = 0;
    bool IndividPageChanged = false;
    bool HomepageChanged = false;
    int InsertPhase = 0;
    // Insert: the page goes to the folder (made from the template, or the kept one with its description changed).
    bool PageToWrite = false;
    int TitleStepPhase = 0;
    // The folder has the entry's poster (made by this request, or the host's), which its video tags then name.
    bool HasPoster = false;
};

// The homepage held in memory.
struct HomepageState {
    std::string PageText;
    bool HomepageLoaded = false;
    std::string SampleEntry;
    // The name of a homepage file that exists but could not be read; nothing may replace it while this is set.
    std::string UnreadableHomepage;
    // The held text was built here and is not on disk (yet): a failed write builds it again instead of reading it.
    bool HeldOnlyInMemory = false;
    // Which of the homepage's names the held text was last read from or written to.
    std::string ReadFrom;
};

enum class FolderMark { Made, Found, MissingHomepageSaid };

struct StartupState {
    int StartupPhase = 0;
    // Whether the folder had the AppDocs.txt mark at start-up, and whether a missing homepage was then said.
    FolderMark folderMark = FolderMark::Made;
    bool DefaultHomepageBuilt = false;
    int DefaultHomepageArmCount = 0;
};

// The messages' own timing, and which notices were shown for which file.
struct NoticeState {
    int NotFoundTick = 0;
    // The video pages whose missing-page notice was shown: the next request for one of them makes it.
    std::set<std::string, std::less<>> MissingPageShown;
};

// An entry as a video page's links to its neighbours see it: its name and a hash of its homepage description.
struct LinkedEntry {
    std::string name;
    std::uint64_t description = 0;
    bool operator==(const LinkedEntry&) const = default;
};

// The channel's address as its settings have it (`site`), or empty when there is none or it is not one.
std::string channelSite(const WorkingFolder& folder);

// The window's state and behaviour without the window: controls, form-level variables, Steps and button actions.
class Form {
public:
    Form(const Clock& clock, WorkingFolder& folder);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    Controls controls;

    // Button actions.
    void createOrChangeEntry(EntryPanel panel);
    void clearEntryBoxes(EntryPanel panel);
    void deleteEntry(EntryPanel panel);
    void clearInsertBoxes();
    void insertAboveEntry();
    void writeRenamePage();
    void setTitleAndMessage();
    // Writes the share tags of every entry's page, feed.xml and sitemap.xml as the channel stands, as one operation
    // (after its address was set or changed); without an address, nothing.
    void writeDiscoveryFiles();
    // Makes or remakes the posters of the entries of these videos (UTF-8 names as typed; every entry when none is
    // given) from the frame `at` seconds in (or the one writePosterFrame chooses), and gives the entries' video tags
    // on the homepage and on their pages the poster, preload="none" and playsinline. One operation for undo; an entry
    // whose poster could not be made is left as it was, and the summary says why.
    void makePosters(const std::vector<std::string>& names, std::optional<double> at);
    // Gives the pages of these entries' videos (UTF-8 names as typed; every entry when none is given) the track lines
    // of their caption files, each .srt without a .vtt converted first. One operation for undo.
    void updateCaptions(const std::vector<std::string>& names);
    // Moves the entry of this video (UTF-8 name as typed) above the entry of `above`, or behind the last entry when
    // that is nothing: its block of the homepage moves byte for byte. One operation for undo; refused, nothing
    // written, when either has no entry; nothing written when it stands there already.
    void moveEntry(const std::string& name, const std::optional<std::string>& above);
    // Why `video` (code page) must not become `newName` by a conversion (the name is taken, or its entry could not
    // follow), checked before anything is converted; nothing when it may.
    std::optional<std::string> conversionRefusal(const std::string& video, const std::string& newName);
    // Puts a converted video (`made`, a temporary file of the folder that media::convertVideo wrote) in place of
    // `video`, as one operation for undo: the original goes among the kept originals (history/originals.h); under
    // its own name the made file replaces it, under a new one (clip.mov to clip.mp4) the entry, its page and files and
    // the server's rename follow as a rename does. `before`: the original's stamp when the conversion began. Refused,
    // nothing changed and `made` removed, when the original changed since or the rename is refused; a write that fails
    // turns back what was done. True when done.
    bool placeConverted(const std::string& video, const std::string& made, const std::string& newName,
                        const FileStamp& before);
    void quit();
    // A click on a message: those that have a close action hide.
    void clickMessage(Message message);

    // True while a chain of Steps is under way (any Step armed but the message timers); the window keeps the
    // buttons that start a chain disabled then.
    bool chainRunning() const;
    bool quitRequested() const { return quitRequested_; }

    StepScheduler& scheduler() { return scheduler_; }
    const StepScheduler& scheduler() const { return scheduler_; }
    WorkingFolder& folder() { return folder_; }
    const WorkingFolder& folder() const { return folder_; }

    // Scheduler access by Step.
    void arm(Step s) { scheduler_.arm(static_cast<int>(s)); }
    void disarm(Step s) { scheduler_.disarm(static_cast<int>(s)); }
    void setInterval(Step s, int ms) { scheduler_.setInterval(static_cast<int>(s), ms); }
    bool isArmed(Step s) const { return scheduler_.isArmed(static_cast<int>(s)); }

    // Says a message with the words it has now (its fixed words, or those it was given last).
    void show(Message m) { say(m, messages_.words(m)); }
    // Says a message with these words: it shows them until hidden, and the outcome keeps them.
    void say(Message m, std::string words);
    void hide(Message m) { messages_.hide(m); }
    bool isVisible(Message m) const { return messages_.isShown(m); }
    // The messages in sight and their words, for a view that shows them.
    const MessageBoard& messages() const { return messages_; }
    // A refusal that shows no message (the window's design ends such a request without a word): the outcome and the
    // operation's summary say it (UTF-8).
    void refuseQuietly(std::string why);

    // What was said and written since the outcome was last taken (each distinct thing said once), and a fresh one
    // from here on.
    Outcome takeOutcome() { return std::exchange(outcome_, {}); }

    // Reads a file into held text (LF after every line). False, with the read-failure message, when it cannot be read.
    bool readText(std::string_view name, std::string& into);
    // Loads the homepage file `name` into PageText and sets HomepageLoaded. False when it cannot be read: PageText is
    // left alone and the file is marked unreadable, so nothing replaces it.
    bool loadHomepage(std::string_view name);
    // Writes `text` and one CR LF as the whole file. On failure the old file stays, the failure message names the file
    // and every running chain ends (endChains).
    bool writeText(std::string_view name, std::string_view text);
    // Writes PageText as "homepage.html"; refuses while the homepage file is unreadable.
    bool writeHomepage();
    // Ends every running chain of Steps and drops its request (after a file failure); the held homepage goes back to
    // the text last read, built or written.
    void endChains();
    // Forgets which pages the missing-page notice was shown for, so the next request for one says it again instead of
    // making the page.
    void forgetMissingPageNotices() { notices_.MissingPageShown.clear(); }
    // Drops the request of a chain that ended: the Form is ready for a fresh one.
    void endRequest() { request_ = Request{}; }

    // The homepage text as held (code-page bytes, lines joined by LF).
    const std::string& homepageText() const { return homepage_.PageText; }
    // The request whose chain runs, or ran last.
    const Request& request() const { return request_; }

    // A new video page's template, as the channel's settings and folder have it now (the scripts and fonts the host
    // named, the style sheet when there is one).
    std::string pageTemplate() const;

    // Holds the default homepage as the text of a folder that has none. Its title and message are empty: they come
    // only from the boxes of a title request or from a homepage file.
    void holdDefaultHomepage();

    // Says the failure message with these words (code-page text, LF between lines); it stays until clicked.
    void fileFailure(std::string words);
    // Says one sentence (code-page text) in the notice; it stays until clicked or the message timer ends. A notice in
    // sight keeps its sentences, the new one on a line below them.
    void notice(const std::string& text);

    // Makes the poster of a video of the folder (media::posterName) within the open operation, so undo takes it back;
    // a poster already there is kept unless `remake`. Where none can be made the operation's summary says why. True
    // when the folder has the poster afterwards.
    bool givePoster(const std::string& video, std::optional<double> at = std::nullopt, bool remake = false);
    // Puts a poster frame made for the video (media::writePosterFrame) in place, as givePoster does.
    bool placePoster(const std::string& video, const media::PosterFrame& frame);
    // Makes the posters of these videos of the folder (code-page names) side by side, for the operations that follow
    // to take when they give the videos a poster (givePoster) instead of making each in turn.
    void preparePosters(const std::vector<std::string>& videos);
    // Removes the prepared posters no operation took.
    void dropPreparedPosters();
    // Told before work that may take a while (ffmpeg making a poster) what it is about to do, in words for a status
    // line (UTF-8, "Making the poster for roses.mp4…"); the view shows them until the work's outcome replaces them.
    std::function<void(const std::string& doing)> onBusy;

    // Before a video page is written: converts the video's .srt caption files that have no .vtt yet (NAME.srt and
    // NAME.LANG.srt, within the open operation) and gives `page` one track line for each of its .vtt caption files.
    // False when a conversion could not be written (the failure message says why, and the chains end).
    bool keepCaptions(const std::string& video, std::string& page);

    // Takes the channel folder's writer lock (ChannelLock) before an operation reads the homepage, unless it is held
    // already; when another Clipnest still holds it after the wait, says so and returns false: the operation then
    // writes nothing.
    bool holdChannel();
    // Lets the lock go once no chain runs and no held run is under way: an idle window holds none.
    void letChannelGo();
    // How long a writer waits for another (tests make it short).
    void setChannelWait(int ms) { channelWaitMs_ = ms; }

    // Opens the operation that the next writes belong to, for undo and for the words that tell of it.
    void startOperation(Operation operation);
    // The next startOperation continues the open operation instead (a second click that finishes the first).
    void joinNextOperation() { joinNext_ = true; }
    // A run of clicks whose writes stay in memory (WorkingFolder::holdWrites), all in one undo record, until
    // endHeldRun puts the files in place together: a batch's lines that only rewrite pages then cost no write of a
    // large homepage each. Each click is still an operation of its own for its summary.
    void beginHeldRun();
    bool inHeldRun() const { return folder_.holding(); }
    // Puts the run's files in place together; when the run held more than one operation, its undo record is
    // `label`. False, with the failure message, when they could not be: the files are then as before the run, and
    // the next click reads them again.
    bool endHeldRun(const std::string& label);
    History& history() { return history_; }
    // Puts back the files of the last operation (see History::undoLast) and works on them from then on. What was
    // undone is the next summary; the failure message says why not.
    UndoResult undo(bool force = false);

    // What the last operation did, in one sentence for a status line (UTF-8): which entry and which files were
    // written, or left. Meant for when its chain has ended.
    std::string operationSummary() const;
    // Why the last operation made no poster for a video, a sentence each (UTF-8); part of operationSummary.
    const std::vector<std::string>& posterNotes() const { return posterNotes_; }
    // Counts the operations begun (and undos done), so a view knows when there is a new summary to show.
    int operationNumber() const { return operationNumber_; }
    // Counts the changes of the held homepage text (read, written, built, put back), so a view knows when to show its
    // entries again.
    int homepageRevision() const { return homepageRevision_; }
    // The held homepage text's front while the open operation may use it: in a held run, through an operation that
    // adds an entry, while only the append's edits (at the entries' end) have touched the text. Nothing otherwise.
    const PageFront* pageFront() const;
    // Where the append's searches of the held homepage text may begin.
    std::size_t appendSearchFrom() const { return pageFront() ? pageFront()->searchFrom() : 0; }
    // The open operation is not an append, or edits the text elsewhere: its front is not used again.
    void dropPageFront() { front_.reset(); }
    // An entry's descriptions as its pages show them (UTF-8), to fill the boxes of a panel that changes it: the
    // homepage's and the video page's, read from the folder. Nothing when the homepage has no entry of exactly
    // that file name (UTF-8, blanks around it left out).
    struct Descriptions {
        std::string homepage, page;
    };
    std::optional<Descriptions> entryDescriptions(std::string_view fileName) const;

    // The title and message the held homepage shows, as UTF-8 (empty where it has none).
    std::pair<std::string, std::string> shownTitleAndMessage() const;

    // Whether the held text is what the file `name` holds now (read or written by this Form, unchanged since).
    bool holdsCurrent(std::string_view name);

    // Before an operation works on the held homepage: reads it again when the file was changed on disk since this
    // Form read or wrote it (or appeared since the Form found none), and says so when it had been read before.
    void refreshHomepage();
    // Reads the homepage again as it stands on disk, without the notice refreshHomepage gives: after an operation that
    // this view ran on the folder in a session of its own.
    void readHomepageAgain();

private:
    // Starts a click on the entries of these videos (UTF-8 names as typed; every entry when none is given), from the
    // homepage as it stands on disk: their names, or nothing, said as `refusal` and why, when there is no homepage or
    // a name given has no entry.
    std::optional<std::vector<std::string>> entriesAsked(const std::vector<std::string>& names,
                                                         const std::string& refusal);
    // operationSummary without the poster notes.
    std::string summaryOfWrites() const;
    // What every click does first: the invalid-name message of the click before goes.
    void startClick();
    // Shows the invalid-name message with what is wrong (UTF-8, after "Please enter a valid file name: ").
    void refuseName(const std::string& problem);
    // The typed file name as page text, into the request; a bad one gets the invalid-name message instead.
    bool takeFileName(const std::string& nameBox, Request& into);
    // A click that starts a request: the homepage as on disk, a new operation to undo, and the request in place of
    // whatever the last one left.
    // `names` are the names the operation works on, as typed (UTF-8).
    // False, nothing begun, when the channel is another's (holdChannel).
    bool beginRequest(Request next, std::vector<std::string> names);
    bool writeWithLineEnd(std::string_view name, std::string& text, std::size_t unchanged = 0);
    // Writes `bytes` as they are, as writeText does otherwise.
    bool writeBytes(std::string_view name, const std::string& bytes);
    // The write itself, or why it was not done, untold.
    // `unchanged`: how many of the first bytes a held write of the file already holds (WorkingFolder::writeKeeping).
    std::optional<std::string> writeWithoutTelling(std::string_view name, const std::string& bytes,
                                                   std::size_t unchanged = 0);
    // Tells a failed write and ends the chains; false.
    bool failed(const std::string& failure);
    // change_file_name.php as it is in the folder, or nothing.
    std::string pendingRenamePage() const;
    // The "close" line of the thread in comment_moderation.txt, moved to the new comments file's name.
    bool moveClosedThread(const std::string& oldComments, const std::string& newComments);
    // The rename of an entry's video everywhere: its entry, its page and its local files, and a rename page for the
    // server. False, with the failure message, when it must not or could not be done; nothing is left half renamed.
    void renameEntryEverywhere(const std::string& oldName, const std::string& newName);
    struct EntryRename;
    // Why the rename must not be done (checked before anything is written), or nothing.
    std::optional<std::string> entryRenameProblem(const EntryRename& rename) const;
    // The writes and renames of the rename, within the open operation; false once one failed (the failure said).
    bool moveEntryFiles(const EntryRename& rename, std::string& page, bool hasPage);
    // The live entries as an operation found them, to tell which it made and which it deleted.
    // `mayAppend`: the operation may add an entry, so in a held run its searches start near the entries' end.
    void noteEntriesAtStart(bool mayAppend = false);
    // After an operation's writes: the first-made record follows its entries (made, renamed, deleted), and when the
    // channel has an address, the pages it wrote (or every page) get their share tags as the entries stand now, and
    // feed.xml and sitemap.xml are written again, within the operation, so undo takes them back with the rest.
    void keepDiscoveryInStep(bool everyPage);
    // The share tags, feed.xml and sitemap.xml as the entries stand now, for what changed since they were last
    // written (core/steps/discovery_lists.cpp): after an operation, or once at the end of a held run.
    void finishDiscovery();
    friend class DiscoveryWork;
    // The last entry of each of these pages, its name and description (page text), as the homepage has them now.
    using TaggedPages = std::map<std::string, std::pair<std::string, std::string>, std::less<>>;
    // The names of the entries at the operation's end from index `same` on; the ones before are its start names.
    std::vector<std::string> entryNamesAtEnd(std::size_t& same, TaggedPages& tagged);
    // Notes the entries as the homepage holds them at the start of an operation (of a held run: of its first), which
    // keepNeighbourLinks compares the end with.
    void noteNeighboursAtStart();
    // Gives the video pages whose previous or next entry changed since the start noted (its page, its description),
    // and the pages written since, the links to their neighbours as the homepage orders them now; only a page whose
    // links change is written; one that cannot be read is left, and the notice says so. False when one could not be
    // written.
    bool keepNeighbourLinks();
    // Gives these pages (those in the folder, of a live entry) their share tags; false when one could not be written.
    bool tagPages(const std::string& site, const TaggedPages& tagged);
    // Puts `lines` between the page's share markers, writing it when that changes it; false when it could not be read
    // or written. A page not in the folder is left so.
    bool tagPage(std::string_view page, const std::string& lines);
    // The kept entry facts (core/steps/discovery_facts.h), read once an operation, or once a held run.
    EntryFacts& entryFacts();
    // Brings the first-made record up to the entries `names`, and holds it in firstMade_ when it was read, or
    // `needed`. The first `same` names are the operation's start names, which it cannot have changed; `names` are the
    // rest.
    void keepFirstMade(std::size_t same, const std::vector<std::string>& names, bool needed);
    // Renames or removes a file of the folder within the open operation, so undo puts it back.
    bool renameFile(std::string_view from, std::string_view to);
    bool removeFile(std::string_view name);
    // Renames the temporary file `made` over `name` within the open operation (the file there before kept for undo).
    bool putConverted(const std::string& made, const std::string& name);
    // Keeps what the file now holds, to tell later whether someone else changed it.
    void remember(std::string_view name);
    // The same with the stamp taken before the file was read: a write by another in between then shows as a change,
    // never as the version that was read.
    void remember(std::string_view name, const std::optional<FileStamp>& stamp);
    // True when `name` was read or written by this Form and holds something else now. Size, time and file tell;
    // where only the time or the file differs, the homepage's bytes are compared with the held text.
    bool changedOnDisk(std::string_view name);

    // The session: the homepage as read or written, the start-up's work, the notices shown; and the request whose
    // chain runs (or ran last), which each click replaces whole. Only the Form's own methods and its Steps (through
    // core/form_state.h) touch them.
    HomepageState homepage_;
    StartupState startup_;
    NoticeState notices_;
    Request request_;
    friend struct FormState state(Form& form);

    WorkingFolder& folder_;
    ChannelLock channel_;
    int channelWaitMs_ = ChannelLock::DefaultWaitMs;
    // The ChannelHolds under way: a failure that ends the chains within one leaves the lock to it.
    int channelHolds_ = 0;
    friend class ChannelHold;
    StepScheduler scheduler_;
    History history_;
    // The stamps of the files as this Form last read or wrote them.
    std::map<std::string, FileStamp, std::less<>> known_;
    std::vector<std::string> entriesAtStart_;
    // The homepage revision and the count of operations started when entriesAtStart_ was read from the text at an
    // operation's end: the next operation, started right after with the text as it was, starts from those names.
    std::pair<int, int> entriesReadAt_{-1, -1};
    int operationsStarted_ = 0;
    // The homepage text's front, the operation it serves, and the homepage revision it is true of; `frontFollowed_`
    // once that operation's end brought it up to the text, so the next operation may take it on.
    std::optional<PageFront> front_;
    int frontOperation_ = -1;
    int frontRevision_ = -1;
    bool frontFollowed_ = false;
    // How many of the held homepage's first bytes are the held text's: where the searches of the front it was last
    // written under began, while that front lasts; none once a write without one or a new front came between.
    std::size_t heldHomepageSame_ = 0;
    // The first-made record as the last operation left it; in a held run, `firstMadeUnwritten_` until the run's end
    // writes it.
    std::optional<FirstMade> firstMade_;
    bool firstMadeUnwritten_ = false;
    // What finishDiscovery has to look at: whether an operation since wrote anything with an address set, whether
    // every page is to get its share tags, and the video pages written since.
    struct DiscoveryDue {
        bool due = false;
        bool everyPage = false;
        std::set<std::string, std::less<>> pages;
        // The pages given their share tags by the operations themselves.
        std::set<std::string, std::less<>> tagged;
    };
    DiscoveryDue discoveryDue_;
    // The entries at the start of the operation or held run the neighbour links follow, the video pages it wrote,
    // and whether it wrote anything (or every page is to be looked at).
    struct NeighboursDue {
        std::vector<LinkedEntry> start;
        std::set<std::string, std::less<>> pages;
        bool due = false;
        bool everyPage = false;
    };
    NeighboursDue neighboursDue_;
    // The entries as the last keepNeighbourLinks found them and the homepage revision they are true of: the next
    // operation starts from them while the text is unchanged, without reading it again.
    std::vector<LinkedEntry> linkedAtEnd_;
    int linkedAtEndRevision_ = -1;
    // The pages whose links an operation could not write (a failed write ended it): the next one writes them.
    std::set<std::string, std::less<>> linksOwed_;
    std::shared_ptr<EntryFacts> entryFacts_;
    // In a held run, the entry facts of its end, written once its files are in place.
    std::optional<std::string> entryFactsUnwritten_;
    bool joinNext_ = false;
    int heldOperations_ = 0;
    bool staleLookedFor_ = false;
    // The open operation and the files it wrote (whether each was there before), as its summary tells them.
    Operation operation_;
    struct WrittenFile {
        std::string name;
        bool existedBefore = false;
    };
    std::vector<WrittenFile> operationFiles_;
    int operationNumber_ = 0;
    int homepageRevision_ = 0;
    // Set by undo, whose operation is closed by then.
    std::string undoSummary_;
    // Why the open operation made no poster for a video, a sentence each.
    std::vector<std::string> posterNotes_;
    // The posters made ahead by preparePosters, by video: the frame's file, or why there is none.
    std::map<std::string, std::pair<std::optional<std::string>, std::string>, std::less<>> preparedPosters_;
    // Says what is about to be done through onBusy, when a view listens.
    void busy(const std::string& doing) const;
    bool quitRequested_ = false;
    MessageBoard messages_;
    Outcome outcome_;
    // A quiet refusal of the operation's click, for its summary.
    std::string refusal_;
    // Adds a file to the outcome's written files, and to the open operation's (`existedBefore` for its summary).
    void noteWritten(std::string_view name, bool existedBefore = true);
    // Tells the history what now stands in `name`, which the Form wrote as `bytes`.
    void tellHistoryWrote(std::string_view name, std::string_view bytes);
    // Adds what was said to the outcome, unless said already since it was last taken.
    void record(Said said);
};

// Holds the channel for a Form method that does its work at once, and lets it go at its end.
class ChannelHold {
public:
    explicit ChannelHold(Form& form) : form_(form), held_(form.holdChannel()) { ++form_.channelHolds_; }
    ~ChannelHold() {
        --form_.channelHolds_;
        form_.letChannelGo();
    }
    ChannelHold(const ChannelHold&) = delete;
    ChannelHold& operator=(const ChannelHold&) = delete;
    explicit operator bool() const { return held_; }

private:
    Form& form_;
    bool held_;
};

} // namespace clipnest
