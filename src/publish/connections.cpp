#include "publish/connections.h"

#include <algorithm>
#include <mutex>
#include <thread>

namespace clipnest::publish {

namespace {

// Files handed to a connection at a time: small files go up several in flight.
constexpr std::size_t Batch = 16;

} // namespace

// The files of one put, shared out: the next batch for whichever connection is free.
struct Connections::Queue {
    std::mutex mutex;
    std::size_t next = 0;
    std::vector<bool> ended;
    std::string lost;
};

std::string Connections::connect() {
    if (remotes_.empty()) {
        remotes_.push_back(open_());
        usable_.push_back(1);
    }
    return remotes_.front()->connect();
}

// Takes batches from `queue` for `remote` until none is left, the work is stopped or the connection is lost.
void Connections::work(Remote& remote, Queue& queue, const std::vector<Upload>& files, const Events& events,
                       const std::atomic<bool>& cancel) {
    for (;;) {
        std::vector<std::size_t> batch;
        {
            const std::lock_guard guard(queue.mutex);
            while (batch.size() < Batch && queue.next < files.size() && queue.lost.empty() && !cancel) {
                batch.push_back(queue.next++);
            }
        }
        if (batch.empty()) {
            return;
        }
        std::vector<Upload> uploads;
        for (const std::size_t index : batch) {
            uploads.push_back(files[index]);
        }
        PutEvents put;
        put.started = [&](std::size_t k) {
            const std::lock_guard guard(queue.mutex);
            events.started(batch[k]);
        };
        put.progress = [&](std::size_t k, std::uintmax_t sent, std::uintmax_t total) {
            const std::lock_guard guard(queue.mutex);
            events.progress(batch[k], sent, total);
        };
        put.finished = [&](std::size_t k, const std::string& problem) {
            const std::lock_guard guard(queue.mutex);
            queue.ended[batch[k]] = true;
            events.finished(batch[k], problem);
        };
        if (const std::string lost = remote.put(uploads, put, cancel); !lost.empty()) {
            const std::lock_guard guard(queue.mutex);
            queue.lost = queue.lost.empty() ? lost : queue.lost;
            return;
        }
    }
}

std::string Connections::put(const std::vector<Upload>& files, const Events& events, const std::atomic<bool>& cancel) {
    Queue queue;
    queue.ended.assign(files.size(), false);
    const auto work = [&](Remote& remote) { this->work(remote, queue, files, events, cancel); };

    // The first connection starts at once; the others join when there is enough to share, and a host that takes
    // fewer connections leaves the work to those it took.
    const std::size_t wanted = 1 + std::min<std::size_t>(static_cast<std::size_t>(most_ - 1), files.size() / 2);
    while (remotes_.size() < wanted) {
        remotes_.push_back(open_());
        usable_.push_back(1);
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < wanted; ++i) {
        threads.emplace_back([&, i] {
            if (usable_[i] && remotes_[i]->connect().empty()) {
                work(*remotes_[i]);
            } else {
                usable_[i] = 0;
            }
        });
    }
    work(*remotes_.front());
    for (std::thread& thread : threads) {
        thread.join();
    }
    // The files a lost connection never came to end with its problem as well.
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (!queue.ended[index] && !queue.lost.empty()) {
            events.finished(index, queue.lost);
        }
    }
    return queue.lost;
}

} // namespace clipnest::publish
