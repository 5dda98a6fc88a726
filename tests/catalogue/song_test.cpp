#include "catalogue/song.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/catalogue.h"
#include "catalogue/key_memo.h"

using namespace vocalis;

TEST(Song, FromFileNames) {
    // The root, the path below it, and the song's title, singer and category.
    const std::tuple<std::string, std::string, const char*, const char*, const char*> cases[] = {
        {"/media/usb/Karaoke", "Song.mp4", "Song", "", "-"},
        {"/k", "x/A - B - C.mkv", "A", "B", "-"},
        {"/k", "NhacTre/NhacMoi/x - y.mp4", "x", "y", "NhacMoi"},  // the table's order, not the path's
        {"/k", "NhacTanCo/sub/x - y.mp4", "x", "y", "NhacTanCo"},
        {"/k", "nhacmoi/x.mp4", "x", "", "-"},    // case-sensitive
        {"/k", "NhacMoiCu/x.mp4", "x", "", "-"},  // a whole folder name
        {"/NhacSan", "x.mp4", "x", "", "NhacSan"},
        {"/k", "Tab\there - Line\nfeed.mp4", "Tab here", "Line feed", "-"},
        {"/k", "Bad\xfe - x.mp4", "Bad\uFFFD", "x", "-"},  // still opened by its real path
        {"/k", " - .mp4", "", "", "-"},
    };
    for (const auto& [root, path, title, singer, category] : cases) {
        SCOPED_TRACE(path);
        const auto song = songFromPath(root, path);
        ASSERT_TRUE(song);
        EXPECT_EQ(std::tuple(song->title(), song->singer(), song->category(), song->karaokeFile(),
                             song->fileName()),
                  std::tuple(title, singer, category, root + "/" + path, path.substr(path.rfind('/') + 1)));
    }
    const auto plain = songFromPath("/k", "Song.mp4");
    EXPECT_TRUE(plain->singerSearch().empty() && plain->singerSearchNoSpace().empty() &&
                plain->singerShortcut().empty() && !plain->isVcv());
    EXPECT_EQ(songFromPath("/k", " - .mp4")->titleShortcut(), "");
    const auto vcv = songFromPath("/k", "Title One - Singer Two.vcv");
    EXPECT_TRUE(vcv->isVcv() && vcv->singerShortcut() == "st");
    EXPECT_FALSE(songFromPath("/k", "a.mp4.txt"));  // the other extensions are the scan test's
}

TEST(Song, SingersKeysFromTheMemoAreTheirOwn) {
    // More singers than the memo holds, each met twice, marked and decomposed alike: every
    // song's keys are those it gets without a memo, before and after the memo fills up.
    KeyMemo memo;
    const std::vector<std::string> singers = {"Khánh Ly", "Kha\u0301nh Ly", "Ðàm Vĩnh  Hưng", "", "Quang Lê"};
    for (std::size_t i = 0; i < KeyMemo::kMaxTexts + 10; ++i) {
        const std::string singer = singers[i % singers.size()] + (i % 3 ? " " + std::to_string(i / 2) : "");
        const std::string path = "NhacMoi/Bài " + std::to_string(i) + " - " + singer + ".mp4";
        const Song plain = *songFromPath("/k", path), memoized = *songFromPath("/k", path, &memo);
        ASSERT_EQ(memoized.singerSearch(), plain.singerSearch()) << path;
        ASSERT_EQ(memoized.singerSearchNoSpace(), plain.singerSearchNoSpace()) << path;
        ASSERT_EQ(memoized.singerShortcut(), plain.singerShortcut()) << path;
        ASSERT_EQ(memoized.getString(1, 0), plain.getString(1, 0)) << path;
    }
}

TEST(Catalogue, TextRecordsAndChecksum) {
    const Catalogue single = buildCatalogue({*songFromPath("/k", "NhacMoi/Đêm Đông - Khánh Ly.mp4")});
    EXPECT_EQ(single.text,
              "0\tĐêm Đông\tdd\tdem dong\tdemdong\tKhánh Ly\tkl\tkhanh ly\tkhanhly\t0\t0\tNhacMoi\t");
    EXPECT_EQ(single.md5, md5Hex(single.text));

    const Catalogue catalogue = buildCatalogue(
        {*songFromPath("/k", "b.mp4"), *songFromPath("/k", "a - x.mkv"), *songFromPath("/j", "b.mp4")});
    ASSERT_EQ(catalogue.songs.size(), 3u);
    // Equal keys keep the scan order: the two files named b.mp4 are different songs.
    EXPECT_EQ(catalogue.songs[1].karaokeFile(), "/k/b.mp4");
    EXPECT_EQ(catalogue.songs[2].karaokeFile(), "/j/b.mp4");
    EXPECT_EQ(catalogue.text,
              "0\ta\ta\ta\ta\tx\tx\tx\tx\t0\t0\t-\t\n"
              "1\tb\tb\tb\tb\t\t\t\t\t0\t0\t-\t\n"
              "2\tb\tb\tb\tb\t\t\t\t\t0\t0\t-\t");
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(buildCatalogue({}).text.empty());
}

TEST(Catalogue, SongsReadTheirTextsFromTheCatalogueText) {
    const auto fields = [](const Song& song) {
        return std::vector<std::string_view>{
            song.title(),    song.titleShortcut(),  song.titleSearch(),  song.titleSearchNoSpace(),
            song.singer(),   song.singerShortcut(), song.singerSearch(), song.singerSearchNoSpace(),
            song.category(), song.karaokeFile(),    song.fileName()};
    };
    // The second is short enough for its text and path to sit inside the strings themselves.
    const std::vector<Song> lists[] = {
        {*songFromPath("/media/usb/Karaoke", "NhacMoi/Đêm Đông - Khánh Ly.mp4"), *songFromPath("/k", ".mp4"),
         *songFromPath("/k", "A - B - C.vcv"), Song()},
        {Song("", "", "/k.mp4", "")},
        {Song()}};
    for (const std::vector<Song>& scanned : lists) {
        Catalogue built = buildCatalogue(scanned);
        const Catalogue catalogue(std::move(built));
        built = buildCatalogue({Song("", "", "/j.mkv", "")});  // other bytes where the first ones were
        ASSERT_EQ(catalogue.songs.size(), scanned.size());
        const auto inText = [&](std::string_view field) {
            return field.empty() ||
                   (field.data() >= catalogue.text.data() &&
                    field.data() + field.size() <= catalogue.text.data() + catalogue.text.size());
        };
        for (const Song& song : catalogue.songs) {
            const auto same = std::find_if(scanned.begin(), scanned.end(), [&](const Song& s) {
                return s.karaokeFile() == song.karaokeFile();
            });
            ASSERT_NE(same, scanned.end()) << song.karaokeFile();
            EXPECT_EQ(fields(song), fields(*same));
            EXPECT_EQ(song.getString(1, 0), same->getString(1, 0).replace(0, 2, std::to_string(song.songId)));
            // No second copy of what phones receive: every field but the path is read from it.
            const auto read = fields(song);
            EXPECT_TRUE(std::all_of(read.begin(), read.end() - 2, inText));
            // A copy of a catalogue's song reads the same bytes; one made on its own keeps its own.
            const Song copy = song;
            EXPECT_EQ(copy.title().data(), song.title().data());
            Song own = *same;
            const Song moved = std::move(own);
            EXPECT_EQ(fields(moved), fields(*same));
        }
    }
}
