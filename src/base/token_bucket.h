#pragma once

#include <algorithm>
#include <chrono>

namespace vocalis {

// Allows `perSecond` events a second, in bursts of up to `burst`. The caller passes the
// time in, so a test can drive it with a clock of its own.
class TokenBucket {
  public:
    using Clock = std::chrono::steady_clock;

    TokenBucket(double perSecond, double burst, Clock::time_point now)
        : perSecond_(perSecond), burst_(burst), tokens_(burst), last_(now) {}

    // Counts one event and says whether it is within the rate.
    bool tryTake(Clock::time_point now) {
        if (now > last_) {
            const double elapsed = std::chrono::duration<double>(now - last_).count();
            tokens_ = std::min(burst_, tokens_ + elapsed * perSecond_);
            last_ = now;
        }
        if (tokens_ < 1) return false;
        tokens_ -= 1;
        return true;
    }

  private:
    double perSecond_;
    double burst_;
    double tokens_;
    Clock::time_point last_;
};

}  // namespace vocalis
