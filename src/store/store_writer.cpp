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

void StoreWriter::write(std::function<WriteError(Store&)> change, std::function<void(WriteError)> done) {
    queue_.post([this, change = std::move(change), done = std::move(done)] {
        WriteError outcome = change(store_);
        if (done) mainThread_.post([done, outcome = std::move(outcome)] { done(outcome); });
    });
}

}  // namespace vocalis
