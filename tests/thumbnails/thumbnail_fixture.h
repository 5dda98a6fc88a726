#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/song_manager.h"

namespace vocalis::testing {

// One index entry of a thumbnail data file: up to 56 key bytes (byte 55 may be anything), then
// the picture's offset and length.
struct DataEntry {
    std::string key;
    std::int32_t offset = 0, length = 0;
};

// The bytes of a data file's count and index.
inline std::string dataFileBytes(std::int32_t count, const std::vector<DataEntry>& entries) {
    std::string bytes;
    const auto put = [&](std::int32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<char>(static_cast<std::uint32_t>(value) >> shift));
    };
    put(count);
    for (const auto& entry : entries) {
        std::string key = entry.key.substr(0, 56);
        key.resize(56, '\0');
        bytes += key;
        put(entry.offset);
        put(entry.length);
    }
    return bytes;
}

// A data file with the pictures after the index, in the given (sorted) order.
inline std::string dataFileWithPictures(
    const std::vector<std::pair<std::string, std::string>>& keyedPictures) {
    auto offset = static_cast<std::int32_t>(4 + 64 * keyedPictures.size());
    std::vector<DataEntry> entries;
    std::string pictures;
    for (const auto& [key, picture] : keyedPictures) {
        entries.push_back({key, offset, static_cast<std::int32_t>(picture.size())});
        offset += static_cast<std::int32_t>(picture.size());
        pictures += picture;
    }
    return dataFileBytes(static_cast<std::int32_t>(entries.size()), entries) + pictures;
}

// A song from its file name without the extension ("Title - Singer").
inline Song songNamed(const std::string& name) { return *songFromPath("/songs", name + ".mkv"); }

// Publishes the songs (ids follow their title order) to the manager.
inline void publish(SongManager& songs, const std::vector<std::string>& names) {
    std::vector<Song> list;
    for (const auto& name : names) list.push_back(songNamed(name));
    songs.addAll(std::make_shared<const Catalogue>(buildCatalogue(std::move(list))));
}

}  // namespace vocalis::testing
