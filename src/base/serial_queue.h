#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <string>
#include <thread>

#include "base/scheduler.h"

namespace vocalis {

// One asio::io_context run by one named thread: work posted to it runs in order, one
// task at a time. Sockets bound to context() are served on that thread.
class SerialQueue {
  public:
    explicit SerialQueue(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    asio::io_context& context() { return context_; }
    const std::string& name() const { return name_; }
    void post(Task task);

    // Stops the thread after the task in hand; pending tasks are dropped. Idempotent.
    void stop();
    bool runningInQueue() const { return std::this_thread::get_id() == thread_.get_id(); }

  private:
    std::string name_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::thread thread_;
};

}  // namespace vocalis
