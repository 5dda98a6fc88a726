#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
// once (two sorted arrays of hashes), so a look-up is a binary search.
class SongMatcher {
  public:
    // `folders` are the song folders the catalogue was scanned from.
    SongMatcher(std::shared_ptr<const Catalogue> catalogue, const std::vector<std::string>& folders);

    // The song's id in the catalogue, or nothing when it is not there.
    std::optional<std::int32_t> find(const SongIdentity& stored) const;

  private:
    // A key's hash and the song's id, ordered by both: equal hashes sit side by side, lowest id first.
    struct Entry {
        std::size_t hash;
        std::int32_t id;
        auto operator<=>(const Entry&) const = default;
    };
    template <typename Matches>
    std::optional<std::int32_t> best(const std::vector<Entry>& index, std::size_t hash, Matches matches,
                                     std::int64_t fileSize) const;
    std::string_view relativePath(const Song& song) const {
        return relativeSongPath(song.karaokeFile(), folders_);
    }

    std::shared_ptr<const Catalogue> catalogue_;
    std::vector<std::string> folders_;
    std::vector<Entry> byPath_;
    std::vector<Entry> byTitle_;
};

}  // namespace vocalis
