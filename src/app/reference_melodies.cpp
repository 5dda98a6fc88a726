#include "app/reference_melodies.h"

#include <algorithm>

#include "audio/reference_melody.h"

namespace vocalis {

ReferenceMelodies::ReferenceMelodies(BackgroundQueue& background, Scheduler& engineThread,
                                     std::filesystem::path folder, std::function<void(std::int32_t)> made)
    : background_(background),
      engineThread_(engineThread),
      madeNews_(std::move(made)),
      making_(std::make_shared<Making>(std::move(folder))) {}

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
                melody = makeReferenceMelody(song.file, &making->cancel);
                // Cut short, it says nothing of the song.
                if (making->cancel) return;
                making->cache.keep(song.file, *melody);
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
