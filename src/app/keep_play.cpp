// What plays, kept in the store: written whole at every change, announced once written, read
// back at the next start; and the history of every song start.
#include <chrono>
#include <sstream>

#include "app/app_delegate.h"
#include "app/engine_timers.h"
#include "base/log.h"
#include "store/song_identity.h"

namespace vocalis {

using namespace std::chrono_literals;

namespace {
// A song killed mid-way starts again a little before where it was.
constexpr std::int64_t kResumeLeadMs = 3000;
// The saved position is never older than this while a song plays.
constexpr std::int64_t kPositionStepMs = 4000;
constexpr Millis kRewriteDelay = 5s;

WallTime wallNow() {
    return std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

std::optional<std::string> nameOrNone(const std::string& name) {
    return name.empty() ? std::nullopt : std::optional(name);
}
}  // namespace

void AppDelegate::restorePlay(KeptPlay kept) {
    if (!kept.error.empty()) logParts("Store: the saved queue cannot be read: ", kept.error);
    std::size_t restored = 0;
    const auto add = [&](const KeptSong& found) {
        const Song* song = parts_.songs.getSong(found.songId);
        if (!song || parts_.songs.queueContains(*song)) return;
        parts_.songs.queueAdd(*song);
        requests_[found.songId] = Request{found.name.value_or(""), found.key, found.byHand};
        ++restored;
    };
    if (kept.current) {
        add(*kept.current);
        if (!kept.endedCleanly && restored == 1) {
            resumeFrom_ = kept.positionMs;
            logParts("The last run ended while a song played: it starts again at ",
                     std::max<std::int64_t>(0, kept.positionMs - kResumeLeadMs) / 1000, " s");
        }
    }
    for (const KeptSong& song : kept.waiting) add(song);
    if (restored > 0) logParts("Queue restored: ", restored, " songs");
    if (!kept.missing.empty()) {
        std::ostringstream list;
        for (std::size_t i = 0; i < kept.missing.size(); ++i) list << (i ? "; " : "") << kept.missing[i];
        logParts("Not found, left out of the queue: ", list.str());
        parts_.overlays.setMessageText("Không tìm thấy " + std::to_string(kept.missing.size()) +
                                       " bài trong hàng chờ");
        parts_.overlays.setMessageVisible(true);
        schedule(timers::kHideMessage, 5s, [this] { hideMessage(); });
    }
    playKept_ = true;
    // The songs left out leave the stored queue too.
    if (!kept.missing.empty()) keepPlay();
}

std::int64_t AppDelegate::resumeStart() {
    const auto from = std::exchange(resumeFrom_, std::nullopt);
    return from ? std::max<std::int64_t>(0, *from - kResumeLeadMs) : 0;
}

void AppDelegate::keepPlay() {
    if (!parts_.store || !playKept_) return;
    pendingWrite_ = writesStarted_ + 1;
    if (std::exchange(writeSoon_, true)) return;
    // Written once the step that changed it is over, so one write holds all of that step's changes
    // (a song's end and the next one's start).
    parts_.scheduler.post([this, alive = std::weak_ptr(alive_)] {
        if (alive.expired()) return;
        writeSoon_ = false;
        if (writing_)
            dirty_ = true;  // one more write, of the whole state, once the one under way is done
        else
            writePlay();
    });
}

void AppDelegate::writePlay() {
    writing_ = true;
    dirty_ = false;
    const std::uint64_t number = ++writesStarted_;
    parts_.store->savePlay(playState(), [this, alive = std::weak_ptr(alive_), number](WriteError error) {
        if (!alive.expired()) playWritten(number, error);
    });
}

void AppDelegate::playWritten(std::uint64_t number, const WriteError& error) {
    writing_ = false;
    noteWrite(error);
    // Written or not, the player plays on and its news goes out.
    writesDone_ = number;
    while (!held_.empty() && held_.front().write <= writesDone_) {
        auto news = std::move(held_.front().tell);
        held_.pop_front();
        news();
    }
    if (dirty_)
        writePlay();
    else if (error)
        schedule(timers::kRewritePlay, kRewriteDelay, [this] { keepPlay(); });
    // Commands that came meanwhile run now, one write at a time.
    while (!writing_ && !afterWrite_.empty()) {
        auto next = std::move(afterWrite_.front());
        afterWrite_.pop_front();
        next();
    }
}

void AppDelegate::noteWrite(const WriteError& error) {
    if (error && !std::exchange(storeFailing_, true))
        logParts("Store: cannot write (", *error, "); the player keeps its state in memory until it can");
    else if (!error && std::exchange(storeFailing_, false))
        logLine("Store: writing again");
}

PlayStore::Done AppDelegate::notedWrite() {
    return [this, alive = std::weak_ptr(alive_)](WriteError error) {
        if (!alive.expired()) noteWrite(error);
    };
}

void AppDelegate::afterNews(std::function<void()> task) {
    if (!afterWrite_.empty())
        afterWrite_.push_back([this, task = std::move(task)]() mutable { afterNews(std::move(task)); });
    else if (pendingWrite_ > writesDone_)
        held_.push_back({pendingWrite_, std::move(task)});
    else
        task();
}

const SongIdentity& AppDelegate::identity(const Song& song) {
    auto found = identities_.find(song.songId);
    if (found == identities_.end())
        found = identities_.emplace(song.songId, songIdentity(song, folders_)).first;
    return found->second;
}

PlayState AppDelegate::playState() {
    PlayState state;
    const std::int32_t count = parts_.songs.getQueueCount();
    std::int32_t index = 0;
    if (count > 0) {
        const Song& head = *parts_.songs.getQueueSong(0);
        const bool playing = phase_ == Phase::Song && parts_.songs.currentSongId() == head.songId;
        if (playing || resumeFrom_) {
            state.current = CurrentSong{identity(head), requesterName(head.songId), songKey(head.songId),
                                        playing ? parts_.player.time() : *resumeFrom_};
            index = 1;
        }
    }
    for (; index < count; ++index) {
        const Song& song = *parts_.songs.getQueueSong(index);
        const auto request = requests_.find(song.songId);
        const bool byHand = request != requests_.end() && request->second.placedByHand;
        state.waiting.push_back({identity(song), requesterName(song.songId), songKey(song.songId), byHand});
    }
    return state;
}

// While a song plays (`always`: at every pause), so that a kill loses a few seconds at most.
void AppDelegate::keepPosition(bool always) {
    if (!parts_.store || !playKept_ || phase_ != Phase::Song || !parts_.player.hasMedia()) return;
    const std::int64_t position = parts_.player.time();
    if (!always && position >= savedPosition_ && position < savedPosition_ + kPositionStepMs) return;
    savedPosition_ = position;
    parts_.store->savePosition(savedPosition_, notedWrite());
}

void AppDelegate::historyStarts(const Song& song) {
    historyEnds(SongEnding::kSkipped);
    savedPosition_ = 0;
    if (!parts_.store) return;
    const bool queued = phase_ == Phase::Song;
    const auto request = requests_.find(song.songId);
    SongStart start{identity(song), std::nullopt, 0, wallNow()};
    if (queued && request != requests_.end()) {
        start.name = nameOrNone(request->second.name);
        start.key = request->second.key;
    }
    historyOpen_ = true;
    parts_.store->songStarted(std::move(start), notedWrite());
}

void AppDelegate::historyEnds(SongEnding ending, std::optional<SongScore> score) {
    // A song left before its end keeps the score of what was sung of it.
    const auto sung = endListening();
    if (!score && ending == SongEnding::kSkipped && sung && sung->measured())
        score = SongScore{sung->score(), true};
    if (!std::exchange(historyOpen_, false) || !parts_.store) return;
    parts_.store->songEnded(wallNow(), ending, score, notedWrite());
}

void AppDelegate::clearQueue() {
    if (!isOpen()) return;
    // The queue's head is the song playing, or (between songs) the next one.
    const std::int32_t keep = phase_ == Phase::Song ? 1 : 0;
    for (std::int32_t index = parts_.songs.getQueueCount() - 1; index >= keep; --index)
        parts_.songs.queueDelete(index);
    queueChanged();
}

}  // namespace vocalis
