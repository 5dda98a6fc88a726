// The score screen between queued songs: a count-up to the score measured from the singing, or
// to a random one when nothing could be measured.
#include "app/app_delegate.h"
#include "app/engine_timers.h"
#include "base/log.h"

namespace vocalis {

using namespace std::chrono_literals;

void AppDelegate::scoringAndNextSong() {
    phase_ = Phase::Score;
    const auto sung = endListening();
    if (sung && sung->measured()) {
        finalScore_ = {sung->score(), true};
        parts_.overlays.setScoreDetail("Cao độ " + std::to_string(sung->pitchPercent()) + "% · Đúng nhịp " +
                                       std::to_string(sung->timingPercent()) + "%");
    } else {
        finalScore_ = {71 + std::uniform_int_distribution<int>(0, 29)(random_), false};
        parts_.overlays.setScoreDetail("");
    }
    logParts("Score: ", finalScore_.value, finalScore_.measured ? " (measured)" : " (random)");
    // The count starts at 50, or from nothing for a score below it.
    iScore_ = finalScore_.value < 50 ? 0 : 50;
    historyEnds(SongEnding::kFinished, finalScore_);
    parts_.overlays.setScoreNumber(iScore_);
    parts_.overlays.setScoreVisible(true);
    announce([score = finalScore_](EngineListener& listener) { listener.scoreShown(score); });
    parts_.scoreSound.play();  // a silent score screen still counts
    countScore();
}

void AppDelegate::runScore() {
    ++iScore_;
    parts_.overlays.setScoreNumber(iScore_);
    countScore();
}

void AppDelegate::countScore() {
    if (iScore_ >= finalScore_.value)
        schedule(timers::kScoreNext, 7s, [this] { scoreNext(); });
    else
        schedule(timers::kRunScore, 120ms, [this] { runScore(); });
}

void AppDelegate::scoreNext() {
    phase_ = Phase::Starting;
    parts_.scoreSound.stop();
    parts_.overlays.setScoreVisible(false);
    announce([](EngineListener& listener) { listener.scoreShown(std::nullopt); });
    startNextSong();
}

}  // namespace vocalis
