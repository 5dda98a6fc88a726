#include "thumbnails/thumbnail_server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <thread>

#include "remote/http_date.h"
#include "support/socket_client.h"
#include "support/temp_dir.h"
#include "thumbnails/thumbnail_fixture.h"
#include "thumbnails/thumbnail_manager.h"

namespace vocalis {
namespace {

using namespace testing;

// A title sorting after the short ones whose file name "<title>-x.jpg" is `nameLength` bytes.
std::string longTitle(char second, std::size_t nameLength) {
    return "z" + std::string(1, second) + std::string(nameLength - 8, 'z');
}

class ThumbnailServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // ids: 0 "a" (folder), 1 "b" (data file only), 2 "c" (none), 3 "d", 4 "e", 5 "f" (folder),
        // 6 and 7 (data file only, file names of 249 and 255 bytes)
        publish(songs_, {"a - One", "b - Two", "c - Three", "d", "e", "f - Six", longTitle('a', 249) + " - x",
                         longTitle('b', 255) + " - x"});
        dir_.write("thumbnail/a-one.jpg", "JPEG-A");
        dir_.write("thumbnail/f-six.jpg", "JPEG-F");
        dir_.write("thumbnail.dat", dataFileWithPictures({{"b-two", "JPEG-B-FROM-DATA"},
                                                          {longTitle('a', 249).substr(0, 55), "JPEG-249"},
                                                          {longTitle('b', 255).substr(0, 55), "JPEG-255"}}));
        thumbnails_.load(dir_ / "thumbnail", dir_ / "thumbnail.dat");
        std::string error;
        ASSERT_TRUE(server_.start(0, &error)) << error;
    }
    // Sends one request and reads the answer; every answer must close its connection.
    HttpAnswer request(const std::string& target, const std::string& method = "GET",
                       const std::string& version = "HTTP/1.1") {
        RawClient client(server_.port());
        EXPECT_TRUE(client.send(method + " " + target + " " + version + "\r\nHost: phone\r\n\r\n"));
        const auto read = client.readAnswer(method == "HEAD");
        EXPECT_TRUE(read);
        const HttpAnswer answer = read.value_or(HttpAnswer{});
        EXPECT_TRUE(client.waitClosed()) << target;
        EXPECT_EQ(client.unexpected(), "") << target;
        EXPECT_EQ(answer.field("connection"), "Close") << target;
        EXPECT_TRUE(answer.field("server") && answer.field("date")) << target;
        return answer;
    }

    TempDir dir_;
    SongManager songs_;
    ThumbnailManager thumbnails_{songs_};
    ThumbnailServer server_{thumbnails_, songs_};
};

TEST_F(ThumbnailServerTest, AnswersAPictureWithItsFileFieldsAndCloses) {
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
    const auto tag = answer.field("etag");
    ASSERT_TRUE(tag);
    EXPECT_TRUE(std::regex_match(*tag, std::regex("\"[^\"]+\"")));
    EXPECT_NE(request("/5").field("etag"), tag);

    const HttpAnswer head = request("/0", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.field("content-length"), "6");
    EXPECT_EQ(head.field("etag"), tag);
    EXPECT_EQ(request("/0", "GET", "HTTP/1.0").body, "JPEG-A");
}

TEST_F(ThumbnailServerTest, IdsAreReadFromThePathWithoutSlashes) {
    // Without digits the id is 0; a space ends the request target.
    for (const auto& [target, body] : {std::pair{"/", "JPEG-A"},
                                       {"/abc", "JPEG-A"},
                                       {"/../../thumbnail.dat", "JPEG-A"},
                                       {"/5/extra/7", "JPEG-F"},
                                       {"/5.jpg", "JPEG-F"},
                                       {"/5?size=large", "JPEG-F"}})
        EXPECT_EQ(request(target).body, body) << target;
    EXPECT_EQ(request("/ 5").status, 400);
    for (const std::string target : {"/8", "/-3", "/2", "/99999999999"}) {
        const HttpAnswer answer = request(target);
        EXPECT_EQ(answer.statusLine, "HTTP/1.1 500 Internal Server Error") << target;
        EXPECT_EQ(answer.field("content-length"), "0") << target;
        EXPECT_EQ(answer.body, "") << target;
    }
    EXPECT_EQ(request("/2", "HEAD").status, 500);
    EXPECT_EQ(request("/0", "DELETE").status, 405);
}

TEST_F(ThumbnailServerTest, ADataFilePictureIsCopiedIntoTheFolderOnFirstRequest) {
    const std::string copy = dir_ / "thumbnail/b-two.jpg";
    ASSERT_FALSE(std::filesystem::exists(copy));
    // Many phones asking at once for the uncached picture all get it whole.
    std::vector<std::thread> phones;
    std::atomic<int> good{0};
    for (int i = 0; i < 16; ++i)
        phones.emplace_back([&] {
            RawClient client(server_.port());
            client.send("GET /1 HTTP/1.1\r\n\r\n");
            const auto answer = client.readAnswer();
            if (answer && answer->status == 200 && answer->body == "JPEG-B-FROM-DATA") ++good;
        });
    for (auto& phone : phones) phone.join();
    EXPECT_EQ(good, 16);
    EXPECT_EQ(readFile(copy), "JPEG-B-FROM-DATA");
    // Only the finished picture is left in the folder: no temporary files.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "thumbnail"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a-one.jpg", "b-two.jpg", "f-six.jpg"}));
    // Later requests are served from the file.
    dir_.write("thumbnail/b-two.jpg", "JPEG-B-EDITED");
    EXPECT_EQ(request("/1").body, "JPEG-B-EDITED");

    // The longest file names are copied too.
    EXPECT_EQ(request("/6").body, "JPEG-249");
    EXPECT_EQ(request("/7").body, "JPEG-255");
    EXPECT_EQ(readFile(dir_ / ("thumbnail/" + longTitle('b', 255) + "-x.jpg")), "JPEG-255");
}

TEST_F(ThumbnailServerTest, NoPictureIsAnsweredFromAnUnloadedStore) {
    thumbnails_.unload();
    EXPECT_EQ(request("/0").status, 500);  // its file is still in the folder
    EXPECT_EQ(request("/1").status, 500);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "thumbnail/b-two.jpg"));
    server_.stop();
    EXPECT_FALSE(server_.isRunning());
}

}  // namespace
}  // namespace vocalis
