#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vocalis {

// Player states as the engine reads them; the numbers are the engine's own contract.
enum class PlayerState : int {
    Stopped = 0,
    Opening = 1,
    Buffering = 2,
    Ended = 3,
    Error = 4,
    Playing = 5,
    Paused = 6,
};

// One playback: a file path, or a URL on the local media service.
struct Media {
    std::string location;
    bool isUrl = false;
    // ":audio-track=0" or ":audio-track=1": the first or second audio track of the file; a
    // file without that track plays the one it has.
    std::vector<std::string> options;

    static Media file(std::string path, std::vector<std::string> options = {}) {
        return Media{std::move(path), false, std::move(options)};
    }
    static Media url(std::string address, std::vector<std::string> options = {}) {
        return Media{std::move(address), true, std::move(options)};
    }
};

// Told of the player's changes, always on the main thread; it reads the player itself.
class MediaPlayerDelegate {
  public:
    virtual ~MediaPlayerDelegate() = default;
    virtual void mediaPlayerStateChanged() = 0;
    virtual void mediaPlayerTimeChanged() = 0;
};

// The one media player of the program. Every operation is called on the main thread.
//
// End of media: the player keeps the media loaded, stays on the last frame and reports
// Paused with hasEnded() set; a pause that was asked for reports Paused without it.
class MediaPlayer {
  public:
    virtual ~MediaPlayer() = default;

    virtual void setDelegate(MediaPlayerDelegate* delegate) = 0;

    virtual void setEqualizerEnabled(bool enabled) = 0;
    virtual void setPreAmplification(float decibels) = 0;
    virtual void setAmplification(float decibels, int band) = 0;  // band 0 ... 9

    // A fresh media for each playback; nullopt unloads the player.
    virtual void setMedia(std::optional<Media> media) = 0;
    virtual bool hasMedia() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;

    // Follows play() and pause() at once, even before the media engine has caught up.
    virtual bool isPlaying() const = 0;
    virtual PlayerState state() const = 0;
    // The media played to its own end (never set by a pause); cleared by a new media.
    virtual bool hasEnded() const = 0;
    // Fraction played, exactly 0.0 when nothing has played. With no media loaded this and
    // videoTrackCount() describe the media unloaded last, so that an error handler can
    // judge a failed media after unloading it.
    virtual float position() const = 0;
    virtual int videoTrackCount() const = 0;
    // Milliseconds played of the loaded media; 0 before it plays.
    virtual std::int64_t time() const = 0;
    // Remaining play time in milliseconds as a negative number; nullopt while the length
    // is not known.
    virtual std::optional<std::int64_t> remainingTime() const = 0;
    // The media's length in milliseconds; nullopt while it is not known.
    virtual std::optional<std::int64_t> length() const = 0;

    // Entry 0 stands for audio off, entries 1 and 2 for the file's first and second tracks.
    virtual std::vector<int> audioTrackIndexes() const = 0;
    virtual int currentAudioTrackIndex() const = 0;
    // Switches in place, without interrupting playback.
    virtual void setCurrentAudioTrackIndex(int index) = 0;

    // The key the sound is played in, in semitones from the file's own (-6 ... +6), tempo
    // unchanged; kept across media until changed. Heard within a second when changed mid-song.
    virtual void setKeyShift(int semitones) { (void)semitones; }
    // Cancels what sits in the middle of a stereo mix (most often the lead voice); kept
    // across media until changed.
    virtual void setCentreCancel(bool enabled) { (void)enabled; }
};

}  // namespace vocalis
