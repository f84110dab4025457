#pragma once

#include "publish/remote.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace clipnest::publish {

// The connections of one publish: the first made at once, the others only when there is enough to share, each kept
// from one batch of files to the next.
class Connections {
public:
    Connections(RemoteMaker open, int most) : open_(std::move(open)), most_(most < 1 ? 1 : most) {}

    // Makes the first connection; empty when ready, else why not.
    std::string connect();
    // The first connection, for what is done one thing at a time (looking, renaming, removing).
    Remote& first() { return *remotes_.front(); }

    // What becomes of each file handed to put, as it comes to its end; called one at a time.
    struct Events {
        std::function<void(std::size_t index)> started;
        std::function<void(std::size_t index, std::uintmax_t sent, std::uintmax_t total)> progress;
        std::function<void(std::size_t index, const std::string& problem)> finished;
    };

    // Puts the files, shared out over the connections; each file is finished once, those a lost connection never
    // came to with its problem. Returns the problem of the connection that was lost, else empty.
    std::string put(const std::vector<Upload>& files, const Events& events, const std::atomic<bool>& cancel);

private:
    struct Queue;
    void work(Remote& remote, Queue& queue, const std::vector<Upload>& files, const Events& events,
              const std::atomic<bool>& cancel);

    RemoteMaker open_;
    int most_;
    std::vector<std::unique_ptr<Remote>> remotes_;
    std::vector<char> usable_; // a connection the host refused is left out (char: set from threads of its own)
};

} // namespace clipnest::publish
