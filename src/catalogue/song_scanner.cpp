#include "catalogue/song_scanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <utility>

#include "base/log.h"
#include "catalogue/key_memo.h"

namespace vocalis {

namespace {

// A folder's entries: the names side by side in one buffer, so that reading a folder costs
// no allocation per entry.
struct Entries {
    struct Entry {
        std::uint32_t offset;
        std::uint32_t size;
        unsigned char type;
    };
    std::string names;
    std::vector<Entry> list;

    std::string_view name(const Entry& entry) const {
        return std::string_view(names).substr(entry.offset, entry.size);
    }
};

// An open folder; its children are opened relative to it, so the kernel does not walk the
// whole path again for each one.
class FolderFd {
  public:
    FolderFd() = default;
    explicit FolderFd(int fd) : fd_(fd) {}
    FolderFd(FolderFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FolderFd& operator=(FolderFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FolderFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_ = -1;
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
            FolderFd
                fd;  // kept open for the first levels only: a deep tree must not use up the process's files
            Entries entries;
            std::size_t next = 0;
        };
        std::vector<Frame> stack;
        stack.push_back({std::string(), {}, {}, 0});
        if (!readFolder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), root, stack.back())) return;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.entries.list.size()) {
                stack.pop_back();
                continue;
            }
            const Entries::Entry& entry = frame.entries.list[frame.next++];
            const std::string_view name = frame.entries.name(entry);
            if (entry.type == DT_REG) {
                addFile(folder, frame.relative, name);
                continue;
            }
            const std::string nameCopy(name);
            const auto type = resolveType(frame.fd.get(), root, frame.relative, nameCopy, entry.type);
            if (type == DT_DIR) {
                // Hidden folders are not the user's songs: a desktop's ".Trash-1000" on a
                // USB stick would bring deleted songs back.
                if (name.starts_with('.')) continue;
                std::string child = joined(frame.relative, name);
                const int fd =
                    frame.fd.get() >= 0
                        ? ::openat(frame.fd.get(), nameCopy.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                        : ::open((root + "/" + child).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                Frame sub{std::move(child), {}, {}, 0};
                const bool keepOpen = stack.size() < kOpenLevels;
                if (readFolder(fd, root, sub, keepOpen))
                    stack.push_back(std::move(sub));  // invalidates `frame`
            } else if (type == DT_REG) {
                addFile(folder, frame.relative, name);
            }
        }
    }

  private:
    static constexpr std::size_t kOpenLevels = 32;

    void addFile(std::uint32_t folder, const std::string& relative, std::string_view name) {
        // "._" files are the resource forks macOS leaves on FAT drives, not songs.
        if (name.starts_with("._") || !isSongFileName(name)) return;
        batch_.push_back({folder, joined(relative, name)});
        if (batch_.size() == kBatchSize) {
            channel_.push(std::move(batch_));
            batch_ = Batch();
            batch_.reserve(kBatchSize);
        }
    }

    static std::string joined(const std::string& relative, std::string_view name) {
        if (relative.empty()) return std::string(name);
        std::string out;
        out.reserve(relative.size() + 1 + name.size());
        out.append(relative).push_back('/');
        out.append(name);
        return out;
    }

    // Reads the folder open as `fd` (taking it) into `frame`; keeps it open in the frame if
    // asked, for its children.
    template <typename Frame>
    bool readFolder(int fd, const std::string& root, Frame& frame, bool keepOpen = true) {
        FolderFd owned(fd);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            ++report_.unreadable;
            logParts("Cannot read song folder: ",
                     frame.relative.empty() ? root : root + "/" + frame.relative);
            return false;
        }
        // Each folder is read once, which also cuts symbolic-link loops.
        if (!visited_.insert(FolderId{info.st_dev, info.st_ino}).second) return false;
        ++report_.folders;
        Entries& entries = frame.entries;
        // getdents64 straight into a buffer of our own: no directory stream to allocate.
        while (true) {
            const ssize_t got = ::getdents64(fd, buffer_.data(), buffer_.size());
            if (got < 0) {
                ++report_.unreadable;
                logParts("Cannot read song folder: ",
                         frame.relative.empty() ? root : root + "/" + frame.relative);
                break;
            }
            if (got == 0) break;
            for (ssize_t at = 0; at < got;) {
                const auto* item = reinterpret_cast<const dirent64*>(buffer_.data() + at);
                at += item->d_reclen;
                const std::string_view name(item->d_name);
                if (name == "." || name == "..") continue;
                entries.list.push_back({static_cast<std::uint32_t>(entries.names.size()),
                                        static_cast<std::uint32_t>(name.size()), item->d_type});
                entries.names.append(name);
            }
        }
        if (keepOpen) frame.fd = std::move(owned);
        std::sort(entries.list.begin(), entries.list.end(),
                  [&entries](const Entries::Entry& a, const Entries::Entry& b) {
                      return entries.name(a) < entries.name(b);
                  });
        return true;
    }

    // Symbolic links count as what they point at; a dangling one is skipped.
    static unsigned char resolveType(int folderFd, const std::string& root, const std::string& relative,
                                     const std::string& name, unsigned char type) {
        if (type != DT_LNK && type != DT_UNKNOWN) return type;
        struct stat info {};
        const int result = folderFd >= 0 ? ::fstatat(folderFd, name.c_str(), &info, 0)
                                         : ::stat((root + "/" + joined(relative, name)).c_str(), &info);
        if (result != 0) return DT_LNK;
        if (S_ISDIR(info.st_mode)) return DT_DIR;
        if (S_ISREG(info.st_mode)) return DT_REG;
        return DT_LNK;
    }

    BatchChannel& channel_;
    ScanReport& report_;
    Batch batch_;
    std::vector<char> buffer_ = std::vector<char>(64 * 1024);
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

ScannedSongs scanSongFolders(const std::vector<std::string>& folders, ScanReport* report) {
    // The songs of each batch in a vector of their own, put together at the end: one move
    // of each song instead of the copies and page faults of one vector growing.
    std::vector<std::vector<Song>> made;
    SongStore store;
    BatchChannel channel;
    std::thread maker([&] {
        KeyMemo memo;
        while (auto batch = channel.pop()) {
            std::vector<Song>& songs = made.emplace_back();
            songs.reserve(batch->size());
            for (const FoundFile& file : *batch)
                if (auto song = songFromPath(folders[file.folder], file.relative, &memo, &store))
                    songs.push_back(std::move(*song));
        }
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
    std::size_t count = 0;
    for (const auto& songs : made) count += songs.size();
    std::vector<Song> songs;
    songs.reserve(count);
    for (auto& batch : made) {
        std::move(batch.begin(), batch.end(), std::back_inserter(songs));
        batch = std::vector<Song>();
    }
    return ScannedSongs(std::move(songs), std::move(store));
}

}  // namespace vocalis
