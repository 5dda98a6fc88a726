#include "ui/pointer_auto_hide.h"

namespace vocalis {

PointerAutoHide::PointerAutoHide(Scheduler& scheduler, std::function<void(bool)> showPointer)
    : scheduler_(scheduler), showPointer_(std::move(showPointer)) {}

PointerAutoHide::~PointerAutoHide() { scheduler_.cancel(kTimerKey); }

void PointerAutoHide::setAutoHide(bool on) {
    autoHide_ = on;
    if (on) {
        hideNow();
    } else {
        cancelPendingHide();
        show(true);
    }
}

void PointerAutoHide::pointerMoved() {
    if (!autoHide_) return;
    show(true);
    hideAfter(kHideAfterMovement);
}

void PointerAutoHide::hideNow() { show(false); }

void PointerAutoHide::hideAfter(Millis delay) {
    scheduler_.schedule(kTimerKey, delay, [this] { hideNow(); });
}

void PointerAutoHide::cancelPendingHide() { scheduler_.cancel(kTimerKey); }

void PointerAutoHide::show(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    showPointer_(visible);
}

}  // namespace vocalis
