#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "catalogue/song.h"

namespace vocalis {

// Room for the texts of many songs in a few big blocks: a hundred thousand songs made one
// allocation each would leave the heap full of small holes once freed. What is taken stays in
// place while the store lives, also when the store is moved.
class SongBytes {
  public:
    static constexpr std::size_t kBlockSize = 1 << 20;

    // A store moved from has no blocks, so its next take starts one.
    char* take(std::size_t size) {
        if (blocks_.empty() || size > capacity_ - used_) {
            capacity_ = std::max(kBlockSize, size);
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
            used_ = 0;
        }
        char* const at = blocks_.back().get() + used_;
        used_ += size;
        return at;
    }

  private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

// Where a scan's songs keep their bytes: their records until the catalogue is built, their
// paths for as long as the catalogue lives.
struct SongStore {
    SongBytes records;
    SongBytes paths;
};

// A scan's songs with the store that holds their bytes. Made from both only, so that `{}`
// still means no songs where a list of songs is taken too.
struct ScannedSongs {
    ScannedSongs(std::vector<Song> songs, SongStore store)
        : songs(std::move(songs)), store(std::move(store)) {}

    std::vector<Song> songs;
    SongStore store;
};

}  // namespace vocalis
