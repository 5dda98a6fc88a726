#pragma once

namespace vocalis {

// The system's main output volume, 0.0 (silent) to 1.0 (full), with muting below 0.005.
class SystemVolume {
public:
    virtual ~SystemVolume() = default;
    virtual float systemVolume() = 0;
    virtual void setSystemVolume(float volume) = 0;
    void increaseSystemVolumeBy(float amount) { setSystemVolume(systemVolume() + amount); }
    void decreaseSystemVolumeBy(float amount) { setSystemVolume(systemVolume() - amount); }
};

}  // namespace vocalis
