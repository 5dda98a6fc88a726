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
    // A file without a sound track gives takes without sound; a file's is unknown until
    // GStreamer has looked at it.
    std::optional<bool> hasSound = true;
};

// The first video capture device the system lists (by device number).
std::optional<std::string> firstCaptureDevice();

// The camera named on the command line (a device node or a video file), or the first
// capture device when none is named. nullopt: no camera. Needs no GStreamer.
std::optional<CameraSource> findCamera(const std::optional<std::string>& named);

// Whether the video file has a sound track, asked of GStreamer's own demuxers (started).
bool fileHasSound(const std::string& path);

}  // namespace vocalis
