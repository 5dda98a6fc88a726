#include "store/song_identity.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <functional>

namespace vocalis {

namespace {

std::int64_t fileSizeOf(std::string_view path) {
    struct stat info {};
    if (::stat(std::string(path).c_str(), &info) != 0) return 0;
    return info.st_size;
}

std::size_t titleHash(std::string_view title, std::string_view singer) {
    const std::hash<std::string_view> hash;
    return hash(title) * 0x9e3779b97f4a7c15u + hash(singer);
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

SongMatcher::SongMatcher(std::shared_ptr<const Catalogue> catalogue, const std::vector<std::string>& folders)
    : catalogue_(std::move(catalogue)), folders_(folders) {
    byPath_.reserve(catalogue_->songs.size());
    byTitle_.reserve(catalogue_->songs.size());
    for (const Song& song : catalogue_->songs) {
        byPath_.push_back({std::hash<std::string_view>{}(relativePath(song)), song.songId});
        byTitle_.push_back({titleHash(song.title(), song.singer()), song.songId});
    }
    std::sort(byPath_.begin(), byPath_.end());
    std::sort(byTitle_.begin(), byTitle_.end());
}

template <typename Matches>
std::optional<std::int32_t> SongMatcher::best(const std::vector<Entry>& index, std::size_t hash,
                                              Matches matches, std::int64_t fileSize) const {
    std::optional<std::int32_t> first;
    const auto from = std::lower_bound(index.begin(), index.end(), Entry{hash, INT32_MIN});
    for (auto it = from; it != index.end() && it->hash == hash; ++it) {
        const Song& song = catalogue_->songs[static_cast<std::size_t>(it->id)];
        if (!matches(song)) continue;
        if (!first) first = it->id;
        // Only a song found more than once has its file's size read.
        if (fileSize <= 0 || (it == from && (std::next(it) == index.end() || std::next(it)->hash != hash)))
            break;
        if (fileSizeOf(song.karaokeFile()) == fileSize) return it->id;
    }
    return first;
}

std::optional<std::int32_t> SongMatcher::find(const SongIdentity& stored) const {
    const auto samePath = [&](const Song& song) { return relativePath(song) == stored.relativePath; };
    if (auto id =
            best(byPath_, std::hash<std::string_view>{}(stored.relativePath), samePath, stored.fileSize))
        return id;
    const auto sameTitle = [&](const Song& song) {
        return song.title() == stored.title && song.singer() == stored.singer;
    };
    return best(byTitle_, titleHash(stored.title, stored.singer), sameTitle, stored.fileSize);
}

}  // namespace vocalis
