#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vocalis {

class KeyMemo;

// One catalogue entry. Its place in the play queue is kept by SongManager.
struct Song {
    std::int32_t songId = -1;
    std::string title;
    std::string titleSearch;
    std::string titleSearchNoSpace;
    std::string titleShortcut;
    std::string singer;
    std::string singerSearch;
    std::string singerSearchNoSpace;
    std::string singerShortcut;
    std::string fileName;     // last path component as stored on disk (bytes)
    std::string karaokeFile;  // full path as stored on disk (bytes)
    std::string category;

    void makeTitleSearchable();
    void makeSingerSearchable(KeyMemo* memo = nullptr);

    // Ascending order by titleSearch, compared as UTF-16 code units.
    int compare(const Song& other) const;

    // One record of the catalogue text; the record at position count - 1 has no line feed.
    std::string getString(std::int32_t count, std::int32_t position) const;
    void appendString(std::string& out, std::int32_t count, std::int32_t position) const;

    bool isVcv() const;
};

// True when a file name ends, case-sensitively, in one of the song extensions.
bool isSongFileName(std::string_view name);

// The song for a media file found below a song folder: `folder` joined with `relativePath`.
// A memo, when given, keeps the singers' keys for the next songs.
std::optional<Song> songFromPath(std::string_view folder, std::string_view relativePath,
                                 KeyMemo* memo = nullptr);

}  // namespace vocalis
