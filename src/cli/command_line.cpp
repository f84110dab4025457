#include "cli/command_line.h"

#include "cli/session.h"
#include "publish/publisher.h"
#include "shell/history.h"
#include "shell/preview_server.h"
#include "text/document.h"
#include "text/entries.h"
#include "text/page_text.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <pthread.h>
#include <sstream>
#include <unistd.h>

namespace clipnest::cli {

namespace {

enum Status { Done = 0, Failed = 1, Usage = 2 };

// What the command line typed into the boxes. A multi-line box holds its line breaks as CR LF.
struct Typed {
    std::string name, homepage, individual, anchor, title, message, oldName, newName;
    bool homepageOnly = false;
    bool createPage = false;
};

enum class Kind { None, Entry, Delete, Insert, Title, Rename, List, Batch, Undo, History, Preview, Publish };

struct Command {
    Kind kind = Kind::None;
    // -C: the channel folder, when not the current one.
    std::string folder;
    Typed t;
    std::string batchFile = "-";
    bool keepGoing = false;
    bool force = false;
    std::string to;
    bool dryRun = false;
    bool insecure = false;
};

// A batch line longer than this is refused rather than read into a box.
constexpr std::size_t MaxBatchLine = 1'000'000;

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

// Every command and its options. A batch line holds only the commands that work on the channel.
void describe(CLI::App& app, Command& c, bool batchLine) {
    app.require_subcommand(1);
    Typed& t = c.t;
    const auto on = [&c](CLI::App* sub, Kind kind) { sub->callback([&c, kind] { c.kind = kind; }); };

    CLI::App* e = app.add_subcommand("entry", "Create/Change Entry: adds the video's entry to the homepage and makes "
                                              "its page, or changes the descriptions of an entry that is there.");
    e->add_option("NAME", t.name, "The video's file name, with its extension")->required();
    e->add_option("--homepage", t.homepage, "The description for the homepage");
    e->add_option("--individual", t.individual,
                  "The description for the video's page (the homepage description when left out)");
    e->add_flag("--homepage-only", t.homepageOnly, "Change the homepage description only");
    e->add_flag("--create-page", t.createPage, "When the entry's page is missing, create it");
    on(e, Kind::Entry);

    CLI::App* d = app.add_subcommand("delete", "Delete Entry on Homepage: takes the video's entry off the homepage.");
    d->add_option("NAME", t.name, "The video's file name, with its extension")->required();
    on(d, Kind::Delete);

    CLI::App* i = app.add_subcommand("insert", "Insert an entry: adds a new entry in front of an existing one.");
    i->add_option("NAME", t.name, "The new video's file name, with its extension")->required();
    i->add_option("--above", t.anchor, "The file name of the entry that is to stand below the new one")->required();
    i->add_option("--homepage", t.homepage, "The description for the homepage");
    i->add_option("--individual", t.individual,
                  "The description for the video's page (the homepage description when left out)");
    on(i, Kind::Insert);

    CLI::App* ti = app.add_subcommand("title", "Update Title/Message: sets the homepage's title and message.");
    ti->add_option("--title", t.title, "The homepage title");
    ti->add_option("--message", t.message, "The homepage message");
    on(ti, Kind::Title);

    CLI::App* r = app.add_subcommand("rename", "Create Page for Name Change: writes change_file_name.php, which "
                                               "renames a file on the server once when called up in a browser.");
    r->add_option("OLD", t.oldName, "The file's present name")->required();
    r->add_option("NEW", t.newName, "The file's new name")->required();
    on(r, Kind::Rename);

    CLI::App* l = app.add_subcommand("list", "Lists the homepage's entries, one a line: file name, a tab, the "
                                             "homepage description as the page shows it.");
    on(l, Kind::List);

    CLI::App* u = app.add_subcommand("undo", "Puts back the files of the last operation as they were before it, and "
                                             "removes the files it created. Run again, it undoes the one before.");
    u->add_flag("--force", c.force, "Undo even when a file was changed by hand after that operation");
    on(u, Kind::Undo);

    if (batchLine) {
        return;
    }
    app.add_option("-C", c.folder, "Work on the channel folder DIR instead of the current folder")->type_name("DIR");
    CLI::App* b = app.add_subcommand(
        "batch", "Runs the commands in FILE (standard input when FILE is - or left out), one a line, quoted as in a "
                 "shell; a line starting with # is a comment. All lines run in one session, each line is one "
                 "operation for undo. Stops at the first line that fails. Exit status 2 and nothing done when a line "
                 "cannot be read as a command.");
    b->add_option("FILE", c.batchFile, "The file of commands");
    b->add_flag("--keep-going", c.keepGoing, "Run the lines after a failed one too; exit 1 at the end");
    on(b, Kind::Batch);

    CLI::App* h = app.add_subcommand("history", "Lists the operations that can be undone, newest first: number, "
                                                "time, what was done, the files it wrote.");
    on(h, Kind::History);
    CLI::App* p = app.add_subcommand("preview", "Serves the channel folder with PHP's own server on 127.0.0.1, so "
                                                "the homepage, the video pages and their comment boxes can be seen "
                                                "before they are uploaded; prints the address, serves until Ctrl+C.");
    on(p, Kind::Preview);
    CLI::App* pu = app.add_subcommand(
        "publish", "Uploads to the server what changed since the last publish: the homepage, the video pages, the "
                   "videos the entries name, change_file_name.php and the extra files of .clipnest/publish.conf. "
                   "Never deletes a file there and never uploads the comment files.");
    pu->add_option("--to", c.to,
                   "The server and folder, sftp://user@host/path or ftps://user@host/path; kept for "
                   "the next time")
        ->type_name("URL");
    pu->add_flag("--dry-run", c.dryRun, "Only list what would be uploaded, and its size");
    pu->add_flag("--insecure", c.insecure, "Allow plain ftp://, which sends the password unencrypted");
    on(pu, Kind::Publish);

    // -C may also stand after the command, among the command's own options.
    for (CLI::App* sub : {e, d, i, ti, r, l, b, u, h, p, pu}) {
        sub->fallthrough();
    }
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// What the parser would say less plainly: an unknown command, with the known one it is closest to, and an option
// given twice.
std::optional<std::string> usageProblem(const std::vector<std::string>& words, CLI::App& app) {
    auto command = words.begin();
    while (command != words.end() && command->starts_with("-")) {
        // -C's folder is no command.
        command += *command == "-C" && command + 1 != words.end() ? 2 : 1;
    }
    if (command == words.end()) {
        return std::nullopt;
    }
    std::vector<std::string> known;
    for (const CLI::App* sub : app.get_subcommands({})) {
        known.push_back(sub->get_name());
    }
    if (std::find(known.begin(), known.end(), *command) == known.end()) {
        std::string best;
        std::size_t distance = 3;
        for (const std::string& name : known) {
            if (const std::size_t d = editDistance(*command, name); d < distance) {
                best = name;
                distance = d;
            }
        }
        std::string all;
        for (const std::string& name : known) {
            all += (all.empty() ? "" : ", ") + name;
        }
        return "unknown command '" + *command + "'; " +
               (best.empty() ? "the commands are " + all : "did you mean '" + best + "'?");
    }
    std::vector<std::string> seen;
    for (auto w = command + 1; w != words.end() && *w != "--"; ++w) {
        if (!w->starts_with("--") || *w == "--help") {
            continue;
        }
        const std::string option = w->substr(0, w->find('='));
        if (std::find(seen.begin(), seen.end(), option) != seen.end()) {
            return option + " given twice";
        }
        seen.push_back(option);
    }
    return std::nullopt;
}

// The command of a line of words; nothing with the exit status when the line ends in help, a version or an error,
// which `report` has been told.
std::optional<Command> parse(const std::vector<std::string>& words, bool batchLine,
                             const std::function<void(const CLI::ParseError&, CLI::App&)>& report, int& status) {
    CLI::App app("Keeps the homepage and video pages of a small video channel in the current folder. Without a "
                 "command, opens the window.",
                 "clipnest");
    if (!batchLine) {
        app.set_version_flag("--version", "clipnest " CLIPNEST_VERSION);
        app.footer("Exit status: 0 done, 1 the operation could not be done (the reason is on standard error), 2 usage "
                   "error. Undo keeps its copies in the hidden folder .clipnest, which stays on this computer.");
    }
    Command command;
    describe(app, command, batchLine);
    std::vector<const char*> argv = {"clipnest"};
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    try {
        if (const std::optional<std::string> problem = usageProblem(words, app)) {
            throw CLI::ParseError(*problem, CLI::ExitCodes::ExtrasError);
        }
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        report(error, app);
        status = error.get_exit_code() == 0 ? Done : Usage;
        return std::nullopt;
    }
    return command;
}

// Splits a line into words as a shell does: blanks part them; '...' keeps what it holds; "..." too, but a backslash
// in it keeps a following quote, backslash, dollar or backquote; a backslash outside quotes keeps the character
// after it. False, with the reason, on an open quote.
bool splitWords(std::string_view line, std::vector<std::string>& words, std::string& error) {
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(std::exchange(word, {}));
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t end = line.find('\'', i + 1);
            if (end == std::string_view::npos) {
                error = "a quote ' is not closed";
                return false;
            }
            word.append(line.substr(i + 1, end - i - 1));
            i = end;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) {
                    error = "a quote \" is not closed";
                    return false;
                }
                if (line[i] == '"') {
                    break;
                }
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string_view("\"\\$`").find(line[i + 1]) != std::string_view::npos) {
                    ++i;
                }
                word += line[i];
            }
        } else if (c == '\\') {
            if (i + 1 >= line.size()) {
                error = "the line ends in a backslash";
                return false;
            }
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return true;
}

// Runs commands on one channel folder. The commands that work through the Form share one session, started at the
// first of them, so a batch runs its lines as the window would run them in turn.
class Runner {
public:
    Runner(const std::filesystem::path& dir, std::ostream& out, std::ostream& err) : dir_(dir), out_(out), err_(err) {}

    // Put in front of every message line (a batch line's number).
    void setPrefix(std::string prefix) { prefix_ = std::move(prefix); }

    Status run(const Command& c) {
        quietStart_ = c.kind == Kind::Delete || c.kind == Kind::Insert;
        switch (c.kind) {
        case Kind::Entry:
            return entry(c.t);
        case Kind::Delete:
            return operate([&](Controls& b) { b.first.name = c.t.name; },
                           [](Form& f) { f.deleteEntry(EntryPanel::First); });
        case Kind::Insert:
            return insert(c.t);
        case Kind::Title:
            return operate(
                [&](Controls& b) {
                    b.title = boxText(c.t.title);
                    b.message = boxText(c.t.message);
                },
                [](Form& f) { f.setTitleAndMessage(); });
        case Kind::Rename:
            return rename(c.t);
        case Kind::List:
            return list();
        case Kind::Undo:
            return undo(c.force);
        case Kind::History:
            return history();
        case Kind::Preview:
            return preview();
        case Kind::Publish:
            return publish(c);
        case Kind::Batch:
        case Kind::None:
            break;
        }
        return Usage;
    }

private:
    void line(std::string_view text, bool note = false) { err_ << prefix_ << (note ? "note: " : "") << text << '\n'; }

    Session& session() {
        if (!session_) {
            session_ = std::make_unique<Session>(dir_);
            // A failure at start-up (an unreadable homepage) fails the first command. The notes that a homepage
            // will be made say nothing to a delete or insert, which never makes one.
            std::vector<Message> messages = session_->takeMessages();
            if (quietStart_) {
                std::erase_if(messages, [](const Message& m) {
                    return m.panel == Panel::HomepageWillBeCreated || m.panel == Panel::HomepageNotFound;
                });
            }
            startupFailed_ = report(messages);
        }
        return *session_;
    }

    // Prints the messages; true when one of them reports that the operation could not be done. `alsoNote` is a
    // panel that only tells this time.
    bool report(const std::vector<Message>& messages, std::optional<Panel> alsoNote = std::nullopt) {
        bool failed = false;
        for (const Message& m : messages) {
            const bool note = m.isNote() || m.panel == alsoNote;
            line(m.text, note);
            failed = failed || !note;
        }
        return failed;
    }

    // Types into the boxes, clicks and lets every chain run to its end; the messages shown are returned.
    std::vector<Message> click(void (*button)(Form&)) {
        button(session().form());
        if (!session_->runToEnd()) {
            line("The operation did not come to an end.");
            failed_ = true;
        }
        return session_->takeMessages();
    }

    void begin() {
        Session& s = session();
        failed_ = std::exchange(startupFailed_, false);
        writtenAtStart_ = s.written().size();
        // A command is one click; the window's second click for a missing page is --create-page. So every line of a
        // batch meets a missing page as a command of its own does.
        s.form().notices.MissingPageShown.clear();
    }

    void print(const std::vector<Message>& messages, std::optional<Panel> alsoNote = std::nullopt) {
        failed_ = report(messages, alsoNote) || failed_;
    }

    // The exit status once the messages are printed; `nothingDone` is said when no file was written.
    Status finish(std::string_view nothingDone = "Nothing was changed.", Status whenNothingDone = Done) {
        if (failed_) {
            return Failed;
        }
        if (session_->written().size() == writtenAtStart_) {
            line(nothingDone);
            return whenNothingDone;
        }
        return Done;
    }

    template <typename TypeIn>
    Status operate(TypeIn typeIn, void (*button)(Form&)) {
        begin();
        typeIn(session_->form().controls);
        print(click(button));
        return finish();
    }

    Status entry(const Typed& t) {
        begin();
        Controls& c = session_->form().controls;
        c.first.name = t.name;
        c.first.homepageDescription = boxText(t.homepage);
        c.first.pageDescription = boxText(t.individual);
        c.first.homepageOnly = t.homepageOnly;
        std::vector<Message> messages = click([](Form& f) { f.createOrChangeEntry(EntryPanel::First); });
        // The notice about a missing video page asks for a second click, which creates the page: one operation.
        if (t.createPage && shown(messages, Panel::PageNotFound)) {
            print(messages, Panel::PageNotFound);
            session_->form().joinNextOperation();
            messages = click([](Form& f) { f.createOrChangeEntry(EntryPanel::First); });
        }
        print(messages);
        if (shown(messages, Panel::PageNotFound)) {
            line("add --create-page to create the page.", true);
        }
        return finish();
    }

    Status insert(const Typed& t) {
        begin();
        Controls& c = session_->form().controls;
        c.insert.name = t.name;
        c.insert.homepageDescription = boxText(t.homepage);
        c.insert.pageDescription = boxText(t.individual);
        c.insert.above = t.anchor;
        print(click([](Form& f) { f.insertAboveEntry(); }));
        // The window ends an insert whose anchor is not on the homepage without a word.
        return finish("An entry for the file name " + t.anchor + " was not found on the Homepage.", Failed);
    }

    Status rename(const Typed& t) {
        begin();
        Controls& c = session_->form().controls;
        c.renameFrom = t.oldName;
        c.renameTo = t.newName;
        const std::vector<Message> messages = click([](Form& f) { f.writeRenamePage(); });
        print(messages);
        if (shown(messages, Panel::InvalidName)) {
            line("The rename page renames one file beside itself: each name needs a period after its first "
                 "character and no /, \\, .., : * ? \" < > | or control character.");
        }
        return finish();
    }

    // The homepage as it is on disk, read as the window reads it at start-up; nothing is written.
    Status list() {
        const WorkingFolder folder(dir_);
        const std::optional<std::string_view> name = findHomepage(folder);
        if (!name) {
            line(plainLine(panelDesignText(Panel::NoHomepage)));
            return Failed;
        }
        std::optional<std::string> bytes = folder.read(*name);
        if (!bytes) {
            line(plainLine(readFailureText(std::string(*name))));
            return Failed;
        }
        // One buffer, written once: a large homepage lists as fast as it reads.
        std::string listing;
        for (const LiveEntry& e : liveEntries(linesWithLf(std::move(*bytes)))) {
            listing += codePageToUtf8(e.fileName);
            listing += '\t';
            listing += shownText(e.description);
            listing += '\n';
        }
        out_.write(listing.data(), static_cast<std::streamsize>(listing.size()));
        return Done;
    }

    // In a batch that has begun its session, the session undoes, so it works on the files put back from then on, as
    // the window does; its panel says what the result says.
    Status undo(bool force) {
        UndoResult result;
        if (session_) {
            result = session_->form().undo(force);
            session_->runToEnd();
            session_->takeMessages();
        } else {
            WorkingFolder folder(dir_);
            result = History(folder).undoLast(force);
        }
        if (!result.undone) {
            line(result.message);
            return Failed;
        }
        out_ << result.message << '\n';
        return Done;
    }

    Status history() {
        WorkingFolder folder(dir_);
        for (const HistoryEntry& e : History(folder).entries()) {
            if (!e.damage.empty()) {
                out_ << e.number << "\t\t(a damaged record: " << e.damage << "; it is not undone)\t\n";
                continue;
            }
            out_ << e.number << '\t' << History::timeText(e.time) << '\t' << e.label << '\t';
            for (std::size_t i = 0; i < e.files.size(); ++i) {
                out_ << (i == 0 ? "" : " ") << codePageToUtf8(e.files[i].name);
            }
            out_ << '\n';
        }
        return Done;
    }

    Status preview() {
        std::string problem;
        PreviewServer server;
        const std::optional<std::string> address = server.start(dir_, problem);
        if (!address) {
            const std::string file = "file://" + (dir_ / "homepage.html").lexically_normal().string();
            line(problem + ": open " + file +
                 " in a browser to see the homepage; the video pages need php to preview.");
            return PreviewServer::phpInstalled() ? Failed : Done;
        }
        // Ctrl+C, or the end of the session, stops the server; nothing else runs meanwhile.
        sigset_t stopping;
        sigemptyset(&stopping);
        sigaddset(&stopping, SIGINT);
        sigaddset(&stopping, SIGTERM);
        sigaddset(&stopping, SIGHUP);
        ::pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
        out_ << "Serving the channel at " << *address << " (only on this computer); Ctrl+C stops." << std::endl;
        // What the server refused to run is said as it happens.
        const timespec wait{0, 200'000'000};
        while (::sigtimedwait(&stopping, nullptr, &wait) < 0) {
            for (const std::string& note : server.takeNotes()) {
                line(note, true);
            }
            err_.flush();
        }
        for (const std::string& note : server.takeNotes()) {
            line(note, true);
        }
        server.stop();
        return Done;
    }

    Status publish(const Command& c) {
        publish::Settings settings;
        std::string problem;
        if (!publish::loadSettings(dir_, settings, problem)) {
            line(problem);
            return Failed;
        }
        const bool newTarget = !c.to.empty() && c.to != settings.to;
        settings.to = c.to.empty() ? settings.to : c.to;
        settings.insecure = settings.insecure || c.insecure;
        if (settings.to.empty()) {
            line("publish: say where to, once: clipnest publish --to sftp://user@host/folder (or ftps://...)");
            return Usage;
        }
        const std::optional<publish::Target> target = publish::parseTarget(settings.to, problem);
        if (!target) {
            line("publish: " + problem);
            return Usage;
        }
        if (target->scheme == publish::Target::Scheme::Ftp && !settings.insecure) {
            line("publish: plain ftp:// sends your password unencrypted; use sftp:// or ftps://, or add --insecure");
            return Usage;
        }
        if (target->scheme == publish::Target::Scheme::Ftp) {
            line("plain FTP: the password and the files travel unencrypted", true);
        }
        if (newTarget && !c.dryRun && !publish::saveSettings(dir_, settings)) {
            line("Clipnest could not write " + std::string(publish::SettingsFile) + "; the address is not kept", true);
        }
        static std::atomic<bool> interrupted = false;
        interrupted = false;
        struct sigaction stop {
        }, previous{};
        stop.sa_handler = [](int) { interrupted = true; };
        sigemptyset(&stop.sa_mask);
        ::sigaction(SIGINT, &stop, &previous);
        const bool terminal = ::isatty(STDOUT_FILENO) == 1;
        const auto began = std::chrono::steady_clock::now();
        std::string current;
        publish::Events events;
        events.starting = [&](const publish::ChannelFile& f, std::size_t i, std::size_t n) {
            current = "[" + std::to_string(i + 1) + "/" + std::to_string(n) + "] " + f.name;
        };
        events.progress = [&](std::uintmax_t sent, std::uintmax_t total) {
            if (!terminal) {
                return;
            }
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            out_ << '\r' << current << "  " << (total ? sent * 100 / total : 100) << "%  " << megabytes(total) << "  "
                 << megabytes(static_cast<std::uintmax_t>(sent / std::max(seconds, 0.001))) << "/s   " << std::flush;
        };
        events.finished = [&](const publish::ChannelFile&, const std::string& failure) {
            if (terminal) {
                out_ << (failure.empty() ? "" : "  failed") << '\n';
            }
        };
        const publish::Report report = publish::publishChannel(dir_, settings, *target, events, interrupted, c.dryRun);
        ::sigaction(SIGINT, &previous, nullptr);
        for (const std::string& note : report.notes) {
            line(note, true);
        }
        if (!report.error.empty()) {
            line("publish: " + report.error);
            return Failed;
        }
        std::uintmax_t bytes = 0;
        for (const publish::ChannelFile& f : report.changed) {
            bytes += f.now.size;
            if (c.dryRun) {
                out_ << f.name << '\t' << f.now.size << '\n';
            }
        }
        if (report.changed.empty()) {
            out_ << "Nothing changed since the last publish to " << target->display() << ".\n";
            return Done;
        }
        if (c.dryRun) {
            out_ << report.changed.size() << " file" << (report.changed.size() == 1 ? "" : "s") << ", "
                 << megabytes(bytes) << ", would be uploaded to " << target->display() << ".\n";
            return Done;
        }
        for (const auto& [name, reason] : report.failed) {
            line(name + " was not uploaded: " + reason);
        }
        out_ << "Uploaded " << report.uploaded.size() << " of " << report.changed.size() << " changed file"
             << (report.changed.size() == 1 ? "" : "s") << " to " << target->display() << ".\n";
        if (report.cancelled) {
            line("publish: stopped; the next publish uploads the rest");
        }
        return report.failed.empty() && !report.cancelled && report.uploaded.size() == report.changed.size() ? Done
                                                                                                             : Failed;
    }

    static std::string megabytes(std::uintmax_t bytes) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
        return text;
    }

    std::filesystem::path dir_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<Session> session_;
    std::string prefix_;
    bool startupFailed_ = false;
    bool quietStart_ = false;
    bool failed_ = false;
    std::size_t writtenAtStart_ = 0;
};

Status batch(const Command& c, const std::filesystem::path& dir, std::ostream& out, std::ostream& err) {
    std::string text;
    if (c.batchFile == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        text = all.str();
    } else {
        // As with git -C, a relative path is taken from the channel folder.
        std::ifstream in(dir / c.batchFile, std::ios::binary);
        std::ostringstream all;
        if (!in || !(all << in.rdbuf())) {
            // An empty file reads nothing, and that is no error.
            if (!in.is_open()) {
                err << "batch: cannot read " << c.batchFile << '\n';
                return Usage;
            }
        }
        text = all.str();
    }

    // Every line is read as a command before the first runs: a batch with a line that is no command does nothing.
    std::vector<std::pair<int, Command>> commands;
    std::istringstream lines(text);
    int number = 0;
    for (std::string lineText; std::getline(lines, lineText);) {
        ++number;
        const std::string where = "batch: line " + std::to_string(number) + ": ";
        if (lineText.ends_with('\r')) {
            lineText.pop_back();
        }
        if (lineText.size() > MaxBatchLine) {
            err << where << "longer than " << MaxBatchLine << " bytes; nothing was done\n";
            return Usage;
        }
        if (!isValidUtf8(lineText)) {
            err << where << "not valid UTF-8; nothing was done\n";
            return Usage;
        }
        // A NUL would end the value early when it reaches a box, so the line could not say what it says.
        if (lineText.find('\0') != std::string::npos) {
            err << where << "holds a NUL character; nothing was done\n";
            return Usage;
        }
        const std::size_t first = lineText.find_first_not_of(" \t");
        if (first == std::string::npos || lineText[first] == '#') {
            continue;
        }
        std::vector<std::string> words;
        std::string problem;
        if (!splitWords(lineText, words, problem)) {
            err << where << problem << "; nothing was done\n";
            return Usage;
        }
        int status = 0;
        std::optional<Command> command = parse(
            words, true,
            [&](const CLI::ParseError& e, CLI::App&) {
                const std::string reason = e.get_exit_code() == 0 ? "help is no command of a batch" : e.what();
                err << where << reason << "; nothing was done\n";
            },
            status);
        if (!command) {
            return Usage;
        }
        commands.emplace_back(number, std::move(*command));
    }

    Runner runner(dir, out, err);
    std::vector<int> failed;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const auto& [lineNumber, command] = commands[i];
        runner.setPrefix("line " + std::to_string(lineNumber) + ": ");
        if (runner.run(command) == Done) {
            continue;
        }
        failed.push_back(lineNumber);
        if (!c.keepGoing) {
            if (i + 1 < commands.size()) {
                const std::size_t left = commands.size() - i - 1;
                err << "batch: stopped at line " << lineNumber << "; " << left
                    << (left == 1 ? " command after it was" : " commands after it were") << " not run\n";
            }
            return Failed;
        }
    }
    if (!failed.empty()) {
        err << "batch: " << failed.size() << " of " << commands.size() << " commands failed (line";
        for (std::size_t i = 0; i < failed.size(); ++i) {
            err << (i == 0 ? failed.size() == 1 ? " " : "s " : ", ") << failed[i];
        }
        err << ")\n";
        return Failed;
    }
    return Done;
}

} // namespace

bool isCommand(std::string_view word) {
    CLI::App app;
    Command command;
    describe(app, command, false);
    for (const CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_name() == word) {
            return true;
        }
    }
    return false;
}

int runCommandLine(int argc, const char* const* argv, const std::filesystem::path& dir, std::ostream& out,
                   std::ostream& err) {
    std::vector<std::string> words(argv + std::min(argc, 1), argv + argc);
    int status = 0;
    const std::optional<Command> command = parse(
        words, false, [&](const CLI::ParseError& e, CLI::App& app) { app.exit(e, out, err); }, status);
    if (!command) {
        return status;
    }
    std::filesystem::path folder = dir;
    if (!command->folder.empty()) {
        folder = dir / command->folder;
        std::error_code ec;
        const bool reading = command->kind == Kind::List || command->kind == Kind::History;
        if (!std::filesystem::is_directory(folder, ec)) {
            err << "clipnest: cannot work in " << command->folder << ": "
                << (std::filesystem::exists(folder, ec) ? "not a folder" : "no such folder") << '\n';
            return Usage;
        }
        if (!reading && ::access(folder.c_str(), W_OK | X_OK) != 0) {
            err << "clipnest: cannot work in " << command->folder << ": the folder cannot be written\n";
            return Usage;
        }
    }
    if (command->kind == Kind::Batch) {
        return batch(*command, folder, out, err);
    }
    return Runner(folder, out, err).run(*command);
}

} // namespace clipnest::cli
