#pragma once

#include <map>
#include <memory>
#include <string>

#include "base/scheduler.h"

class QObject;
class QTimer;

namespace vocalis {

// The Scheduler on the Qt event loop. Create it on the main thread after the QApplication:
// posted tasks and timers run on the thread that created it.
class QtScheduler final : public Scheduler {
  public:
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    void post(Task task) override;
    void schedule(const std::string& key, Millis delay, Task task) override;
    void cancel(const std::string& key) override;
    bool isScheduled(const std::string& key) const override;

  private:
    // Receives the posted calls and parents the timers; gone with the scheduler, so
    // nothing runs after it.
    std::unique_ptr<QObject> context_;
    std::map<std::string, QTimer*> timers_;  // owned by context_
};

}  // namespace vocalis
