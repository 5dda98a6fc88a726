#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vocalis {

struct PlayerOptions {
    std::optional<std::string> dataDir;
    std::vector<std::string> songFolders;  // scanned after the USB drives, before the data folder
    std::optional<std::string> introClip;
    std::optional<std::string> idleClip;
    std::optional<std::string> camera;      // a device node or a video file; none: the first camera found
    std::optional<std::string> microphone;  // a sound source, or "none"; unset: the stored choice
    std::uint16_t mediaPort = 6767;
    std::uint16_t thumbnailPort = 6768;
    std::uint16_t remotePort = 6789;
    std::uint16_t discoveryPort = 1122;
    std::uint16_t webPort = 6790;
    std::optional<std::string> webPin;  // replaces the stored one; empty turns it off
    bool noSound = false;
    bool fairTurns = false;  // for this run, whatever the settings say
    bool demo = false;
    bool help = false;
};

// Reads the command line (without the program name). nullopt and a one-line reason in
// `error` for bad usage.
std::optional<PlayerOptions> parsePlayerOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kPlayerUsage;

}  // namespace vocalis
