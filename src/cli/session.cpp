#include "cli/session.h"

namespace clipnest::cli {

namespace {

constexpr std::int64_t RunLimitMs = 60LL * 60 * 1000;

} // namespace

Session::Session(const std::filesystem::path& dir) : folder_(dir), form_(clock_, folder_) {
    // Start-up: the window is ready for a click once its start-up chain has ended.
    runInVirtualTime(form_.scheduler(), clock_, clock_.now + RunLimitMs, [this] { return form_.chainRunning(); });
}

bool Session::runToEnd() {
    return runInVirtualTime(form_.scheduler(), clock_, clock_.now + RunLimitMs, [] { return true; });
}

} // namespace clipnest::cli
