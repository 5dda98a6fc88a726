#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/song_manager.h"
#include "support/temp_dir.h"

namespace vocalis::testing {

// A song folder with songs named "Song NN-Singer" (ids follow the numbers) and the two
// clips in a temp folder, published to a fresh SongManager.
struct MediaCatalogue {
    TempDir dir;
    SongManager songs;
    std::string tempFolder;
    std::vector<std::string> songFiles;  // by song id

    // `contents[i]` is written as song i's file with the given extension.
    MediaCatalogue(const std::vector<std::string>& contents, const std::string& extension = ".vcv") {
        tempFolder = dir / "temp";
        std::filesystem::create_directories(tempFolder);
        std::vector<Song> found;
        for (std::size_t i = 0; i < contents.size(); ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "Song %02zu-Singer%s", i, extension.c_str());
            dir.write(std::string("Karaoke/NhacMoi/") + name, contents[i]);
            found.push_back(*songFromPath(dir / "Karaoke", std::string("NhacMoi/") + name));
        }
        auto catalogue = std::make_shared<const Catalogue>(buildCatalogue(std::move(found)));
        for (const Song& song : catalogue->songs) songFiles.push_back(song.karaokeFile);
        songs.addAll(catalogue);
    }
};

}  // namespace vocalis::testing
