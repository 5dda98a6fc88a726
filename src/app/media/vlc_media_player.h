#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/media/media_player.h"
#include "app/media/video_sink.h"
#include "base/scheduler.h"

namespace vocalis {

// Interleaved signed 16-bit stereo PCM at 48 kHz, as the media engine would send it to
// the sound card. Called on the media engine's audio thread.
using PcmTap = std::function<void(std::span<const std::int16_t> interleavedStereo)>;

struct VlcPlayerOptions {
    // libVLC command-line options, e.g. "--aout=adummy". Without a video sink and without a
    // "--vout=..." of the caller's, pictures go to libVLC's dummy output. Without an
    // "--aout=..." the sound takes the player's own path to PulseAudio, where the key and the
    // centre cancellation work; with one, libVLC's own output plays it unchanged. With
    // "--no-audio" no sound is decoded.
    std::vector<std::string> arguments;
    // Receives the pictures; not owned, must outlive the player.
    VideoSink* videoSink = nullptr;
    // Takes the sound, after the key change and centre cancellation, instead of the sound
    // card (tests listen with it).
    PcmTap pcmTap;
};

// The media player on libVLC 3. libVLC's events are handed to the main thread through the
// scheduler; the delegate hears of them there. Every operation runs on the main thread.
//
// libVLC ends a media by closing it; this player instead keeps the media loaded, leaves the
// last picture with the sink and reports Paused with hasEnded(). The end comes only from
// libVLC's own end of the media, never from a pause. When no sound output can be opened the
// media plays without sound (logged once until sound works again); the next media tries again.
// Sound and picture stay together through the key change and centre cancellation: the sound
// goes out at the time libVLC gives each block, whatever the changes' own delay.
class VlcMediaPlayer final : public MediaPlayer {
  public:
    static constexpr int kPcmRate = 48000;
    static constexpr int kPcmChannels = 2;

    // Options for a player that needs neither a display nor a sound card.
    static std::vector<std::string> headlessArguments();
    // Options for a player without sound: no sound card, and no sound decoded at all, which
    // spares the processor its decoding. The audio tracks are still listed and chosen.
    static std::vector<std::string> soundlessArguments();

    VlcMediaPlayer(Scheduler& scheduler, VlcPlayerOptions options = {});
    ~VlcMediaPlayer() override;
    VlcMediaPlayer(const VlcMediaPlayer&) = delete;
    VlcMediaPlayer& operator=(const VlcMediaPlayer&) = delete;

    // False when libVLC could not start (missing plugins): the player then does nothing.
    bool isReady() const;

    // The player's own output level, 0.0 to 1.0 (the score sound plays at 0.6); kept across
    // media. Not part of MediaPlayer: the songs always play at full level.
    void setVolume(float fraction);

    // Reads the media's format in the background without playing it, so that the modules it
    // needs are loaded before it plays (the intro, during the window's wait). Not part of
    // MediaPlayer: only the start-up knows what comes first.
    void prepare(const Media& media);

    void setDelegate(MediaPlayerDelegate* delegate) override;

    void setEqualizerEnabled(bool enabled) override;
    void setPreAmplification(float decibels) override;
    void setAmplification(float decibels, int band) override;

    void setMedia(std::optional<Media> media) override;
    bool hasMedia() const override;
    void play() override;
    void pause() override;
    void stop() override;

    bool isPlaying() const override;
    PlayerState state() const override;
    bool hasEnded() const override;
    float position() const override;
    int videoTrackCount() const override;
    std::int64_t time() const override;
    std::optional<std::int64_t> remainingTime() const override;
    std::optional<std::int64_t> length() const override;

    std::vector<int> audioTrackIndexes() const override;
    int currentAudioTrackIndex() const override;
    void setCurrentAudioTrackIndex(int index) override;

    void setKeyShift(int semitones) override;
    void setCentreCancel(bool enabled) override;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vocalis
