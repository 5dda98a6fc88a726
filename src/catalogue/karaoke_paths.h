#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vocalis {

struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string mountPoint;
};

// The mounts of a /proc/<pid>/mountinfo text, in its order; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// What the drive rules need to know of the device behind a mount.
struct DriveInfo {
    bool usb = false;     // on a USB bus
    bool hidden = false;  // marked to be hidden from users
};

// The song folders on drives: for each mount in order, not hidden (no path component
// starting with "."), on a USB device, with a "Karaoke" entry at its root. A device
// mounted twice counts once.
std::vector<std::string> selectKaraokeFolders(const std::vector<MountEntry>& mounts,
                                              const std::function<DriveInfo(const MountEntry&)>& describe,
                                              const std::function<bool(const std::string&)>& exists);

// The song folders of the USB drives mounted now (mountinfo and libudev).
std::vector<std::string> getKaraokePaths();

// The folders a load scans: the drives' folders, then the data folder's "Karaoke" when it exists.
std::vector<std::string> songFoldersToScan(const std::string& dataFolder);

}  // namespace vocalis
