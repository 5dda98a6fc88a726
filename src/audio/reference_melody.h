#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "audio/melody.h"

namespace vocalis {

// The melody a guest should sing in `song`: from the difference of its two tracks, or from the
// centre of a one-track stereo mix. An empty Melody when the song has no usable reference (no voice
// found, unreadable file). `cancel`, when set, stops the work early (answers an empty Melody).
Melody makeReferenceMelody(const std::filesystem::path& song, const std::atomic<bool>* cancel = nullptr);

// The same, with a word on how it went for the operator: where the voice came from, or why there is none.
struct ReferenceOutcome {
    Melody melody;
    std::string detail;
};
ReferenceOutcome makeReference(const std::filesystem::path& song, const std::atomic<bool>* cancel = nullptr);

}  // namespace vocalis
