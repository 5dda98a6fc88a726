#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>

namespace vocalis {

// How much later than the song's sound the singing reaches the microphone: a few short tone bursts
// played through the default sink while the microphone records; each burst's onset heard back
// against the moment the sink played its start (both streams' own timing). Blocks the caller for
// about three seconds; a stop request ends it early with no answer.
struct MicrophoneDelayRequest {
    std::string server;  // a Pulse server address; empty: the usual one
    std::string source;  // the microphone's source name; empty: the default source
};

struct MicrophoneDelay {
    std::optional<std::chrono::milliseconds> delay;  // none: it could not be measured
    std::string failure;                             // why not, in words for the operator
};

MicrophoneDelay measureMicrophoneDelay(const MicrophoneDelayRequest& request, std::stop_token stop = {});

}  // namespace vocalis
