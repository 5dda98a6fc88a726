#include "base/background_queue.h"

#include <asio/post.hpp>
#include <thread>

#include "base/log.h"

namespace vocalis {

namespace {
std::size_t poolSize(std::size_t wanted) {
    if (wanted != 0) return wanted;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 2 : cores;
}
}  // namespace

BackgroundQueue::BackgroundQueue(std::size_t threads) : pool_(poolSize(threads)) {}

BackgroundQueue::~BackgroundQueue() { join(); }

void BackgroundQueue::post(Task task) {
    asio::post(pool_, [task = std::move(task)] {
        try {
            task();
        } catch (const std::exception& e) {
            logLine(std::string("background task failed: ") + e.what());
        }
    });
}

void BackgroundQueue::join() { pool_.join(); }

}  // namespace vocalis
