#include "store/song_identity.h"

#include <sys/stat.h>

#include <functional>

namespace vocalis {

namespace {

std::int64_t fileSizeOf(std::string_view path) {
    struct stat info {};
    if (::stat(std::string(path).c_str(), &info) != 0) return 0;
    return info.st_size;
}

}  // namespace

std::string_view relativeSongPath(std::string_view path, const std::vector<std::string>& folders) {
    std::string_view relative = path;
    for (std::string_view folder : folders) {
        while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
        if (path.size() > folder.size() + 1 && path.starts_with(folder) && path[folder.size()] == '/' &&
            path.size() - folder.size() - 1 < relative.size())
            relative = path.substr(folder.size() + 1);
    }
    return relative;
}

SongIdentity songIdentity(const Song& song, const std::vector<std::string>& folders) {
    return {std::string(relativeSongPath(song.karaokeFile(), folders)), std::string(song.title()),
            std::string(song.singer()), fileSizeOf(song.karaokeFile())};
}

std::size_t SongMatcher::PairHash::operator()(
    const std::pair<std::string_view, std::string_view>& key) const {
    const std::hash<std::string_view> hash;
    return hash(key.first) * 31 + hash(key.second);
}

SongMatcher::SongMatcher(std::shared_ptr<const Catalogue> catalogue, const std::vector<std::string>& folders)
    : catalogue_(std::move(catalogue)) {
    byPath_.reserve(catalogue_->songs.size());
    byTitle_.reserve(catalogue_->songs.size());
    for (const Song& song : catalogue_->songs) {
        byPath_.emplace(relativeSongPath(song.karaokeFile(), folders), song.songId);
        byTitle_.emplace(std::pair(song.title(), song.singer()), song.songId);
    }
}

template <typename Map, typename Key>
std::optional<std::int32_t> SongMatcher::best(const Map& map, const Key& key, std::int64_t fileSize) const {
    const auto [begin, end] = map.equal_range(key);
    if (begin == end) return std::nullopt;
    if (std::next(begin) == end) return begin->second;
    std::optional<std::int32_t> lowest, sameSize;
    for (auto it = begin; it != end; ++it) {
        const std::int32_t id = it->second;
        if (!lowest || id < *lowest) lowest = id;
        if (fileSize > 0 && (!sameSize || id < *sameSize) &&
            fileSizeOf(catalogue_->songs[static_cast<std::size_t>(id)].karaokeFile()) == fileSize)
            sameSize = id;
    }
    return sameSize ? sameSize : lowest;
}

std::optional<std::int32_t> SongMatcher::find(const SongIdentity& stored) const {
    if (auto id = best(byPath_, std::string_view(stored.relativePath), stored.fileSize)) return id;
    return best(byTitle_, std::pair<std::string_view, std::string_view>(stored.title, stored.singer),
                stored.fileSize);
}

}  // namespace vocalis
