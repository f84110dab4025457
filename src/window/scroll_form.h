#pragma once

#include "core/form.h"
#include "platform/clock.h"
#include "platform/preview_server.h"
#include "platform/working_folder.h"
#include "window/convert_dialog.h"
#include "window/publish_dialog.h"

#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QTimer>
#include <QWidget>

class QScrollBar;

namespace clipnest::window {

struct ControlDef;

class CommentsWindow;
class ConnectionWindow;
class EntriesWindow;
class ScrollSurface;
class StatusLine;

// "Clipnest VERSION – FOLDER", the home folder written as ~.
QString windowTitleFor(const std::filesystem::path& folder);

// The main window: a thin view over the Form. Typing goes into the Form's boxes; after every click and every Step
// the window shows the Form's state again. One single-shot timer is kept aimed at the next due Step.
class ScrollForm : public QWidget {
public:
    ScrollForm(const Clock& clock, WorkingFolder& folder, QWidget* parent = nullptr);
    ~ScrollForm() override;

    Form& form() { return *form_; }
    // How long "Another publish of this channel is running." stays in the status line: the other publish may end any
    // time, and nothing here tells when.
    static constexpr int BusyShownMs = 10000;

    // Whether a publish runs beside the window.
    bool publishing() const { return publishing_ && publishing_->running(); }
    // Whether a conversion runs beside the window.
    bool converting() const { return converting_ && converting_->running(); }

    // Runs the Steps that are due now, shows the result and aims the timer at the next one.
    void tick();

    // PAGE UP (33) and PAGE DOWN (34) scroll the surface by one viewport height; other keys do nothing.
    void checkKeyCode(int keyCode);

    // Where the surface stands, in twips (0 or negative).

    // The Form's boxes, check boxes, panels and button states, on screen; the status line and the entries once a
    // chain has ended.
    void showState();
    void showWhatEnded();
    void showBoxes();
    void showPanels();
    void enableButtons();

    // Adds these videos (UTF-8 paths or names in the channel folder), and with `newVideos` every video of the folder
    // that no entry names, as `clipnest add` does, saying in the status line what it is doing and then what came of it.
    void addVideos(const std::vector<std::string>& files, bool newVideos);

    // Which panel a click in the Entries window fills: the entry panel (or the insert panel) that last had the focus.
    enum class PickTarget { First, Second, Insert };
    PickTarget pickTarget() const { return pickTarget_; }

    // Looks whether the homepage was changed on disk while no chain runs, and shows what it holds now. The window
    // does so every two seconds.
    void checkOutsideChanges();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    // The control of this row of the layout table, of its kind, placed, with its font and its background.
    QWidget* makeControl(const ControlDef& def, QWidget* container);
    // The widget of this kind, with what its kind has (a caption, a read-only help text, handlers of the surface).
    QWidget* newControl(const ControlDef& def, QWidget* container);
    void connectStrip();
    void connectServer(QPushButton* connection, QPushButton* site);
    void connectComments(QPushButton* button);
    void connectEntries(QPushButton* button);
    // Starts the preview server (once) and opens the homepage in the browser.
    void preview();
    void connectInputs();
    void connectBox(QWidget* widget, Box box);
    void placeViewport();
    void placePanels();
    // How much room the notices shown take above the viewport, in twips.
    int noticeBarHeight() const;
    void onScroll(int value);
    void scrollByWheel(int twips);
    void afterAction();
    void aimTimer();
    // Asks for another folder and works on it from then on, in this window (asking first when it is no channel yet).
    void openOtherFolder();
    // Publishes the channel to its address, in the publish dialog; without an address, or with one that is refused,
    // the connection's settings are shown instead.
    void startPublish();
    // Shows the connection's settings, with what sent the host there.
    void openConnection(const QString& reason);
    // What a publish came to, in the status line (and its list of messages).
    void showPublished(const PublishOutcome& outcome);
    // Converts the entry's video (UTF-8 name) beside the window, in the convert dialog; what stands in the way (no
    // encoder, a video that plays already, a taken name) is said in the status line instead.
    void startConvert(const std::string& name);
    // Puts what the conversion made in place through the Form, or says why there is nothing.
    void finishConvert(const std::string& video, const std::string& newName, const FileStamp& before,
                       const media::Conversion& conversion);
    // True when no publish runs, or the host agrees to stop the one that does.
    bool mayStopPublish();
    // Fills a Create a New Entry panel's descriptions from the files for the entry its name box names: always when
    // `picked` (from the Entries window), else only where the boxes are empty or still hold the last fill.
    void fillDescriptions(EntryPanel panel, bool picked);
    // Shows the poster of the entry `name` (UTF-8) in the entries window, as the folder has it now.
    void showPoster(const std::string& name);
    // Asks for videos in the channel folder with the file dialog and adds them.
    void chooseVideos();
    // When the focus is in an entry panel (or the insert panel), or `focused` is a box of one typed into, the Entries
    // window's click fills that one.
    void followFocus(const QWidget* focused);
    // The Entries window's click fills this panel from now on, and its line says so.
    void setPickTarget(PickTarget target);
    // Moves the picked entry above the one before it, or below the one after it.
    void moveEntry(const std::string& name, bool up);
    // The Form's busy words go to the status line.
    void listenToBusyWork();
    // After an undo: every box that mirrors the files (title, message, a filled entry's descriptions) shows them.
    void showFilesAgain();

    const Clock& clock_;
    std::unique_ptr<Form> form_;
    // Follows the application's focus; cut when this window goes, before its children are taken down.
    QMetaObject::Connection focusFollow_;
    // The folder opened with Open folder…, once one is; the one given at the start belongs to the caller.
    std::unique_ptr<WorkingFolder> openedFolder_;
    QTimer stepTimer_;
    std::map<std::string, QWidget*> widgets_;
    std::map<Message, QWidget*> panelWidgets_;
    std::map<Message, std::string> shownPanelText_;
    QWidget* picWindow_ = nullptr;
    ScrollSurface* surface_ = nullptr;
    QScrollBar* vscroll_ = nullptr;
    // Shown only when the window is narrower than the content.
    QScrollBar* hscroll_ = nullptr;
    // In the strip above the viewport: Undo, Entries, the status line; the entries and the comments in windows of
    // their own.
    QWidget* undo_ = nullptr;
    QWidget* openFolder_ = nullptr;
    QWidget* addVideos_ = nullptr;
    QWidget* addNewVideos_ = nullptr;
    PickTarget pickTarget_ = PickTarget::First;
    StatusLine* status_ = nullptr;
    EntriesWindow* entries_ = nullptr;
    CommentsWindow* comments_ = nullptr;
    QTimer outsideTimer_;
    PreviewServer preview_;
    PublishDialog* publishDialog_ = nullptr;
    ConnectionWindow* connection_ = nullptr;
    QWidget* publishButton_ = nullptr;
    std::unique_ptr<PublishRun> publishing_;
    ConvertDialog* convertDialog_ = nullptr;
    std::unique_ptr<ConvertRun> converting_;
    int shownOperation_ = 0;
    // What fillDescriptions last put into each entry panel.
    std::array<Form::Descriptions, 2> filled_;
    int shownRevision_ = -1;
    bool prefilled_ = false;
    int surfaceTop_ = 0;
    bool showing_ = false;
    bool resizing_ = false;
};

} // namespace clipnest::window
