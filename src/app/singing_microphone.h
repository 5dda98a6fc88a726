#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/melody.h"
#include "audio/singing_score.h"

namespace vocalis {

// One frame (10 ms) of the singing as heard: the song frame it was sung at and its note, NaN when
// nothing was voiced.
struct SungFrame {
    std::int64_t songFrame = 0;
    float note = 0;
};

// The microphone the guests sing into. It listens on a thread of its own, compares what it hears
// with the song's melody and hands the running totals to the engine's thread.
class SingingMicrophone {
  public:
    using Totals = std::function<void(const SingingTotals&)>;
    using Pitches = std::function<void(std::vector<SungFrame>)>;
    virtual ~SingingMicrophone() = default;

    // Listens for the song starting now, whose melody is `melody`, in place of any song before.
    // `totals` runs on the engine's thread (through Scheduler::post) a few times a second with the
    // totals so far, as if the song stopped there; `pitches` (when given) runs there about 30 times
    // a second with the frames heard since, for the screen. Neither runs after stopListening(). A
    // null `melody`: not made yet; the singing is kept until reference() brings it, and no totals
    // come before.
    virtual void listen(std::shared_ptr<const Melody> melody, Totals totals, Pitches pitches = {}) = 0;
    // The melody of the song listened to, when listen() had none: what was sung so far counts.
    virtual void reference(std::shared_ptr<const Melody> melody) = 0;
    // Where the song is: its time as the player reports it now, and whether it plays (the time
    // of a song that does not play stands still, and what is heard meanwhile is not its singing).
    virtual void songTime(std::int64_t milliseconds, bool playing) = 0;
    virtual void stopListening() = 0;
};

}  // namespace vocalis
