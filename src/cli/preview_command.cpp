#include "cli/commands.h"
#include "platform/preview_server.h"
#include "platform/process.h"
#include "text/templates.h"

namespace clipnest::cli {

// Serves the folder until Ctrl+C (or the end of the session), saying what the server refused to run as it happens.
Status runPreview(Runner& r, const Args&) {
    PreviewServer server;
    const Result<std::string> address = server.start(r.dir(), templates::previewRouter());
    if (!address) {
        const std::string file = "file://" + (r.dir() / "homepage.html").lexically_normal().string();
        r.line(why(address) + ": open " + file +
               " in a browser to see the homepage; the video pages need php to preview.");
        return PreviewServer::phpInstalled() ? Failed : Done;
    }
    holdStopSignals();
    r.out() << "Serving the channel at " << *address << " (only on this computer); Ctrl+C stops." << std::endl;
    bool stopped = false;
    while (!stopped) {
        stopped = waitForStop(200);
        for (const std::string& note : server.takeNotes()) {
            r.line(note, true);
        }
    }
    server.stop();
    return Done;
}

} // namespace clipnest::cli
