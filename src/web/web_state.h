#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "app/engine_control.h"
#include "catalogue/song_manager.h"

namespace vocalis {

// What the page shows of the player, made on the engine's thread at every change and read
// from the server's thread.
struct WebSnapshot {
    nlohmann::json object;                    // the state
    std::string state;                        // the state object as sent
    std::unordered_set<std::int32_t> queued;  // the current song and the waiting ones
    std::int32_t waiting = 0;                 // waiting songs (positions 0 ... waiting - 1)
};

// What the engine's news told of the media playing.
struct PlayingNow {
    bool playing = false;
    std::int32_t track = 0;  // the audio track byte phones are told
    std::optional<std::int64_t> positionMs;
    std::optional<std::int64_t> lengthMs;
    std::optional<SongScore> score;  // while the score screen shows
};

// The engine's thread only: the current song (null while a clip plays) with its position and
// length, the waiting songs with their positions, names and keys, the play state, the track and
// the score of the score screen (null while none shows).
WebSnapshot makeWebSnapshot(const SongManager& songs, const EngineControl& engine, const PlayingNow& now);

// The snapshot with the current song's position in it, the rest as it was.
WebSnapshot withPosition(WebSnapshot snapshot, std::int64_t positionMs);

// Any thread: one page of a search's result.
nlohmann::json songPage(const SongManager::SearchResult& result, std::size_t offset, std::size_t limit,
                        const std::unordered_set<std::int32_t>& queued);

}  // namespace vocalis
