#include "ui/qt_scheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <string>
#include <thread>
#include <vector>

using namespace vocalis;
using namespace std::chrono_literals;

namespace {
constexpr int kDeadline = 10000;  // ms; only keeps a broken test from hanging
}

TEST(QtScheduler, PostsFromOtherThreadsRunOnTheMainThreadInOrder) {
    QtScheduler scheduler;
    std::vector<int> order;
    std::vector<bool> onMain;
    std::thread poster([&] {
        for (int i = 0; i < 50; ++i)
            scheduler.post([&, i] {
                order.push_back(i);
                onMain.push_back(QThread::currentThread() == qApp->thread());
            });
    });
    poster.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 50; }, kDeadline));
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(std::count(onMain.begin(), onMain.end(), true), 50);
}

TEST(QtScheduler, KeyedTimersRunOnceAndTheLastRequestDecides) {
    QtScheduler scheduler;
    std::vector<std::string> ran;
    scheduler.schedule("hide", 20ms, [&] { ran.push_back("first"); });
    scheduler.schedule("hide", 60ms, [&] { ran.push_back("second"); });  // replaces the first
    scheduler.schedule("other", 10ms, [&] { ran.push_back("other"); });
    scheduler.schedule("cancelled", 10ms, [&] { ran.push_back("cancelled"); });
    EXPECT_TRUE(scheduler.isScheduled("hide"));
    scheduler.cancel("cancelled");
    EXPECT_FALSE(scheduler.isScheduled("cancelled"));
    scheduler.cancel("never scheduled");

    ASSERT_TRUE(QTest::qWaitFor([&] { return !scheduler.isScheduled("hide"); }, kDeadline));
    QTest::qWait(100);  // anything left over would have run by now
    EXPECT_EQ(ran, (std::vector<std::string>{"other", "second"}));
}

TEST(QtScheduler, ATaskMayScheduleItsOwnKeyAgain) {
    QtScheduler scheduler;
    int runs = 0;
    std::function<void()> step = [&] {
        if (++runs < 5) scheduler.schedule("poll", 5ms, step);
    };
    scheduler.schedule("poll", 5ms, step);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs == 5; }, kDeadline));
    EXPECT_FALSE(scheduler.isScheduled("poll"));
}

TEST(QtScheduler, NothingRunsAfterTheSchedulerIsGone) {
    bool ran = false;
    {
        QtScheduler scheduler;
        scheduler.post([&] { ran = true; });
        scheduler.schedule("late", 1ms, [&] { ran = true; });
    }
    QTest::qWait(50);
    EXPECT_FALSE(ran);
}
