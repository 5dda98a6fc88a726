#include <gtest/gtest.h>

#include <cstdlib>

#include "store/store.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;

namespace {

ProgramResult history(const std::vector<std::string>& args) {
    return runProgram(programPath("vocalis-history"), args);
}

WallTime at(std::int64_t seconds) { return WallTime(std::chrono::seconds(seconds)); }

}  // namespace

TEST(HistoryTool, ExportsTheLocalDaysAskedForWhileThePlayerHoldsTheStore) {
    // Seven hours east of UTC: the local 14 March starts at 13 March, 17:00 UTC. The tool inherits it.
    ::setenv("TZ", "ICT-7", 1);
    TempDir data, empty;
    const SongIdentity wet{"Pop/Ướt mi.mkv", "Ướt mi", "Trịnh", 10};
    const SongIdentity hello{"Hello.mp4", "Hello", "Adele", 20};
    StoreOpening opening = Store::open(data.path());
    ASSERT_TRUE(opening.store) << opening.detail;
    Store& store = *opening.store;
    for (const auto& [started, name, song, key] :
         {std::tuple{1773421199, "Lan", hello, 0},         // 23:59:59 on the 13th
          std::tuple{1773421200, "Lan, \"Bé\"", wet, -2},  // midnight into the 14th
          std::tuple{1773593999, "=1+1", hello, 3},        // 23:59:59 on the 15th, never ended
          std::tuple{1773594000, "Minh", wet, 0}}) {       // midnight into the 16th
        const auto id = store.recordStart({song, std::string(name), key, at(started)});
        ASSERT_TRUE(id.value) << id.error;
        if (started == 1773421200) {
            EXPECT_FALSE(store.recordEnd(*id.value, at(1773421440), SongEnding::kFinished, 87));
        }
    }
    const std::string header = "started,ended,name,title,singer,key,ending,score,file\r\n";
    const std::string inRange =
        "2026-03-13T17:00:00Z,2026-03-13T17:04:00Z,\"Lan, \"\"Bé\"\"\",Ướt mi,Trịnh,-2,finished,87,Pop/Ướt "
        "mi.mkv\r\n"
        "2026-03-15T16:59:59Z,,'=1+1,Hello,Adele,3,,,Hello.mp4\r\n";

    // The player holds its lock all the while.
    auto result =
        history({"--data-dir", data.path(), "export", "--from", "2026-03-14", "--to", "2026-03-15"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, header + inRange);
    result = history({"--data-dir", data.path(), "export", "--from", "2026-03-15"});
    EXPECT_EQ(occurrences(result.out, "\r\n"), 3) << result.out;
    EXPECT_EQ(result.out.find("Lan"), std::string::npos);
    EXPECT_EQ(occurrences(history({"--data-dir", data.path(), "export", "--to", "2026-03-13"}).out, "\r\n"),
              2);
    EXPECT_FALSE(store.endRun());
    opening.store.reset();
    // A player that quit leaves no log beside the file; the whole history, oldest first.
    result = history({"--data-dir", data.path(), "export"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(occurrences(result.out, "\r\n"), 5);
    EXPECT_NE(result.out.find(inRange), std::string::npos);
    EXPECT_TRUE(result.out.starts_with(header + "2026-03-13T16:59:59Z,,Lan,")) << result.out;

    result = history({"--data-dir", empty.path(), "export"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("no store"), std::string::npos) << result.err;

    // Usage is checked before the store is read.
    for (const char* args :
         {"", "list", "--data-dir", "export --from", "export --from 2026-02-30", "export --to 2026-3-14",
          "export --to 14/03/2026", "export --from 2026-03-15 --to 2026-03-14", "--bogus export",
          "export --data-dir x"}) {
        result = history(words(args));
        EXPECT_EQ(result.status, 2) << args;
        EXPECT_TRUE(result.out.empty()) << args;
    }
}
