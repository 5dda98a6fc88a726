#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/search_index.h"

namespace vocalis {

// Random types, as stored in the settings.
enum RandomType : std::int32_t { kRandomCategory = 0, kRandomTitle = 1, kRandomSinger = 2 };

// The catalogue, the search result, the random pool and the play queue.
// The catalogue may be read from any thread; everything else belongs to the main thread
// (the first random pool is built by the loader before the catalogue counts as loaded).
class SongManager {
  public:
    static SongManager& getInstance();
    SongManager() = default;
    SongManager(const SongManager&) = delete;
    SongManager& operator=(const SongManager&) = delete;

    // --- catalogue -------------------------------------------------------------
    // Publishes a finished catalogue in one step. Only the first catalogue with songs is
    // taken (ids must stay valid while songs are queued); returns whether it was taken.
    bool addAll(std::shared_ptr<const Catalogue> catalogue);
    // The published catalogue, or an empty one; safe from any thread.
    std::shared_ptr<const Catalogue> catalogue() const;
    std::int32_t getCount() const;
    // The song with that id, or nullptr outside 0 ... count - 1.
    const Song* getSong(std::int32_t songId) const;

    // --- search ----------------------------------------------------------------
    // Keyword already folded and without spaces.
    void filter(std::string_view keyword);
    // The same search without keeping its result, safe from any thread: the positions in
    // the catalogue it was made over.
    struct SearchResult {
        std::shared_ptr<const Catalogue> catalogue;
        std::vector<std::uint32_t> positions;
    };
    SearchResult search(std::string_view keyword) const;
    // The same, narrowing `wider`: the result of a keyword of two units or more that this one
    // begins with (a result over another catalogue is not narrowed).
    SearchResult search(std::string_view keyword, const SearchResult& wider) const;
    std::int32_t getFilteredCount() const { return static_cast<std::int32_t>(filteredSongs_.size()); }
    const Song* getFilteredSong(std::int32_t index) const;

    void filterRandom(std::int32_t randomType, const std::optional<std::string>& keyword);
    std::int32_t getRandomCount() const { return static_cast<std::int32_t>(randomSongs_.size()); }
    // A song drawn uniformly from the pool; nullptr when the pool is empty.
    const Song* getRandomSong();
    // The pool in its order (for tools and tests); nullptr outside the pool.
    const Song* getRandomPoolSong(std::int32_t index) const;

    // --- play queue (index 0 is the current song) ----------------------------
    void queueAdd(const Song& song);
    void queuePriority(const Song& song);
    // At that queue index (clamped to the queue; never before the current song of a queue
    // that has one).
    void queueInsert(std::int32_t index, const Song& song);
    void queueDelete(std::int32_t index);
    void moveFirst(std::int32_t index);
    void swap(std::int32_t a, std::int32_t b);
    bool queueContains(const Song& song) const;
    bool isInQueue(const Song& song) const;
    std::int32_t getQueueCount() const { return static_cast<std::int32_t>(queueSongs_.size()); }
    bool isQueueEmpty() const { return queueSongs_.empty(); }
    const Song* getCurrentSong() const { return getQueueSong(0); }
    const Song* getQueueNextSong() const { return getQueueSong(1); }
    const Song* getQueueSong(std::int32_t index) const;
    std::string getQueueIdsString() const;

    // --- the waiting songs by queue position (0 is the song after the current one), as
    // phones and the selection window count them. A position outside the waiting songs
    // changes nothing (it is never taken for the current song); each returns whether the
    // queue changed.
    bool removeWaiting(std::int32_t position);
    bool moveWaitingUp(std::int32_t position);
    bool moveWaitingFirst(std::int32_t position);

    // Written on the main thread, read by the HTTP services.
    std::int32_t currentSongId() const { return currentSongId_.load(std::memory_order_acquire); }
    void setCurrentSongId(std::int32_t songId) { currentSongId_.store(songId, std::memory_order_release); }

  private:
    void setInQueue(const Song& song, bool value);

    std::atomic<std::shared_ptr<const Catalogue>> catalogue_;
    // Keeps the songs alive for the lists below, which point into it.
    std::shared_ptr<const Catalogue> owned_;
    // The catalogue with its index, published together for searches from any thread.
    struct Indexed {
        std::shared_ptr<const Catalogue> catalogue;
        SearchIndex index;
    };
    std::atomic<std::shared_ptr<const Indexed>> indexed_;
    std::vector<const Song*> filteredSongs_;
    std::vector<const Song*> randomSongs_;
    std::vector<const Song*> queueSongs_;
    std::vector<bool> inQueue_;  // by song id
    std::atomic<std::int32_t> currentSongId_{-1};
    std::mt19937 random_{std::random_device{}()};
};

// Fair turns: where a song asked for under `name` joins a queue whose songs (the current one
// first) were asked for under `names`. Its round is 1 + the songs of that name in the queue; it
// goes after every waiting song of its round or a lower one. An empty name is nobody's: a name
// of its own, so always round 1. Names that differ only in case are one guest.
std::int32_t fairTurnIndex(const std::vector<std::string>& names, const std::string& name);

}  // namespace vocalis
