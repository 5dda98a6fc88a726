#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <future>
#include <numeric>

#include "base/background_queue.h"
#include "base/serial_queue.h"

using namespace vocalis;

TEST(SerialQueue, RunsTasksInOrderOnOneNamedThreadPastFailingOnes) {
    SerialQueue queue("socketQueue");
    std::vector<int> order, expected(100);
    std::iota(expected.begin(), expected.end(), 0);
    std::promise<std::string> name;
    for (int i : expected) queue.post([&order, i] { order.push_back(i); });
    queue.post([] { throw std::runtime_error("bad request"); });
    queue.post([&] {
        char buffer[16] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name.set_value(buffer);
    });
    auto named = name.get_future();
    ASSERT_EQ(named.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(named.get(), "socketQueue");
    EXPECT_EQ(order, expected);
    queue.stop();
    queue.stop();  // twice is harmless
}

TEST(BackgroundQueue, RunsEveryTaskAndJoins) {
    std::atomic<int> sum{0};
    {
        BackgroundQueue background(3);
        for (int i = 1; i <= 1000; ++i) background.post([&sum, i] { sum += i; });
        background.post([] { throw std::runtime_error("scan failed"); });
        background.join();
    }
    EXPECT_EQ(sum.load(), 500500);
}
