#include "publish/file_rates.h"

#include <algorithm>

namespace clipnest::publish {

namespace {

double perSecond(std::uintmax_t bytes, std::int64_t ms) {
    return static_cast<double>(bytes) * 1000.0 / static_cast<double>(std::max<std::int64_t>(ms, 1));
}

} // namespace

void FileRates::started(const std::string& name, std::int64_t ms) {
    going_[name] = Going{ms, ms, 0, false};
}

std::optional<double> FileRates::progress(const std::string& name, std::uintmax_t sent, std::int64_t ms) {
    Going& g = going_.try_emplace(name, Going{ms, ms, 0, false}).first->second;
    if (!g.figured) {
        g.figured = true;
        g.first = sent;
        g.firstAt = ms;
        return std::nullopt;
    }
    return perSecond(sent > g.first ? sent - g.first : 0, ms - g.firstAt);
}

double FileRates::finished(const std::string& name, std::uintmax_t size, std::int64_t ms) {
    const auto at = going_.find(name);
    if (at == going_.end()) {
        return 0;
    }
    const Going g = at->second;
    going_.erase(at);
    // A file that came in one figure (small, or sent before the first one was told) is timed from its start.
    if (!g.figured || size <= g.first || ms <= g.firstAt) {
        return perSecond(size, ms - g.began);
    }
    return perSecond(size - g.first, ms - g.firstAt);
}

} // namespace clipnest::publish
