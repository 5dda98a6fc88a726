#pragma once

namespace vocalis {

// What the engine is doing; one at a time. A start that the next-song lock refuses leaves
// the phase as it was: the phase names what was started last.
enum class Phase {
    Intro,       // the intro clip, until it ends with the catalogue loaded
    IntroRetry,  // the intro clip failed; it is tried again in a while
    Starting,    // the intro, a score or a failure's wait is over; what comes next is starting
    Song,        // a queued song
    RandomSong,  // a song picked at random, the queue being empty
    IdleClip,    // nothing to sing: the idle clip and its prompt
    Score,       // the score screen after a queued song
    Error,       // a failure: its message, or a wait before the next start
};

}  // namespace vocalis
