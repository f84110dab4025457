#include "cli/commands.h"
#include "cli/publish_address.h"
#include "comments/moderation.h"
#include "core/form.h"
#include "platform/clock.h"
#include "platform/message_text.h"
#include "platform/process.h"
#include "publish/destination.h"
#include "publish/file_rates.h"
#include "publish/publisher.h"
#include "publish/settings.h"
#include "text/page_text.h"
#include "text/safe_text.h"
#include "text/text_ops.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

namespace clipnest::cli {

namespace {

// "4 min left", "35 s left"; nothing while unknown.
std::string timeLeft(int seconds) {
    if (seconds < 0) {
        return "";
    }
    if (seconds < 60) {
        return ", " + std::to_string(seconds) + " s left";
    }
    if (seconds < 3600) {
        return ", " + std::to_string((seconds + 30) / 60) + " min left";
    }
    return ", " + std::to_string(seconds / 3600) + " h " + std::to_string(seconds % 3600 / 60) + " min left";
}

// In a terminal each file shows its percent, size and its own connection's rate while it goes and one line when it is
// done, and the last line tells how far the whole publish is; in a script nothing but the summary.
publish::Events terminalProgress(std::ostream& out) {
    if (!outputIsTerminal()) {
        return {};
    }
    struct Shown {
        publish::FileRates rates;
        std::string whole; // the whole publish's figures, as the last line shows them
        std::size_t count = 0, done = 0;
    };
    auto shown = std::make_shared<Shown>();
    const auto fileLine = [shown](const publish::ChannelFile& f, std::uintmax_t sent, double rate) {
        return joined({"[", std::to_string(std::min(shown->done + 1, shown->count)), "/", std::to_string(shown->count),
                       "] ", safeText(codePageToUtf8(f.name)), "  ",
                       std::to_string(f.now.size ? sent * 100 / f.now.size : 100), "%  ", readableSize(f.now.size),
                       "  ", readableSize(static_cast<std::uintmax_t>(rate)), "/s"});
    };
    publish::Events events;
    events.starting = [shown](const publish::ChannelFile& f, std::size_t done, std::size_t count) {
        shown->done = done;
        shown->count = count;
        shown->rates.started(f.name, monotonicMs());
    };
    events.progress = [&out, shown, fileLine](const publish::ChannelFile& f, std::uintmax_t sent, std::uintmax_t) {
        if (const std::optional<double> rate = shown->rates.progress(f.name, sent, monotonicMs())) {
            out << "\r" << fileLine(f, sent, *rate) << "  " << shown->whole << "\033[K" << std::flush;
        }
    };
    events.finished = [&out, shown, fileLine](const publish::ChannelFile& f, const std::string& failure) {
        const double rate = shown->rates.finished(f.name, f.now.size, monotonicMs());
        if (failure.empty()) {
            out << "\r" << fileLine(f, f.now.size, rate) << "\033[K\n";
        } else {
            out << "\r[" << std::min(shown->done + 1, shown->count) << "/" << shown->count << "] "
                << codePageToUtf8(f.name) << " failed\033[K\n";
        }
        out << shown->whole << "\033[K" << std::flush;
        ++shown->done;
    };
    events.overall = [&out, shown](const publish::Overall& o) {
        shown->whole = "all: " + std::to_string(o.filesDone) + " of " + std::to_string(o.files) + " files, " +
                       readableSize(o.bytesDone) + " of " + readableSize(o.bytes) + ", " +
                       readableSize(static_cast<std::uintmax_t>(o.bytesPerSecond)) + "/s" + timeLeft(o.secondsLeft);
        if (o.filesDone == o.files) {
            out << "\r" << shown->whole << "\033[K\n" << std::flush;
        }
    };
    return events;
}

// "a.mp4", "a.mp4 and b.php", "a.mp4, b.php, c.php and 4 more".
std::string someNames(const std::vector<std::string>& names) {
    std::string said;
    const std::size_t shown = names.size() > 4 ? 3 : names.size();
    for (std::size_t i = 0; i < shown; ++i) {
        said += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    if (shown < names.size()) {
        said += " and " + std::to_string(names.size() - shown) + " more";
    }
    return said;
}

} // namespace

std::optional<publish::Destination> destinationOf(Runner& r, const Args& a, bool keep, Status& status) {
    Result<publish::Destination, publish::DestinationProblem> to =
        publish::chooseDestination(r.dir(), a.to, a.insecure, keep);
    if (!to) {
        const publish::DestinationProblem& problem = to.error();
        const std::string command = a.command ? a.command->name : "publish";
        using Kind = publish::DestinationProblem::Kind;
        status = Usage;
        switch (problem.kind) {
        case Kind::Settings:
            r.line(problem.text);
            status = Failed;
            break;
        case Kind::NoAddress:
            r.line(command + ": say where to, once: clipnest publish --to sftp://user@host/folder (or ftps://...)");
            break;
        case Kind::PlainFtp:
            r.line(command + ": " + problem.text + ", or add --insecure");
            break;
        case Kind::BadAddress:
            r.line(command + ": " + problem.text);
            break;
        }
        return std::nullopt;
    }
    for (const std::string& note : to->notes) {
        r.line(note, true);
    }
    return std::move(*to);
}

// Keeps the channel's address in its settings and writes what is made from it; a value that is none is refused.
Status setSite(Runner& r, const std::string& site) {
    if (const std::optional<std::string> refusal = publish::siteRefusal(site)) {
        r.line("publish: " + *refusal);
        return Usage;
    }
    Result<publish::Settings> settings = publish::loadSettings(r.dir());
    if (!settings) {
        r.line(why(settings));
        return Failed;
    }
    settings->site = site;
    if (!publish::saveSettings(r.dir(), *settings)) {
        r.line("publish: the channel's address could not be kept in " + std::string(publish::SettingsFile));
        return Failed;
    }
    r.line("The channel's address is now " + site + ".");
    r.begin();
    r.print(r.click([](Form& f) { f.writeDiscoveryFiles(); }));
    return r.finish("The share tags, feed.xml and sitemap.xml were as they are.");
}

namespace {

void printDryRun(Runner& r, const publish::Report& report, const std::string& where) {
    std::uintmax_t bytes = 0;
    for (const publish::ChannelFile& f : report.changed) {
        bytes += f.now.size;
        r.out() << safeText(codePageToUtf8(f.name)) << '\t' << readableSize(f.now.size) << '\n';
    }
    for (const RenamePair& pair : report.renamed) {
        r.out() << "rename " << safeText(codePageToUtf8(pair.from)) << " to " << safeText(codePageToUtf8(pair.to))
                << '\n';
    }
    for (const std::string& name : report.removed) {
        r.out() << "remove " << safeText(codePageToUtf8(name)) << '\n';
    }
    if (report.changed.empty() && report.renamed.empty() && report.removed.empty()) {
        r.out() << "Nothing changed since the last publish to " << where << ".\n";
        return;
    }
    const std::size_t n = report.changed.size();
    r.out() << n << (n == 1 ? " file, " : " files, ") << readableSize(bytes) << ", would be uploaded to " << where
            << ".\n";
}

// What did not go as planned, a line each: a file's own problem, what was held back or left as the server's, and
// what a lost connection or a stop cut off.
void printProblems(Runner& r, const publish::Report& report) {
    // The names are the channel's, in the code page; the reasons may hold the server's words, in UTF-8.
    for (const auto& [name, reason] : report.failed) {
        r.line(codePageToUtf8(name) + " was not uploaded: " + messageToUtf8(reason));
    }
    for (const auto& [name, reason] : report.held) {
        r.line(codePageToUtf8(name) + " was held back: " + messageToUtf8(reason));
    }
    for (const std::string& name : report.kept) {
        const std::string shown = codePageToUtf8(name);
        r.line(shown + " was not replaced: the server has a " + shown +
               " that Clipnest did not put there, with other bytes; clipnest publish --replace=" + shellWord(shown) +
               " replaces it");
    }
    if (!report.stopped.empty()) {
        r.line("publish: " + messageToUtf8(report.stopped));
    }
    if (!report.cutOff.empty()) {
        std::vector<std::string> names;
        for (const std::string& name : report.cutOff) {
            names.push_back(codePageToUtf8(name));
        }
        r.line(someNames(names) + (report.cutOff.size() == 1 ? " was" : " were") +
               " not uploaded; the next publish uploads " + (report.cutOff.size() == 1 ? "it" : "them"));
    }
    if (report.cancelled) {
        r.line("publish: stopped; the next publish uploads the rest");
    }
}

// What a publish that reached its server did, and what it did not.
Status printPublished(Runner& r, const publish::Report& report, const std::string& where) {
    for (const RenamePair& pair : report.renamed) {
        r.out() << "Renamed " << safeText(codePageToUtf8(pair.from)) << " to " << safeText(codePageToUtf8(pair.to))
                << " on the server.\n";
    }
    if (!report.removed.empty()) {
        std::vector<std::string> names;
        for (const std::string& name : report.removed) {
            names.push_back(codePageToUtf8(name));
        }
        r.out() << "Removed " << safeText(someNames(names)) << " from the server.\n";
    }
    printProblems(r, report);
    if (report.changed.empty()) {
        r.out() << "Nothing changed since the last publish to " << where << ".\n";
        return Done;
    }
    const std::size_t n = report.changed.size();
    r.out() << "Uploaded " << report.uploaded.size() << " of " << n << " changed file" << (n == 1 ? "" : "s")
            << (report.found.empty() ? "" : " (" + std::to_string(report.found.size()) + " more were there already)")
            << " to " << where << ".\n"
            << std::flush;
    return report.whole() ? Done : Failed;
}

} // namespace

Status runPublish(Runner& r, const Args& a) {
    Status status = Done;
    if (a.site) {
        status = setSite(r, *a.site);
        // Only the address was asked for, unless there is somewhere to publish to.
        if (status != Done || (a.to.empty() && publish::keptAddress(r.dir()).empty())) {
            return status;
        }
    }
    // A new address is kept once the publish has reached its server, not before: one that fails is not kept.
    const std::optional<publish::Destination> to = destinationOf(r, a, false, status);
    if (!to) {
        return status;
    }
    // A changed setting of the comments reaches the server with this publish.
    if (!a.dryRun) {
        if (const std::optional<std::string> problem = publish::updateModeration(r.dir())) {
            r.line(*problem, true);
        }
    }
    publish::Options options{a.dryRun, a.strict, a.remove, {}};
    for (const std::string& name : a.replace) {
        options.replace.insert(toCodePage(name).value_or(name));
    }
    // Ctrl+C stops the publish between two writes; the next one uploads the rest.
    std::optional<InterruptScope> interrupt(std::in_place);
    const publish::Report report = publish::publishChannel(r.dir(), to->settings, to->target, terminalProgress(r.out()),
                                                           interrupt->flag(), options);
    interrupt.reset();
    if (outputIsTerminal()) {
        // The progress line of a publish that did not come to its end gives way to what is said of it.
        r.out() << "\r\033[K" << std::flush;
    }
    for (const std::string& note : report.notes) {
        r.line(messageToUtf8(note), true);
    }
    if (!report.error.empty()) {
        r.line("publish: " + messageToUtf8(report.error));
        return Failed;
    }
    if (!a.dryRun && !a.to.empty()) {
        if (const std::optional<std::string> problem =
                publish::keepAddress(r.dir(), to->settings.to, to->settings.insecure)) {
            r.line(*problem, true);
        }
    }
    const std::string where = safeText(to->target.display());
    if (a.dryRun) {
        printDryRun(r, report, where);
        return Done;
    }
    return printPublished(r, report, where);
}

} // namespace clipnest::cli
