#include <gtest/gtest.h>

#include "catalogue/catalogue_loader.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;

namespace {
ProgramResult tool(const std::vector<std::string>& args) {
    return runProgram(programPath("vocalis-catalogue"), args);
}
}  // namespace

TEST(CatalogueTool, PrintsWhatThePlayerBuilds) {
    TempDir dir;
    for (const char* file :
         {"a/Karaoke/NhacMoi/Đêm Đông - Khánh Ly.mp4", "a/Karaoke/NhacTre/Anh Ban - Minh.mkv",
          "b/Mưa Hồng - Trịnh Công Sơn.vob", "b/Ab - Hà.mp4"})
        dir.write(file);
    const std::string first = dir / "a/Karaoke", second = dir / "b";
    const auto expected = loadCatalogue({first, second});

    const auto both = [&](const std::string& command, std::initializer_list<std::string> then = {}) {
        return tool(words("--songs " + first + " --songs " + second + " " + command, then));
    };
    auto result = both("text");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, expected->text);
    EXPECT_EQ(both("md5").out, expected->md5 + "\n");
    EXPECT_EQ(both("count").out, "4\n");
    // The search folds what is typed and removes the spaces.
    EXPECT_EQ(both("search", {"A B"}).out, "0\tAb\tHà\n1\tAnh Ban\tMinh\n");
    result = both("search");
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 4);
    EXPECT_EQ(both("random 0 nhacmoi").out, "2\n");
    EXPECT_EQ(both("random 2", {"trinh cong son"}).out, "3\n");
    result = tool({"--songs", second, "--songs", first, "folders"});
    EXPECT_EQ(result.out, second + "\n" + first + "\n");
}

TEST(CatalogueTool, DataFolderAndFailures) {
    TempDir data, empty;
    data.write("Karaoke/x - y.mp4");
    auto result = tool({"--data-dir", data.path(), "count"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "1\n");

    result = tool({"--songs", empty / "missing", "count"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("no such folder"), std::string::npos);
    EXPECT_TRUE(result.out.empty());

    result = tool({"--songs", empty.path(), "md5"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("no songs"), std::string::npos);

    // Usage is checked before any folder is read.
    for (const char* args : {"", "--songs", "--songs . dance", "--songs . random", "--songs . random x",
                             "--songs . count extra", "--bogus count"})
        EXPECT_EQ(tool(words(args)).status, 2) << args;
}
