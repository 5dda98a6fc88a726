#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "catalogue/song_manager.h"

namespace vocalis {

// The thumbnail key of a song: the first 55 bytes of "<title>-<singer>" (folded, no spaces).
std::string thumbnailKey(const Song& song);
// The song's picture file name in the thumbnail folder: "<title>-<singer>.jpg", not shortened.
std::string thumbnailFileName(const Song& song);

// Song pictures from "thumbnail.dat" (an indexed, read-only archive) with the thumbnail
// folder as fallback. Safe from any thread: the index is fixed once loaded and pictures
// are read with positioned reads, so concurrent reads never disturb each other.
class ThumbnailManager {
  public:
    static constexpr std::int32_t kMaxEntries = 99999;
    static constexpr std::int32_t kMaxPictureLength = 102399;
    static constexpr std::size_t kEntrySize = 64;
    static constexpr std::size_t kKeySize = 56;

    static ThumbnailManager& getInstance();
    explicit ThumbnailManager(SongManager& songs);
    ~ThumbnailManager();
    ThumbnailManager(const ThumbnailManager&) = delete;
    ThumbnailManager& operator=(const ThumbnailManager&) = delete;

    // Remembers both paths and indexes the data file. A missing file or a count outside
    // 1 ... 99999 leaves no index; a file shorter than its count keeps the whole entries.
    void load(const std::string& thumbnailDirectory, const std::string& dataPath);
    // Closes the data file and forgets both paths; afterwards no picture is given.
    void unload();

    // Empty before load() and after unload().
    std::string thumbnailDirectory() const;

    // The song's JPEG bytes, from the data file or else the thumbnail folder.
    std::optional<std::vector<std::uint8_t>> getThumbnail(std::int32_t songId) const;
    std::optional<std::vector<std::uint8_t>> getThumbnailForSong(const Song& song) const;

  private:
    struct Entry {
        std::array<char, kKeySize> key{};
        std::int32_t offset = 0;
        std::int32_t length = 0;
    };

    std::int32_t search(const std::string& key) const;
    std::optional<std::vector<std::uint8_t>> readPicture(std::int32_t offset, std::int32_t length) const;
    void closeLocked();

    SongManager& songs_;
    mutable std::shared_mutex mutex_;
    bool loaded_ = false;
    std::string thumbnailDirectory_;
    std::string thumbnailDataPath_;
    int fd_ = -1;
    std::vector<Entry> entries_;
};

}  // namespace vocalis
