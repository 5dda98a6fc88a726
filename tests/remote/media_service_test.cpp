#include "remote/media_service.h"

#include <gtest/gtest.h>

#include <memory>

#include "catalogue/catalogue.h"
#include "remote/media_service_routing.h"
#include "support/socket_client.h"
#include "support/temp_dir.h"

namespace vocalis {
namespace {

TEST(MediaService, TargetsNameAClipByTheirEndOrElseOnlyTheCurrentSongWhileItsFileIsThere) {
    testing::TempDir dir;
    const std::string intro = dir.write("temp/intro.mp4", "INTRO CLIP"), folder = dir / "temp",
                      idle = folder + "/idle.mp4";
    // Thirteen songs "Song NN-Singer", their ids following the numbers.
    std::vector<Song> found;
    std::vector<std::string> song;
    for (int i = 0; i < 13; ++i) {
        const std::string name =
            "NhacMoi/Song " + std::string(i < 10 ? "0" : "") + std::to_string(i) + "-Singer.vcv";
        song.push_back(dir.write("Karaoke/" + name, "song " + std::to_string(i) + " bytes"));
        found.push_back(*songFromPath(dir / "Karaoke", name));
    }
    SongManager songs;
    songs.addAll(std::make_shared<const Catalogue>(buildCatalogue(std::move(found))));
    MediaServiceRouting routing(songs, folder, "intro.mp4", "idle.mp4");
    // A target ending with a clip's name is that clip; else its digits, slashes dropped, must name the
    // current song. So a query makes it song 0, "../" names song 0 at most, 13 is past the catalogue.
    const std::tuple<std::int32_t, std::string, std::optional<std::string>> cases[] = {
        {-1, "/intro.mp4", intro},
        {3, "/any/longer/path/intro.mp4", intro},
        {3, "/idle.mp4", idle},
        {-1, "/../../../../etc/intro.mp4", intro},
        {12, "/12", song[12]},
        {12, "/1/2", song[12]},
        {12, "//12xyz", song[12]},
        {12, "/11", std::nullopt},
        {-1, "/12", std::nullopt},
        {-1, "/-1", std::nullopt},
        {13, "/13", std::nullopt},
        {0, "/intro.mp4?start=1", song[0]},
        {0, "/../../../../etc/passwd", song[0]}};
    for (const auto& [current, target, path] : cases) {
        songs.setCurrentSongId(current);
        EXPECT_EQ(routing.filePathForURI(target), path) << current << " " << target;
    }

    LocalMediaService service(songs, folder, "intro.mp4", "idle.mp4");
    ASSERT_TRUE(service.start(0));
    const auto get = [&](std::int32_t current, const std::string& target) {
        songs.setCurrentSongId(current);
        return testing::ask(service.port(), "GET " + target + " HTTP/1.1\r\n\r\n");
    };
    EXPECT_EQ(get(-1, "/intro.mp4").body, "INTRO CLIP");
    EXPECT_EQ(get(5, "/5").body, "song 5 bytes");
    EXPECT_EQ(get(5, "/6").status, 404);
    LocalMediaService rival(songs, folder, "intro.mp4", "idle.mp4");
    EXPECT_FALSE(rival.start(service.port()));
}

}  // namespace
}  // namespace vocalis
