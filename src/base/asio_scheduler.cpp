#include "base/asio_scheduler.h"

#include <asio/post.hpp>

namespace vocalis {

void AsioScheduler::post(Task task) { asio::post(context_, std::move(task)); }

void AsioScheduler::schedule(const std::string& key, Millis delay, Task task) {
    cancel(key);
    auto timer = std::make_shared<asio::steady_timer>(context_, delay);
    timers_[key] = timer;
    timer->async_wait([this, key, timer, task = std::move(task)](const std::error_code& error) {
        if (error) return;  // cancelled
        auto found = timers_.find(key);
        if (found != timers_.end() && found->second == timer) timers_.erase(found);
        task();
    });
}

void AsioScheduler::cancel(const std::string& key) {
    auto found = timers_.find(key);
    if (found == timers_.end()) return;
    found->second->cancel();
    timers_.erase(found);
}

bool AsioScheduler::isScheduled(const std::string& key) const { return timers_.count(key) != 0; }

}  // namespace vocalis
