#include "remote/media_service.h"

#include <gtest/gtest.h>

#include "remote/media_service_fixture.h"
#include "remote/media_service_routing.h"
#include "support/socket_client.h"

namespace vocalis {
namespace {

using testing::HttpAnswer;
using testing::MediaCatalogue;
using testing::patternBytes;
using testing::RawClient;

std::vector<std::string> songContents(std::size_t count) {
    std::vector<std::string> contents;
    for (std::size_t i = 0; i < count; ++i) contents.push_back("song " + std::to_string(i) + " bytes");
    return contents;
}

class MediaServiceTest : public ::testing::Test {
  protected:
    MediaServiceTest() {
        media_.dir.write("temp/intro.mp4", "INTRO CLIP");
        media_.dir.write("temp/idle.mp4", patternBytes(1000));
    }
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(service_.start(0, &error)) << error;
    }
    HttpAnswer get(const std::string& target, const std::string& method = "GET",
                   const std::string& extra = "") {
        RawClient client(service_.port());
        EXPECT_TRUE(client.send(method + " " + target + " HTTP/1.1\r\n" + extra + "\r\n"));
        return client.readAnswer(method == "HEAD").value_or(HttpAnswer{});
    }

    MediaCatalogue media_{songContents(13)};
    LocalMediaService service_{media_.songs, media_.tempFolder, "intro.mp4", "idle.mp4"};
};

TEST_F(MediaServiceTest, TargetsNameAClipByTheirEndOrElseOnlyTheCurrentSong) {
    MediaServiceRouting routing(media_.songs, media_.tempFolder, "intro.mp4", "idle.mp4");
    const std::string intro = media_.tempFolder + "/intro.mp4", idle = media_.tempFolder + "/idle.mp4";
    const auto& song = media_.songFiles;
    struct Case {
        std::int32_t current;
        std::string target;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {-1, "/intro.mp4", intro},
        {3, "/any/longer/path/intro.mp4", intro},
        {3, "/idle.mp4", idle},
        {-1, "/../../../../etc/intro.mp4", intro},
        // With a query the target no longer ends with the name: it reads as song id 0.
        {-1, "/intro.mp4?start=1", std::nullopt},
        {0, "/intro.mp4?start=1", song[0]},
        {12, "/12", song[12]},
        {12, "/1/2", song[12]},
        {12, "//12xyz", song[12]},
        {12, "/11", std::nullopt},
        {11, "/12", std::nullopt},
        {-1, "/12", std::nullopt},
        {-1, "/-1", std::nullopt},
        {13, "/13", std::nullopt},  // past the catalogue, even when "current"
        // Slashes are dropped and the leading number read, so "../" can at most name song 0.
        {-1, "/../secret.txt", std::nullopt},
        {-1, "/..%2f..%2fsecret.txt", std::nullopt},
        {-1, "/" + media_.dir.path() + "/secret.txt", std::nullopt},
        {0, "/../../../../etc/passwd", song[0]},
    };
    for (const Case& c : cases) {
        media_.songs.setCurrentSongId(c.current);
        EXPECT_EQ(routing.filePathForURI(c.target), c.path) << c.current << " " << c.target;
    }
}

TEST_F(MediaServiceTest, ServesTheClipsAndTheCurrentSongWhileItsFileIsThere) {
    EXPECT_EQ(service_.clipURL("intro.mp4"),
              "http://127.0.0.1:" + std::to_string(service_.port()) + "/intro.mp4");
    EXPECT_EQ(service_.songURL(12), "http://127.0.0.1:" + std::to_string(service_.port()) + "/12");
    const HttpAnswer answer = get("/intro.mp4");
    EXPECT_EQ(answer.body, "INTRO CLIP");
    EXPECT_EQ(answer.field("content-disposition"), "attachment; filename=\"intro.mp4\"");
    // Ranges and HEAD behave as for any file.
    const HttpAnswer range = get("/idle.mp4", "GET", "Range: bytes=-500\r\n");
    EXPECT_EQ(range.status, 206);
    EXPECT_EQ(range.body, patternBytes(1000).substr(500));
    const HttpAnswer head = get("/idle.mp4", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.field("content-length"), "1000");

    media_.songs.setCurrentSongId(5);
    EXPECT_EQ(get("/5").body, "song 5 bytes");
    EXPECT_EQ(get("/6").status, 404);
    // A current song whose file is gone, or is a folder, is 404 too.
    std::filesystem::remove(media_.songFiles[5]);
    EXPECT_EQ(get("/5").status, 404);
    std::filesystem::create_directory(media_.songFiles[5]);
    EXPECT_EQ(get("/5").status, 404);
}

TEST_F(MediaServiceTest, ASongsFileNameNeverWritesIntoTheHead) {
    // The answer names the file a song's link points to.
    const std::string target = media_.dir.write("Xa \"Q\"\r\nX-Injected: yes - Ru.vcv", "odd name");
    std::filesystem::remove(media_.songFiles[5]);
    std::filesystem::create_symlink(target, media_.songFiles[5]);
    media_.songs.setCurrentSongId(5);
    const HttpAnswer answer = get("/5");
    EXPECT_EQ(answer.body, "odd name");
    EXPECT_FALSE(answer.field("x-injected"));
    EXPECT_EQ(answer.field("content-disposition"),
              R"(attachment; filename="Xa \"Q\"__X-Injected: yes - Ru.vcv"; )"
              R"(filename*=UTF-8''Xa%20%22Q%22%0D%0AX-Injected%3A%20yes%20-%20Ru.vcv)");
}

TEST(MediaServiceStart, ABusyPortIsReported) {
    MediaCatalogue media{songContents(1)};
    LocalMediaService first(media.songs, media.tempFolder, "intro.mp4", "idle.mp4");
    ASSERT_TRUE(first.start(0));
    LocalMediaService second(media.songs, media.tempFolder, "intro.mp4", "idle.mp4");
    std::string error;
    EXPECT_FALSE(second.start(first.port(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(second.isRunning());
    first.stop();
    EXPECT_FALSE(first.isRunning());
}

}  // namespace
}  // namespace vocalis
