#pragma once

#include <asio/thread_pool.hpp>
#include <cstddef>

#include "base/scheduler.h"

namespace vocalis {

// The shared pool for long work that must not block the main thread (catalogue scan,
// thumbnail work). Tasks may run concurrently; results go back through Scheduler::post.
class BackgroundQueue {
  public:
    explicit BackgroundQueue(std::size_t threads = 0);  // 0: one per core
    ~BackgroundQueue();
    BackgroundQueue(const BackgroundQueue&) = delete;
    BackgroundQueue& operator=(const BackgroundQueue&) = delete;

    void post(Task task);
    // Waits for every posted task to finish; the pool takes no work afterwards.
    void join();

  private:
    asio::thread_pool pool_;
};

}  // namespace vocalis
