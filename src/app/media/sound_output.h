#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "app/media/sound_processor.h"

namespace vocalis {

// The player's own sound output: takes the decoded sound (interleaved 16-bit stereo at
// 48 kHz, each block with the time it is due, in microseconds on `clock`), changes it
// (centre cancellation, key) and plays it through PulseAudio at that time, so that picture
// and sound stay together whatever the changes delay.
//
// The media engine decodes more than a second ahead; the sound waits here and is changed
// only just before it goes out, so a new key or cancel is heard within a fraction of a
// second. Without a sound server the sound is dropped and the times are still kept: the
// media plays silently and ends when it should. A server is looked for again at the next
// play after one was lost. A drift between the sound card's clock and the media's is taken
// up by a short silence or skip once it passes 15 ms.
//
// With a tap, the changed sound goes to the tap as soon as it is made instead of to a server.
class SoundOutput {
  public:
    using Clock = std::function<std::int64_t()>;
    using Tap = std::function<void(std::span<const std::int16_t> interleavedStereo)>;
    static constexpr int kRate = 48000;

    explicit SoundOutput(Clock clock, Tap tap = {});
    ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    // Any thread.
    void setKeyShift(int semitones);
    void setCentreCancel(bool enabled);

    // The main thread, as a media is to play: its first sound looks for a sound server if
    // none is open.
    void prepare();

    // The media engine's audio thread.
    void play(std::span<const std::int16_t> interleaved, std::int64_t due);
    void pause(std::int64_t when);
    void resume(std::int64_t when);
    void flush();
    // Returns once the sound given so far has been heard (or has had its time).
    void drain();

    // The main thread, before the media engine stops a media: a drain returns at once, so
    // the stop does not wait for the end of the sound.
    void interrupt();
    struct Pulse;

  private:
    void start();
    void connect();
    void service();
    void feed(std::size_t frames);
    void restartStream();
    void clearLocked();
    std::int64_t dueOf(std::uint64_t frame) const;
    void logLost();

    Clock clock_;
    Tap tap_;
    std::unique_ptr<Pulse> pulse_;

    std::atomic<int> key_{0};
    std::atomic<bool> centreCancel_{false};
    std::atomic<bool> starting_{false};
    bool lost_ = false;  // told once per loss of the server (audio thread)

    // The waiting sound, guarded by mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    SoundProcessor processor_;
    std::deque<float> waiting_;
    // (frame number, due time) for each block given, so any frame's time is known.
    std::deque<std::pair<std::uint64_t, std::int64_t>> marks_;
    std::uint64_t framesIn_ = 0;  // frames given since the last flush
    std::int64_t lastDue_ = 0;    // when the last frame given is due to end
    std::int64_t pausedAt_ = 0;
    bool paused_ = false;
    bool interrupted_ = false;
    bool fresh_ = false;       // the next start is a media's own, not the end of a pause
    bool onlySilence_ = true;  // the stream holds no sound of the media (the server's thread)
    std::vector<float> in_, out_;
    std::vector<std::int16_t> tapBuffer_;
};

}  // namespace vocalis
