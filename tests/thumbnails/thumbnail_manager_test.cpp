#include "thumbnails/thumbnail_manager.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/temp_dir.h"
#include "thumbnails/thumbnail_fixture.h"

namespace vocalis {
namespace {

using namespace testing;
using Pictures = std::vector<std::optional<std::string>>;

TEST(ThumbnailKey, JoinsTitleAndSingerAndKeepsFiftyFiveBytes) {
    const std::string sixty(60, 'a');
    const std::pair<std::string, std::string> keys[] = {
        {"Em Ơi - Ca Sĩ", "emoi-casi"},
        {"Đêm Đông", "demdong-"},
        {sixty + " - X", std::string(55, 'a')},
        {std::string(54, 'b') + " - Singer", std::string(54, 'b') + "-"}};
    for (const auto& [name, key] : keys) EXPECT_EQ(thumbnailKey(songNamed(name)), key);
    EXPECT_EQ(thumbnailFileName(songNamed(sixty + " - Ca Sĩ")), sixty + "-casi.jpg");
}

class ThumbnailManagerTest : public ::testing::Test {
  protected:
    void load(const std::string& data) {
        dir_.write("thumbnail.dat", data);
        manager_.load(dir_ / "thumbnail", dir_ / "thumbnail.dat");
    }
    std::optional<std::string> picture(std::int32_t songId) {
        const auto bytes = manager_.getThumbnail(songId);
        return bytes ? std::optional<std::string>(std::in_place, bytes->begin(), bytes->end()) : std::nullopt;
    }
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
    publish(songs_, {"aa - One", std::string(60, 'l') + " - Two", "mm", "zz - Three", "æ - Four"});
    ASSERT_EQ(songs_.getSong(4)->titleSearchNoSpace, "æ");
    dir_.write("thumbnail/zz-three.jpg", "FOLDER-ZZ");
    dir_.write("thumbnail/aa-one.jpg", "FOLDER-AA-NOT-USED");
    // The long key differs from the file's only after byte 55, once that byte is cleared.
    load(dataFileWithPictures({{"aa-one", "PICTURE-AA"},
                               {std::string(55, 'l') + "!garbage", "PICTURE-LONG"},
                               {"mm-", "PICTURE-MM"},
                               {"æ-four", "PICTURE-AE"}}));
    EXPECT_EQ(manager_.thumbnailCount(), 4);
    for (const auto& [id, index] : {std::pair{0, 0}, {1, 1}, {3, -1}, {4, 3}})
        EXPECT_EQ(manager_.searchInThumbnailData(*songs_.getSong(id)), index) << id;
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
    EXPECT_EQ(picturesUpTo(4), Pictures(4));
}

TEST_F(ThumbnailManagerTest, OffsetAndLengthLimitsDecideWithoutTheFolder) {
    publish(songs_, {"a", "b", "c", "d", "e"});
    for (const char* name : {"a", "b", "c", "d", "e"})
        dir_.write(std::string("thumbnail/") + name + "-.jpg", "FOLDER");
    const std::int32_t pictures = 4 + 64 * 5;
    load(dataFileBytes(5, {{"a-", pictures, 102399},
                           {"b-", pictures, 102400},
                           {"c-", 0, 10},
                           {"d-", pictures, 0},
                           {"e-", pictures + 102399 - 5, 10}}) +  // runs past the end
         std::string(102399, 'p'));
    EXPECT_EQ(picturesUpTo(5),
              (Pictures{std::string(102399, 'p'), std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
}

TEST_F(ThumbnailManagerTest, CountsOutsideTheLimitsAndShortFilesNeverReadPastTheEnd) {
    publish(songs_, {"a", "b", "c"});
    dir_.write("thumbnail/a-.jpg", "FOLDER-A");
    dir_.write("thumbnail/c-.jpg", "FOLDER-C");
    const std::vector<DataEntry> entries = {{"a-", 1, 3}, {"b-", 1, 3}, {"c-", 1, 3}};
    for (const std::string& data : {dataFileBytes(0, entries), dataFileBytes(100000, entries),
                                    dataFileBytes(-1, entries), std::string(), std::string("\x02\x00", 2)}) {
        SCOPED_TRACE(data.size());
        load(data);
        EXPECT_EQ(manager_.thumbnailCount(), 0);
        EXPECT_EQ(picturesUpTo(2), (Pictures{"FOLDER-A", std::nullopt}));
    }
    // 99999 is accepted; the file holds two whole entries and part of a third.
    std::string bytes = dataFileBytes(99999, entries);
    bytes.resize(4 + 64 * 2 + 30);
    load(bytes);
    EXPECT_EQ(manager_.thumbnailCount(), 2);
    EXPECT_EQ(picturesUpTo(3), (Pictures{bytes.substr(1, 3), bytes.substr(1, 3), "FOLDER-C"}));
    // A missing data file: the folder alone.
    std::filesystem::remove(dir_ / "thumbnail.dat");
    manager_.load(dir_ / "thumbnail", dir_ / "thumbnail.dat");
    EXPECT_EQ(manager_.thumbnailCount(), 0);
    EXPECT_EQ(picture(2), "FOLDER-C");
}

TEST_F(ThumbnailManagerTest, ConcurrentReadersEachGetTheirOwnPicture) {
    std::vector<std::string> names;
    std::vector<std::pair<std::string, std::string>> keyed;
    for (int i = 0; i < 50; ++i) {
        names.push_back("s" + std::to_string(10 + i));
        keyed.emplace_back(names.back() + "-", std::string(2000 + i, static_cast<char>('A' + i % 26)));
    }
    publish(songs_, names);
    load(dataFileWithPictures(keyed));
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 8; ++t)
        readers.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                const int id = (round * 7 + t) % 50;
                if (picture(id) != keyed[static_cast<std::size_t>(id)].second) ++wrong;
            }
        });
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace vocalis
