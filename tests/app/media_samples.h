#pragma once

// Test media made with ffmpeg, and recorders for what the media player reports.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "app/media/media_player.h"
#include "app/media/video_sink.h"
#include "app/media/vlc_media_player.h"
#include "base/virtual_scheduler.h"

namespace vocalis::testing {

// Runs ffmpeg with the arguments (after "-v error -y"); fails the test when it fails.
void runFfmpeg(const std::vector<std::string>& arguments);
// A video of `seconds` with two audio tracks: 440 Hz on the first, 1000 Hz on the second; only the
// first is flagged as the default, as in most karaoke files.
std::string makeTwoTrackVideo(const std::string& path, int seconds);
// An MP4 video with one 440 Hz audio track; with `indexFirst` its index comes before the data, so
// it streams over HTTP, otherwise it comes last.
std::string makeVideo(const std::string& path, int seconds, bool indexFirst = true);
std::string makeAudioOnly(const std::string& path, int seconds);
// The first `fraction` of the bytes of `source`, as a new file.
std::string truncateCopy(const std::string& source, const std::string& path, double fraction);

// A player with no sound card and no window: the sound goes to `tap`, pictures to `sink`.
inline VlcPlayerOptions headlessOptions(PcmTap tap = {}, VideoSink* sink = nullptr) {
    return {VlcMediaPlayer::headlessArguments(), sink, std::move(tap)};
}

// Runs the scheduler's posted tasks on this (the "main") thread until `done` holds or the
// deadline, which only keeps a broken test from hanging, passes.
bool pumpUntil(VirtualScheduler& scheduler, const std::function<bool()>& done,
               std::chrono::seconds deadline = std::chrono::seconds(60));

// How often `part` occurs in `text` (a captured log).
inline int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

inline bool ended(const MediaPlayer& player) {
    return player.hasMedia() && player.state() == PlayerState::Paused && player.hasEnded();
}

struct DelegateRecorder final : MediaPlayerDelegate {
    explicit DelegateRecorder(MediaPlayer& player) : player(player) {}
    void mediaPlayerStateChanged() override {
        states.push_back(player.state());
        if (ended(player)) ++ends;
    }
    void mediaPlayerTimeChanged() override { ++timeChanges; }
    bool saw(PlayerState state) const {
        return std::find(states.begin(), states.end(), state) != states.end();
    }

    MediaPlayer& player;
    std::vector<PlayerState> states;
    int ends = 0;  // reports of the media's own end
    int timeChanges = 0;
};

// Keeps the last picture, as a view would.
class FrameRecorder final : public VideoSink {
  public:
    explicit FrameRecorder(FrameSize wanted) : wanted_(wanted) {}
    FrameSize frameSizeFor(int width, int height) override {
        std::lock_guard lock(mutex_);
        return source_ = {width, height}, wanted_;
    }
    void presentFrame(std::shared_ptr<const VideoFrame> frame) override {
        std::lock_guard lock(mutex_);
        last_ = std::move(frame), ++frames_;
    }
    int frames() const { return std::lock_guard(mutex_), frames_; }
    std::shared_ptr<const VideoFrame> last() const { return std::lock_guard(mutex_), last_; }
    FrameSize source() const { return std::lock_guard(mutex_), source_; }

  private:
    FrameSize wanted_, source_;
    mutable std::mutex mutex_;
    std::shared_ptr<const VideoFrame> last_;
    int frames_ = 0;
};

// Listens to the decoded sound (48 kHz stereo) and tells the tone that plays.
class ToneListener {
  public:
    // The callback to hand to the player as its PCM tap.
    std::function<void(std::span<const std::int16_t>)> tap() {
        return [this](std::span<const std::int16_t> samples) {
            std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i + 1 < samples.size(); i += 2) left_.push_back(samples[i]);
            frames_ += std::int64_t(samples.size() / 2);
            while (left_.size() > 48000) left_.pop_front();
        };
    }
    // Forgets what was heard (not the count), so old sound cannot answer for new.
    void forget() {
        std::lock_guard lock(mutex_);
        left_.clear();
    }
    std::int64_t framesHeard() const { return std::lock_guard(mutex_), frames_; }
    // The tone of the last `window` left-channel frames from its zero crossings, in Hz; 0 when
    // that stretch is (nearly) silent.
    double frequency(std::size_t window = 9600) const {
        const auto samples = recent(window);
        if (samples.size() < window || loudness(window) < 200.0) return 0.0;
        int crossings = 0;
        for (std::size_t i = 1; i < samples.size(); ++i)
            crossings += (samples[i - 1] < 0) != (samples[i] < 0);
        return crossings / 2.0 / (double(samples.size()) / 48000.0);
    }
    // Root mean square of the last `window` left-channel samples (full scale 32768).
    double loudness(std::size_t window = 9600) const {
        const auto samples = recent(window);
        double sum = 0.0;
        for (auto s : samples) sum += double(s) * s;
        return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
    }

  private:
    std::vector<std::int16_t> recent(std::size_t window) const {
        std::lock_guard lock(mutex_);
        return {left_.end() - std::ptrdiff_t(std::min(window, left_.size())), left_.end()};
    }
    mutable std::mutex mutex_;
    std::deque<std::int16_t> left_;
    std::int64_t frames_ = 0;
};

}  // namespace vocalis::testing
