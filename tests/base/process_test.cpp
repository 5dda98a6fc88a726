#include "base/process.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

using namespace vocalis;

// A child that outlived a killed player kept its ports: children get standard input, output and
// error and nothing else, even from descriptors opened without close-on-exec.
TEST(Process, ChildrenGetOnlyTheStandardDescriptors) {
    const int inherited = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(inherited, 3);
    const std::string out = ::testing::TempDir() + "process_test_fds";
    EXPECT_EQ(runProcess({"sh", "-c", "ls -l /proc/$$/fd > '" + out + "'"}), 0);
    ::close(inherited);
    std::ifstream in(out);
    std::stringstream listed;
    listed << in.rdbuf();
    EXPECT_NE(listed.str().find("/dev/null"), std::string::npos) << listed.str();
    EXPECT_EQ(listed.str().find("socket:"), std::string::npos) << listed.str();
}
