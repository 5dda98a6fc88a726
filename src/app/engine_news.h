#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "store/store_types.h"

namespace vocalis {

// What the engine announces, on its own thread, to every front-end that listens. Each
// listener keeps what it needs; the engine names none of them.
class EngineListener {
  public:
    virtual ~EngineListener() = default;
    virtual void queueChanged() {}
    virtual void currentSongChanged(std::int32_t /*songId*/) {}
    virtual void playStateChanged(bool /*playing*/) {}
    virtual void audioTrackChanged(std::int32_t /*track*/) {}
    // Who asked for a queued song, given after it was queued (an empty name: nobody said).
    // Names given with the song come with the queue's own news.
    virtual void requesterNameChanged(std::int32_t /*songId*/, const std::string& /*name*/) {}
    // A queued or playing song's key changed; keys given with the song come with the queue's news.
    virtual void keyChanged(std::int32_t /*songId*/, std::int32_t /*key*/) {}
    // The playing song's length, once per start, as soon as the player knows it.
    virtual void songLengthKnown(std::int32_t /*songId*/, std::int64_t /*milliseconds*/) {}
    // How far the media playing now has played, as the player reports it (several times a second).
    virtual void playTimeChanged(std::int64_t /*milliseconds*/) {}
    // The next-song lock: while it holds (a moment after each start) a skip does nothing.
    virtual void nextLockChanged(bool /*locked*/) {}
    // The score screen shows, with the score its count ends on; none once it has closed.
    virtual void scoreShown(const std::optional<SongScore>& /*score*/) {}
};

}  // namespace vocalis
