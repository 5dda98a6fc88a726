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
    EXPECT_EQ(both("text").out, expected->text);
    EXPECT_EQ(both("md5").out, expected->md5 + "\n");
    EXPECT_EQ(both("count").out, "4\n");
    // The search folds what is typed and removes the spaces.
    EXPECT_EQ(both("search", {"A B"}).out, "0\tAb\tHà\n1\tAnh Ban\tMinh\n");
    EXPECT_EQ(occurrences(both("search").out, "\n"), 4);
    EXPECT_EQ(both("random 0 nhacmoi").out, "2\n");
    EXPECT_EQ(both("random 2", {"trinh cong son"}).out, "3\n");
    EXPECT_EQ(tool({"--songs", second, "--songs", first, "folders"}).out, second + "\n" + first + "\n");
}

TEST(CatalogueTool, DataFolderAndFailures) {
    TempDir data, empty;
    data.write("Karaoke/x - y.mp4");
    // The status, the output and what the errors say.
    const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
        {{"--data-dir", data.path(), "count"}, 0, "1\n", ""},
        {{"--songs", empty / "missing", "count"}, 1, "", "no such folder"},
        {{"--songs", empty.path(), "md5"}, 1, "", "no songs"}};
    for (const auto& [args, status, out, err] : cases) {
        const auto result = tool(args);
        EXPECT_EQ(std::tie(result.status, result.out), std::tie(status, out)) << args.back();
        EXPECT_NE(result.err.find(err), std::string::npos) << result.err;
    }

    // Usage is checked before any folder is read.
    for (const char* args : {"", "--songs", "--songs . dance", "--songs . random", "--songs . random x",
                             "--songs . count extra", "--bogus count"})
        EXPECT_EQ(tool(words(args)).status, 2) << args;
}
