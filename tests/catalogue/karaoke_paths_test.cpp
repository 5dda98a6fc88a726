#include "catalogue/karaoke_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "support/temp_dir.h"

using namespace vocalis;
using vocalis::testing::TempDir;

namespace {
// "\040" is a space; optional fields may come before the separator; broken lines are skipped.
const char* const kMountInfo =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
    "25 22 0:22 / /proc rw,nosuid shared:12 - proc proc rw\n"
    "90 22 8:17 / /media/ca/USB\\040Nhạc rw,nosuid,nodev shared:50 - vfat /dev/sdb1 rw,uid=1000\n"
    "91 22 8:33 / /media/ca/Backup rw shared:51 master:3 - exfat /dev/sdc1 rw\n"
    "92 22 8:49 / /media/ca/.hidden rw - vfat /dev/sdd1 rw\n"
    "93 22 8:17 / /mnt/again rw - vfat /dev/sdb1 rw\n"
    "94 22 8:65 / /media/ca/NoSongs rw - vfat /dev/sde1 rw\n"
    "garbage line\n"
    "1 2 x:y / / rw - ext4 a b\n"
    "1 2 3\n"
    "95 22 8:81 / /media/ca/Second rw shared:52 master:4 - ntfs3 /dev/sdf1 rw";
}  // namespace

TEST(KaraokePaths, KeepsVisibleUsbDrivesWithASongFolderInMountOrder) {
    const std::set<unsigned> usbMinors{17, 33, 49, 65, 81};
    const auto describe = [&](const MountEntry& mount) {
        DriveInfo info;
        info.usb = mount.major == 8 && usbMinors.count(mount.minor);
        info.hidden = mount.minor == 33;  // e.g. marked to be ignored by the desktop
        return info;
    };
    const std::string existing =
        "|/media/ca/USB Nhạc/Karaoke|/media/ca/Backup/Karaoke|/media/ca/.hidden/Karaoke|/mnt/again/Karaoke"
        "|/media/ca/Second/Karaoke|//Karaoke|/Karaoke|";
    const auto exists = [&](const std::string& path) {
        return existing.find("|" + path + "|") != std::string::npos;
    };
    const auto folders = selectKaraokeFolders(parseMountInfo(kMountInfo), describe, exists);
    EXPECT_EQ(folders, (std::vector<std::string>{"/media/ca/USB Nhạc/Karaoke", "/media/ca/Second/Karaoke"}));
}

TEST(KaraokePaths, DataFolderSongsComeLast) {
    TempDir data;
    auto folders = songFoldersToScan(data.path());
    EXPECT_TRUE(std::find(folders.begin(), folders.end(), data / "Karaoke") == folders.end());
    data.write("Karaoke/x.mp4");
    folders = songFoldersToScan(data.path());
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.back(), data / "Karaoke");
}
