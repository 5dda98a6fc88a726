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
    dir.write("a/Karaoke/NhacMoi/Đêm Đông - Khánh Ly.mp4");
    dir.write("a/Karaoke/NhacTre/Anh Ban - Minh.mkv");
    dir.write("b/Mưa Hồng - Trịnh Công Sơn.vob");
    dir.write("b/Ab - Hà.mp4");
    const std::string first = dir / "a/Karaoke", second = dir / "b";
    const auto expected = loadCatalogue({first, second});

    auto result = tool({"--songs", first, "--songs", second, "text"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, expected->text);

    result = tool({"--songs", first, "--songs", second, "md5"});
    EXPECT_EQ(result.out, expected->md5 + "\n");
    EXPECT_EQ(result.out.size(), 33u);

    EXPECT_EQ(tool({"--songs", first, "--songs", second, "count"}).out, "4\n");

    // The search folds what is typed and removes the spaces.
    result = tool({"--songs", first, "--songs", second, "search", "A B"});
    EXPECT_EQ(result.out, "0\tAb\tHà\n1\tAnh Ban\tMinh\n");
    result = tool({"--songs", first, "--songs", second, "search"});
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 4);

    result = tool({"--songs", first, "--songs", second, "random", "0", "nhacmoi"});
    EXPECT_EQ(result.out, "2\n");
    result = tool({"--songs", first, "--songs", second, "random", "2", "trinh cong son"});
    EXPECT_EQ(result.out, "3\n");
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

    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"--songs"},
                                                 {"--songs", data.path(), "dance"},
                                                 {"--songs", data.path(), "random"},
                                                 {"--songs", data.path(), "random", "x"},
                                                 {"--songs", data.path(), "count", "extra"},
                                                 {"--bogus", "count"}})
        EXPECT_EQ(tool(args).status, 2) << args.size();
}
