#include "cli/commands.h"
#include "cli/publish_address.h"
#include "platform/code_page.h"
#include "platform/message_text.h"
#include "platform/process.h"
#include "publish/connection_check.h"

namespace clipnest::cli {

// Connects to the publish address (or --to, which is not kept), looks for its folder and tries a small file there:
// the one line the test ends with, exit status 0 only when the folder can be written.
Status runConnection(Runner& r, const Args& a) {
    Status status = Done;
    const std::optional<publish::Destination> to = destinationOf(r, a, false, status);
    if (!to) {
        return status;
    }
    std::optional<InterruptScope> interrupt(std::in_place);
    const publish::ConnectionReport report = publish::checkConnection(to->settings, &interrupt->flag());
    interrupt.reset();
    if (report.outcome == publish::ConnectionReport::Outcome::Writable) {
        r.out() << report.text << '\n' << std::flush;
        return Done;
    }
    r.line("connection: " + messageToUtf8(report.text));
    return report.outcome == publish::ConnectionReport::Outcome::BadAddress ? Usage : Failed;
}

} // namespace clipnest::cli
