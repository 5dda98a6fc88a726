#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "store/store_types.h"

namespace vocalis {

// A stored queue entry found again in this start's catalogue.
struct KeptSong {
    std::int32_t songId = -1;
    std::optional<std::string> name;
    int key = 0;
    bool byHand = false;
};

// What the last run left, its songs found in this start's catalogue.
struct KeptPlay {
    std::optional<KeptSong> current;
    std::int64_t positionMs = 0;  // of the current song
    std::vector<KeptSong> waiting;
    std::vector<std::string> missing;  // "title - singer" of the songs not found
    bool endedCleanly = true;
    std::string error;  // why nothing could be read, if so
};

// Where the engine keeps what plays and what was sung. Every call is done in order off the
// engine's thread; `done` then runs on the engine's thread with the write's outcome.
class PlayStore {
  public:
    using Done = std::function<void(WriteError)>;
    virtual ~PlayStore() = default;

    // What the last run left, matched against `catalogue` (scanned from `folders`).
    virtual void restore(std::shared_ptr<const Catalogue> catalogue, std::vector<std::string> folders,
                         std::function<void(KeptPlay)> done) = 0;
    virtual void savePlay(PlayState play, Done done) = 0;
    virtual void savePosition(std::int64_t positionMs, Done done) = 0;
    // The start of a song, and the end of the one started last.
    virtual void songStarted(SongStart start, Done done) = 0;
    virtual void songEnded(WallTime ended, SongEnding ending, std::optional<SongScore> score, Done done) = 0;
    virtual void endRun(Done done) = 0;
};

}  // namespace vocalis
