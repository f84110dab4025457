#pragma once

#include "shell/clock.h"
#include "shell/history.h"
#include "shell/panels.h"
#include "shell/scheduler.h"
#include "shell/working_folder.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace clipnest {

class Form;

// One interval timer per Step. The schedule table (core/steps/schedule.cpp) gives each its design timer, interval,
// what one run does, whether it belongs to a chain of file work and what ending that chain resets.
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
    // What ending its chain (a file failure) puts back; nothing when null.
    void (*reset)(Form&);
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

// What the user has typed, as UTF-8.
struct Controls {
    EntryBoxes first, second;
    // Insert panel: the new entry and the entry it goes above.
    struct {
        std::string name, homepageDescription, pageDescription, above;
    } insert;
    std::string title, message;
    // Rename page: the file's present and new name.
    std::string renameFrom, renameTo;

    EntryBoxes& entry(EntryPanel panel) { return panel == EntryPanel::First ? first : second; }

    // Every text box with its design name, which the window uses as the widget's name.
    struct TextBox {
        const char* designName;
        std::string& (*of)(Controls&);
    };
    static std::span<const TextBox> textBoxes();
};

// The request that a Create/Change, delete or insert click hands to its Steps. Page text (code-page bytes).
struct EntryRequest {
    std::string FileName;
    std::string FileNameLessExt;
    std::string HomepageDescrip;
    std::string IndividDescrip;
    int HomepageOnly = 0;
};

// The homepage held in memory.
struct HomepageState {
    std::string PageText;
    int HomepageLoaded = 0;
    std::string SampleEntry;
    // The name of a homepage file that exists but could not be read; nothing may replace it while this is set.
    std::string UnreadableHomepage;
    // The held text was built here and is not on disk (yet): a failed write builds it again instead of reading it.
    bool HeldOnlyInMemory = false;
    // Which of the homepage's names the held text was last read from or written to.
    std::string ReadFrom;
};

struct RoutingState {
    int InvalidName = 0;
    int RoutePhase = 0;
    int RouteCode = 0;
    std::string IndividPageText;
};

struct StartupState {
    int StartupPhase = 0;
    int AppDocsState = 0;
    int DefaultHomepageBuilt = 0;
    int DefaultHomepageArmCount = 0;
    std::string IndividualPageTemplate;
};

struct IndividualPageState {
    int IndividStepTick = 0;
    int MissingPageNoticeShown = 0;
};

struct AppendState {
    int AppendPhase = 0;
};

struct ChangeState {
    int ChangePhase = 0;
    int IndividPageChanged = 0;
    int HomepageChanged = 0;
};

struct DeleteState {
    int DeletePending = 0;
    int HomepageMissingShown = 0;
    int TrimCount = 0;
    int NotFoundTick = 0;
};

struct InsertState {
    int InsertPending = 0;
    int InsertPhase = 0;
    int AnchorFound = 0;
    std::string AnchorFileName;
    // The new entry's page was in the folder already: it is kept, and written only when its description was typed.
    bool IndividTyped = false;
    bool PageToWrite = false;
};

struct TitleState {
    std::string HomepageTitle;
    std::string HomepageMessage;
    int TitleStepPhase = 0;
};

// The window's state and behaviour without the window: controls, form-level variables, Steps and button actions.
class Form {
public:
    Form(const Clock& clock, WorkingFolder& folder);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    Controls controls;
    Panels panels;

    EntryRequest request;
    HomepageState homepage;
    RoutingState routing;
    StartupState startup;
    IndividualPageState individ;
    AppendState append;
    ChangeState change;
    DeleteState del;
    InsertState insert;
    TitleState title;

    // Button actions.
    void createOrChangeEntry(EntryPanel panel);
    void clearEntryBoxes(EntryPanel panel);
    void deleteEntry(EntryPanel panel);
    void clearInsertBoxes();
    void insertAboveEntry();
    void writeRenamePage();
    void setTitleAndMessage();
    void quit();
    // A click on a panel: the panels that have a close action hide.
    void clickPanel(Panel panel);

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

    void show(Panel p) { panels.show(p); }
    void hide(Panel p) { panels.hide(p); }
    bool isVisible(Panel p) const { return panels.isVisible(p); }

    // Reads a file into held text (LF after every line). False, with the read-failure panel, when it cannot be read.
    bool readText(std::string_view name, std::string& into);
    // Loads the homepage file `name` into PageText and sets HomepageLoaded. False when it cannot be read: PageText is
    // left alone and the file is marked unreadable, so nothing replaces it.
    bool loadHomepage(std::string_view name);
    // Writes `text` and one CR LF as the whole file. On failure the old file stays, the failure panel names the file
    // and every running chain ends (endChains).
    bool writeText(std::string_view name, std::string_view text);
    // Writes PageText as "homepage.html"; refuses while the homepage file is unreadable.
    bool writeHomepage();
    // Ends every running chain of Steps and resets their progress (after a file failure); the held homepage goes back
    // to the text last read, built or written.
    void endChains();

    // Holds the default homepage, built with the stored title and message, as the text of a folder that has none.
    void holdDefaultHomepage();

    // Shows the failure panel with `text`; it stays until clicked.
    void fileFailure(std::string text);
    // Shows the notice panel with one sentence (code-page text); it stays until clicked or the panel timer ends.
    void notice(const std::string& text);

    // Opens the operation that the next writes belong to, for undo. `label` says what the user asked for (UTF-8).
    void startOperation(std::string label);
    // The next startOperation continues the open operation instead (a second click that finishes the first).
    void joinNextOperation() { joinNext_ = true; }
    History& history() { return history_; }
    // Puts back the files of the last operation (see History::undoLast) and works on them from then on. The notice
    // panel says what was undone or why not.
    bool undo(bool force = false);

    // What the last operation did, in one sentence for a status line (UTF-8): which entry and which files were
    // written, or left. Meant for when its chain has ended.
    std::string operationSummary() const;
    // Counts the operations begun (and undos done), so a view knows when there is a new summary to show.
    int operationNumber() const { return operationNumber_; }
    // Counts the changes of the held homepage text (read, written, built, put back), so a view knows when to show its
    // entries again.
    int homepageRevision() const { return homepageRevision_; }
    // The title and message the held homepage shows, as UTF-8 (empty where it has none).
    std::pair<std::string, std::string> shownTitleAndMessage() const;

    // Whether the held text is what the file `name` holds now (read or written by this Form, unchanged since).
    bool holdsCurrent(std::string_view name);

    // Before an operation works on the held homepage: reads it again when the file was changed on disk since this
    // Form read or wrote it (or appeared since the Form found none), and says so when it had been read before.
    void refreshHomepage();

private:
    // Takes the typed file name into the request; a bad one gets the invalid-name message instead.
    bool takeFileName(const std::string& nameBox);
    // A click that starts a request: the homepage as on disk, a new operation to undo, the routing from its page read.
    void beginRequest(std::string label);
    bool writeWithLineEnd(std::string_view name, std::string& text);
    // Keeps what the file now holds, to tell later whether someone else changed it.
    void remember(std::string_view name);
    // True when `name` was read or written by this Form and holds something else now. Size, time and file tell;
    // where only the time or the file differs, the homepage's bytes are compared with the held text.
    bool changedOnDisk(std::string_view name);

    WorkingFolder& folder_;
    StepScheduler scheduler_;
    History history_;
    // The stamps of the files as this Form last read or wrote them.
    std::map<std::string, FileStamp, std::less<>> known_;
    bool joinNext_ = false;
    int operationNumber_ = 0;
    int homepageRevision_ = 0;
    // Set by undo, whose operation is closed by then.
    std::string undoSummary_;
    bool quitRequested_ = false;
};

} // namespace clipnest
