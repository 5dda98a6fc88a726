#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "remote/http_date.h"
#include "support/socket_client.h"
#include "support/temp_dir.h"
#include "thumbnails/thumbnail_manager.h"
#include "thumbnails/thumbnail_server.h"

namespace vocalis {
namespace {

using namespace testing;
using Pictures = std::vector<std::optional<std::string>>;

// An index entry of a data file: 56 key bytes (byte 55 may be anything), offset and length.
using DataEntry = std::tuple<std::string, std::int32_t, std::int32_t>;

std::string dataFileBytes(std::int32_t count, const std::vector<DataEntry>& entries) {
    std::string bytes;
    const auto put = [&](std::int32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<char>(static_cast<std::uint32_t>(value) >> shift));
    };
    put(count);
    for (const auto& [key, offset, length] : entries) {
        bytes += (key + std::string(56, '\0')).substr(0, 56);
        put(offset);
        put(length);
    }
    return bytes;
}

// A data file with the pictures after the index, in the given (sorted) order.
std::string dataFileWithPictures(const std::vector<std::pair<std::string, std::string>>& keyedPictures) {
    std::vector<DataEntry> entries;
    std::string pictures;
    for (const auto& [key, picture] : keyedPictures) {
        entries.push_back({key, static_cast<std::int32_t>(4 + 64 * keyedPictures.size() + pictures.size()),
                           static_cast<std::int32_t>(picture.size())});
        pictures += picture;
    }
    return dataFileBytes(static_cast<std::int32_t>(entries.size()), entries) + pictures;
}

// A title sorting after the short ones whose file name "<title>-x.jpg" is `nameLength` bytes.
std::string longTitle(char second, std::size_t nameLength) {
    return "z" + std::string(1, second) + std::string(nameLength - 8, 'z');
}

class Thumbnails : public ::testing::Test {
  protected:
    // Songs from their file names without the extension ("Title - Singer"); ids follow the titles' order.
    void publish(const std::vector<std::string>& names) {
        std::vector<Song> list;
        for (const auto& name : names) list.push_back(*songFromPath("/songs", name + ".mkv"));
        songs_.addAll(std::make_shared<const Catalogue>(buildCatalogue(std::move(list))));
    }
    void load(const std::string& data) {
        dir_.write("thumbnail.dat", data);
        manager_.load(dir_ / "thumbnail", dir_ / "thumbnail.dat");
    }
    Pictures pictures(std::int32_t count) {
        Pictures out;
        for (std::int32_t id = 0; id < count; ++id) {
            const auto bytes = manager_.getThumbnail(id);
            out.push_back(bytes ? std::optional<std::string>(std::in_place, bytes->begin(), bytes->end())
                                : std::nullopt);
        }
        return out;
    }
    void serve() {
        // ids: 0 "a" (folder), 1 "b" (data file only), 2 "c" (none), 3 "d", 4 "e", 5 "f" (folder),
        // 6 and 7 (data file only, file names of 249 and 255 bytes)
        publish({"a - One", "b - Two", "c - Three", "d", "e", "f - Six", longTitle('a', 249) + " - x",
                 longTitle('b', 255) + " - x"});
        dir_.write("thumbnail/a-one.jpg", "JPEG-A");
        dir_.write("thumbnail/f-six.jpg", "JPEG-F");
        load(dataFileWithPictures({{"b-two", "JPEG-B-FROM-DATA"},
                                   {longTitle('a', 249).substr(0, 55), "JPEG-249"},
                                   {longTitle('b', 255).substr(0, 55), "JPEG-255"}}));
        std::string error;
        ASSERT_TRUE(server_.start(0, &error)) << error;
    }
    // Sends one request and reads the answer; every answer must close its connection.
    HttpAnswer request(const std::string& target, const std::string& method = "GET") {
        RawClient client(server_.port());
        EXPECT_TRUE(client.send(method + " " + target + " HTTP/1.1\r\nHost: phone\r\n\r\n"));
        const HttpAnswer answer = client.readAnswer(method == "HEAD").value_or(HttpAnswer{});
        EXPECT_TRUE(client.waitClosed()) << target;
        EXPECT_EQ(answer.field("connection"), "Close") << target;
        return answer;
    }

    TempDir dir_;
    SongManager songs_;
    ThumbnailManager manager_{songs_};
    ThumbnailServer server_{manager_, songs_};
};

TEST_F(Thumbnails, FindsPicturesByKeyInCStringOrderAndFallsBackToTheFolder) {
    // ids by title order: 0 "aa", 1 "long...", 2 "mm", 3 "zz", 4 "æ" (bytes above 0x7f sort last)
    publish({"aa - One", std::string(60, 'l') + " - Two", "mm", "zz - Three", "æ - Four"});
    dir_.write("thumbnail/zz-three.jpg", "FOLDER-ZZ");
    dir_.write("thumbnail/aa-one.jpg", "FOLDER-AA-NOT-USED");
    // The long key differs from the file's only after byte 55, once that byte is cleared.
    load(dataFileWithPictures({{"aa-one", "PICTURE-AA"},
                               {std::string(55, 'l') + "!garbage", "PICTURE-LONG"},
                               {"mm-", "PICTURE-MM"},
                               {"æ-four", "PICTURE-AE"}}));
    EXPECT_EQ(pictures(6), (Pictures{"PICTURE-AA", "PICTURE-LONG", "PICTURE-MM", "FOLDER-ZZ", "PICTURE-AE",
                                     std::nullopt}));
    EXPECT_FALSE(manager_.getThumbnail(-1));

    // The folder is consulted afresh on every request.
    std::filesystem::remove(dir_ / "thumbnail/zz-three.jpg");
    EXPECT_EQ(pictures(4)[3], std::nullopt);
    dir_.write("thumbnail/zz-three.jpg", "FOLDER-ZZ-2");
    EXPECT_EQ(pictures(4)[3], "FOLDER-ZZ-2");
}

TEST_F(Thumbnails, EntriesOutsideTheLimitsDecideWithoutTheFolderAndNothingIsReadPastTheEnd) {
    publish({"a", "b", "c", "d", "e"});
    for (const char* name : {"a", "b", "c", "d", "e"})
        dir_.write(std::string("thumbnail/") + name + "-.jpg", "FOLDER");
    const std::string big(102399, 'p'), folder = "FOLDER";
    const std::int32_t start = 4 + 64 * 5;
    // Only a's picture is whole and small enough; e's runs past the end of the file.
    const std::vector<DataEntry> limits = {{"a-", start, 102399},
                                           {"b-", start, 102400},
                                           {"c-", 0, 10},
                                           {"d-", start, 0},
                                           {"e-", start + 102394, 10}};
    const std::vector<DataEntry> entries = {{"a-", 1, 3}, {"b-", 1, 3}, {"c-", 1, 3}};
    // A count of 99999 is accepted; the file holds two whole entries and part of a third.
    const std::string cut = dataFileBytes(99999, entries).substr(0, 4 + 64 * 2 + 30),
                      inCut = cut.substr(1, 3);
    const std::pair<std::string, Pictures> cases[] = {
        {dataFileBytes(5, limits) + big, {big, std::nullopt, std::nullopt, std::nullopt, std::nullopt}},
        {dataFileBytes(0, entries), Pictures(5, folder)},
        {dataFileBytes(100000, entries), Pictures(5, folder)},
        {dataFileBytes(-1, entries), Pictures(5, folder)},
        {"", Pictures(5, folder)},
        {std::string("\x02\x00", 2), Pictures(5, folder)},
        {cut, {inCut, inCut, folder, folder, folder}},
    };
    for (const auto& [data, expected] : cases) {
        load(data);
        EXPECT_EQ(pictures(5), expected) << data.size();
    }
    manager_.load(dir_ / "thumbnail", dir_ / "missing.dat");
    EXPECT_EQ(pictures(5), Pictures(5, folder));
}

TEST_F(Thumbnails, AnswersAPictureByTheIdInItsPathWithItsFileFieldsAndCloses) {
    serve();
    const HttpAnswer answer = request("/0");
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.body, "JPEG-A");
    struct stat info {};
    ASSERT_EQ(::stat((dir_ / "thumbnail/a-one.jpg").c_str(), &info), 0);
    for (const auto& [field, value] :
         {std::pair{"content-type", "image/jpeg"}, {"content-length", "6"}, {"cache-control", "no-cache"}})
        EXPECT_EQ(answer.field(field), value) << field;
    EXPECT_EQ(answer.field("last-modified"), httpDate(info.st_mtim.tv_sec));
    EXPECT_FALSE(answer.field("content-disposition"));
    ASSERT_TRUE(answer.field("etag"));
    EXPECT_NE(request("/5").field("etag"), answer.field("etag"));
    EXPECT_EQ(request("/0", "HEAD").field("content-length"), "6");

    // Ids are read from the path without slashes; without digits, 0; a space ends the target.
    const char* const bodies[][2] = {
        {"/", "JPEG-A"},          {"/abc", "JPEG-A"},   {"/../../thumbnail.dat", "JPEG-A"},
        {"/5/extra/7", "JPEG-F"}, {"/5.jpg", "JPEG-F"}, {"/5?size=large", "JPEG-F"}};
    for (const auto& [target, body] : bodies) EXPECT_EQ(request(target).body, body) << target;
    for (const char* target : {"/8", "/-3", "/2", "/99999999999"})
        EXPECT_EQ(request(target).status, 500) << target;
    EXPECT_EQ(request("/2", "HEAD").status, 500);
    EXPECT_EQ(request("/0", "DELETE").status, 405);
    // Nothing from an unloaded store, though a picture's file is still in the folder.
    manager_.unload();
    EXPECT_EQ(request("/0").status, 500);
    EXPECT_EQ(request("/1").status, 500);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "thumbnail/b-two.jpg"));
}

TEST_F(Thumbnails, DataFilePicturesAreCopiedIntoTheFolderOnFirstRequest) {
    serve();
    // Phones asking at once for the uncached pictures, the longest file names among them, each
    // get their own whole.
    const std::pair<const char*, const char*> wanted[] = {
        {"/1", "JPEG-B-FROM-DATA"}, {"/6", "JPEG-249"}, {"/7", "JPEG-255"}};
    std::vector<std::thread> phones;
    std::atomic<int> good{0};
    for (int i = 0; i < 18; ++i)
        phones.emplace_back([&, i] {
            const HttpAnswer answer =
                ask(server_.port(), "GET " + std::string(wanted[i % 3].first) + " HTTP/1.1\r\n\r\n");
            good += answer.status == 200 && answer.body == wanted[i % 3].second;
        });
    for (auto& phone : phones) phone.join();
    EXPECT_EQ(good, 18);
    EXPECT_EQ(readFile(dir_ / "thumbnail/b-two.jpg"), "JPEG-B-FROM-DATA");
    EXPECT_EQ(readFile(dir_ / ("thumbnail/" + longTitle('b', 255) + "-x.jpg")), "JPEG-255");
    // Only the finished pictures are left in the folder: no temporary files.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "thumbnail"), {}), 5);
    // Later requests are served from the file.
    dir_.write("thumbnail/b-two.jpg", "JPEG-B-EDITED");
    EXPECT_EQ(request("/1").body, "JPEG-B-EDITED");
}

}  // namespace
}  // namespace vocalis
