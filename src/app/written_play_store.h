#pragma once

#include <memory>

#include "app/play_store.h"
#include "store/store_writer.h"

namespace vocalis {

// The engine's store over the SQLite store's writer thread.
class WrittenPlayStore final : public PlayStore {
  public:
    explicit WrittenPlayStore(StoreWriter& writer) : writer_(writer) {}

    void restore(std::shared_ptr<const Catalogue> catalogue, std::vector<std::string> folders,
                 std::function<void(KeptPlay)> done) override;
    void savePlay(PlayState play, Done done) override;
    void savePosition(std::int64_t positionMs, Done done) override;
    void songStarted(SongStart start, Done done) override;
    void songEnded(WallTime ended, SongEnding ending, std::optional<SongScore> score, Done done) override;
    void endRun(Done done) override;

  private:
    StoreWriter& writer_;
    // The history id of the song started last; read and written on the writer thread only, so a
    // song's end finds its start whenever the start's outcome reaches the engine.
    std::shared_ptr<std::optional<std::int64_t>> started_ = std::make_shared<std::optional<std::int64_t>>();
};

}  // namespace vocalis
