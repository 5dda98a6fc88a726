#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/catalogue.h"
#include "store/store_types.h"

namespace vocalis {

// The song file's path below the song folder it was scanned under (the longest of `folders`
// that holds it), or the whole path when none does.
std::string_view relativeSongPath(std::string_view path, const std::vector<std::string>& folders);

// What the store keeps of a catalogue song; the file's size is read from the disk (0 when the
// file is gone).
SongIdentity songIdentity(const Song& song, const std::vector<std::string>& folders);

// Finds stored songs in this start's catalogue: by path below the song folder first (a drive
// mounted elsewhere), then by title and singer (a renamed or moved file). Where several songs
// fit, the one whose file has the stored size wins, else the lowest id. The indexes are built
// once, so each look-up costs a hash probe.
class SongMatcher {
  public:
    // `folders` are the song folders the catalogue was scanned from.
    SongMatcher(std::shared_ptr<const Catalogue> catalogue, const std::vector<std::string>& folders);

    // The song's id in the catalogue, or nothing when it is not there.
    std::optional<std::int32_t> find(const SongIdentity& stored) const;

  private:
    struct PairHash {
        std::size_t operator()(const std::pair<std::string_view, std::string_view>& key) const;
    };
    template <typename Map, typename Key>
    std::optional<std::int32_t> best(const Map& map, const Key& key, std::int64_t fileSize) const;

    std::shared_ptr<const Catalogue> catalogue_;  // owns the texts the indexes point into
    std::unordered_multimap<std::string_view, std::int32_t> byPath_;
    std::unordered_multimap<std::pair<std::string_view, std::string_view>, std::int32_t, PairHash> byTitle_;
};

}  // namespace vocalis
