#include "web/web_state.h"

namespace vocalis {

namespace {

nlohmann::json songObject(const Song& song) {
    return {{"id", song.songId}, {"title", song.title()}, {"singer", song.singer()}};
}

nlohmann::json seconds(const std::optional<std::int64_t>& ms) {
    return ms ? nlohmann::json(static_cast<double>(*ms) / 1000.0) : nlohmann::json(nullptr);
}

// Titles from a stranger's USB stick may hold bytes that are not UTF-8: replace, never throw.
std::string text(const nlohmann::json& state) {
    return state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json nameOf(const EngineControl& engine, std::int32_t songId) {
    const auto name = engine.requesterName(songId);
    return name ? nlohmann::json(*name) : nlohmann::json(nullptr);
}

}  // namespace

WebSnapshot makeWebSnapshot(const SongManager& songs, const EngineControl& engine, const PlayingNow& now) {
    WebSnapshot snapshot;
    nlohmann::json current = nullptr;
    const std::int32_t currentId = songs.currentSongId();
    if (const Song* song = songs.getSong(currentId)) {
        const Song* head = songs.getCurrentSong();
        current = songObject(*song);
        current["name"] = nameOf(engine, currentId);
        current["key"] = engine.songKey(currentId);
        current["random"] = head != song;
        current["position"] = seconds(now.positionMs);
        current["length"] = seconds(now.lengthMs);
        snapshot.queued.insert(currentId);
    }
    nlohmann::json queue = nlohmann::json::array();
    for (std::int32_t index = 1; index < songs.getQueueCount(); ++index) {
        const Song& song = *songs.getQueueSong(index);
        nlohmann::json entry = songObject(song);
        entry["position"] = index - 1;
        entry["name"] = nameOf(engine, song.songId);
        entry["key"] = engine.songKey(song.songId);
        queue.push_back(std::move(entry));
        snapshot.queued.insert(song.songId);
    }
    if (const Song* head = songs.getCurrentSong()) snapshot.queued.insert(head->songId);
    snapshot.waiting = std::max(0, songs.getQueueCount() - 1);
    snapshot.object = {
        {"current", std::move(current)},
        {"queue", std::move(queue)},
        {"playing", now.playing},
        {"track", now.track},
        {"score", now.score ? nlohmann::json{{"value", now.score->value}, {"measured", now.score->measured}}
                            : nlohmann::json(nullptr)}};
    snapshot.state = text(snapshot.object);
    return snapshot;
}

WebSnapshot withPosition(WebSnapshot snapshot, std::int64_t positionMs) {
    if (!snapshot.object["current"].is_object()) return snapshot;
    snapshot.object["current"]["position"] = seconds(positionMs);
    snapshot.state = text(snapshot.object);
    return snapshot;
}

nlohmann::json songPage(const SongManager::SearchResult& result, std::size_t offset, std::size_t limit,
                        const std::unordered_set<std::int32_t>& queued) {
    nlohmann::json list = nlohmann::json::array();
    for (std::size_t i = offset; i < result.positions.size() && i - offset < limit; ++i) {
        const Song& song = result.catalogue->songs[result.positions[i]];
        nlohmann::json entry = songObject(song);
        entry["queued"] = queued.contains(song.songId);
        list.push_back(std::move(entry));
    }
    return {{"total", result.positions.size()}, {"songs", std::move(list)}};
}

}  // namespace vocalis
