#include "cli/commands.h"
#include "history/originals.h"
#include "media/check.h"
#include "media/convert.h"
#include "media/ffmpeg.h"
#include "platform/process.h"
#include "platform/working_folder.h"
#include "publish/settings.h"
#include "text/page_text.h"
#include "text/safe_text.h"
#include "text/text_ops.h"

#include <algorithm>

namespace clipnest::cli {

namespace {

// Converts each video browsers cannot play, as an operation of the session each (which takes the channel's lock
// itself); false when the user cancelled one.
bool convertUnplayable(Runner& r, const media::CheckReport& report, const publish::Settings& settings, bool& fixed) {
    if (const std::string problem = media::encoderProblem(); !problem.empty()) {
        r.line(problem + ".");
        return true;
    }
    const InterruptScope interrupt;
    r.begin();
    for (const media::Problem& problem : report.problems) {
        if (!problem.unplayable) {
            continue;
        }
        const ConvertEnd end = convertOne(r, problem.file, settings, false, &interrupt.flag());
        fixed = fixed || end == ConvertEnd::Converted;
        if (end == ConvertEnd::Cancelled) {
            r.line("Cancelled: " + codePageToUtf8(problem.file) + " is as it was.");
            return false;
        }
    }
    return true;
}

// Moves the index of each video that starts slowly to its front, under the channel's lock.
void moveIndexes(Runner& r, const media::CheckReport& report, bool& fixed) {
    WorkingFolder folder(r.dir());
    for (const media::Problem& problem : report.problems) {
        if (!problem.slowStart) {
            continue;
        }
        const std::string why = media::moveIndexToFront(folder, problem.file);
        if (why.empty()) {
            r.out() << "Moved the index of " << safeText(codePageToUtf8(problem.file)) << " to its front.\n";
            fixed = true;
        } else {
            r.line(codePageToUtf8(problem.file + " was not mended: " + why));
        }
    }
}

} // namespace

Status runCheck(Runner& r, const Args& a) {
    const Result<publish::Settings> loaded = publish::loadSettings(r.dir());
    if (!loaded) {
        r.line(why(loaded));
        return Failed;
    }
    const publish::Settings& settings = *loaded;
    const media::CheckOptions options{settings.maxUpload, publish::SettingsFile, std::nullopt};
    media::CheckReport report = media::checkChannel(r.dir(), options);
    if (a.fix && std::any_of(report.problems.begin(), report.problems.end(),
                             [](const media::Problem& p) { return p.unplayable; })) {
        bool converted = false;
        if (!convertUnplayable(r, report, settings, converted)) {
            return Failed;
        }
        if (converted) {
            report = media::checkChannel(r.dir(), options);
        }
    }
    ChannelLock lock;
    if (a.fix && !lockChannel(r, lock)) {
        return Failed;
    }
    if (bool moved = false; a.fix) {
        moveIndexes(r, report, moved);
        if (moved) {
            report = media::checkChannel(r.dir(), options);
        }
    }
    for (const std::string& note : report.notes) {
        r.line(note, true);
    }
    if (const OriginalsUse kept = originalsKept(WorkingFolder(r.dir())); kept.files > 0) {
        r.line("Originals kept: " + std::to_string(kept.files) + (kept.files == 1 ? " file, " : " files, ") +
                   readableSize(kept.bytes) + "; clipnest originals --remove frees them",
               true);
    }
    if (settings.site.empty()) {
        r.line("the channel has no address of its own, so no share tags, feed.xml or sitemap.xml are written: set it "
               "once with clipnest publish --site https://example.net/your-folder/",
               true);
    }
    if (!settings.notify.empty() && settings.site.empty()) {
        r.line("notify is set but the channel has no address (site): the mails will carry no link", true);
    }
    for (const media::Problem& problem : report.problems) {
        r.out() << safeText(codePageToUtf8(problem.file + ": " + problem.text)) << '\n';
    }
    return report.problems.empty() ? Done : Failed;
}

} // namespace clipnest::cli
