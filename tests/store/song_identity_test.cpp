#include "store/song_identity.h"

#include <gtest/gtest.h>

#include "catalogue/song_scanner.h"
#include "support/temp_dir.h"

using namespace vocalis;
using vocalis::testing::TempDir;

TEST(SongMatcher, FindsStoredSongsAfterDrivesMoveAndFilesAreRenamed) {
    TempDir dir;
    dir.write("usb2/Karaoke/Pop/Ướt mi - Trịnh.mkv", "12345678");
    dir.write("usb2/Karaoke/Ballad/Hello - Adele - live.mp4", "1234");
    dir.write("usb2/Karaoke/Dup - A.mp4", "12345");
    dir.write("data/Karaoke/Dup - A.mp4", "123");
    dir.write("data/Karaoke/Pop/Other - C.mp4", "1");
    // As a folder given on the command line may be written, with a trailing slash.
    const std::vector<std::string> folders = {dir / "usb2/Karaoke/", dir / "data/Karaoke"};
    const auto catalogue = std::make_shared<const Catalogue>(buildCatalogue(scanSongFolders(folders)));
    const SongMatcher matcher(catalogue, folders);

    // A start with nothing changed finds every song again.
    for (const Song& song : catalogue->songs) {
        const SongIdentity identity = songIdentity(song, folders);
        EXPECT_FALSE(identity.relativePath.starts_with(dir.path())) << identity.relativePath;
        EXPECT_EQ(matcher.find(identity), song.songId) << song.karaokeFile();
    }

    const struct {
        const char* what;
        SongIdentity stored;
        std::string expected;  // the file found, or empty for none
    } cases[] = {
        {"the drive mounted elsewhere",
         {"Pop/Ướt mi - Trịnh.mkv", "Ướt mi", "Trịnh", 8},
         dir / "usb2/Karaoke/Pop/Ướt mi - Trịnh.mkv"},
        {"renamed and moved, same title and singer",
         {"Pop/Hello - Adele.mp4", "Hello", "Adele", 4},
         dir / "usb2/Karaoke/Ballad/Hello - Adele - live.mp4"},
        {"the path wins over the title",
         {"Pop/Other - C.mp4", "Hello", "Adele", 0},
         dir / "data/Karaoke/Pop/Other - C.mp4"},
        {"on two drives: the stored size decides",
         {"Dup - A.mp4", "Dup", "A", 3},
         dir / "data/Karaoke/Dup - A.mp4"},
        {"on two drives: the other size", {"Dup - A.mp4", "Dup", "A", 5}, dir / "usb2/Karaoke/Dup - A.mp4"},
        {"a title matching no singer", {"Pop/Hello.mp4", "Hello", "Someone", 4}, ""},
        {"gone from every drive", {"Gone - B.mkv", "Gone", "B", 9}, ""},
    };
    for (const auto& c : cases) {
        const auto id = matcher.find(c.stored);
        EXPECT_EQ(id ? std::string(catalogue->songs[static_cast<std::size_t>(*id)].karaokeFile()) : "",
                  c.expected)
            << c.what;
    }
}
