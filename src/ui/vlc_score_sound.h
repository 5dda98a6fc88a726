#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/overlays.h"

namespace vocalis {

// The score sound on a libVLC player of its own: one file, played once at volume 0.6.
// libVLC starts on the first play, so a player that never scores never pays for it.
class VlcScoreSound final : public ScoreSound {
  public:
    VlcScoreSound(std::string soundFile, std::vector<std::string> vlcArguments);
    ~VlcScoreSound() override;
    VlcScoreSound(const VlcScoreSound&) = delete;
    VlcScoreSound& operator=(const VlcScoreSound&) = delete;

    // False when the file is missing or unreadable or libVLC cannot start.
    bool play() override;
    void stop() override;

    // Whether the sound is playing now (it stops by itself at its end).
    bool isPlaying() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vocalis
