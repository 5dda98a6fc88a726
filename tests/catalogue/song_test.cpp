#include "catalogue/song.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "catalogue/key_memo.h"

using namespace vocalis;

TEST(Song, FromFileNames) {
    auto song = songFromPath("/media/usb/Karaoke", "Song.mp4");
    ASSERT_TRUE(song);
    EXPECT_EQ(song->title, "Song");
    EXPECT_EQ(song->singer, "");
    EXPECT_TRUE(song->singerSearch.empty() && song->singerSearchNoSpace.empty() &&
                song->singerShortcut.empty());
    EXPECT_EQ(song->karaokeFile, "/media/usb/Karaoke/Song.mp4");
    EXPECT_EQ(song->fileName, "Song.mp4");
    EXPECT_EQ(song->category, "-");

    song = songFromPath("/k", "x/A - B - C.mkv");
    ASSERT_TRUE(song);
    EXPECT_EQ(song->title, "A");
    EXPECT_EQ(song->singer, "B");
    EXPECT_EQ(song->fileName, "A - B - C.mkv");

    song = songFromPath("/k", "Title One - Singer Two.vcv");
    ASSERT_TRUE(song);
    EXPECT_TRUE(song->isVcv());
    EXPECT_EQ(song->singerShortcut, "st");

    EXPECT_TRUE(songFromPath("/k", "a.vob"));
    EXPECT_FALSE(songFromPath("/k", "a.MP4"));
    EXPECT_FALSE(songFromPath("/k", "a.mp3"));
    EXPECT_FALSE(songFromPath("/k", "a.mp4.txt"));
}

TEST(Song, CategoryFollowsTableOrderNotPathOrder) {
    auto song = songFromPath("/k", "NhacTre/NhacMoi/x - y.mp4");
    EXPECT_EQ(song->category, "NhacMoi");
    song = songFromPath("/k", "NhacTanCo/sub/x - y.mp4");
    EXPECT_EQ(song->category, "NhacTanCo");
    // Case-sensitive, and the name must be a whole folder.
    EXPECT_EQ(songFromPath("/k", "nhacmoi/x.mp4")->category, "-");
    EXPECT_EQ(songFromPath("/k", "NhacMoiCu/x.mp4")->category, "-");
    EXPECT_EQ(songFromPath("/NhacSan", "x.mp4")->category, "NhacSan");
}

TEST(Song, SingersKeysFromTheMemoAreTheirOwn) {
    // More singers than the memo holds, each met twice, marked and decomposed alike: every
    // song's keys are those it gets without a memo, before and after the memo fills up.
    KeyMemo memo;
    const std::vector<std::string> singers = {"Khánh Ly", "Kha\u0301nh Ly", "Ðàm Vĩnh  Hưng", "", "Quang Lê"};
    for (std::size_t i = 0; i < KeyMemo::kMaxTexts + 10; ++i) {
        const std::string singer = singers[i % singers.size()] + (i % 3 ? " " + std::to_string(i / 2) : "");
        const std::string path = "NhacMoi/Bài " + std::to_string(i) + " - " + singer + ".mp4";
        const Song plain = *songFromPath("/k", path);
        const Song memoized = *songFromPath("/k", path, &memo);
        ASSERT_EQ(memoized.singerSearch, plain.singerSearch) << path;
        ASSERT_EQ(memoized.singerSearchNoSpace, plain.singerSearchNoSpace) << path;
        ASSERT_EQ(memoized.singerShortcut, plain.singerShortcut) << path;
        ASSERT_EQ(memoized.getString(1, 0), plain.getString(1, 0)) << path;
    }
}

TEST(Song, NamesThatWouldBreakARecord) {
    auto song = songFromPath("/k", "Tab\there - Line\nfeed.mp4");
    EXPECT_EQ(song->title, "Tab here");
    EXPECT_EQ(song->singer, "Line feed");
    song = songFromPath("/k", "Bad\xfe - x.mp4");
    EXPECT_EQ(song->title, "Bad\uFFFD");
    EXPECT_EQ(song->karaokeFile, "/k/Bad\xfe - x.mp4");  // still opened by its real path
    song = songFromPath("/k", " - .mp4");
    EXPECT_EQ(song->title, "");
    EXPECT_EQ(song->titleShortcut, "");
}

TEST(Catalogue, TextRecordsAndChecksum) {
    std::vector<Song> one{*songFromPath("/k", "NhacMoi/Đêm Đông - Khánh Ly.mp4")};
    Catalogue single = buildCatalogue(one);
    EXPECT_EQ(single.text,
              "0\tĐêm Đông\tdd\tdem dong\tdemdong\tKhánh Ly\tkl\tkhanh ly\tkhanhly\t0\t0\tNhacMoi\t");
    EXPECT_EQ(single.md5, md5Hex(single.text));

    std::vector<Song> songs{*songFromPath("/k", "b.mp4"), *songFromPath("/k", "a - x.mkv"),
                            *songFromPath("/j", "b.mp4")};
    Catalogue catalogue = buildCatalogue(songs);
    ASSERT_EQ(catalogue.songs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(catalogue.songs[i].songId, static_cast<int>(i));
    EXPECT_EQ(catalogue.songs[0].title, "a");
    // Equal keys keep the scan order: the two files named b.mp4 are different songs.
    EXPECT_EQ(catalogue.songs[1].karaokeFile, "/k/b.mp4");
    EXPECT_EQ(catalogue.songs[2].karaokeFile, "/j/b.mp4");
    EXPECT_EQ(catalogue.text,
              "0\ta\ta\ta\ta\tx\tx\tx\tx\t0\t0\t-\t\n"
              "1\tb\tb\tb\tb\t\t\t\t\t0\t0\t-\t\n"
              "2\tb\tb\tb\tb\t\t\t\t\t0\t0\t-\t");

    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(buildCatalogue({}).text.empty());
}
