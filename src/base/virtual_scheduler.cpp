#include "base/virtual_scheduler.h"

namespace vocalis {

void VirtualScheduler::post(Task task) {
    std::lock_guard lock(postMutex_);
    posted_.push_back(std::move(task));
}

void VirtualScheduler::schedule(const std::string& key, Millis delay, Task task) {
    cancel(key);
    if (delay < Millis(0)) delay = Millis(0);
    auto it = timers_.emplace(std::pair(now_ + delay, sequence_++), Timer{key, std::move(task)}).first;
    byKey_[key] = it;
}

void VirtualScheduler::cancel(const std::string& key) {
    auto found = byKey_.find(key);
    if (found == byKey_.end()) return;
    timers_.erase(found->second);
    byKey_.erase(found);
}

bool VirtualScheduler::isScheduled(const std::string& key) const { return byKey_.count(key) != 0; }

int VirtualScheduler::runPending() {
    int ran = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(postMutex_);
            if (posted_.empty()) return ran;
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
        ++ran;
    }
}

bool VirtualScheduler::runNextTimerDueBy(Millis limit) {
    if (timers_.empty() || timers_.begin()->first.first > limit) return false;
    auto it = timers_.begin();
    now_ = it->first.first;
    Timer timer = std::move(it->second);
    byKey_.erase(timer.key);
    timers_.erase(it);
    timer.task();
    return true;
}

void VirtualScheduler::advance(Millis by) {
    const Millis target = now_ + by;
    runPending();
    while (runNextTimerDueBy(target)) runPending();
    now_ = target;
}

void VirtualScheduler::runUntilIdle(Millis limit) {
    const Millis target = now_ + limit;
    runPending();
    while (runNextTimerDueBy(target)) runPending();
}

}  // namespace vocalis
