#include "thumbnails/thumbnail_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace vocalis {

namespace {

std::int32_t readInt32LE(const unsigned char* bytes) {
    const std::uint32_t value = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                                (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
    return static_cast<std::int32_t>(value);
}

// Reads until `length` bytes are in, the file ends or an error occurs; returns the count read.
std::size_t readFully(int fd, void* into, std::size_t length, off_t offset) {
    std::size_t filled = 0;
    while (filled < length) {
        const ssize_t n = ::pread(fd, static_cast<char*>(into) + filled, length - filled,
                                  offset + static_cast<off_t>(filled));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        filled += static_cast<std::size_t>(n);
    }
    return filled;
}

// C string order: bytes compared as unsigned values up to the first NUL.
int compareCString(const char* a, const char* b) { return std::strcmp(a, b); }

std::string thumbnailKeyText(const Song& song) {
    std::string text(song.titleSearchNoSpace());
    text.push_back('-');
    text.append(song.singerSearchNoSpace());
    return text;
}

}  // namespace

std::string thumbnailKey(const Song& song) {
    std::string key = thumbnailKeyText(song);
    if (key.size() > ThumbnailManager::kKeySize - 1) key.resize(ThumbnailManager::kKeySize - 1);
    return key;
}

std::string thumbnailFileName(const Song& song) { return thumbnailKeyText(song) + ".jpg"; }

ThumbnailManager& ThumbnailManager::getInstance() {
    static ThumbnailManager instance(SongManager::getInstance());
    return instance;
}

ThumbnailManager::ThumbnailManager(SongManager& songs) : songs_(songs) {}

ThumbnailManager::~ThumbnailManager() { unload(); }

void ThumbnailManager::closeLocked() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    entries_.clear();
    entries_.shrink_to_fit();
}

void ThumbnailManager::load(const std::string& thumbnailDirectory, const std::string& dataPath) {
    std::unique_lock lock(mutex_);
    closeLocked();
    loaded_ = true;
    thumbnailDirectory_ = thumbnailDirectory;
    thumbnailDataPath_ = dataPath;
    fd_ = ::open(dataPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    unsigned char countBytes[4];
    if (readFully(fd_, countBytes, sizeof countBytes, 0) != sizeof countBytes) return;
    const std::int32_t count = readInt32LE(countBytes);
    if (count < 1 || count > kMaxEntries) return;
    std::vector<unsigned char> raw(static_cast<std::size_t>(count) * kEntrySize);
    const std::size_t got = readFully(fd_, raw.data(), raw.size(), 4);
    // A file cut short keeps the entries that are there in full.
    const std::size_t whole = got / kEntrySize;
    entries_.resize(whole);
    for (std::size_t i = 0; i < whole; ++i) {
        const unsigned char* bytes = raw.data() + i * kEntrySize;
        Entry& entry = entries_[i];
        std::memcpy(entry.key.data(), bytes, kKeySize);
        entry.key[kKeySize - 1] = '\0';
        entry.offset = readInt32LE(bytes + kKeySize);
        entry.length = readInt32LE(bytes + kKeySize + 4);
    }
}

void ThumbnailManager::unload() {
    std::unique_lock lock(mutex_);
    closeLocked();
    loaded_ = false;
    // The folder belongs to the store too: nothing is answered from it once unloaded.
    thumbnailDirectory_.clear();
}

std::string ThumbnailManager::thumbnailDirectory() const {
    std::shared_lock lock(mutex_);
    return thumbnailDirectory_;
}

std::int32_t ThumbnailManager::search(const std::string& key) const {
    // The key ends at its first NUL, as a C string would.
    const char* wanted = key.c_str();
    std::int32_t low = 0;
    std::int32_t high = static_cast<std::int32_t>(entries_.size()) - 1;
    while (low <= high) {
        const std::int32_t middle = low + (high - low) / 2;
        const int order = compareCString(wanted, entries_[static_cast<std::size_t>(middle)].key.data());
        if (order == 0) return middle;
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}

std::optional<std::vector<std::uint8_t>> ThumbnailManager::readPicture(std::int32_t offset,
                                                                       std::int32_t length) const {
    if (offset < 1 || length < 1 || length > kMaxPictureLength || fd_ < 0) return std::nullopt;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
    // A picture that runs past the end of the file is broken; never hand out part of it.
    if (readFully(fd_, data.data(), data.size(), offset) != data.size()) return std::nullopt;
    return data;
}

std::optional<std::vector<std::uint8_t>> ThumbnailManager::getThumbnail(std::int32_t songId) const {
    const auto catalogue = songs_.catalogue();
    if (songId < 0 || static_cast<std::size_t>(songId) >= catalogue->songs.size()) return std::nullopt;
    return getThumbnailForSong(catalogue->songs[static_cast<std::size_t>(songId)]);
}

std::optional<std::vector<std::uint8_t>> ThumbnailManager::getThumbnailForSong(const Song& song) const {
    std::shared_lock lock(mutex_);
    if (!loaded_) return std::nullopt;
    const std::int32_t index = search(thumbnailKey(song));
    if (index >= 0) {
        const Entry& entry = entries_[static_cast<std::size_t>(index)];
        return readPicture(entry.offset, entry.length);
    }
    const std::string path = thumbnailDirectory_ + "/" + thumbnailFileName(song);
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace vocalis
