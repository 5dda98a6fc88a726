#pragma once

#include <optional>
#include <string>

namespace vocalis {

// What a take is filmed from: a V4L2 capture device with the default microphone, or a video
// file standing in for both camera and microphone (its own sound, when it has one).
struct CameraSource {
    enum class Kind { Device, File };
    Kind kind = Kind::Device;
    std::string path;
    bool hasSound = true;  // a file without a sound track gives takes without sound
};

// The first video capture device the system lists (by device number).
std::optional<std::string> firstCaptureDevice();

// The camera named on the command line (a device node or a video file), or the first
// capture device when none is named. nullopt: no camera.
std::optional<CameraSource> findCamera(const std::optional<std::string>& named);

}  // namespace vocalis
