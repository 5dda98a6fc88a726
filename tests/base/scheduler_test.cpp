#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/virtual_scheduler.h"

using namespace vocalis;
using namespace std::chrono_literals;

TEST(VirtualScheduler, TimersRunInTimeOrderAndRescheduleCancels) {
    VirtualScheduler clock;
    std::vector<std::string> ran;
    clock.schedule("hide", 5000ms, [&] { ran.push_back("hide@5"); });
    clock.schedule("unlock", 2000ms, [&] { ran.push_back("unlock@2"); });
    clock.advance(1000ms);
    EXPECT_TRUE(ran.empty());
    // Showing again before the hide: the last show decides.
    clock.schedule("hide", 5000ms, [&] { ran.push_back("hide@6"); });
    EXPECT_TRUE(clock.isScheduled("hide"));
    clock.advance(4000ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"unlock@2"}));
    clock.advance(1000ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"unlock@2", "hide@6"}));
    EXPECT_FALSE(clock.isScheduled("hide"));
    EXPECT_EQ(clock.now(), 6000ms);

    clock.schedule("gone", 10ms, [&] { ran.push_back("gone"); });
    for (const char* key : {"gone", "never scheduled"}) clock.cancel(key);
    clock.advance(1000ms);
    EXPECT_EQ(ran.size(), 2u);
}

TEST(VirtualScheduler, TasksScheduledByTasksRunWhenDueWithinTheSameAdvanceAndPostsFromAnyThread) {
    VirtualScheduler clock;
    std::vector<long> times;
    // A repeating step like a count-up: each step schedules the next.
    std::function<void()> step = [&] {
        times.push_back(clock.now().count());
        if (times.size() < 5) clock.schedule("step", 120ms, step);
    };
    clock.schedule("step", 120ms, step);
    clock.post([&] { times.push_back(-1); });
    clock.advance(1000ms);
    EXPECT_EQ(times, (std::vector<long>{-1, 120, 240, 360, 480}));
    EXPECT_EQ(clock.now(), 1000ms);
    // Posts from other threads are collected.
    int count = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) clock.post([&] { ++count; });
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(clock.runPending(), 1000);
    EXPECT_EQ(count, 1000);
}
