#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace vocalis {

using Task = std::function<void()>;
using Millis = std::chrono::milliseconds;

// Runs work on the main thread. Timers are keyed: scheduling a key again cancels the
// pending task of that key, so the last request decides (overlay hides, lock releases).
class Scheduler {
  public:
    virtual ~Scheduler() = default;

    // Safe from any thread; the task runs on the main thread in posting order.
    virtual void post(Task task) = 0;

    // Main thread only.
    virtual void schedule(const std::string& key, Millis delay, Task task) = 0;
    virtual void cancel(const std::string& key) = 0;
    virtual bool isScheduled(const std::string& key) const = 0;
};

}  // namespace vocalis
