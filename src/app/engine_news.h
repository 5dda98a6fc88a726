#pragma once

#include <cstdint>

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
};

}  // namespace vocalis
