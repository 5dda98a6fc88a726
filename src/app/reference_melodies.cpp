#include "app/reference_melodies.h"

#include <algorithm>

namespace vocalis {

ReferenceMelodies::ReferenceMelodies(BackgroundQueue& background, Scheduler& engineThread,
                                     AnalysisModule& analysis, std::filesystem::path folder,
                                     std::function<void(std::int32_t)> made)
    : background_(background),
      engineThread_(engineThread),
      madeNews_(std::move(made)),
      making_(std::make_shared<Making>(analysis, std::move(folder))) {}

ReferenceMelodies::~ReferenceMelodies() { stop(); }

void ReferenceMelodies::stop() {
    making_->cancel = true;
    wanted_.clear();
}

void ReferenceMelodies::want(std::vector<Song> songs) {
    if (making_->cancel) return;
    std::erase_if(melodies_, [&](const auto& entry) {
        return std::ranges::none_of(songs, [&](const Song& song) { return song.songId == entry.first; });
    });
    wanted_ = std::move(songs);
    makeNext();
}

std::shared_ptr<const Melody> ReferenceMelodies::find(std::int32_t songId) const {
    const auto found = melodies_.find(songId);
    return found == melodies_.end() ? nullptr : found->second;
}

void ReferenceMelodies::makeNext() {
    if (underWay_) return;
    const auto next =
        std::ranges::find_if(wanted_, [&](const Song& song) { return !melodies_.contains(song.songId); });
    if (next == wanted_.end()) return;
    underWay_ = next->songId;
    background_.post(
        [making = making_, song = *next, &engineThread = engineThread_, alive = std::weak_ptr(alive_), this] {
            std::optional<Melody> melody = making->cache.find(song.file);
            if (!melody) {
                // Loads FFmpeg and aubio the first time, here, off the engine's thread.
                const AnalysisFunctions* analysis = making->analysis.functions();
                melody = analysis ? analysis->makeReferenceMelody(song.file, &making->cancel) : Melody{};
                // Cut short, it says nothing of the song; nor does a module that cannot be loaded.
                if (making->cancel) return;
                if (analysis) making->cache.keep(song.file, *melody);
            }
            engineThread.post([alive, this, songId = song.songId, melody = std::move(*melody)]() mutable {
                if (!alive.expired()) made(songId, std::move(melody));
            });
        });
}

void ReferenceMelodies::made(std::int32_t songId, Melody melody) {
    underWay_.reset();
    const bool stillWanted =
        std::ranges::any_of(wanted_, [&](const Song& song) { return song.songId == songId; });
    if (stillWanted) melodies_[songId] = std::make_shared<const Melody>(std::move(melody));
    makeNext();
    if (stillWanted && madeNews_) madeNews_(songId);
}

}  // namespace vocalis
