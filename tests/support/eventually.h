#pragma once

#include <chrono>
#include <thread>

namespace vocalis::testing {

// How long a test waits for what must happen; generous, for a loaded machine.
inline constexpr auto kPatience = std::chrono::seconds(30);

// Polls the condition until it holds or the time-out passes.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = kPatience) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;
         std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (condition()) return true;
    return condition();
}

}  // namespace vocalis::testing
