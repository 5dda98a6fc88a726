#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/analysis_module.h"
#include "audio/melody.h"
#include "audio/melody_cache.h"
#include "base/background_queue.h"
#include "base/scheduler.h"

namespace vocalis {

// The melodies of the queued songs, for their scores: each made on the background queue when
// its song is queued (or taken from the cache, where it is kept once made), one song at a time,
// in the order they will be sung. The engine's thread only.
class ReferenceMelodies {
  public:
    struct Song {
        std::int32_t songId = -1;
        std::filesystem::path file;
    };

    // Kept in `folder`, made by `analysis` when first needed. `made` is told of each melody made
    // (or found) for a song still wanted, once find() has it. A song the module cannot be loaded
    // for has an empty melody this run, and none kept.
    ReferenceMelodies(BackgroundQueue& background, Scheduler& engineThread, AnalysisModule& analysis,
                      std::filesystem::path folder, std::function<void(std::int32_t songId)> made = {});
    ~ReferenceMelodies();
    ReferenceMelodies(const ReferenceMelodies&) = delete;
    ReferenceMelodies& operator=(const ReferenceMelodies&) = delete;

    // The songs whose melodies are wanted, in the order they will be sung; the others' are let go.
    void want(std::vector<Song> songs);
    // The song's melody once made (an empty one when the song has none), else null.
    std::shared_ptr<const Melody> find(std::int32_t songId) const;
    // The making under way ends early, and nothing more is made.
    void stop();

  private:
    // What the background work shares, so that it may finish after the engine has gone.
    struct Making {
        Making(AnalysisModule& module, std::filesystem::path folder)
            : analysis(module), cache(std::move(folder)) {}
        AnalysisModule& analysis;
        std::atomic<bool> cancel{false};
        MelodyCache cache;
    };

    void makeNext();
    void made(std::int32_t songId, Melody melody);

    BackgroundQueue& background_;
    Scheduler& engineThread_;
    std::function<void(std::int32_t)> madeNews_;
    std::shared_ptr<Making> making_;
    std::vector<Song> wanted_;
    std::map<std::int32_t, std::shared_ptr<const Melody>> melodies_;
    std::optional<std::int32_t> underWay_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace vocalis
