#include "catalogue/song.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>
#include <utility>

#include "catalogue/genres.h"
#include "catalogue/key_memo.h"
#include "catalogue/song_store.h"
#include "catalogue/text_fold.h"
#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {

constexpr std::array<std::string_view, 4> kSongExtensions = {".mkv", ".vcv", ".mp4", ".vob"};

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

void appendField(std::string& out, std::string_view field) {
    out.append(field);
    out.push_back('\t');
}

// The first genre of the list whose folder is in the path. Every genre folder starts with
// "/Nhac", so only the places where that occurs are compared, instead of searching the whole
// path for each genre.
std::string_view categoryOf(std::string_view path) {
    static constexpr std::string_view kCommon = "/Nhac";
    static_assert([] {
        for (const auto genre : genreFolderCompareArray)
            if (!genre.starts_with(kCommon)) return false;
        return true;
    }());
    std::size_t best = genreFolderCompareArray.size();
    for (std::size_t at = path.find(kCommon); at != std::string_view::npos; at = path.find(kCommon, at + 1)) {
        const std::string_view rest = path.substr(at);
        for (std::size_t i = 0; i < best; ++i)
            if (rest.starts_with(genreFolderCompareArray[i])) best = i;
    }
    return best < genreFolderArray.size() ? genreFolderArray[best] : kNoCategory;
}

// The record of a song without texts, where songs made empty or moved from read theirs.
constexpr std::string_view kEmptyRecord = "\t\t\t\t\t\t\t\t0\t0\t\t";
constexpr std::array<std::uint16_t, 9> kEmptyEnds = {0, 1, 2, 3, 4, 5, 6, 7, 12};

}  // namespace

Song::Song() : record_(kEmptyRecord.data()), ends_(kEmptyEnds) {}

Song::Song(std::string_view title, std::string_view singer, std::string_view karaokeFile,
           std::string_view category, KeyMemo* memo, SongStore* store) {
    const SearchKeys titleKeys = makeSearchKeys(title);
    std::optional<SearchKeys> ownSingerKeys;
    const SearchKeys* singerKeys = nullptr;
    if (!singer.empty()) {
        if (memo) {
            singerKeys = &memo->keysOf(singer);
        } else {
            ownSingerKeys = makeSearchKeys(singer);
            singerKeys = &*ownSingerKeys;
        }
    }
    const std::string_view noKey;
    const std::array<std::string_view, kFieldCount> fields = {
        title,
        titleKeys.shortcut,
        titleKeys.search,
        titleKeys.noSpace,
        singer,
        singerKeys ? std::string_view(singerKeys->shortcut) : noKey,
        singerKeys ? std::string_view(singerKeys->search) : noKey,
        singerKeys ? std::string_view(singerKeys->noSpace) : noKey,
        category};
    static constexpr std::string_view kZeros = "0\t0\t";
    std::size_t size = kZeros.size() + kFieldCount;
    for (const std::string_view text : fields) size += text.size();
    if (size > UINT16_MAX) throw std::length_error("Song texts too long");
    char* record = nullptr;
    char* path = nullptr;
    if (store) {
        record = store->records.take(size);
        path = store->paths.take(karaokeFile.size());
    } else {
        own_ = std::make_unique_for_overwrite<char[]>(size + karaokeFile.size());
        record = own_.get();
        path = record + size;
    }
    char* at = record;
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        if (i == kCategory) at = std::copy(kZeros.begin(), kZeros.end(), at);
        at = std::copy(fields[i].begin(), fields[i].end(), at);
        ends_[i] = static_cast<std::uint16_t>(at - record);
        *at++ = '\t';
    }
    std::copy(karaokeFile.begin(), karaokeFile.end(), path);
    record_ = record;
    path_ = path;
    pathSize_ = static_cast<std::uint32_t>(karaokeFile.size());
}

Song::Song(const Song& other)
    : songId(other.songId),
      record_(other.record_),
      path_(other.path_),
      pathSize_(other.pathSize_),
      ends_(other.ends_) {
    if (!other.own_) return;  // both read the bytes of a catalogue or a store
    const std::size_t recordSize = record().size();
    own_ = std::make_unique_for_overwrite<char[]>(recordSize + pathSize_);
    std::copy_n(other.record_, recordSize, own_.get());
    std::copy_n(other.path_, pathSize_, own_.get() + recordSize);
    record_ = own_.get();
    path_ = own_.get() + recordSize;
}

Song& Song::operator=(const Song& other) {
    if (this != &other) *this = Song(other);
    return *this;
}

Song::Song(Song&& other) noexcept
    : songId(other.songId),
      record_(std::exchange(other.record_, kEmptyRecord.data())),
      path_(std::exchange(other.path_, "")),
      pathSize_(std::exchange(other.pathSize_, 0)),
      ends_(std::exchange(other.ends_, kEmptyEnds)),
      own_(std::move(other.own_)) {}

Song& Song::operator=(Song&& other) noexcept {
    if (this == &other) return *this;
    songId = other.songId;
    record_ = std::exchange(other.record_, kEmptyRecord.data());
    path_ = std::exchange(other.path_, "");
    pathSize_ = std::exchange(other.pathSize_, 0);
    ends_ = std::exchange(other.ends_, kEmptyEnds);
    own_ = std::move(other.own_);
    return *this;
}

Song Song::placedAt(const char* record, const char* path) const {
    Song placed;
    placed.songId = songId;
    placed.record_ = record;
    placed.path_ = path;
    placed.pathSize_ = pathSize_;
    placed.ends_ = ends_;
    return placed;
}

std::string Song::titleAndSinger() const {
    std::string text(title());
    if (!singer().empty()) text.append(" - ").append(singer());
    return text;
}

std::string_view Song::fileName() const {
    const std::string_view path = karaokeFile();
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

int Song::compare(const Song& other) const { return compareUtf16(titleSearch(), other.titleSearch()); }

void Song::appendString(std::string& out, std::int32_t count, std::int32_t position) const {
    char number[16];
    auto end = std::to_chars(number, number + sizeof number, songId).ptr;
    appendField(out, std::string_view(number, static_cast<std::size_t>(end - number)));
    out.append(record());
    if (position != count - 1) out.push_back('\n');
}

std::string Song::getString(std::int32_t count, std::int32_t position) const {
    std::string out;
    appendString(out, count, position);
    return out;
}

bool Song::isVcv() const { return endsWith(karaokeFile(), ".vcv"); }

bool isSongFileName(std::string_view name) {
    for (const auto extension : kSongExtensions)
        if (endsWith(name, extension)) return true;
    return false;
}

std::optional<Song> songFromPath(std::string_view folder, std::string_view relativePath, KeyMemo* memo,
                                 SongStore* store) {
    if (!isSongFileName(relativePath)) return std::nullopt;
    std::string path;
    path.reserve(folder.size() + 1 + relativePath.size());
    path.append(folder);
    if (!path.empty() && path.back() != '/' && !relativePath.empty() && relativePath.front() != '/')
        path.push_back('/');
    path.append(relativePath);

    const std::size_t slash = relativePath.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? relativePath : relativePath.substr(slash + 1);

    // Every song extension is four bytes long.
    const std::string shown = displayText(name.substr(0, name.size() - 4));
    const std::size_t firstDash = shown.find('-');
    const std::string title = trimWhiteSpace(std::string_view(shown).substr(0, firstDash));
    std::string singer;
    if (firstDash != std::string::npos) {
        const std::size_t secondDash = shown.find('-', firstDash + 1);
        const std::size_t end = secondDash == std::string::npos ? shown.size() : secondDash;
        singer = trimWhiteSpace(std::string_view(shown).substr(firstDash + 1, end - firstDash - 1));
    }
    return Song(title, singer, path, categoryOf(path), memo, store);
}

}  // namespace vocalis
