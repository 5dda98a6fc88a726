#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vocalis {

class KeyMemo;
struct Catalogue;
struct SongStore;

// One catalogue entry. Its texts sit side by side as its record of the catalogue text (the
// fields phones receive, tab-separated, without the id), its path apart. A song made on its
// own keeps both in one buffer of its own, a scanned one in its scan's store; a song of a
// catalogue reads them from the catalogue's text and paths, so a hundred thousand songs cost
// no block each and no second copy of what phones receive. A copy of a song in a store or a
// catalogue reads the same bytes. Its place in the play queue is kept by SongManager.
class Song {
  public:
    std::int32_t songId = -1;

    Song();
    Song(const Song& other);
    Song& operator=(const Song& other);
    Song(Song&& other) noexcept;
    Song& operator=(Song&& other) noexcept;
    ~Song() = default;
    // The search keys are made from the title and the singer; a memo, when given, keeps the
    // singers' keys for the next songs. With a store, the song's bytes are kept there (the song
    // must not outlive it). Throws std::length_error past 64 KiB of texts, which the texts of
    // one file name never come near.
    Song(std::string_view title, std::string_view singer, std::string_view karaokeFile,
         std::string_view category, KeyMemo* memo = nullptr, SongStore* store = nullptr);

    std::string_view title() const { return field(kTitle); }
    std::string_view titleSearch() const { return field(kTitleSearch); }
    std::string_view titleSearchNoSpace() const { return field(kTitleSearchNoSpace); }
    std::string_view titleShortcut() const { return field(kTitleShortcut); }
    std::string_view singer() const { return field(kSinger); }
    std::string_view singerSearch() const { return field(kSingerSearch); }
    std::string_view singerSearchNoSpace() const { return field(kSingerSearchNoSpace); }
    std::string_view singerShortcut() const { return field(kSingerShortcut); }
    std::string_view karaokeFile() const { return {path_, pathSize_}; }  // full path as on disk (bytes)
    std::string_view fileName() const;                                   // its last component
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
    friend struct Catalogue;

    // The fields in the catalogue text's order. Each is followed by a tab; the two zeros the
    // text carries before the category ("\t0\t0\t") are part of the record too.
    enum Field : std::size_t {
        kTitle,
        kTitleShortcut,
        kTitleSearch,
        kTitleSearchNoSpace,
        kSinger,
        kSingerShortcut,
        kSingerSearch,
        kSingerSearchNoSpace,
        kCategory,
        kFieldCount
    };
    std::string_view field(Field which) const {
        const std::size_t begin = which == kTitle ? 0 : ends_[which - 1] + (which == kCategory ? 5 : 1);
        return {record_ + begin, ends_[which] - begin};
    }
    // The record: the fields with their tabs, as they follow "id\t" in the catalogue text.
    std::string_view record() const { return {record_, std::size_t{ends_[kCategory]} + 1}; }
    // The same song reading its record and path at those places (which hold the same bytes).
    Song placedAt(const char* record, const char* path) const;
    // Points the fields of a song placed in a catalogue at the same bytes moved.
    void moved(const char* oldRecords, const char* newRecords) {
        record_ = newRecords + (record_ - oldRecords);
    }

    const char* record_;
    const char* path_ = "";
    std::uint32_t pathSize_ = 0;
    // Where each field ends in the record; a record comes from one file name, so it is short.
    std::array<std::uint16_t, kFieldCount> ends_;
    std::unique_ptr<char[]> own_;  // the record and path of a song made on its own, without a store
};

// True when a file name ends, case-sensitively, in one of the song extensions.
bool isSongFileName(std::string_view name);

// The song for a media file found below a song folder: `folder` joined with `relativePath`.
// A memo, when given, keeps the singers' keys for the next songs; a store, the song's bytes.
std::optional<Song> songFromPath(std::string_view folder, std::string_view relativePath,
                                 KeyMemo* memo = nullptr, SongStore* store = nullptr);

}  // namespace vocalis
