#include "store/store_writer.h"

#include <future>

namespace vocalis {

StoreWriter::StoreWriter(Store store, Scheduler& mainThread)
    : store_(std::move(store)), mainThread_(mainThread) {}

StoreWriter::~StoreWriter() {
    std::promise<void> drained;
    queue_.post([&drained] { drained.set_value(); });
    drained.get_future().wait();
    queue_.stop();
}

}  // namespace vocalis
