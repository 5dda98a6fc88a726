// The score screen between queued songs: a count-up from 50 to a random final score.
#include "app/app_delegate.h"

namespace vocalis {

void AppDelegate::scoringAndNextSong() {
    phase_ = Phase::Score;
    iScore_ = 50;
    randomScore_ = 71 + std::uniform_int_distribution<int>(0, 29)(random_);
    parts_.overlays.setScoreNumber(iScore_);
    parts_.overlays.setScoreVisible(true);
    parts_.scoreSound.play();  // a silent score screen still counts
    schedule("runScore", 0.12, &AppDelegate::runScore);
}

void AppDelegate::runScore() {
    ++iScore_;
    parts_.overlays.setScoreNumber(iScore_);
    if (iScore_ >= randomScore_)
        schedule("scoreNext", 7.0, &AppDelegate::scoreNext);
    else
        schedule("runScore", 0.12, &AppDelegate::runScore);
}

void AppDelegate::scoreNext() {
    phase_ = Phase::Starting;
    parts_.scoreSound.stop();
    parts_.overlays.setScoreVisible(false);
    startNextSong();
}

}  // namespace vocalis
