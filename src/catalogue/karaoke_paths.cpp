#include "catalogue/karaoke_paths.h"

#include <libudev.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "base/paths.h"

namespace vocalis {

namespace {

// mountinfo escapes space, tab, line feed and backslash as three octal digits.
std::string unescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string_view::npos) {
                out.push_back(
                    static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t end = std::min(line.find(' ', pos), line.size());
        if (end > pos) fields.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return fields;
}

bool hasHiddenComponent(const std::string& path) {
    std::size_t pos = 0;
    while ((pos = path.find('/', pos)) != std::string::npos) {
        ++pos;
        if (pos < path.size() && path[pos] == '.') return true;
    }
    return false;
}

struct UdevDeleter {
    void operator()(udev* handle) const { udev_unref(handle); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

DriveInfo describeWithUdev(udev* context, const MountEntry& mount) {
    DriveInfo info;
    if (mount.major == 0) return info;  // virtual file systems have no block device
    std::unique_ptr<udev_device, UdevDeleter> device(
        udev_device_new_from_devnum(context, 'b', makedev(mount.major, mount.minor)));
    if (!device) return info;
    const char* bus = udev_device_get_property_value(device.get(), "ID_BUS");
    info.usb = (bus && std::string_view(bus) == "usb") ||
               udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device") != nullptr;
    const char* ignore = udev_device_get_property_value(device.get(), "UDISKS_IGNORE");
    info.hidden = ignore && std::string_view(ignore) == "1";
    return info;
}

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        // id parent major:minor root mount-point options [optional...] - fstype source super-options
        const auto fields = splitFields(line);
        if (fields.size() < 7) continue;
        std::size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") ++separator;
        if (separator + 2 >= fields.size()) continue;
        const std::string_view device = fields[2];
        const std::size_t colon = device.find(':');
        if (colon == std::string_view::npos) continue;
        MountEntry entry;
        const auto majorEnd = device.data() + colon;
        const auto minorEnd = device.data() + device.size();
        if (std::from_chars(device.data(), majorEnd, entry.major).ptr != majorEnd) continue;
        if (std::from_chars(majorEnd + 1, minorEnd, entry.minor).ptr != minorEnd) continue;
        entry.mountPoint = unescapeMountField(fields[4]);
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

std::vector<std::string> selectKaraokeFolders(const std::vector<MountEntry>& mounts,
                                              const std::function<DriveInfo(const MountEntry&)>& describe,
                                              const std::function<bool(const std::string&)>& exists) {
    std::vector<std::string> folders;
    std::set<std::pair<unsigned, unsigned>> seenDevices;
    for (const MountEntry& mount : mounts) {
        if (hasHiddenComponent(mount.mountPoint)) continue;
        const DriveInfo info = describe(mount);
        if (!info.usb || info.hidden) continue;
        if (!seenDevices.emplace(mount.major, mount.minor).second) continue;
        std::string folder = mount.mountPoint;
        if (folder.empty() || folder.back() != '/') folder.push_back('/');
        folder += "Karaoke";
        if (exists(folder)) folders.push_back(std::move(folder));
    }
    return folders;
}

std::vector<std::string> getKaraokePaths() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context) return {};
    return selectKaraokeFolders(
        parseMountInfo(text.str()),
        [&](const MountEntry& mount) { return describeWithUdev(context.get(), mount); }, pathExists);
}

std::vector<std::string> songFoldersToScan(const std::string& dataFolder) {
    std::vector<std::string> folders = getKaraokePaths();
    const std::string own = dataFolder + "/Karaoke";
    if (pathExists(own)) folders.push_back(own);
    return folders;
}

}  // namespace vocalis
