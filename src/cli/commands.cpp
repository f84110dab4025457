#include "cli/commands.h"

#include "cli/suggestions.h"

#include <CLI/CLI.hpp>
#include <array>

namespace clipnest::cli {

namespace {

void entryOptions(CLI::App& e, Args& a) {
    e.add_option("NAME", a.name, "The video's file name, with its extension")->required();
    e.add_option("--homepage", a.homepage, "The description for the homepage");
    e.add_option("--individual", a.individual,
                 "The description for the video's page (the homepage description when left out)");
    e.add_flag("--homepage-only", a.homepageOnly, "Change the homepage description only");
    e.add_flag("--create-page", a.createPage, "When the entry's page is missing, create it");
}

void deleteOptions(CLI::App& d, Args& a) {
    d.add_option("NAME", a.name, "The video's file name, with its extension")->required();
}

void insertOptions(CLI::App& i, Args& a) {
    i.add_option("NAME", a.name, "The new video's file name, with its extension")->required();
    i.add_option("--above", a.anchor, "The file name of the entry that is to stand below the new one")->required();
    i.add_option("--homepage", a.homepage, "The description for the homepage");
    i.add_option("--individual", a.individual,
                 "The description for the video's page (the homepage description when left out)");
}

void moveOptions(CLI::App& m, Args& a) {
    m.add_option("NAME", a.name, "The file name of the entry to move")->required();
    CLI::Option* above = m.add_option("--above", a.anchor, "The file name of the entry that is to stand below it");
    CLI::Option* toEnd = m.add_flag("--to-end", a.toEnd, "Move it behind the last entry");
    above->excludes(toEnd);
    toEnd->excludes(above);
}

void addOptions(CLI::App& a, Args& args) {
    a.add_option("FILE", args.names, "The videos: names of files in the channel folder, or paths to them");
    a.add_flag("--new", args.newVideos, "Every video in the folder (.mp4, .m4v, .mov, .webm) that no entry names");
}

void titleOptions(CLI::App& t, Args& a) {
    t.add_option("--title", a.title, "The homepage title");
    t.add_option("--message", a.message, "The homepage message");
}

void renameOptions(CLI::App& r, Args& a) {
    r.add_option("OLD", a.oldName, "The file's present name")->required();
    r.add_option("NEW", a.newName, "The file's new name")->required();
    r.add_flag("--file-only", a.fileOnly,
               "Rename only this file on the server, even when it is an entry's video (which otherwise takes its "
               "entry, page and comments along)");
}

void noOptions(CLI::App&, Args&) {}

void undoOptions(CLI::App& u, Args& a) {
    u.add_flag("--force", a.force, "Undo even when a file was changed by hand after that operation");
}

void historyOptions(CLI::App& h, Args& a) {
    h.add_option("--limit", a.limit, "Keep the last N operations from now on (50 unless set)")
        ->check(CLI::Range(1, History::Largest))
        ->type_name("N");
}

void batchOptions(CLI::App& b, Args& a) {
    b.add_option("FILE", a.batchFile, "The file of commands");
    b.add_flag("--keep-going", a.keepGoing, "Run the lines after a failed one too; exit 1 at the end");
}

void publishOptions(CLI::App& p, Args& a) {
    p.add_option("--to", a.to,
                 "The server and folder, sftp://user@host/path or ftps://user@host/path, the path inside the login "
                 "folder (sftp://host//var/www for a folder from the server's root); kept once a publish reached it")
        ->type_name("URL");
    p.add_option("--site", a.site,
                 "The channel's own address, https://example.net/garden/, for the share tags, feed.xml and "
                 "sitemap.xml; kept for the next time")
        ->type_name("URL");
    p.add_flag("--dry-run", a.dryRun, "Only list what would be uploaded, and its size");
    p.add_flag("--insecure", a.insecure, "Allow plain ftp://, which sends the password unencrypted");
    p.add_flag("--strict", a.strict, "Upload nothing when clipnest check finds a problem");
    p.add_flag("--delete", a.remove,
               "Remove from the server what this channel put there and no longer has (a deleted entry's page, video, "
               "poster and captions); never a comments file, never a file it did not put there");
    p.add_option("--replace", a.replace,
                 "A file on the server that Clipnest did not put there, to be replaced all the same (may be given "
                 "more than once)")
        ->type_name("NAME");
}

void connectionOptions(CLI::App& c, Args& a) {
    c.add_option("ACTION", a.name, "test: connect, log in, look for the folder and try writing a small file there")
        ->required()
        ->check(CLI::IsMember({"test"}));
    c.add_option("--to", a.to,
                 "The server and folder to test, when not the one publish uses (the path inside the login folder, "
                 "//path from the server's root); not kept")
        ->type_name("URL");
    c.add_flag("--insecure", a.insecure, "Allow plain ftp://, which sends the password unencrypted");
}

void checkOptions(CLI::App& c, Args& a) {
    c.add_flag("--fix", a.fix,
               "Convert each video browsers do not play (as clipnest convert does), and move the index of each MP4 "
               "that has it at the end to the front (with ffmpeg)");
}

void convertOptions(CLI::App& c, Args& a) {
    c.add_option("NAME", a.names, "The videos' file names")->required();
    c.add_flag("--small", a.small, "At most 720 lines high (max_height in .clipnest/publish.conf otherwise, 1080)");
}

void originalsOptions(CLI::App& o, Args& a) {
    o.add_flag("--remove", a.remove,
               "Delete the kept originals; the conversions that kept them can then no longer be undone");
}

void commentsOptions(CLI::App& c, Args& a) {
    c.add_option("--to", a.to, "The server and folder, when not the one publish uses")->type_name("URL");
    c.add_flag("--offline", a.offline, "List the comments fetched last, without asking the server");
    c.add_flag("--new", a.onlyNew, "List only the comments the last fetch saw first");
    c.add_flag("--insecure", a.insecure, "Allow plain ftp://, which sends the password unencrypted");
}

void commentOptions(CLI::App& c, Args& a) {
    c.add_option("VIDEO", a.name, "The video's file name, as its entry names it")->required();
    c.add_option("N", a.number, "The comment's number, as clipnest comments lists it")
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                if (!text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos &&
                    text.find_first_not_of('0') != std::string::npos) {
                    return {};
                }
                return "comments are numbered from 1, as clipnest comments lists them; '" + text +
                       "' is not one of those numbers";
            },
            "N"));
}

void replyOptions(CLI::App& c, Args& a) {
    commentOptions(c, a);
    c.add_option("TEXT", a.text, "The reply's words (quoted as one argument)")->required();
}

void postersOptions(CLI::App& p, Args& a) {
    p.add_option("NAME", a.names, "The entries' video file names; every entry when none is given");
    p.add_option("--at", a.at, "Take the frame this many seconds into the video")
        ->check(CLI::NonNegativeNumber)
        ->type_name("SECONDS");
}

void captionsOptions(CLI::App& c, Args& a) {
    c.add_option("NAME", a.names, "The entries' video file names; every entry when none is given");
}

void threadOptions(CLI::App& t, Args& a) {
    t.add_option("VIDEO", a.name, "The video's file name, as its entry names it")->required();
}

// name, help, in a batch, start-up notes, options, run.
constexpr std::array<Command, 28> Table = {{
    {"entry",
     "Create/Change Entry: adds the video's entry to the homepage and makes its page, or changes the descriptions of "
     "an entry that is there.",
     Command::Batch::InMemory, true, entryOptions, runEntry},
    {"delete", "Delete Entry on Homepage: takes the video's entry off the homepage.", Command::Batch::InMemory, false,
     deleteOptions, runDelete},
    {"insert", "Insert an entry: adds a new entry in front of an existing one.", Command::Batch::InMemory, false,
     insertOptions, runInsert},
    {"move",
     "Moves an entry above another (--above OTHER) or behind the last one (--to-end): its block of the homepage "
     "moves as it stands, with the host's own edits in it.",
     Command::Batch::OnDisk, false, moveOptions, runMove},
    {"add",
     "Adds each video as an entry behind the last one, its homepage and page descriptions made from its file name "
     "(rose_pruning-2026.mp4: \"Rose pruning 2026\"), with its poster; --new adds every video of the folder that no "
     "entry names, in name order. One operation for undo. A file outside the folder, a name the pages refuse and a "
     "video that has an entry are named and skipped; the others are added.",
     Command::Batch::OnDisk, true, addOptions, runAdd},
    {"title", "Update Title/Message: sets the homepage's title and message.", Command::Batch::InMemory, true,
     titleOptions, runTitle},
    {"rename",
     "Create Page for Name Change: writes change_file_name.php, which renames a file on the server once when called "
     "up in a browser. An entry's video takes its entry, page and local files along.",
     Command::Batch::OnDisk, true, renameOptions, runRename},
    {"posters",
     "Makes or remakes NAME.jpg, the poster a visitor sees before the video plays, for each named entry (every entry "
     "when none is named) from a frame of its video, with ffmpeg; the entry's video tags on the homepage and its "
     "page then name it and fetch nothing of the video before it is played. Replaces a poster that is there.",
     Command::Batch::OnDisk, false, postersOptions, runPosters},
    {"captions",
     "Puts a caption track on the page of each named entry (every entry when none is named) for each of its caption "
     "files beside the video: NAME.vtt and NAME.LANG.vtt (roses.en.vtt), the first shown by default. A NAME.srt or "
     "NAME.LANG.srt without its .vtt is converted to one first. Every operation that writes a page does the same.",
     Command::Batch::OnDisk, false, captionsOptions, runCaptions},
    {"convert",
     "Makes each named video that browsers do not play (HEVC .mov, MPEG-2 .mpg, AVI, WMV) an MP4 every browser plays, "
     "with ffmpeg: H.264 and AAC, at most max_height lines high (1080; --small 720), its index in front. A name that "
     "changes (clip.mov to clip.mp4) takes its entry, page and files along, as rename does. The original is kept in "
     ".clipnest/originals; each video is one operation for undo. A video that plays already is left alone.",
     Command::Batch::Never, false, convertOptions, runConvert},
    {"originals",
     "Says how many originals the conversions kept in .clipnest/originals and their size; --remove deletes them.",
     Command::Batch::Never, false, originalsOptions, runOriginals},
    {"list",
     "Lists the homepage's entries, one a line: file name, a tab, the homepage description as the page shows it.",
     Command::Batch::OnDisk, true, noOptions, runList},
    {"undo",
     "Puts back the files of the last operation as they were before it, and removes the files it created. Run "
     "again, it undoes the one before.",
     Command::Batch::OnDisk, true, undoOptions, runUndo},
    {"batch",
     "Runs the commands in FILE (standard input when FILE is - or left out), one a line, quoted as in a shell; a line "
     "starting with # is a comment. All lines run in one session. Lines that only edit the pages (entry, delete, "
     "insert, title) and come after the batch's last undo run in memory: a run of them writes its files together "
     "at its end and is one operation for undo; every other line is one operation of its own. Stops at the first line "
     "that fails. Exit status 2 and nothing done when a line cannot be read as a command.",
     Command::Batch::Never, true, batchOptions, runBatch},
    {"history",
     "Lists the operations that can be undone, newest first: number, time, what was done, the files it wrote. With "
     "--limit, sets how many it keeps.",
     Command::Batch::Never, true, historyOptions, runHistory},
    {"preview",
     "Serves the channel folder with PHP's own server on 127.0.0.1, so the homepage, the video pages and their "
     "comment boxes can be seen before they are uploaded; prints the address, serves until Ctrl+C.",
     Command::Batch::Never, true, noOptions, runPreview},
    {"publish",
     "Brings the server's folder up to the channel: uploads what changed since the last publish there (the "
     "homepage, the video pages, the videos the entries name, their posters and captions, feed.xml and sitemap.xml, "
     "and the extra files of .clipnest/publish.conf), in an order that never links a file before it is there, and "
     "does the pending renames on the server. Never replaces a file it did not put there, never uploads the comment "
     "files, and deletes only with --delete. --site sets the channel's own address, from which the share tags, the "
     "feed and the sitemap are written.",
     Command::Batch::Never, true, publishOptions, runPublish},
    {"connection",
     "connection test: connects to the publish address (or --to) as publish would, logs in, looks for the folder and "
     "puts and removes a small file there; says in one line what it found (what the folder holds, or what the login "
     "folder holds when the folder is not there). Exit status 0 only when the folder can be written.",
     Command::Batch::Never, false, connectionOptions, runConnection},
    {"check",
     "Checks the channel before it goes up, one line a problem naming the file and how to mend it: entries whose "
     "video is not in the folder, video pages no entry links, names that do not survive an address, videos over "
     "max_upload, MP4s whose index is at the end (slow to start), and with ffprobe videos browsers do not play. Exit "
     "status 1 when it finds any. Publish runs it too.",
     Command::Batch::Never, false, checkOptions, runCheck},
    {"comments",
     "Fetches every video's comments from the server (the publish address) into .clipnest/comments and lists them, "
     "one a line: video, a tab, its number (1 for its oldest), a tab, date and time, a tab, the name the visitor "
     "gave (Anonymous when none, [host] for the host's own replies), a tab, the text (line breaks as \\n); the "
     "comments no fetch before saw say [new], those held for approval [held], hidden ones [hidden]. Then how many "
     "are new, and of which videos. With --new, only the new ones.",
     Command::Batch::Never, false, commentsOptions, runComments},
    {"hide",
     "Hides comment N of VIDEO (numbered as clipnest comments lists them) on its page, from the next publish on.",
     Command::Batch::Never, false, commentOptions, runHide},
    {"unhide", "Shows a hidden comment again, from the next publish on.", Command::Batch::Never, false, commentOptions,
     runUnhide},
    {"close", "Closes the comments of VIDEO, from the next publish on: its page shows them and takes no more.",
     Command::Batch::Never, false, threadOptions, runClose},
    {"open", "Opens the comments of a closed VIDEO again, from the next publish on.", Command::Batch::Never, false,
     threadOptions, runOpen},
    {"hold",
     "Holds the new comments of VIDEO for approval, from the next publish on: its page shows them once approved "
     "(comments = held in .clipnest/publish.conf holds every video's).",
     Command::Batch::Never, false, threadOptions, runHold},
    {"unhold", "Lets the new comments of VIDEO show at once again, from the next publish on.", Command::Batch::Never,
     false, threadOptions, runUnhold},
    {"approve", "Lets held comment N of VIDEO show on its page, from the next publish on.", Command::Batch::Never,
     false, commentOptions, runApprove},
    {"reply",
     "Posts the host's reply to comment N of VIDEO to the live page (at the channel's address, site), signed with "
     "the channel's comment secret; it starts with @NAME when the comment gave a name.",
     Command::Batch::Never, false, replyOptions, runReply},
}};

// Every command of the table and its options. A batch line holds only the commands that work on the channel.
void describe(CLI::App& app, Args& args, bool batchLine) {
    app.require_subcommand(1);
    if (!batchLine) {
        app.add_option("-C", args.folder, "Work on the channel folder DIR instead of the current folder")
            ->type_name("DIR");
        app.add_flag("-q,--quiet", args.quiet,
                     "Say nothing when an operation is done (entry, delete, insert, title, rename, batch), only "
                     "what went wrong and the notes");
    }
    for (const Command& command : Table) {
        if (batchLine && command.batch == Command::Batch::Never) {
            continue;
        }
        CLI::App* sub = app.add_subcommand(command.name, command.help);
        command.options(*sub, args);
        sub->callback([&args, &command] { args.command = &command; });
        // -C may also stand after the command, among the command's own options.
        sub->fallthrough();
    }
}

} // namespace

std::span<const Command> commands() {
    return Table;
}

std::optional<Args> parseCommand(const std::vector<std::string>& words, bool batchLine,
                                 const std::function<void(const CLI::ParseError&, CLI::App&)>& report, int& status) {
    CLI::App app("Keeps the homepage and video pages of a small video channel in the current folder. Without a "
                 "command, opens the window.",
                 "clipnest");
    if (!batchLine) {
        app.set_version_flag("--version", "clipnest " CLIPNEST_VERSION);
        app.footer("Exit status: 0 done, 1 the operation could not be done (the reason is on standard error), 2 usage "
                   "error. Undo keeps its copies in the hidden folder .clipnest, which stays on this computer.");
    }
    Args args;
    describe(app, args, batchLine);
    std::vector<const char*> argv = {"clipnest"};
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    try {
        std::vector<std::string> known;
        for (const CLI::App* sub : app.get_subcommands({})) {
            known.push_back(sub->get_name());
        }
        if (const std::optional<std::string> problem = usageProblem(words, known)) {
            throw CLI::ParseError(*problem, CLI::ExitCodes::ExtrasError);
        }
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        report(error, app);
        status = error.get_exit_code() == 0 ? Done : Usage;
        return std::nullopt;
    }
    return args;
}

} // namespace clipnest::cli
