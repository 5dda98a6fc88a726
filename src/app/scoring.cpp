// The score screen between queued songs: a count-up from 50 to a random final score.
#include "app/app_delegate.h"
#include "app/engine_timers.h"

namespace vocalis {

using namespace std::chrono_literals;

void AppDelegate::scoringAndNextSong() {
    phase_ = Phase::Score;
    iScore_ = 50;
    randomScore_ = 71 + std::uniform_int_distribution<int>(0, 29)(random_);
    historyEnds(SongEnding::kFinished, randomScore_);
    parts_.overlays.setScoreNumber(iScore_);
    parts_.overlays.setScoreVisible(true);
    parts_.scoreSound.play();  // a silent score screen still counts
    schedule(timers::kRunScore, 120ms, [this] { runScore(); });
}

void AppDelegate::runScore() {
    ++iScore_;
    parts_.overlays.setScoreNumber(iScore_);
    if (iScore_ >= randomScore_)
        schedule(timers::kScoreNext, 7s, [this] { scoreNext(); });
    else
        schedule(timers::kRunScore, 120ms, [this] { runScore(); });
}

void AppDelegate::scoreNext() {
    phase_ = Phase::Starting;
    parts_.scoreSound.stop();
    parts_.overlays.setScoreVisible(false);
    startNextSong();
}

}  // namespace vocalis
