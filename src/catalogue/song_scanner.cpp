#include "catalogue/song_scanner.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "base/log.h"

namespace vocalis {

namespace {

struct Entry {
    std::string name;
    unsigned char type;
};

class FolderWalker {
public:
    FolderWalker(std::vector<Song>& songs, ScanReport& report) : songs_(songs), report_(report) {}

    void walk(const std::string& root) {
        // Depth first, each folder's entries in name order, a sub-folder read where it is
        // met; an explicit stack so that deep trees cannot exhaust the call stack.
        struct Frame {
            std::string relative;
            std::vector<Entry> entries;
            std::size_t next = 0;
        };
        std::vector<Frame> stack;
        stack.push_back({std::string(), {}, 0});
        if (!readFolder(root, stack.back().entries)) return;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.entries.size()) {
                stack.pop_back();
                continue;
            }
            const Entry& entry = frame.entries[frame.next++];
            std::string child = frame.relative.empty() ? entry.name : frame.relative + "/" + entry.name;
            const std::string path = root + "/" + child;
            const unsigned char type = resolveType(path, entry.type);
            if (type == DT_DIR) {
                Frame sub{std::move(child), {}, 0};
                if (readFolder(path, sub.entries)) stack.push_back(std::move(sub));  // invalidates `frame`
            } else if (type == DT_REG) {
                // "._" files are the resource forks macOS leaves on FAT drives, not songs.
                if (entry.name.compare(0, 2, "._") == 0) continue;
                if (auto song = songFromPath(root, child)) songs_.push_back(std::move(*song));
            }
        }
    }

private:
    bool readFolder(const std::string& path, std::vector<Entry>& entries) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            ++report_.unreadable;
            return false;
        }
        // Each folder is read once, which also cuts symbolic-link loops.
        if (!visited_.emplace(info.st_dev, info.st_ino).second) return false;
        DIR* dir = ::opendir(path.c_str());
        if (!dir) {
            ++report_.unreadable;
            logParts("Cannot read song folder: ", path);
            return false;
        }
        ++report_.folders;
        while (const dirent* item = ::readdir(dir)) {
            const std::string_view name(item->d_name);
            if (name == "." || name == "..") continue;
            entries.push_back({std::string(name), item->d_type});
        }
        ::closedir(dir);
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
        return true;
    }

    // Symbolic links count as what they point at; a dangling one is skipped.
    static unsigned char resolveType(const std::string& path, unsigned char type) {
        if (type != DT_LNK && type != DT_UNKNOWN) return type;
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) return DT_LNK;
        if (S_ISDIR(info.st_mode)) return DT_DIR;
        if (S_ISREG(info.st_mode)) return DT_REG;
        return DT_LNK;
    }

    std::vector<Song>& songs_;
    ScanReport& report_;
    std::set<std::pair<dev_t, ino_t>> visited_;
};

}  // namespace

std::vector<Song> scanSongFolders(const std::vector<std::string>& folders, ScanReport* report) {
    std::vector<Song> songs;
    ScanReport local;
    FolderWalker walker(songs, report ? *report : local);
    for (const std::string& folder : folders) walker.walk(folder);
    return songs;
}

}  // namespace vocalis
