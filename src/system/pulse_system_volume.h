#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/system_volume.h"

namespace vocalis {

// The output volume and mute of the sound server's default sink, through libpulse (works
// with PulseAudio and PipeWire's Pulse server). Synchronous: each operation runs the
// client's main loop on the calling thread until the answer comes or the time-out passes.
// The connection is made on first use and made again after it was lost. A missing sound
// server or device is logged once, and again only after one was found in between.
class PulseSystemVolume final : public SystemVolume {
  public:
    // `server`: a Pulse server address ("unix:/path/native"); empty uses the usual one
    // ($PULSE_SERVER, then the user's session server). No server is ever started.
    explicit PulseSystemVolume(std::string server = {},
                               std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    ~PulseSystemVolume() override;
    PulseSystemVolume(const PulseSystemVolume&) = delete;
    PulseSystemVolume& operator=(const PulseSystemVolume&) = delete;

    float systemVolume() override;
    void setSystemVolume(float volume) override;

    // Whether the default sink is muted; nullopt when it cannot be read.
    std::optional<bool> isMuted();

    struct Connection;

  private:
    std::unique_ptr<Connection> connection_;
};

}  // namespace vocalis
