#include "ui/qt_scheduler.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

namespace vocalis {

QtScheduler::QtScheduler() : context_(std::make_unique<QObject>()) {}

QtScheduler::~QtScheduler() {
    timers_.clear();
    context_.reset();  // deletes the timers and drops calls still queued for it
}

void QtScheduler::post(Task task) {
    QMetaObject::invokeMethod(
        context_.get(), [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtScheduler::schedule(const std::string& key, Millis delay, Task task) {
    cancel(key);
    auto* timer = new QTimer(context_.get());
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, context_.get(), [this, key, timer, task = std::move(task)] {
        auto found = timers_.find(key);
        if (found == timers_.end() || found->second != timer) return;
        // Forget the timer before the task runs: the task may schedule the same key again.
        timers_.erase(found);
        timer->deleteLater();  // it is still emitting
        task();
    });
    timers_[key] = timer;
    timer->start(static_cast<int>(std::max<Millis::rep>(0, delay.count())));
}

void QtScheduler::cancel(const std::string& key) {
    auto found = timers_.find(key);
    if (found == timers_.end()) return;
    found->second->stop();
    found->second->deleteLater();
    timers_.erase(found);
}

bool QtScheduler::isScheduled(const std::string& key) const { return timers_.count(key) != 0; }

}  // namespace vocalis
