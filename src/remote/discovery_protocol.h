#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vocalis::discovery {

inline constexpr std::uint16_t kDefaultPort = 1122;
inline constexpr std::string_view kProbePrefix = "Vocalis Remote";
inline constexpr std::string_view kPlayerName = "Vocalis Player macOS";
inline constexpr std::string_view kDeviceNameKey = "KEY_DEVICE_NAME";

// A probe is valid UTF-8 text that starts with the prefix, letter case included.
bool isProbe(std::string_view payload);

// A datagram as a log shows it: a probe's first 100 bytes at most, control characters
// replaced, so that one datagram is one short line; anything else only by its size.
inline constexpr std::size_t kLoggedBytes = 100;
std::string describeForLog(std::string_view payload);

// "name;device;700", the device name exactly as stored (a ";" in it included).
std::string reply(std::string_view deviceName);

}  // namespace vocalis::discovery
