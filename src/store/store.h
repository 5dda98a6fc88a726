#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/store_types.h"

namespace vocalis {

namespace sqlite {
class Database;
}
class FileLock;
struct StoreOpening;

enum class OpenStatus {
    kOpened,          // the store as the last run left it (or a new one)
    kReplacedBroken,  // the file was unreadable or of a newer version: moved aside, a new store made
    kInUse,           // another player holds this data folder: no store
    kFailed,          // the folder cannot be written (or the like): no store
};

// The player's durable state in one SQLite file, vocalis.db in the data folder: what plays,
// the history of song starts and each guest's favourites. A write is one transaction, committed
// and synced to disk when the call returns; a failed one changes nothing and says why. Used by
// one thread at a time.
class Store {
  public:
    static StoreOpening open(const std::string& dataFolder);
    // The store a player may be using right now, for reading only (an export): it takes no
    // lock and never creates or migrates the file; writes fail. kFailed when there is none.
    static StoreOpening openReadOnly(const std::string& dataFolder);

    Store(Store&&) noexcept;
    Store& operator=(Store&&) noexcept;
    ~Store();

    // Whether the run before this one ended with endRun(); true for a new store. After a crash
    // the current song can be resumed at its stored position.
    bool previousRunEndedCleanly() const { return previousRunEndedCleanly_; }
    // Marks this run as ended cleanly; the last call of an orderly shutdown.
    WriteError endRun();

    StoreResult<PlayState> loadPlay();
    WriteError savePlay(const PlayState& play);
    // The current song's position alone (nothing happens without a current song).
    WriteError savePosition(std::int64_t positionMs);

    // A song started: the id its end is recorded under.
    StoreResult<std::int64_t> recordStart(const SongStart& start);
    WriteError recordEnd(std::int64_t id, WallTime ended, SongEnding ending, std::optional<SongScore> score);
    // Newest first; only the songs of `name` when given (names compared as fair turns compare
    // them; an empty name is the songs asked for without one).
    StoreResult<std::vector<HistoryEntry>> history(const std::optional<std::string>& name, std::size_t limit);
    // The songs started in [from, to), oldest first.
    StoreResult<std::vector<HistoryEntry>> historyBetween(WallTime from, WallTime to);
    // The best measured scores of songs sung to their end since `since`, best first (of equal
    // scores, the first sung).
    StoreResult<std::vector<HistoryEntry>> bestScores(WallTime since, std::size_t limit);

    // Favourites kept in all: past this the oldest go, so phones cannot fill the disk with names.
    static constexpr std::int64_t kMaxFavourites = 100'000;

    // A guest's favourites, newest first; a song is a favourite once per guest.
    WriteError addFavourite(std::string_view name, const SongIdentity& song);
    WriteError removeFavourite(std::string_view name, const SongIdentity& song);
    StoreResult<std::vector<SongIdentity>> favourites(std::string_view name);

  private:
    Store(std::unique_ptr<FileLock> lock, std::unique_ptr<sqlite::Database> db, bool previousRunEndedCleanly);
    template <typename Change>
    WriteError write(Change change);
    template <typename T, typename Query>
    StoreResult<T> read(Query query);

    std::unique_ptr<FileLock> lock_;  // dropped after the database is closed
    std::unique_ptr<sqlite::Database> db_;
    bool previousRunEndedCleanly_ = true;
};

struct StoreOpening {
    std::optional<Store> store;
    OpenStatus status = OpenStatus::kFailed;
    // Why there is no store, or where the broken file was moved.
    std::string detail;
};

}  // namespace vocalis
