#include <gtest/gtest.h>

#include <filesystem>

#include "player/data_folder.h"
#include "player/demo_library.h"
#include "player/player_options.h"
#include "player/resources.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using vocalis::testing::runProgram;
using vocalis::testing::TempDir;
namespace fs = std::filesystem;

TEST(PlayerOptions, ReadsEveryOptionAndRefusesBadUsage) {
    std::string error;
    auto options = parsePlayerOptions(
        {"--data-dir",       "/d",          "--songs",       "/a",    "--songs",          "/b c",
         "--intro-clip",     "i.mkv",       "--idle-clip",   "j.mp4", "--media-port",     "0",
         "--thumbnail-port", "7768",        "--remote-port", "7789",  "--discovery-port", "2122",
         "--no-sound",       "--demo",      "--web-port",    "7790",  "--web-pin",        "12 34",
         "--camera",         "/dev/video2", "--fair-turns"},
        error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->dataDir, "/d");
    EXPECT_EQ(options->songFolders, (std::vector<std::string>{"/a", "/b c"}));
    EXPECT_EQ(options->introClip, "i.mkv");
    EXPECT_EQ(options->idleClip, "j.mp4");
    EXPECT_EQ(options->mediaPort, 0);
    EXPECT_EQ(options->thumbnailPort, 7768);
    EXPECT_EQ(options->remotePort, 7789);
    EXPECT_EQ(options->discoveryPort, 2122);
    EXPECT_EQ(options->webPort, 7790);
    EXPECT_EQ(options->webPin, "12 34");
    EXPECT_EQ(options->camera, "/dev/video2");
    EXPECT_TRUE(options->noSound && options->demo && options->fairTurns && !options->help);

    options = parsePlayerOptions({}, error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->mediaPort, 6767);
    EXPECT_EQ(options->thumbnailPort, 6768);
    EXPECT_EQ(options->remotePort, 6789);
    EXPECT_EQ(options->discoveryPort, 1122);
    EXPECT_EQ(options->webPort, 6790);
    EXPECT_EQ(options->webPin, std::nullopt);
    EXPECT_FALSE(options->fairTurns);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--songs"},
                                                {"--media-port", "70000"},
                                                {"--remote-port", "12x"},
                                                {"--discovery-port", "-1"},
                                                {"--web-port", "x"},
                                                {"--web-pin"},
                                                {"--bogus"},
                                                {"--data-dir", ""}}) {
        error.clear();
        EXPECT_FALSE(parsePlayerOptions(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(DataFolder, PreparedWithItsFoldersAndAnEmptyTemp) {
    TempDir dir;
    const DataFolder data{dir / "Documents/Vocalis Player"};  // the documents folder is missing too
    data.prepare();
    for (const auto& folder : {data.thumbnailFolder(), data.tempFolder(), data.recordFolder()})
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    dir.write("Documents/Vocalis Player/temp/stale.mp4", "old");
    dir.write("Documents/Vocalis Player/temp/sub/old.bin", "old");
    dir.write("Documents/Vocalis Player/thumbnail/keep.jpg", "jpg");
    const std::string clip = dir.write("my intro.mkv", "clip bytes");
    data.prepare();
    EXPECT_TRUE(fs::is_empty(data.tempFolder()));
    EXPECT_TRUE(fs::exists(data.thumbnailFolder() + "/keep.jpg"));
    EXPECT_EQ(clipName("intro", clip), "intro.mkv");
    EXPECT_EQ(clipName("idle", "/x/noext"), "idle.mp4");
    EXPECT_TRUE(data.placeClip(clip, "intro.mkv"));
    EXPECT_EQ(fs::file_size(data.tempFolder() + "/intro.mkv"), 10u);
    EXPECT_FALSE(data.placeClip(dir / "missing.mp4", "idle.mp4"));
}

TEST(DemoLibrary, SongsWithATitleCardAndTwoAudioTracksAppearTogether) {
    TempDir dir;
    const std::string songs = dir / "Karaoke/Vocalis Demo";
    EXPECT_EQ(makeDemoLibrary(songs, dir / "making", 2), static_cast<int>(demoSongs().size()));
    EXPECT_FALSE(fs::exists(dir / "making"));
    for (const DemoSong& song : demoSongs()) {
        const std::string file =
            songs + "/" + song.folder + "/" + song.title + " - " + song.singer + song.extension;
        ASSERT_TRUE(fs::exists(file)) << file;
        const auto probe = runProgram("/usr/bin/ffprobe", {"-v", "error", "-show_entries",
                                                           "stream=codec_type", "-of", "csv=p=0", file});
        EXPECT_EQ(probe.out, "video\naudio\naudio\n") << file;
    }
    // Made once: a second call finds the folder and makes nothing.
    const auto before = fs::last_write_time(songs);
    EXPECT_EQ(makeDemoLibrary(songs, dir / "making", 2), static_cast<int>(demoSongs().size()));
    EXPECT_EQ(fs::last_write_time(songs), before);
}

TEST(Resources, FoundBesideTheProgramElseInTheDataFoldersElseInTheSourceTree) {
    TempDir dir;
    for (const char* folder : {"usr/bin", "usr/share/vocalis-player", "build/bin", "resources", "a/b/c",
                               "local/share/vocalis-player"})
        fs::create_directories(dir / folder);
    const std::string data = (dir / "missing") + ":relative:" + (dir / "local/share");
    struct Case {
        std::string chosen, program, dataDirs, expected;
    };
    const Case cases[] = {
        {dir / "mine", dir / "usr/bin/vocalis-player", data, dir / "mine"},
        {"", dir / "usr/bin/vocalis-player", data, dir / "usr/share/vocalis-player"},  // installed
        {"", dir / "build/bin/vocalis-player", data, dir / "resources"},               // build tree
        {"", dir / "a/b/c/vocalis-player", data, dir / "local/share/vocalis-player"},
        {"", "", data, dir / "local/share/vocalis-player"},  // the program's path unknown
    };
    for (const Case& c : cases)
        EXPECT_EQ(resourceFolder(c.chosen, c.program, c.dataDirs), c.expected)
            << c.program << " " << c.dataDirs;
    // Nowhere else: the source tree the program was built from.
    EXPECT_TRUE(fs::exists(fs::path(resourceFolder("", "", dir / "missing")) / "intro.mp4"));
}
