#include "audio/melody_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;

namespace {

bool sameNotes(const Melody& a, const Melody& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a.at(i).has_value() != b.at(i).has_value() ||
            std::abs(a.at(i).value_or(0) - b.at(i).value_or(0)) > 0.01f)
            return false;
    return true;
}

void setModified(const std::string& path, long seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

}  // namespace

TEST(MelodyCache, KeepsEachSongsMelodyUntilTheSongFileChanges) {
    TempDir dir;
    const std::string song = dir.write("Karaoke/Bài ca.mkv", "the song"),
                      other = dir.write("Karaoke/Other.vob", "x");
    const Melody melody{{NAN, 60.0f, 60.25f, 72.57f, NAN, 45.5f}};
    MelodyCache cache(dir / "data/melodies");
    EXPECT_FALSE(cache.find(song));
    cache.keep(song, melody);
    cache.keep(other, {});  // made, and no voice found
    ASSERT_TRUE(cache.find(song));
    EXPECT_TRUE(sameNotes(*cache.find(song), melody));
    ASSERT_TRUE(cache.find(other));
    EXPECT_EQ(cache.find(other)->size(), 0u);
    // The next start of the player reads what this one kept, however it names the file.
    EXPECT_TRUE(MelodyCache(dir / "data/melodies").find(dir / "Karaoke/../Karaoke/./Bài ca.mkv"));

    // A song file changed since (a bigger file, or only a new time) is made again.
    setModified(song, 1700000000);
    cache.keep(song, melody);
    std::ofstream(song, std::ios::app) << "more";
    setModified(song, 1700000000);
    EXPECT_FALSE(cache.find(song));
    cache.keep(song, melody);
    setModified(song, 1700000001);
    EXPECT_FALSE(cache.find(song));

    // A damaged file reads as never made.
    TempDir alone;
    MelodyCache damaged(alone / "melodies");
    damaged.keep(song, melody);
    const auto file = std::filesystem::directory_iterator(alone / "melodies")->path().string();
    const std::string whole = readFile(file);
    std::string flipped = whole;
    flipped[whole.size() / 2] ^= 0x10;
    for (const std::string& bytes : {whole.substr(0, whole.size() / 2), whole.substr(0, whole.size() - 1),
                                     flipped, std::string(), std::string("not a melody")}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_FALSE(damaged.find(song)) << bytes.size() << " bytes";
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc) << whole;
    EXPECT_TRUE(damaged.find(song));
}

TEST(MelodyCache, AReaderOnAnotherThreadNeverSeesHalfAFile) {
    TempDir dir;
    const std::string song = dir.write("Song.mp4", "the song");
    Melody shortOne, longOne;
    shortOne.notes.assign(100, 60.0f);
    longOne.notes.assign(30000, 67.5f);
    MelodyCache cache(dir / "melodies");
    cache.keep(song, shortOne);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) cache.keep(song, i % 2 ? shortOne : longOne);
        done = true;
    });
    int reads = 0, whole = 0;
    while (!done) {
        const auto found = cache.find(song);
        ++reads;
        whole += found && (sameNotes(*found, shortOne) || sameNotes(*found, longOne));
    }
    writer.join();
    EXPECT_EQ(whole, reads);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "melodies"), {}),
              1);  // no temporary left
}
