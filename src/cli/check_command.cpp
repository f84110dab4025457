#include "cli/commands.h"
#include "publish/check.h"
#include "text/page_text.h"

namespace clipnest::cli {

Status runCheck(Runner& r, const Args& a) {
    publish::Settings settings;
    std::string error;
    if (!publish::loadSettings(r.dir(), settings, error)) {
        r.line(error);
        return Failed;
    }
    publish::CheckReport report = publish::checkChannel(r.dir(), settings);
    if (a.fix) {
        bool fixed = false;
        for (const publish::Problem& problem : report.problems) {
            if (!problem.slowStart) {
                continue;
            }
            const std::string why = publish::moveIndexToFront(r.dir(), problem.file);
            if (why.empty()) {
                r.out() << "Moved the index of " << codePageToUtf8(problem.file) << " to its front.\n";
                fixed = true;
            } else {
                r.line(codePageToUtf8(problem.file + " was not mended: " + why));
            }
        }
        if (fixed) {
            report = publish::checkChannel(r.dir(), settings);
        }
    }
    for (const std::string& note : report.notes) {
        r.line(note, true);
    }
    for (const publish::Problem& problem : report.problems) {
        r.out() << codePageToUtf8(problem.file + ": " + problem.text) << '\n';
    }
    return report.problems.empty() ? Done : Failed;
}

} // namespace clipnest::cli
