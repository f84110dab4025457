#include "command_line.h"

#include "app/page_text.h"
#include "homepage/document.h"
#include "homepage/entries.h"
#include "session.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <optional>

namespace clipnest::cli {

namespace {

enum Status { Done = 0, Failed = 1, Usage = 2 };

// What the command line typed into the boxes. A multi-line box holds its line breaks as CR LF.
struct Typed {
    std::string name, homepage, individual, anchor, title, message, oldName, newName;
    bool homepageOnly = false;
    bool createPage = false;
};

std::string boxText(const std::string& text) {
    std::string box;
    box.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            box += '\r';
        }
        box += text[i];
    }
    return box;
}

bool shown(const std::vector<Message>& messages, Panel panel) {
    return std::any_of(messages.begin(), messages.end(), [panel](const Message& m) { return m.panel == panel; });
}

// Prints the messages; true when one of them reports that the operation could not be done. `alsoNote` is a panel
// that only tells this time.
bool report(const std::vector<Message>& messages, std::ostream& err, std::optional<Panel> alsoNote = std::nullopt) {
    bool failed = false;
    for (const Message& m : messages) {
        const bool note = m.isNote() || m.panel == alsoNote;
        err << (note ? "note: " : "") << m.text << '\n';
        failed = failed || !note;
    }
    return failed;
}

// Starts the tool, types into the boxes, clicks and lets every chain run to its end.
class Operation {
public:
    Operation(const std::filesystem::path& dir, std::ostream& err) : session_(dir), err_(err) {
        failed_ = report(session_.takeMessages(), err_);
        writtenAtStart_ = session_.written().size();
    }

    Form& form() { return session_.form(); }

    // Clicks and runs; the messages shown are returned, not yet printed.
    std::vector<Message> click(void (Form::*button)()) {
        (form().*button)();
        if (!session_.runToEnd()) {
            err_ << "The operation did not come to an end.\n";
            failed_ = true;
        }
        return session_.takeMessages();
    }

    void print(const std::vector<Message>& messages, std::optional<Panel> alsoNote = std::nullopt) {
        failed_ = report(messages, err_, alsoNote) || failed_;
    }

    // The exit status once the messages are printed; `nothingDone` is said when no file was written.
    Status finish(std::string_view nothingDone, Status whenNothingDone) {
        if (failed_) {
            return Failed;
        }
        if (session_.written().size() == writtenAtStart_) {
            err_ << nothingDone << '\n';
            return whenNothingDone;
        }
        return Done;
    }

private:
    Session session_;
    std::ostream& err_;
    bool failed_ = false;
    std::size_t writtenAtStart_ = 0;
};

constexpr std::string_view NothingChanged = "Nothing was changed.";

Status entry(const std::filesystem::path& dir, const Typed& t, std::ostream& err) {
    Operation op(dir, err);
    Controls& c = op.form().controls;
    c.Text2 = t.name;
    c.Text4 = boxText(t.homepage);
    c.Text5 = boxText(t.individual);
    c.Check1 = t.homepageOnly;
    std::vector<Message> messages = op.click(&Form::Command1);
    // The notice about a missing video page asks for a second click, which creates the page.
    if (t.createPage && shown(messages, Panel::Text11)) {
        op.print(messages, Panel::Text11);
        messages = op.click(&Form::Command1);
    }
    op.print(messages);
    if (shown(messages, Panel::Text11)) {
        err << "note: add --create-page to create the page.\n";
    }
    return op.finish(NothingChanged, Done);
}

Status deleteEntry(const std::filesystem::path& dir, const Typed& t, std::ostream& err) {
    Operation op(dir, err);
    op.form().controls.Text2 = t.name;
    op.print(op.click(&Form::Command5));
    return op.finish(NothingChanged, Done);
}

Status insert(const std::filesystem::path& dir, const Typed& t, std::ostream& err) {
    Operation op(dir, err);
    Controls& c = op.form().controls;
    c.Text20 = t.name;
    c.Text19 = boxText(t.homepage);
    c.Text21 = boxText(t.individual);
    c.Text25 = t.anchor;
    op.print(op.click(&Form::Command9));
    // The window ends an insert whose anchor is not on the homepage without a word.
    return op.finish("An entry for the file name " + t.anchor + " was not found on the Homepage.", Failed);
}

Status title(const std::filesystem::path& dir, const Typed& t, std::ostream& err) {
    Operation op(dir, err);
    op.form().controls.Text22 = boxText(t.title);
    op.form().controls.Text23 = boxText(t.message);
    op.print(op.click(&Form::Command11));
    return op.finish(NothingChanged, Done);
}

Status rename(const std::filesystem::path& dir, const Typed& t, std::ostream& err) {
    Operation op(dir, err);
    op.form().controls.Text18 = t.oldName;
    op.form().controls.Text24 = t.newName;
    op.print(op.click(&Form::Command10));
    return op.finish(NothingChanged, Done);
}

// The homepage as it is on disk, read as the window reads it at start-up; nothing is written.
Status list(const std::filesystem::path& dir, std::ostream& out, std::ostream& err) {
    const WorkingFolder folder(dir);
    const std::optional<std::string_view> name = findHomepage(folder);
    if (!name) {
        err << plainLine(panelDesignText(Panel::Text13)) << '\n';
        return Failed;
    }
    std::optional<std::string> bytes = folder.read(*name);
    if (!bytes) {
        err << plainLine(readFailureText(std::string(*name))) << '\n';
        return Failed;
    }
    for (const LiveEntry& e : liveEntries(linesWithLf(std::move(*bytes)))) {
        out << codePageToUtf8(e.fileName) << '\t' << shownText(e.description) << '\n';
    }
    return Done;
}

} // namespace

int runCommandLine(int argc, const char* const* argv, const std::filesystem::path& dir, std::ostream& out,
                   std::ostream& err) {
    CLI::App app("Keeps the homepage and video pages of a small video channel in the current folder. Without a "
                 "command, opens the window.",
                 "clipnest");
    app.set_version_flag("--version", "clipnest " CLIPNEST_VERSION);
    app.require_subcommand(1);
    app.footer("Exit status: 0 done, 1 the operation could not be done (the reason is on standard error), 2 usage "
               "error.");

    Typed t;
    std::function<Status()> run;

    CLI::App* e = app.add_subcommand("entry", "Create/Change Entry: adds the video's entry to the homepage and makes "
                                              "its page, or changes the descriptions of an entry that is there.");
    e->add_option("NAME", t.name, "The video's file name, with its extension")->required();
    e->add_option("--homepage", t.homepage, "The description for the homepage");
    e->add_option("--individual", t.individual,
                  "The description for the video's page (the homepage description when left out)");
    e->add_flag("--homepage-only", t.homepageOnly, "Change the homepage description only");
    e->add_flag("--create-page", t.createPage, "When the entry's page is missing, create it");
    e->callback([&] { run = [&] { return entry(dir, t, err); }; });

    CLI::App* d = app.add_subcommand("delete", "Delete Entry on Homepage: takes the video's entry off the homepage.");
    d->add_option("NAME", t.name, "The video's file name, with its extension")->required();
    d->callback([&] { run = [&] { return deleteEntry(dir, t, err); }; });

    CLI::App* i = app.add_subcommand("insert", "Insert an entry: adds a new entry in front of an existing one.");
    i->add_option("NAME", t.name, "The new video's file name, with its extension")->required();
    i->add_option("--above", t.anchor, "The file name of the entry that is to stand below the new one")->required();
    i->add_option("--homepage", t.homepage, "The description for the homepage");
    i->add_option("--individual", t.individual,
                  "The description for the video's page (the homepage description when left out)");
    i->callback([&] { run = [&] { return insert(dir, t, err); }; });

    CLI::App* ti = app.add_subcommand("title", "Update Title/Message: sets the homepage's title and message.");
    ti->add_option("--title", t.title, "The homepage title");
    ti->add_option("--message", t.message, "The homepage message");
    ti->callback([&] { run = [&] { return title(dir, t, err); }; });

    CLI::App* r = app.add_subcommand("rename", "Create Page for Name Change: writes change_file_name.php, which "
                                               "renames a file on the server when called up in a browser.");
    r->add_option("OLD", t.oldName, "The file's present name")->required();
    r->add_option("NEW", t.newName, "The file's new name")->required();
    r->callback([&] { run = [&] { return rename(dir, t, err); }; });

    CLI::App* l = app.add_subcommand("list", "Lists the homepage's entries, one a line: file name, a tab, the "
                                             "homepage description as the page shows it.");
    l->callback([&] { run = [&] { return list(dir, out, err); }; });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error, out, err);
        return status == 0 ? Done : Usage;
    }
    return run();
}

} // namespace clipnest::cli
