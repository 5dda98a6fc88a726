#include "catalogue/song_scanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <utility>

#include "base/log.h"

namespace vocalis {

namespace {

struct Entry {
    std::string name;
    unsigned char type;
};

struct FoundFile {
    std::uint32_t folder;  // index into the scanned folders
    std::string relative;
};
using Batch = std::vector<FoundFile>;

// Hands batches of found song files from the walking thread to the thread that makes
// songs of them, in order; making the search keys takes as long as reading the folders,
// so on two cores the two overlap.
class BatchChannel {
  public:
    void push(Batch batch) {
        {
            std::lock_guard lock(mutex_);
            batches_.push_back(std::move(batch));
        }
        ready_.notify_one();
    }
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_one();
    }
    // The next batch, or nullopt once the channel is closed and drained.
    std::optional<Batch> pop() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || !batches_.empty(); });
        if (batches_.empty()) return std::nullopt;
        Batch batch = std::move(batches_.front());
        batches_.pop_front();
        return batch;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Batch> batches_;
    bool closed_ = false;
};

class FolderWalker {
  public:
    static constexpr std::size_t kBatchSize = 1024;

    FolderWalker(BatchChannel& channel, ScanReport& report) : channel_(channel), report_(report) {}

    void finish() {
        if (!batch_.empty()) channel_.push(std::move(batch_));
        channel_.close();
    }

    void walk(const std::string& root, std::uint32_t folder) {
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
                // Hidden folders are not the user's songs: a desktop's ".Trash-1000" on a
                // USB stick would bring deleted songs back.
                if (entry.name.starts_with('.')) continue;
                Frame sub{std::move(child), {}, 0};
                if (readFolder(path, sub.entries)) stack.push_back(std::move(sub));  // invalidates `frame`
            } else if (type == DT_REG) {
                // "._" files are the resource forks macOS leaves on FAT drives, not songs.
                if (entry.name.compare(0, 2, "._") == 0) continue;
                if (!isSongFileName(entry.name)) continue;
                batch_.push_back({folder, std::move(child)});
                if (batch_.size() == kBatchSize) {
                    channel_.push(std::move(batch_));
                    batch_ = Batch();
                    batch_.reserve(kBatchSize);
                }
            }
        }
    }

  private:
    bool readFolder(const std::string& path, std::vector<Entry>& entries) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            if (fd >= 0) ::close(fd);
            ++report_.unreadable;
            logParts("Cannot read song folder: ", path);
            return false;
        }
        // Each folder is read once, which also cuts symbolic-link loops.
        if (!visited_.insert(FolderId{info.st_dev, info.st_ino}).second) {
            ::close(fd);
            return false;
        }
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            ++report_.unreadable;
            return false;
        }
        ++report_.folders;
        while (const dirent* item = ::readdir(dir)) {
            const std::string_view name(item->d_name);
            if (name == "." || name == "..") continue;
            entries.push_back({std::string(name), item->d_type});
        }
        ::closedir(dir);
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });
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

    BatchChannel& channel_;
    ScanReport& report_;
    Batch batch_;
    struct FolderId {
        dev_t device;
        ino_t inode;
        bool operator==(const FolderId&) const = default;
    };
    struct FolderIdHash {
        std::size_t operator()(const FolderId& id) const {
            return std::hash<ino_t>()(id.inode) * 31 + std::hash<dev_t>()(id.device);
        }
    };
    std::unordered_set<FolderId, FolderIdHash> visited_;
};

}  // namespace

std::vector<Song> scanSongFolders(const std::vector<std::string>& folders, ScanReport* report) {
    std::vector<Song> songs;
    BatchChannel channel;
    std::thread maker([&] {
        while (auto batch = channel.pop())
            for (const FoundFile& file : *batch)
                if (auto song = songFromPath(folders[file.folder], file.relative))
                    songs.push_back(std::move(*song));
    });
    ScanReport local;
    FolderWalker walker(channel, report ? *report : local);
    try {
        for (std::uint32_t i = 0; i < folders.size(); ++i) walker.walk(folders[i], i);
    } catch (...) {
        walker.finish();
        maker.join();
        throw;
    }
    walker.finish();
    maker.join();
    return songs;
}

}  // namespace vocalis
