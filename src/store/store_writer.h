#pragma once

#include <functional>

#include "base/scheduler.h"
#include "base/serial_queue.h"
#include "store/store.h"

namespace vocalis {

// Runs the store's writes in order on a thread of its own and hands each outcome back on the
// main thread, so the engine announces a change only once it is on disk. Destroying the writer
// finishes the writes already asked for.
class StoreWriter {
  public:
    StoreWriter(Store store, Scheduler& mainThread);
    ~StoreWriter();
    StoreWriter(const StoreWriter&) = delete;
    StoreWriter& operator=(const StoreWriter&) = delete;

    // `change` runs on the writer thread; `done`, when given, on the main thread with its outcome.
    void write(std::function<WriteError(Store&)> change, std::function<void(WriteError)> done = {});

  private:
    Store store_;
    Scheduler& mainThread_;
    SerialQueue queue_{"store"};  // stopped before the store goes
};

}  // namespace vocalis
