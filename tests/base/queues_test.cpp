#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <future>
#include <string>
#include <vector>

#include "base/background_queue.h"
#include "base/serial_queue.h"

using namespace vocalis;

TEST(SerialQueue, RunsTasksInOrderOnOneNamedThread) {
    SerialQueue queue("socketQueue");
    std::vector<int> order;
    std::promise<std::string> name;
    for (int i = 0; i < 100; ++i) queue.post([&order, i] { order.push_back(i); });
    queue.post([&] {
        char buffer[16] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name.set_value(buffer);
    });
    EXPECT_EQ(name.get_future().get(), "socketQueue");
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST(SerialQueue, AFailingTaskDoesNotStopTheQueue) {
    SerialQueue queue("HTTPConnection");
    std::promise<void> reached;
    queue.post([] { throw std::runtime_error("bad request"); });
    queue.post([&] { reached.set_value(); });
    EXPECT_EQ(reached.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
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
