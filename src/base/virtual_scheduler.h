#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

#include "base/scheduler.h"

namespace vocalis {

// A scheduler on a virtual clock for tests: nothing runs until the test advances time.
class VirtualScheduler final : public Scheduler {
  public:
    void post(Task task) override;
    void schedule(const std::string& key, Millis delay, Task task) override;
    void cancel(const std::string& key) override;
    bool isScheduled(const std::string& key) const override;

    Millis now() const { return now_; }

    // Runs posted tasks (including ones they post) until none is left; returns how many ran.
    int runPending();

    // Moves the clock forward, running posted tasks and every timer that falls due, in
    // time order (ties in scheduling order). Timers scheduled meanwhile run if they fall due.
    void advance(Millis by);

    // Advances until no timer is pending, or `limit` has passed.
    void runUntilIdle(Millis limit = Millis(24 * 3600 * 1000));

  private:
    struct Timer {
        std::string key;
        Task task;
    };
    // (due time, sequence) -> timer
    using TimerMap = std::map<std::pair<Millis, std::uint64_t>, Timer>;

    bool runNextTimerDueBy(Millis limit);

    mutable std::mutex postMutex_;
    std::deque<Task> posted_;
    TimerMap timers_;
    std::map<std::string, TimerMap::iterator> byKey_;
    Millis now_{0};
    std::uint64_t sequence_ = 0;
};

}  // namespace vocalis
