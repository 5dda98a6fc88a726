#pragma once

#include <utility>

#include "base/scheduler.h"
#include "base/serial_queue.h"
#include "store/store.h"

namespace vocalis {

// Runs the store's work in order on a thread of its own and hands each outcome back on the
// main thread, so the engine announces a change only once it is on disk. Destroying the writer
// finishes the work already asked for.
class StoreWriter {
  public:
    StoreWriter(Store store, Scheduler& mainThread);
    ~StoreWriter();
    StoreWriter(const StoreWriter&) = delete;
    StoreWriter& operator=(const StoreWriter&) = delete;

    // `job(Store&)` runs on the writer thread (a write or a query); `done` then runs on the main
    // thread with what it returned.
    template <typename Job, typename Done>
    void run(Job job, Done done) {
        queue_.post([this, job = std::move(job), done = std::move(done)] {
            mainThread_.post([done, outcome = job(store_)] { done(outcome); });
        });
    }

  private:
    Store store_;
    Scheduler& mainThread_;
    SerialQueue queue_{"store"};  // stopped before the store goes
};

}  // namespace vocalis
