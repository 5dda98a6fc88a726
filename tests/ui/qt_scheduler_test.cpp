#include "ui/qt_scheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <thread>

using namespace vocalis;
using namespace std::chrono_literals;

constexpr int kDeadline = 10000;  // ms; only keeps a broken test from hanging

TEST(QtScheduler, PostsRunOnTheMainThreadInOrderKeyedTimersOnceAsLastAskedAndNothingOnceItIsGone) {
    QtScheduler scheduler;
    std::vector<int> order;  // -1 for a task run off the main thread
    std::thread([&] {
        for (int i = 0; i < 50; ++i)
            scheduler.post([&, i] { order.push_back(QThread::currentThread() == qApp->thread() ? i : -1); });
    }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 50; }, kDeadline));
    EXPECT_TRUE(std::ranges::is_sorted(order));
    EXPECT_EQ(order.front(), 0);

    std::vector<std::string> ran;
    scheduler.schedule("hide", 20ms, [&] { ran.push_back("first"); });
    scheduler.schedule("hide", 60ms, [&] { ran.push_back("second"); });  // replaces the first
    scheduler.schedule("other", 10ms, [&] { ran.push_back("other"); });
    scheduler.schedule("cancelled", 10ms, [&] { ran.push_back("cancelled"); });
    EXPECT_TRUE(scheduler.isScheduled("hide"));
    scheduler.cancel("cancelled");
    EXPECT_FALSE(scheduler.isScheduled("cancelled"));
    int runs = 0;  // a task that schedules its own key again
    std::function<void()> poll = [&] {
        if (++runs < 5) scheduler.schedule("poll", 5ms, poll);
    };
    scheduler.schedule("poll", 5ms, poll);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !scheduler.isScheduled("hide") && runs == 5; }, kDeadline));
    QTest::qWait(100);  // anything left over would have run by now
    EXPECT_EQ(ran, (std::vector<std::string>{"other", "second"}));
    EXPECT_EQ(runs, 5);
    EXPECT_FALSE(scheduler.isScheduled("poll"));

    bool late = false;
    {
        QtScheduler gone;
        gone.post([&] { late = true; });
        gone.schedule("late", 1ms, [&] { late = true; });
    }
    QTest::qWait(50);
    EXPECT_FALSE(late);
}
