#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "base/background_queue.h"
#include "base/virtual_scheduler.h"
#include "catalogue/catalogue_loader.h"
#include "catalogue/song_scanner.h"
#include "support/temp_dir.h"

using namespace vocalis;
using vocalis::testing::TempDir;
namespace fs = std::filesystem;

TEST(Scan, FindsSongsAtAnyDepthInNameOrder) {
    TempDir dir;
    // "._" is a macOS resource fork, not a song; a hidden file name is still a song.
    for (const char* file : {"NhacTre/b - s.mp4", "NhacTre/a - s.mkv", "c.vob", "d/e/f/g/deep.vcv",
                             "upper.MP4", "audio.mp3", "._hidden.mp4", "d/.e.mkv"})
        dir.write(std::string("Karaoke/") + file);
    fs::create_directories(dir / "Karaoke/folder.mp4");  // a folder is never a song
    // Hidden folders (a desktop's trash on a USB stick) hold no songs, linked or not.
    dir.write("Karaoke/.Trash-1000/files/deleted - s.mp4");
    dir.write("Karaoke/NhacTre/.hidden/gone.mp4");
    fs::create_directory_symlink(dir / "Karaoke/d", dir / "Karaoke/.linked");
    const auto scanned = scanSongFolders({dir / "Karaoke"});
    const auto& songs = scanned.songs;
    std::vector<std::string> titles;
    for (const auto& song : songs) titles.emplace_back(song.title());
    // Depth first, entries in name order: "NhacTre" < "c.vob" < "d" (upper case sorts first).
    ASSERT_EQ(titles, (std::vector<std::string>{"a", "b", "c", ".e", "deep"}));
    EXPECT_EQ(songs[0].category(), "NhacTre");
    EXPECT_EQ(songs[0].karaokeFile(), dir / "Karaoke/NhacTre/a - s.mkv");
    // Packed side by side in the scan's store, not one allocation each.
    for (std::size_t i = 1; i < songs.size(); ++i) {
        const std::string_view before = songs[i - 1].karaokeFile();
        EXPECT_EQ(songs[i].karaokeFile().data(), before.data() + before.size());
    }
}

// Hostile names are the song table's; these are hostile trees.
TEST(Scan, HostileTreesNeitherCrashNorHang) {
    TempDir dir;
    const std::string root = dir / "Karaoke";
    dir.write("Karaoke/ok - fine.mp4");
    // A very deep tree, deeper than any recursion would like.
    std::string deep = "Karaoke";
    for (int i = 0; i < 300; ++i) deep += "/d";
    dir.write(deep + "/bottom.mp4");
    // Symbolic-link loops, a dangling link and a link to a song.
    fs::create_directory_symlink("..", dir / "Karaoke/d/up");
    fs::create_directory_symlink(root, dir / "Karaoke/self");
    fs::create_symlink(dir / "nowhere.mp4", dir / "Karaoke/dangling.mp4");
    fs::create_symlink(dir / "Karaoke/ok - fine.mp4", dir / "Karaoke/linked.mp4");
    // An unreadable folder: skipped, unless we run as root, who reads it anyway.
    dir.write("Karaoke/locked/hidden.mp4");
    fs::permissions(dir / "Karaoke/locked", fs::perms::none);
    ScanReport report;
    const auto scanned = scanSongFolders({root}, &report);
    const auto& songs = scanned.songs;
    fs::permissions(dir / "Karaoke/locked", fs::perms::owner_all);
    const bool rootUser = ::geteuid() == 0;
    EXPECT_EQ(songs.size(), rootUser ? 4u : 3u);
    EXPECT_EQ(report.unreadable, rootUser ? 0u : 1u);
}

TEST(Scan, FoldersInTheOrderGivenAMissingOneCounted) {
    TempDir one, two;
    one.write("Karaoke/Same - Song.mp4");
    two.write("Karaoke/Same - Song.mp4");
    two.write("Karaoke/Alone.mp4");
    ScanReport report;
    const auto scanned = scanSongFolders({two / "Karaoke", one / "missing", one / "Karaoke"}, &report);
    const auto& songs = scanned.songs;
    EXPECT_EQ(report.unreadable, 1u);
    ASSERT_EQ(songs.size(), 3u);
    EXPECT_EQ(songs[1].karaokeFile(), two / "Karaoke/Same - Song.mp4");
    EXPECT_EQ(songs[2].karaokeFile(), one / "Karaoke/Same - Song.mp4");
}

TEST(Scan, PublishedInOneStep) {
    TempDir dir;
    for (int i = 0; i < 3000; ++i)
        dir.write("Karaoke/g" + std::to_string(i % 30) + "/Song " + std::to_string(i) + ".mp4");
    SongManager songs;
    BackgroundQueue background(1);
    VirtualScheduler mainThread;
    std::atomic<bool> stop{false};
    std::atomic<int> partial{0}, seenFull{0};
    std::thread reader([&] {
        while (!stop) {
            auto snapshot = songs.catalogue();
            const auto n = snapshot->songs.size();
            if (n == 0) continue;
            const bool whole = n == 3000 && !snapshot->md5.empty() &&
                               std::count(snapshot->text.begin(), snapshot->text.end(), '\n') == 2999;
            whole ? ++seenFull : ++partial;
        }
    });
    std::shared_ptr<const Catalogue> delivered;
    loadCatalogueInBackground(background, mainThread, songs, {dir / "Karaoke"},
                              [&](std::shared_ptr<const Catalogue> c) { delivered = std::move(c); });
    background.join();
    while (seenFull == 0) std::this_thread::yield();
    stop = true;
    reader.join();
    EXPECT_EQ(partial.load(), 0);
    EXPECT_EQ(delivered, nullptr);  // handed to the main thread, not called in the background
    mainThread.runPending();
    ASSERT_NE(delivered, nullptr);
    EXPECT_EQ(delivered, songs.catalogue());
    // A later catalogue is refused: queued songs point into the first one.
    EXPECT_FALSE(songs.addAll(std::make_shared<Catalogue>(buildCatalogue({*songFromPath("/x", "y.mp4")}))));
    EXPECT_EQ(songs.getCount(), 3000);
}
