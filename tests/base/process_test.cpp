#include "base/process.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

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
