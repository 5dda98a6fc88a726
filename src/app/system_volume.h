#pragma once

namespace vocalis {

// The computer's output volume: the main volume of the default output device, from 0.0
// (silent) to 1.0 (full), and its mute switch. Called on the main thread; every call
// returns within a bounded time, also when no sound server answers.
class SystemVolume {
  public:
    virtual ~SystemVolume() = default;

    // The volume limited to 0.0 ... 1.0; 0.0 when it cannot be read (the failure is logged).
    virtual float systemVolume() = 0;

    // Limits the request to 0.0 ... 1.0 (logging a request out of range). Below 0.005 the
    // device is muted and its volume left as it was; otherwise the volume is written and the
    // device unmuted. Failures are logged and leave the device as it was.
    virtual void setSystemVolume(float volume) = 0;

    void increaseSystemVolumeBy(float step) { setSystemVolume(systemVolume() + step); }
    void decreaseSystemVolumeBy(float step) { setSystemVolume(systemVolume() - step); }
};

}  // namespace vocalis
