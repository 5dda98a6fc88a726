#include "app/written_play_store.h"

#include "store/song_identity.h"

namespace vocalis {

void WrittenPlayStore::restore(std::shared_ptr<const Catalogue> catalogue, std::vector<std::string> folders,
                               std::function<void(KeptPlay)> done) {
    writer_.run(
        [catalogue = std::move(catalogue), folders = std::move(folders)](Store& store) {
            KeptPlay kept;
            kept.endedCleanly = store.previousRunEndedCleanly();
            const auto loaded = store.loadPlay();
            if (!loaded.value) {
                kept.error = loaded.error;
                return kept;
            }
            const SongMatcher matcher(catalogue, folders);
            const auto find = [&](const SongIdentity& song, const std::optional<std::string>& name, int key,
                                  bool byHand) -> std::optional<KeptSong> {
                if (const auto id = matcher.find(song)) return KeptSong{*id, name, key, byHand};
                kept.missing.push_back(song.title + " - " + song.singer);
                return std::nullopt;
            };
            if (const auto& current = loaded.value->current) {
                kept.current = find(current->song, current->name, current->key, false);
                kept.positionMs = current->positionMs;
            }
            for (const QueuedSong& queued : loaded.value->waiting)
                if (auto song = find(queued.song, queued.name, queued.key, queued.byHand))
                    kept.waiting.push_back(std::move(*song));
            return kept;
        },
        std::move(done));
}

void WrittenPlayStore::savePlay(PlayState play, Done done) {
    writer_.run([play = std::move(play)](Store& store) { return store.savePlay(play); }, std::move(done));
}

void WrittenPlayStore::savePosition(std::int64_t positionMs, Done done) {
    writer_.run([positionMs](Store& store) { return store.savePosition(positionMs); }, std::move(done));
}

void WrittenPlayStore::songStarted(SongStart start, Done done) {
    writer_.run(
        [started = started_, start = std::move(start)](Store& store) -> WriteError {
            auto id = store.recordStart(start);
            *started = id.value;
            if (!id.value) return id.error;
            return std::nullopt;
        },
        std::move(done));
}

void WrittenPlayStore::songEnded(WallTime ended, SongEnding ending, std::optional<SongScore> score,
                                 Done done) {
    writer_.run(
        [started = started_, ended, ending, score](Store& store) -> WriteError {
            // A start that was never written has no end to write.
            const auto id = std::exchange(*started, std::nullopt);
            return id ? store.recordEnd(*id, ended, ending, score) : std::nullopt;
        },
        std::move(done));
}

void WrittenPlayStore::endRun(Done done) {
    writer_.run([](Store& store) { return store.endRun(); }, std::move(done));
}

}  // namespace vocalis
