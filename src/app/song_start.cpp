// Starting what comes next: the queue's head, a random song, the idle clip or the intro.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/app_delegate.h"
#include "app/engine_timers.h"

namespace vocalis {

using namespace std::chrono_literals;

void AppDelegate::startNextSong() { startNext(false); }

void AppDelegate::startNextSongAfterError() { startNext(true); }

void AppDelegate::startNext(bool afterError) {
    if (terminated_) return;
    if (!afterError)
        stopRecordingIfAny();
    else if (phase_ == Phase::Error)
        phase_ = Phase::Starting;  // the failure's wait is over
    if (isScreenHeld()) return;
    if (canEndIntro()) {
        // The intro's end starts the first song. An intro that ended while the start lock
        // held its repeat back is over: nothing plays, so that end counts now.
        if (parts_.player.hasMedia()) return;
        endIntro();
    }
    if (flags_.isLockNext) return;
    setNextLock(true);
    flags_.isNextShawn = false;
    randomSong_ = nullptr;
    // What starts plays, whatever the user paused before.
    flags_.isUserPause = false;
    if (afterError) {
        hideMessage();
        parts_.overlays.setBlackCoverVisible(false);
    }
    if (!isIntro()) hideTitle();
    parts_.overlays.fadeNextView(0.0);

    if (isIntro()) {
        if (!parts_.player.hasMedia()) {
            openClip(config_.introURL());
            announcePlaying();
        }
    } else {
        cancel(timers::kHideTitle);
        if (!parts_.songs.isQueueEmpty()) {
            phase_ = Phase::Song;
            const Song& song = *parts_.songs.getQueueSong(0);
            const auto request = requests_.find(song.songId);
            prepareSound(request == requests_.end() ? 0 : request->second.key);
            showSongTitle(song);
            historyStarts(song);
            const std::int64_t from = resumeStart();
            announceCurrentSong(song.songId);
            openAndPlay(song, from);
            listenToSinging(song);
        } else if (flags_.isRandom && parts_.songs.getRandomCount() > 0) {
            phase_ = Phase::RandomSong;
            randomSong_ = parts_.songs.getRandomSong();
            prepareSound(0);
            showSongTitle(*randomSong_);
            historyStarts(*randomSong_);
            announceCurrentSong(randomSong_->songId);
            openAndPlay(*randomSong_);
        } else {
            historyEnds(SongEnding::kSkipped);
            phase_ = Phase::IdleClip;
            parts_.overlays.setTitleText("Vui lòng chọn bài hát");
            parts_.overlays.setTitleVisible(true);
            announceCurrentSong(-1);
            openClip(config_.idleURL());
        }
        announcePlaying();
    }
    schedule(timers::kUnlockNext, 2s, [this] { unlockNext(); });
}

void AppDelegate::unlockNext() {
    setNextLock(false);
    // A media that ended while the lock was held had its successor refused; start it now
    // rather than leave the screen empty.
    if (!terminated_ && !parts_.player.hasMedia() && !isScreenHeld()) startNextSong();
}

void AppDelegate::showSongTitle(const Song& song) {
    std::string text = song.titleAndSinger();
    if (const auto name = requesterName(song.songId)) text += " (" + *name + ")";
    if (const std::int32_t key = songKey(song.songId); key != 0) text += " · " + keyLabel(key);
    parts_.overlays.setTitleText(text);
    parts_.overlays.setTitleVisible(true);
    schedule(timers::kHideTitle, 20s, [this] { hideTitle(); });
}

void AppDelegate::announceCurrentSong(std::int32_t songId) {
    parts_.songs.setCurrentSongId(songId);
    keepPlay();
    announce([songId](EngineListener& listener) { listener.currentSongChanged(songId); });
}

void AppDelegate::announcePlaying() {
    announce([](EngineListener& listener) { listener.playStateChanged(true); });
}

void AppDelegate::openAndPlay(const Song& song, std::int64_t fromMs) {
    lengthFor_ = song.songId;
    std::vector<std::string> options{flags_.isMusic ? ":audio-track=0" : ":audio-track=1"};
    if (fromMs > 0) options.push_back(":start-time=" + std::to_string(static_cast<double>(fromMs) / 1000.0));
    // ".vcv" songs are read through the local media service, which serves the current song.
    parts_.player.setMedia(song.isVcv() ? Media::url(config_.songURL(song.songId), std::move(options))
                                        : Media::file(std::string(song.karaokeFile()), std::move(options)));
    parts_.player.play();
    schedule(timers::kFillVideo, 200ms, [this] { fillVideo(); });
}

void AppDelegate::openClip(const std::string& url) {
    lengthFor_.reset();
    prepareSound(0);
    parts_.player.setMedia(Media::url(url));
    parts_.player.play();
    schedule(timers::kFillVideo, 200ms, [this] { fillVideo(); });
}

void AppDelegate::setNextLock(bool locked) {
    if (locked == flags_.isLockNext) return;
    flags_.isLockNext = locked;
    announce([locked](EngineListener& listener) { listener.nextLockChanged(locked); });
}

void AppDelegate::onNext() {
    if (flags_.isLockNext || isScreenHeld()) return;
    if (isOpen()) {
        parts_.songs.queueDelete(0);
        queueChanged();
    }
    startNextSong();
}

void AppDelegate::hideTitle() { parts_.overlays.setTitleVisible(false); }

// Less than 30 s left: show what comes next, making its picture with the thumbnail tool
// when there is none yet.
void AppDelegate::upNextCheck() {
    const auto remaining = parts_.player.remainingTime();
    if (!remaining || flags_.isNextShawn || isIntro() || isIdle() || *remaining < -29999) return;
    flags_.isNextShawn = true;
    if (parts_.songs.getQueueCount() < 2) {
        parts_.overlays.setTitleText("Vui lòng chọn bài hát");
        parts_.overlays.setTitleVisible(true);
        return;
    }
    cancel(timers::kHideNextView);
    const Song* next = parts_.songs.getQueueNextSong();
    const bool mayRunTool = !flags_.isCreateThumbnail && !flags_.isRecordVideo;
    // The song may leave the queue while its picture is found.
    auto showIfStillNext = [this, next](std::optional<ImageBytes> image) {
        parts_.scheduler.post([this, next, image = std::move(image)] {
            if (parts_.songs.getQueueNextSong() == next)
                showNextPanel(image, *next, withRequester("Tiếp theo", *next));
        });
    };
    parts_.background.post([this, next, mayRunTool, showIfStillNext] {
        auto stored = parts_.thumbnails.getThumbnail(next->songId);
        if (next->isVcv() || stored) {
            showIfStillNext(std::move(stored));
            return;
        }
        const ThumbnailTool tool = thumbnailTool();
        const std::string imagePath = tool.outputPath(*next);
        if (mayRunTool) tool.run(*next);
        std::optional<ImageBytes> image;
        if (std::filesystem::is_regular_file(imagePath)) {
            std::ifstream in(imagePath, std::ios::binary);
            image = ImageBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        showIfStillNext(std::move(image));
    });
}

void AppDelegate::showNextPanel(const std::optional<ImageBytes>& image, const Song& song,
                                const std::string& label) {
    parts_.overlays.fadeNextView(1.0);
    parts_.overlays.setNextContent(image, label, std::string(song.title()), std::string(song.singer()));
}

}  // namespace vocalis
