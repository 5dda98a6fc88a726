#include "thumbnails/thumbnail_manager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "support/temp_dir.h"
#include "thumbnails/thumbnail_fixture.h"

namespace vocalis {
namespace {

using testing::DataEntry;
using testing::dataFileBytes;
using testing::dataFileWithPictures;
using testing::publish;
using testing::songNamed;
using testing::TempDir;
using Pictures = std::vector<std::optional<std::string>>;

TEST(ThumbnailKey, JoinsTitleAndSingerAndKeepsFiftyFiveBytes) {
    EXPECT_EQ(thumbnailKey(songNamed("Em Ơi", "Ca Sĩ")), "emoi-casi");
    EXPECT_EQ(thumbnailKey(songNamed("Đêm Đông", "")), "demdong-");
    const std::string sixty(60, 'a');
    EXPECT_EQ(thumbnailKey(songNamed(sixty, "X")), std::string(55, 'a'));
    EXPECT_EQ(thumbnailKey(songNamed(std::string(54, 'b'), "Singer")), std::string(54, 'b') + "-");
    EXPECT_EQ(thumbnailFileName(songNamed(sixty, "Ca Sĩ")), sixty + "-casi.jpg");
}

class ThumbnailManagerTest : public ::testing::Test {
  protected:
    void writeData(const std::string& bytes) { dir_.write("thumbnail.dat", bytes); }
    void load() { manager_.load(dir_ / "thumbnail", dir_ / "thumbnail.dat"); }
    std::optional<std::string> picture(std::int32_t songId) {
        const auto bytes = manager_.getThumbnail(songId);
        if (!bytes) return std::nullopt;
        return std::string(bytes->begin(), bytes->end());
    }
    // The pictures of songs 0 to count - 1.
    Pictures picturesUpTo(std::int32_t count) {
        Pictures out;
        for (std::int32_t id = 0; id < count; ++id) out.push_back(picture(id));
        return out;
    }

    TempDir dir_;
    SongManager songs_;
    ThumbnailManager manager_{songs_};
};

TEST_F(ThumbnailManagerTest, FindsPicturesByKeyInCStringOrderAndFallsBackToTheFolder) {
    // ids by title order: 0 "aa", 1 "long...", 2 "mm", 3 "zz", 4 "æ" (bytes above 0x7f sort last)
    publish(songs_, {songNamed("aa", "One"), songNamed(std::string(60, 'l'), "Two"), songNamed("mm", ""),
                     songNamed("zz", "Three"), songNamed("æ", "Four")});
    ASSERT_EQ(songs_.getSong(4)->titleSearchNoSpace, "æ");
    // "mm-" differs from the file's key only after byte 55 once that byte is cleared.
    std::string longKey = std::string(55, 'l') + "!garbage";
    writeData(dataFileWithPictures({{"aa-one", "PICTURE-AA"},
                                    {longKey, "PICTURE-LONG"},
                                    {"mm-", "PICTURE-MM"},
                                    {"æ-four", "PICTURE-AE"}}));
    dir_.write("thumbnail/zz-three.jpg", "FOLDER-ZZ");
    dir_.write("thumbnail/aa-one.jpg", "FOLDER-AA-NOT-USED");
    load();

    EXPECT_EQ(manager_.thumbnailCount(), 4);
    EXPECT_EQ(manager_.searchInThumbnailData(*songs_.getSong(0)), 0);
    EXPECT_EQ(manager_.searchInThumbnailData(*songs_.getSong(1)), 1);
    EXPECT_EQ(manager_.searchInThumbnailData(*songs_.getSong(3)), -1);
    EXPECT_EQ(manager_.searchInThumbnailData(*songs_.getSong(4)), 3);
    EXPECT_EQ(picturesUpTo(6), (Pictures{"PICTURE-AA", "PICTURE-LONG", "PICTURE-MM", "FOLDER-ZZ",
                                         "PICTURE-AE", std::nullopt}));
    EXPECT_EQ(picture(-1), std::nullopt);
    EXPECT_EQ(manager_.getThumbnailOffset(0), 4 + 64 * 4);
    EXPECT_EQ(manager_.getThumbnailLength(0), 10);
    EXPECT_EQ(manager_.getThumbnailOffset(4), -1);
    EXPECT_EQ(manager_.getThumbnailLength(-1), -1);

    // The folder is consulted afresh on every request.
    std::filesystem::remove(dir_ / "thumbnail/zz-three.jpg");
    EXPECT_EQ(picture(3), std::nullopt);
    dir_.write("thumbnail/zz-three.jpg", "FOLDER-ZZ-2");
    EXPECT_EQ(picture(3), "FOLDER-ZZ-2");

    manager_.unload();
    EXPECT_EQ(picture(0), std::nullopt);
    EXPECT_EQ(picture(3), std::nullopt);
}

TEST_F(ThumbnailManagerTest, OffsetAndLengthLimitsDecideWithoutTheFolder) {
    publish(songs_, {songNamed("a", ""), songNamed("b", ""), songNamed("c", ""), songNamed("d", ""),
                     songNamed("e", "")});
    for (const char* name : {"a", "b", "c", "d", "e"})
        dir_.write(std::string("thumbnail/") + name + "-.jpg", "FOLDER");
    const std::int32_t pictures = 4 + 64 * 5;
    std::string bytes = dataFileBytes(5, {{"a-", pictures, 102399},
                                          {"b-", pictures, 102400},
                                          {"c-", 0, 10},
                                          {"d-", pictures, 0},
                                          {"e-", pictures + 102399 - 5, 10}});  // runs past the end
    bytes += std::string(102399, 'p');
    writeData(bytes);
    load();

    EXPECT_EQ(picturesUpTo(5),
              (Pictures{std::string(102399, 'p'), std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
}

TEST_F(ThumbnailManagerTest, CountsOutsideTheLimitsAndShortFilesNeverReadPastTheEnd) {
    publish(songs_, {songNamed("a", ""), songNamed("b", ""), songNamed("c", "")});
    dir_.write("thumbnail/a-.jpg", "FOLDER-A");
    dir_.write("thumbnail/c-.jpg", "FOLDER-C");
    const std::vector<DataEntry> entries = {{"a-", 1, 3}, {"b-", 1, 3}, {"c-", 1, 3}};

    for (std::int32_t count : {0, 100000, -1}) {
        SCOPED_TRACE(count);
        writeData(dataFileBytes(count, entries));
        load();
        EXPECT_EQ(manager_.thumbnailCount(), 0);
        EXPECT_EQ(picture(0), "FOLDER-A");
        EXPECT_EQ(picture(1), std::nullopt);
    }
    for (const std::string& cut : {std::string(""), std::string("\x02\x00", 2)}) {
        writeData(cut);
        load();
        EXPECT_EQ(manager_.thumbnailCount(), 0);
        EXPECT_EQ(picture(0), "FOLDER-A");
    }

    // 99999 is accepted; the file holds two whole entries and part of a third.
    std::string bytes = dataFileBytes(99999, entries);
    bytes.resize(4 + 64 * 2 + 30);
    writeData(bytes);
    load();
    EXPECT_EQ(manager_.thumbnailCount(), 2);
    EXPECT_EQ(picturesUpTo(3), (Pictures{bytes.substr(1, 3), bytes.substr(1, 3), "FOLDER-C"}));

    // A missing data file: the folder alone.
    std::filesystem::remove(dir_ / "thumbnail.dat");
    load();
    EXPECT_EQ(manager_.thumbnailCount(), 0);
    EXPECT_EQ(picture(2), "FOLDER-C");
}

TEST_F(ThumbnailManagerTest, ConcurrentReadersEachGetTheirOwnPicture) {
    std::vector<Song> list;
    std::vector<std::pair<std::string, std::string>> keyed;
    for (int i = 0; i < 50; ++i) {
        char title[8];
        std::snprintf(title, sizeof title, "s%02d", i);
        list.push_back(songNamed(title, ""));
        keyed.emplace_back(std::string(title) + "-", std::string(2000 + i, static_cast<char>('A' + i % 26)));
    }
    publish(songs_, list);
    writeData(dataFileWithPictures(keyed));
    load();

    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 8; ++t) {
        readers.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                const int id = (round * 7 + t) % 50;
                if (picture(id) != keyed[static_cast<std::size_t>(id)].second) ++wrong;
            }
        });
    }
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace vocalis
