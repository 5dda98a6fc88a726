#pragma once

// Test media made with ffmpeg, and recorders for what the media player reports.

#include <algorithm>
#include <chrono>
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

// Runs ffmpeg with the arguments (after "-v error -y"); throws, failing the test, when it fails.
void runFfmpeg(const std::vector<std::string>& arguments);
// A video of `seconds` with two audio tracks: 440 Hz on the first, 1000 Hz on the second; only the
// first is flagged as the default, as in most karaoke files.
std::string makeTwoTrackVideo(const std::string& path, int seconds);
// An MP4 video (a moving pattern) with one 440 Hz audio track, its index first so that it streams.
std::string makeVideo(const std::string& path, int seconds, const std::string& size = "320x240");
std::string makeAudioOnly(const std::string& path, int seconds);

// Runs the scheduler's posted tasks on this (the "main") thread until `done` holds or the
// deadline, which only keeps a broken test from hanging, passes.
bool pumpUntil(VirtualScheduler& scheduler, const std::function<bool()>& done,
               std::chrono::seconds deadline = std::chrono::seconds(60));

// One channel of 48 kHz sound, full scale 1.
using Samples = std::vector<float>;
// Power of one frequency (Goertzel), normalised by the length.
double power(const Samples& samples, double hertz);
// The strongest frequency between 150 and 2000 Hz.
double strongest(const Samples& samples);
double loudness(const Samples& samples);  // root mean square

inline bool ended(const MediaPlayer& player) {
    return player.hasMedia() && player.state() == PlayerState::Paused && player.hasEnded();
}

struct DelegateRecorder final : MediaPlayerDelegate {
    explicit DelegateRecorder(MediaPlayer& player) : player(player) {}
    void mediaPlayerStateChanged() override {
        states.push_back(player.state());
        if (ended(player)) ++ends;
    }
    void mediaPlayerTimeChanged() override {}
    bool saw(PlayerState state) const { return std::ranges::find(states, state) != states.end(); }

    MediaPlayer& player;
    std::vector<PlayerState> states;
    int ends = 0;  // reports of the media's own end
};

// How many of a frame's colour samples (U and V) are far from grey.
inline int colourSamples(const VideoFrame& frame) {
    int coloured = 0;
    for (int plane = 1; plane <= 2; ++plane)
        for (int y = 0; y < frame.chromaHeight(); ++y)
            for (int x = 0; x < frame.chromaWidth(); ++x) {
                const std::uint8_t c = frame.plane(plane)[y * frame.stride(plane) + x];
                coloured += c < 112 || c > 144;
            }
    return coloured;
}

// Keeps the last picture, as a view would, and the times at which pictures turned mostly white.
class FrameRecorder final : public VideoSink {
  public:
    explicit FrameRecorder(FrameSize wanted) : wanted_(wanted) {}
    FrameSize frameSizeFor(int width, int height) override {
        std::lock_guard lock(mutex_);
        return source_ = {width, height}, wanted_;
    }
    void presentFrame(std::shared_ptr<const VideoFrame> frame) override {
        long sum = 0;
        for (int y = 0; y < frame->height; ++y)
            for (int x = 0; x < frame->width; ++x) sum += frame->plane(0)[y * frame->stride(0) + x];
        const bool bright = sum > long(frame->width) * frame->height * 128;
        std::lock_guard lock(mutex_);
        if (bright && !bright_) flashes_.push_back(std::chrono::steady_clock::now());
        bright_ = bright, last_ = std::move(frame), ++frames_;
    }
    int frames() const { return std::lock_guard(mutex_), frames_; }
    std::shared_ptr<const VideoFrame> last() const { return std::lock_guard(mutex_), last_; }
    FrameSize source() const { return std::lock_guard(mutex_), source_; }
    std::vector<std::chrono::steady_clock::time_point> flashes() const {
        return std::lock_guard(mutex_), flashes_;
    }

  private:
    FrameSize wanted_, source_;
    mutable std::mutex mutex_;
    std::shared_ptr<const VideoFrame> last_;
    int frames_ = 0;
    bool bright_ = false;
    std::vector<std::chrono::steady_clock::time_point> flashes_;
};

// Listens to the decoded sound (48 kHz stereo) through the player's PCM tap; keeps its last second.
class ToneListener {
  public:
    PcmTap tap() {
        return [this](std::span<const std::int16_t> samples) {
            std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i + 1 < samples.size(); i += 2) left_.push_back(samples[i] / 32768.0f);
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
    // The last `window` frames of the left channel.
    Samples recent(std::size_t window = 9600) const {
        std::lock_guard lock(mutex_);
        return {left_.end() - std::ptrdiff_t(std::min(window, left_.size())), left_.end()};
    }
    // The tone of the last 0.2 s; 0 when that stretch is (nearly) silent.
    double frequency() const {
        const Samples samples = recent();
        return samples.size() < 9600 || loudness(samples) < 0.006 ? 0.0 : strongest(samples);
    }

  private:
    mutable std::mutex mutex_;
    std::deque<float> left_;
    std::int64_t frames_ = 0;
};

}  // namespace vocalis::testing
