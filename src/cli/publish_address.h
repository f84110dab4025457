#pragma once

#include "cli/runner.h"
#include "publish/destination.h"

#include <optional>

namespace clipnest::cli {

// The server a publish or a fetch of comments talks to: --to, else the address kept in the settings, checked.
// Nothing when there is none or it is refused, which has been said, with the exit status in `status`. A new address
// is kept when `keep` holds.
std::optional<publish::Destination> destinationOf(Runner& runner, const Args& args, bool keep, Status& status);

} // namespace clipnest::cli
