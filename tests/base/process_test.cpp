#include "base/process.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/temp_dir.h"

using namespace vocalis;

// A child that outlived a killed player kept its ports: children get standard input, output and
// error and nothing else, even from descriptors opened without close-on-exec.
TEST(Process, ChildrenGetOnlyTheStandardDescriptors) {
    const int inherited = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(inherited, 3);
    const vocalis::testing::TempDir dir;
    EXPECT_EQ(runProcess({"sh", "-c", "ls -l /proc/$$/fd > '" + (dir / "fds") + "'"}), 0);
    ::close(inherited);
    const std::string listed = vocalis::testing::readFile(dir / "fds");
    EXPECT_NE(listed.find("/dev/null"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("socket:"), std::string::npos) << listed;
}

// A quit ends the program being waited for, and starts none after it.
TEST(Process, AStopEndsTheProgramOrStartsNone) {
    const vocalis::testing::TempDir dir;
    std::stop_source quit;
    std::jthread stopper([&quit] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        quit.request_stop();
    });
    EXPECT_EQ(runProcess({"sleep", "600"}, quit.get_token()), -1);  // else the test times out
    EXPECT_EQ(runProcess({"touch", dir / "started"}, quit.get_token()), -1);
    EXPECT_FALSE(std::filesystem::exists(dir / "started"));
    EXPECT_EQ(runProcess({"touch", dir / "started"}), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "started"));
}
