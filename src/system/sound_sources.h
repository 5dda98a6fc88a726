#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vocalis {

// A sound input of the sound server (a microphone, a mixer's input), not a sink's monitor.
struct SoundSource {
    std::string name;         // what PulseAudio calls it, as the settings keep it
    std::string description;  // what the operator sees

    bool operator==(const SoundSource&) const = default;
};

// The sound server's inputs now, in its order; none when there is no server or it does not answer
// within `timeout`. `server`: a Pulse server address; empty: the usual one. Blocks the caller.
std::vector<SoundSource> listSoundSources(
    const std::string& server = {}, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

}  // namespace vocalis
