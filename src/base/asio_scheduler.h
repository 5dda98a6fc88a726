#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <map>
#include <memory>

#include "base/scheduler.h"

namespace vocalis {

// A real-time scheduler whose "main thread" is whichever thread runs the io_context.
// Used by the command-line programs, which have no Qt event loop.
class AsioScheduler final : public Scheduler {
  public:
    explicit AsioScheduler(asio::io_context& context) : context_(context) {}

    void post(Task task) override;
    void schedule(const std::string& key, Millis delay, Task task) override;
    void cancel(const std::string& key) override;
    bool isScheduled(const std::string& key) const override;

  private:
    asio::io_context& context_;
    std::map<std::string, std::shared_ptr<asio::steady_timer>> timers_;
};

}  // namespace vocalis
