#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/song_manager.h"

namespace vocalis::testing {

// One index entry of a thumbnail data file as the test writes it: up to 56 key bytes
// (byte 55 may be anything), then the picture's offset and length.
struct DataEntry {
    std::string key;
    std::int32_t offset = 0;
    std::int32_t length = 0;
};

inline void appendInt32LE(std::string& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

// The bytes of a data file: count, the entries, then `tail` (pictures placed by offset).
inline std::string dataFileBytes(std::int32_t count, const std::vector<DataEntry>& entries) {
    std::string bytes;
    appendInt32LE(bytes, count);
    for (const auto& entry : entries) {
        std::string key = entry.key.substr(0, 56);
        key.resize(56, '\0');
        bytes += key;
        appendInt32LE(bytes, entry.offset);
        appendInt32LE(bytes, entry.length);
    }
    return bytes;
}

// Data-file entries for pictures appended after the index, in the given (sorted) order.
inline std::string dataFileWithPictures(
    const std::vector<std::pair<std::string, std::string>>& keyedPictures) {
    const auto count = static_cast<std::int32_t>(keyedPictures.size());
    std::int32_t offset = 4 + 64 * count;
    std::vector<DataEntry> entries;
    std::string pictures;
    for (const auto& [key, picture] : keyedPictures) {
        entries.push_back({key, offset, static_cast<std::int32_t>(picture.size())});
        offset += static_cast<std::int32_t>(picture.size());
        pictures += picture;
    }
    return dataFileBytes(count, entries) + pictures;
}

inline Song songNamed(const std::string& title, const std::string& singer) {
    Song song;
    song.title = title;
    song.singer = singer;
    song.makeTitleSearchable();
    song.makeSingerSearchable();
    song.karaokeFile = "/songs/" + title + "-" + singer + ".mkv";
    song.fileName = title + "-" + singer + ".mkv";
    return song;
}

// Publishes the songs (ids follow their title order) to the manager.
inline void publish(SongManager& songs, std::vector<Song> list) {
    songs.addAll(std::make_shared<const Catalogue>(buildCatalogue(std::move(list))));
}

}  // namespace vocalis::testing
