#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/song_manager.h"
#include "store/song_identity.h"
#include "store/store_types.h"

namespace vocalis {

class StoreWriter;

// A song as a guest's lists show it: its id in this start's catalogue, or none when it is not
// there (a drive not plugged in).
struct GuestSong {
    std::optional<std::int32_t> id;
    SongIdentity song;

    bool operator==(const GuestSong&) const = default;
};

struct GuestHistoryEntry {
    std::optional<std::int32_t> id;
    HistoryEntry entry;

    bool operator==(const GuestHistoryEntry&) const = default;
};

// What the guests ask of the store (the songs a name sang, a name's favourites), with the
// stored songs found again in the catalogue. Queries and writes run on the store's thread;
// answers come on the main thread. Callable from any thread.
class GuestRecords {
  public:
    template <typename T>
    using Answer = std::function<void(StoreResult<T>)>;

    // `songFolders` are the folders the catalogue is scanned from.
    GuestRecords(StoreWriter& writer, const SongManager& songs,
                 std::function<std::vector<std::string>()> songFolders);

    // Newest first; everyone's without a name.
    void history(std::optional<std::string> name, std::size_t limit,
                 Answer<std::vector<GuestHistoryEntry>> done);
    // The best measured scores of songs sung to their end since `since`, best first.
    void bestScores(WallTime since, std::size_t limit, Answer<std::vector<GuestHistoryEntry>> done);
    // Newest first.
    void favourites(std::string name, Answer<std::vector<GuestSong>> done);
    // Marks or unmarks a catalogue song and answers with the name's favourites; false (and no
    // answer) when the id is not in the catalogue.
    bool setFavourite(std::string name, std::int32_t id, bool on, Answer<std::vector<GuestSong>> done);

  private:
    // The catalogue's songs found by their stored identity, made once per catalogue.
    struct Finder {
        std::shared_ptr<const Catalogue> catalogue;
        std::vector<std::string> folders;
        SongMatcher matcher;
    };
    std::shared_ptr<const Finder> finder();
    // History rows with their songs found in the catalogue.
    StoreResult<std::vector<GuestHistoryEntry>> found(StoreResult<std::vector<HistoryEntry>> rows);
    static std::vector<GuestSong> found(const Finder& finder, const std::vector<SongIdentity>& songs);

    StoreWriter& writer_;
    const SongManager& songs_;
    std::function<std::vector<std::string>()> songFolders_;
    std::mutex mutex_;
    std::shared_ptr<const Finder> finder_;
};

}  // namespace vocalis
