#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <stop_token>
#include <vector>

#include "app/engine_harness.h"
#include "player/data_folder.h"
#include "player/demo_library.h"
#include "player/demo_start.h"
#include "player/player_options.h"
#include "player/resources.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
using ::testing::StartsWith;
namespace fs = std::filesystem;

TEST(PlayerOptions, ReadsEveryOptionAndRefusesBadUsage) {
    const auto ports = [](const PlayerOptions& o) {
        return std::vector<int>{o.mediaPort, o.thumbnailPort, o.remotePort, o.discoveryPort, o.webPort};
    };
    std::string error;
    auto options =
        parsePlayerOptions(words("--data-dir /d --songs /a --intro-clip i.mkv --idle-clip j.mp4 "
                                 "--media-port 0 --thumbnail-port 7768 --remote-port 7789 --no-sound "
                                 "--discovery-port 2122 --demo --web-port 7790 --camera /dev/video2 "
                                 "--fair-turns --microphone none --songs",
                                 {"/b c", "--web-pin", "12 34"}),
                           error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(
        (std::vector{options->dataDir, options->introClip, options->idleClip, options->webPin,
                     options->camera, options->microphone}),
        (std::vector<std::optional<std::string>>{"/d", "i.mkv", "j.mp4", "12 34", "/dev/video2", "none"}));
    EXPECT_EQ(options->songFolders, (std::vector<std::string>{"/a", "/b c"}));
    EXPECT_EQ(ports(*options), (std::vector<int>{0, 7768, 7789, 2122, 7790}));
    EXPECT_TRUE(options->noSound && options->demo && options->fairTurns && !options->help);

    options = parsePlayerOptions({}, error);
    ASSERT_TRUE(options);
    EXPECT_EQ(ports(*options), (std::vector<int>{6767, 6768, 6789, 1122, 6790}));
    EXPECT_TRUE(!options->webPin && !options->fairTurns);
    for (const std::vector<std::string>& bad :
         {words("--songs"), words("--media-port 70000"), words("--remote-port 12x"),
          words("--discovery-port -1"), words("--web-port x"), words("--web-pin"), words("--bogus"),
          words("--data-dir", {""}), words("--microphone", {""})}) {
        std::string why;
        EXPECT_FALSE(parsePlayerOptions(bad, why) || why.empty()) << bad[0];
    }
}

TEST(DataFolder, PreparedWithItsFoldersAndAnEmptyTemp) {
    TempDir dir;
    const DataFolder data{dir / "Documents/Vocalis Player"};  // the documents folder is missing too
    data.prepare();
    for (const auto& folder : {data.thumbnailFolder(), data.tempFolder(), data.recordFolder()})
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    for (const char* file : {"temp/stale.mp4", "temp/sub/old.bin", "thumbnail/keep.jpg"})
        dir.write(std::string("Documents/Vocalis Player/") + file, "old");
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

// A first start with --demo: the songs are made off the main thread while the intro plays and the
// screen says which one is being made, never that no drive was found; the catalogue loads them once
// all are there, together.
TEST(DemoLibrary, MadeAtTheFirstStartWhileTheScreenCountsThemThenLoaded) {
    EngineHarness h({});  // a fresh machine: no drive, no song folder yet
    const std::string songs = h.songsDir / "Karaoke/Vocalis Demo";
    startDemoLibrary(*h.engine, h.clock, h.background, songs, h.songsDir / "making", {}, 2);
    EXPECT_FALSE(fs::exists(songs));  // back at once, the making goes on
    h.launch();
    h.clock.advance(2000ms);  // the intro, and the catalogue's first try
    EXPECT_THAT(h.screen(), StartsWith("intro intro.mp4 | Đang tạo bài hát mẫu "));
    ASSERT_TRUE(eventually([&] { return h.clock.runPending(), h.engine->flags().isLibraryLoaded; }, 120s))
        << h.screen();
    EXPECT_EQ(h.songs.getCount(), static_cast<int>(demoSongs().size()));
    EXPECT_FALSE(h.overlays.titleVisible);
    auto titles = h.overlays.titles;
    titles.erase(std::unique(titles.begin(), titles.end()), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"Đang tạo bài hát mẫu 1/4", "Đang tạo bài hát mẫu 2/4",
                                                "Đang tạo bài hát mẫu 3/4", "Đang tạo bài hát mẫu 4/4", ""}));
    EXPECT_FALSE(fs::exists(h.songsDir / "making"));

    // Each with a title card and two audio tracks.
    for (const DemoSong& song : demoSongs()) {
        const std::string file =
            songs + "/" + song.folder + "/" + song.title + " - " + song.singer + song.extension;
        const auto probe =
            runProgram("ffprobe", words("-v error -show_entries stream=codec_type -of csv=p=0", {file}));
        EXPECT_EQ(probe.out, "video\naudio\naudio\n") << file;
    }
    // Made once: the next start finds the folder and makes nothing.
    const auto before = fs::last_write_time(songs);
    EXPECT_EQ(makeDemoLibrary(songs, h.songsDir / "making", 2), static_cast<int>(demoSongs().size()));
    EXPECT_EQ(fs::last_write_time(songs), before);

    // A quit as the second song is to be made: no more are made, the first waits outside the song
    // folders, and the next start makes only the others.
    const std::string other = h.songsDir / "Other/Vocalis Demo", making = h.songsDir / "other.making";
    std::stop_source quit;
    std::vector<int> told;
    const auto tell = [&](int number, int) {
        told.push_back(number);
        if (number == 2) quit.request_stop();
    };
    EXPECT_EQ(makeDemoLibrary(other, making, 2, tell, quit.get_token()), 0);
    EXPECT_FALSE(fs::exists(other));
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(making), {}), 2);  // a genre folder and its song
    EXPECT_EQ(makeDemoLibrary(other, making, 2, tell), static_cast<int>(demoSongs().size()));
    EXPECT_EQ(told, (std::vector<int>{1, 2, 2, 3, 4}));
    EXPECT_FALSE(fs::exists(making));
}

TEST(Resources, FoundBesideTheProgramElseInTheDataFoldersElseInTheSourceTree) {
    TempDir dir;
    for (const char* folder : {"usr/bin", "usr/share/vocalis-player", "build/bin", "resources", "a/b/c",
                               "local/share/vocalis-player"})
        fs::create_directories(dir / folder);
    const std::string data = (dir / "missing") + ":relative:" + (dir / "local/share");
    const std::string cases[][3] = {
        {dir / "mine", dir / "usr/bin/vocalis-player", dir / "mine"},
        {"", dir / "usr/bin/vocalis-player", dir / "usr/share/vocalis-player"},  // installed
        {"", dir / "build/bin/vocalis-player", dir / "resources"},               // build tree
        {"", dir / "a/b/c/vocalis-player", dir / "local/share/vocalis-player"},
        {"", "", dir / "local/share/vocalis-player"},  // the program's path unknown
    };
    for (const auto& [chosen, program, expected] : cases)
        EXPECT_EQ(resourceFolder(chosen, program, data), expected) << program;
    // Nowhere else: the source tree the program was built from.
    EXPECT_TRUE(fs::exists(fs::path(resourceFolder("", "", dir / "missing")) / "intro.mp4"));
}
