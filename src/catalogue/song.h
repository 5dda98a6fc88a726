#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vocalis {

class KeyMemo;

// One catalogue entry. Its texts sit side by side in one buffer: a catalogue holds a hundred
// thousand songs, and one allocation each instead of a dozen strings is a third of the memory.
// Its place in the play queue is kept by SongManager.
class Song {
  public:
    std::int32_t songId = -1;

    Song() = default;
    // The search keys are made from the title and the singer; a memo, when given, keeps the
    // singers' keys for the next songs.
    Song(std::string_view title, std::string_view singer, std::string_view karaokeFile,
         std::string_view category, KeyMemo* memo = nullptr);

    std::string_view title() const { return field(kTitle); }
    std::string_view titleSearch() const { return field(kTitleSearch); }
    std::string_view titleSearchNoSpace() const { return field(kTitleSearchNoSpace); }
    std::string_view titleShortcut() const { return field(kTitleShortcut); }
    std::string_view singer() const { return field(kSinger); }
    std::string_view singerSearch() const { return field(kSingerSearch); }
    std::string_view singerSearchNoSpace() const { return field(kSingerSearchNoSpace); }
    std::string_view singerShortcut() const { return field(kSingerShortcut); }
    std::string_view karaokeFile() const { return field(kKaraokeFile); }  // full path as on disk (bytes)
    std::string_view fileName() const;                                    // its last component
    std::string_view category() const { return field(kCategory); }
    // "Title - Singer", or the title alone for a song without a singer.
    std::string titleAndSinger() const;

    // Ascending order by titleSearch, compared as UTF-16 code units.
    int compare(const Song& other) const;

    // One record of the catalogue text; the record at position count - 1 has no line feed.
    std::string getString(std::int32_t count, std::int32_t position) const;
    void appendString(std::string& out, std::int32_t count, std::int32_t position) const;

    bool isVcv() const;

  private:
    enum Field : std::size_t {
        kTitle,
        kTitleSearch,
        kTitleSearchNoSpace,
        kTitleShortcut,
        kSinger,
        kSingerSearch,
        kSingerSearchNoSpace,
        kSingerShortcut,
        kKaraokeFile,
        kCategory,
        kFieldCount
    };
    std::string_view field(Field which) const {
        const std::uint32_t begin = which == 0 ? 0 : ends_[which - 1];
        return std::string_view(bytes_).substr(begin, ends_[which] - begin);
    }

    std::string bytes_;
    std::array<std::uint32_t, kFieldCount> ends_{};  // where each field ends in bytes_
};

// True when a file name ends, case-sensitively, in one of the song extensions.
bool isSongFileName(std::string_view name);

// The song for a media file found below a song folder: `folder` joined with `relativePath`.
// A memo, when given, keeps the singers' keys for the next songs.
std::optional<Song> songFromPath(std::string_view folder, std::string_view relativePath,
                                 KeyMemo* memo = nullptr);

}  // namespace vocalis
