#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace clipnest::publish {

// Each file's own rate while it goes up, from its own figures: with several connections side by side, each file's
// rate is its connection's, not the whole publish's share of one start time.
class FileRates {
public:
    // The file begins at `ms` (milliseconds on any one time line).
    void started(const std::string& name, std::int64_t ms);
    // Its rate in bytes a second from its first figure to `sent` now; nothing for the first figure, which has no time
    // behind it (and may be a part gone on from, which this publish did not send).
    std::optional<double> progress(const std::string& name, std::uintmax_t sent, std::int64_t ms);
    // Its rate over the whole of it, once it ended at `size` bytes; the file is forgotten.
    double finished(const std::string& name, std::uintmax_t size, std::int64_t ms);

private:
    struct Going {
        std::int64_t began = 0, firstAt = 0;
        std::uintmax_t first = 0;
        bool figured = false;
    };
    std::map<std::string, Going> going_;
};

} // namespace clipnest::publish
