#pragma once

#include <functional>

#include "base/scheduler.h"

namespace vocalis {

// Hides the mouse pointer while nobody moves it. With auto-hide on, each movement shows
// the pointer and hides it again 3.0 s after the last one; with it off (an operator
// window is open) the pointer shows and stays.
class PointerAutoHide {
  public:
    static constexpr Millis kHideAfterMovement{3000};
    static constexpr const char* kTimerKey = "hideCursor";

    // `showPointer(bool)` shows or hides the pointer.
    PointerAutoHide(Scheduler& scheduler, std::function<void(bool visible)> showPointer);
    ~PointerAutoHide();
    PointerAutoHide(const PointerAutoHide&) = delete;
    PointerAutoHide& operator=(const PointerAutoHide&) = delete;

    // On: hides the pointer at once. Off: cancels a pending hide and shows it.
    void setAutoHide(bool on);
    bool autoHide() const { return autoHide_; }

    // A movement or a click over the window.
    void pointerMoved();

    void hideNow();
    void hideAfter(Millis delay);
    void cancelPendingHide();

    bool pointerVisible() const { return visible_; }

  private:
    void show(bool visible);

    Scheduler& scheduler_;
    std::function<void(bool)> showPointer_;
    bool autoHide_ = false;
    bool visible_ = true;
};

}  // namespace vocalis
