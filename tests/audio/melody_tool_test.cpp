#include <gtest/gtest.h>

#include "audio/melody_cache.h"
#include "audio/sung_song.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;

namespace {

ProgramResult melodyTool(const std::vector<std::string>& args) {
    return runProgram(programPath("vocalis-melody"), args);
}

}  // namespace

TEST(MelodyTool, MakesEachSongOnceWithItsProgress) {
    TempDir dir;
    const std::string sung = dir / "songs/Pop/Bài hát - Ca sĩ.mp4",
                      broken = dir.write("songs/Hỏng.vob", "not a song");
    std::filesystem::create_directories(dir / "songs/Pop");
    writeTwoTrackSong(sung, synthesizeSong(6, 3));
    dir.write("songs/Pop/lyrics.txt", "not a song file");

    ProgramResult result = melodyTool({"--data-dir", dir / "data", "make", dir / "songs"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out.starts_with("2 songs: 2 made (1 with a melody, 1 without), 0 kept before"))
        << result.out;
    EXPECT_NE(result.err.find("1/2 "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("2/2 "), std::string::npos) << result.err;
    const MelodyCache cache(dir / "data" + "/" + MelodyCache::kFolderName);
    ASSERT_TRUE(cache.find(sung));
    EXPECT_GT(cache.find(sung)->voicedFrames(), 100u);
    ASSERT_TRUE(cache.find(broken));
    EXPECT_EQ(cache.find(broken)->size(), 0u);

    result = melodyTool({"--data-dir", dir / "data", "make", dir / "songs"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out.starts_with("2 songs: 0 made (0 with a melody, 0 without), 2 kept before"))
        << result.out;
    EXPECT_EQ(occurrences(result.err, "kept before"), 2) << result.err;

    for (const auto& [args, status] : std::initializer_list<std::pair<std::vector<std::string>, int>>{
             {{}, 2},
             {{"make"}, 2},
             {{"--bogus", "make", dir / "songs"}, 2},
             {{"--data-dir"}, 2},
             {{"--data-dir", dir / "data", "make", dir / "missing"}, 1}}) {
        result = melodyTool(args);
        EXPECT_EQ(result.status, status) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
}
