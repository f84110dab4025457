#include "publish/connection_check.h"

namespace clipnest::publish {

ConnectionReport checkConnection(const Settings&, const std::atomic<bool>*) {
    return {ConnectionReport::Outcome::Unreachable, "the connection test is not ready yet", {}};
}

Result<std::vector<std::string>> listFolders(const Settings&, const std::string&) {
    return Failure{"the folders cannot be listed yet"};
}

} // namespace clipnest::publish
