#pragma once

// Test media made with ffmpeg, and recorders for what the media player reports.

#include <chrono>
#include <condition_variable>
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

// A video of `seconds` with two audio tracks: 440 Hz on the first, 1000 Hz on the second;
// only the first is flagged as the default, as in most karaoke files.
std::string makeTwoTrackVideo(const std::string& path, int seconds);
// An MP4 video with one 440 Hz audio track; with `indexFirst` its index comes before the
// data, so it streams over HTTP, otherwise it comes last.
std::string makeVideo(const std::string& path, int seconds, bool indexFirst = true);
// A sound file with no picture.
std::string makeAudioOnly(const std::string& path, int seconds);
// The first `fraction` of the bytes of `source`, as a new file.
std::string truncateCopy(const std::string& source, const std::string& path, double fraction);

// A player with no sound card and no window: the sound goes to `tap`, pictures to `sink`.
VlcPlayerOptions headlessOptions(PcmTap tap = {}, VideoSink* sink = nullptr);

// Runs the scheduler's posted tasks on this (the "main") thread until `done` holds or the
// deadline passes. The deadline is generous: it only keeps a broken test from hanging.
bool pumpUntil(VirtualScheduler& scheduler, const std::function<bool()>& done,
               std::chrono::seconds deadline = std::chrono::seconds(60));

// Records the delegate's messages.
class DelegateRecorder final : public MediaPlayerDelegate {
  public:
    explicit DelegateRecorder(MediaPlayer& player) : player_(player) {}
    void mediaPlayerStateChanged() override {
        states.push_back(player_.state());
        if (player_.state() == PlayerState::Paused && player_.hasEnded()) ++ends;
    }
    void mediaPlayerTimeChanged() override { ++timeChanges; }

    bool saw(PlayerState state) const;

    std::vector<PlayerState> states;
    int ends = 0;  // reports of the media's own end
    int timeChanges = 0;

  private:
    MediaPlayer& player_;
};

// Keeps the last picture, as a view would.
class FrameRecorder final : public VideoSink {
  public:
    explicit FrameRecorder(FrameSize wanted) : wanted_(wanted) {}
    FrameSize frameSizeFor(int sourceWidth, int sourceHeight) override;
    void presentFrame(std::shared_ptr<const VideoFrame> frame) override;

    int frames() const;
    std::shared_ptr<const VideoFrame> last() const;
    FrameSize source() const;

  private:
    FrameSize wanted_;
    mutable std::mutex mutex_;
    FrameSize source_;
    std::shared_ptr<const VideoFrame> last_;
    int frames_ = 0;
};

// Listens to the decoded sound (48 kHz stereo) and tells the tone that plays.
class ToneListener {
  public:
    // The callback to hand to the player as its PCM tap.
    std::function<void(std::span<const std::int16_t>)> tap();

    // Forgets what was heard (not the count), so old sound cannot answer for new.
    void forget();
    // Stereo frames heard so far.
    std::int64_t framesHeard() const;
    // The tone of the last `window` frames of the left channel from its zero crossings,
    // in Hz; 0 when that stretch is (nearly) silent.
    double frequency(std::size_t window = 9600) const;
    // Root mean square of the last `window` left-channel samples (full scale 32768).
    double loudness(std::size_t window = 9600) const;

  private:
    std::vector<std::int16_t> recentLeft(std::size_t window) const;

    mutable std::mutex mutex_;
    std::deque<std::int16_t> left_;
    std::int64_t frames_ = 0;
};

}  // namespace vocalis::testing
