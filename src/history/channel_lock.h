#pragma once

#include "platform/file_lock.h"
#include "platform/working_folder.h"

#include <memory>
#include <string_view>

namespace clipnest {

// One writer a channel folder: whatever changes the channel's files (a command, a click's chain, a batch, an undo)
// holds this lock from its first read of the homepage to its last write, so two instances never work from the same
// homepage and write over each other's entries.
class ChannelLock {
public:
    // What the writer that did not get the lock says; it has written nothing.
    static constexpr std::string_view BusyWords = "Another Clipnest is changing this channel; try again";
    // How long a second writer waits for the first to finish.
    static constexpr int DefaultWaitMs = 4000;
    // How long a click in the window waits: it waits on the window's own thread, so barely, and the window says at
    // once that the channel is busy instead of freezing.
    static constexpr int ClickWaitMs = 100;

    // Takes the lock of the folder's channel, waiting up to `waitMs` while another holds it. False only when another
    // still holds it then; a folder where no lock can be made (read-only) is let through, as its writes then fail and
    // say why.
    bool take(const WorkingFolder& folder, int waitMs = DefaultWaitMs);
    void release() { lock_.reset(); }
    bool held() const { return lock_ != nullptr; }

private:
    std::unique_ptr<FileLock> lock_;
};

} // namespace clipnest
