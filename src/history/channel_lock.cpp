#include "history/channel_lock.h"

namespace clipnest {

bool ChannelLock::take(const WorkingFolder& folder, int waitMs) {
    if (lock_) {
        return true;
    }
    bool busy = false;
    if (folder.subfolder(".clipnest", true)) {
        lock_ = FileLock::lockWithin(folder.dir() / ".clipnest" / "channel.lock", waitMs, busy);
    }
    return lock_ || !busy;
}

} // namespace clipnest
