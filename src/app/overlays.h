#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/singing_microphone.h"
#include "audio/melody.h"

namespace vocalis {

// Encoded image bytes (JPEG, PNG...), as read from a file, the thumbnail store or a phone.
using ImageBytes = std::vector<std::uint8_t>;

// The views over the video. The engine decides what shows when (and runs the timers);
// an implementation only draws. All calls come on the main thread.
class Overlays {
  public:
    virtual ~Overlays() = default;

    // Title banner.
    virtual void setTitleText(const std::string& text) = 0;
    virtual void setTitleVisible(bool visible) = 0;

    // Up-next panel: un-hidden once the catalogue has loaded; afterwards only its alpha
    // changes, faded through an animation.
    virtual void setNextViewVisible(bool visible) = 0;
    virtual void fadeNextView(double alpha) = 0;
    // nullopt as thumbnail shows the "banner" picture.
    virtual void setNextContent(const std::optional<ImageBytes>& thumbnail, const std::string& upNext,
                                const std::string& title, const std::string& singer) = 0;

    // Message banner.
    virtual void setMessageText(const std::string& text) = 0;
    virtual void setMessageVisible(bool visible) = 0;

    // Picture panel: the picture is cropped to a circle. Returns false (and changes nothing)
    // when the bytes are not a picture.
    virtual bool setPicture(const ImageBytes& image) = 0;
    virtual void setPictureVisible(bool visible) = 0;

    virtual void setBlackCoverVisible(bool visible) = 0;

    // Volume panel, level 0 ... 10.
    virtual void setVolumeLevel(int level) = 0;
    virtual void setVolumeVisible(bool visible) = 0;

    // Score screen: the number, and a line under it (empty: none).
    virtual void setScoreNumber(int score) = 0;
    virtual void setScoreDetail(const std::string& line) = 0;
    virtual void setScoreVisible(bool visible) = 0;

    // Pitch band: the song's reference melody, shown scrolling towards "now" (none: hidden), and
    // the singer's frames as they are heard, the latest of them being "now".
    virtual void setPitchBand(std::shared_ptr<const Melody> reference) = 0;
    virtual void addSungPitches(const std::vector<SungFrame>& frames) = 0;

    // Makes the video fill the screen again (a one-pixel frame nudge).
    virtual void nudgeVideo() = 0;

    // The operator's menu items: all but recording, and recording.
    virtual void setMenusEnabled(bool enabled, bool recordEnabled) = 0;
};

// The score sound: played once per score screen.
class ScoreSound {
  public:
    virtual ~ScoreSound() = default;
    // Starts the sound at volume 0.6; false when it cannot be played (the count goes on).
    virtual bool play() = 0;
    virtual void stop() = 0;
};

}  // namespace vocalis
