#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vocalis {

// Wall-clock time to the millisecond, as history keeps it.
using WallTime = std::chrono::sys_time<std::chrono::milliseconds>;

// What the store keeps of a song to find it again at a later start, when song ids have been
// renumbered and a drive may be mounted elsewhere.
struct SongIdentity {
    std::string relativePath;  // below the song folder it was found in
    std::string title;
    std::string singer;
    std::int64_t fileSize = 0;  // 0 when unknown

    bool operator==(const SongIdentity&) const = default;
};

// A song waiting in the queue.
struct QueuedSong {
    SongIdentity song;
    std::optional<std::string> name;  // who asked for it
    int key = 0;                      // semitones, -6 ... +6
    bool byHand = false;              // put first or moved by the operator

    bool operator==(const QueuedSong&) const = default;
};

// The song playing, and how far it got.
struct CurrentSong {
    SongIdentity song;
    std::optional<std::string> name;
    int key = 0;
    std::int64_t positionMs = 0;

    bool operator==(const CurrentSong&) const = default;
};

// What plays: written whole at every change, so a failed write is retried by writing it again.
struct PlayState {
    std::optional<CurrentSong> current;
    std::vector<QueuedSong> waiting;  // in the order of play

    bool operator==(const PlayState&) const = default;
};

enum class SongEnding { kFinished, kSkipped, kFailed };

// As history keeps it and the export writes it.
constexpr std::string_view endingName(SongEnding ending) {
    switch (ending) {
        case SongEnding::kFinished:
            return "finished";
        case SongEnding::kSkipped:
            return "skipped";
        case SongEnding::kFailed:
            return "failed";
    }
    return {};
}

struct SongStart {
    SongIdentity song;
    std::optional<std::string> name;
    int key = 0;
    WallTime started;

    bool operator==(const SongStart&) const = default;
};

// A song's score as its score screen showed it: measured from the singing, or drawn at random.
struct SongScore {
    SongScore(int value = 0, bool measured = false) : value(value), measured(measured) {}
    int value = 0;
    bool measured = false;

    bool operator==(const SongScore&) const = default;
};

struct HistoryEntry {
    std::int64_t id = 0;
    SongStart start;
    // Absent while the song plays, and for a song the player crashed in.
    std::optional<WallTime> ended;
    std::optional<SongEnding> ending;
    std::optional<SongScore> score;

    bool operator==(const HistoryEntry&) const = default;
};

// A write's outcome: nothing when it was committed, else why not (and nothing was changed).
using WriteError = std::optional<std::string>;

// A value from the store, or why there is none.
template <typename T>
struct StoreResult {
    std::optional<T> value;
    std::string error;
};

}  // namespace vocalis
