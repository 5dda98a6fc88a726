#pragma once

#include <array>
#include <chrono>
#include <string_view>

namespace vocalis::timers {

// The engine's timers by key. Scheduling a key again replaces its pending task, so each
// key is one thing waiting: an overlay to hide, a lock to release, a step to take.
inline constexpr std::string_view kHideTitle = "hideTitle";
inline constexpr std::string_view kHideNextView = "hideNextView";
inline constexpr std::string_view kHideMessage = "hideMessage";
inline constexpr std::string_view kHidePicture = "hidePicture";
inline constexpr std::string_view kHideVolume = "hideVolume";
inline constexpr std::string_view kUnlockNext = "unlockNext";
inline constexpr std::string_view kUnlockReplay = "unlockReplay";
inline constexpr std::string_view kUnlockSwitchTrack = "unlockSwitchTrack";
inline constexpr std::string_view kUnlockRecord = "unlockRecord";
inline constexpr std::string_view kFillVideo = "fillVideo";
inline constexpr std::string_view kForceFillVideo = "forceFillVideo";
inline constexpr std::string_view kStartNextSong = "startNextSong";
inline constexpr std::string_view kStartNextSongAfterError = "startNextSongAfterError";
inline constexpr std::string_view kRetryIntro = "retryIntro";
inline constexpr std::string_view kLoadLibrary = "loadLibrary";
inline constexpr std::string_view kRunScore = "runScore";
inline constexpr std::string_view kScoreNext = "scoreNext";
inline constexpr std::string_view kRewritePlay = "rewritePlay";

// How long a phone's message or picture stays on the screen.
inline constexpr std::chrono::milliseconds kPhoneOverlay = std::chrono::seconds(15);

// Every key, for the engine to cancel what it left pending when it goes.
inline constexpr std::array kAll{kHideTitle,
                                 kHideNextView,
                                 kHideMessage,
                                 kHidePicture,
                                 kHideVolume,
                                 kUnlockNext,
                                 kUnlockReplay,
                                 kUnlockSwitchTrack,
                                 kUnlockRecord,
                                 kFillVideo,
                                 kForceFillVideo,
                                 kStartNextSong,
                                 kStartNextSongAfterError,
                                 kRetryIntro,
                                 kLoadLibrary,
                                 kRunScore,
                                 kScoreNext,
                                 kRewritePlay};

}  // namespace vocalis::timers
