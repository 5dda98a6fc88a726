#pragma once

#include <string>
#include <vector>

#include "catalogue/song.h"
#include "catalogue/song_store.h"

namespace vocalis {

// A finished catalogue: songs sorted and numbered, the catalogue text phones receive and
// its checksum. Published as a whole and never changed afterwards. Its songs read their
// fields from the text and their paths from the catalogue's own blocks, so a catalogue is
// moved, never copied.
struct Catalogue {
    Catalogue() = default;
    Catalogue(Catalogue&& other) noexcept;
    Catalogue& operator=(Catalogue&& other) noexcept;
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;
    ~Catalogue() = default;

    std::vector<Song> songs;  // songs[n].songId == n
    std::string text;
    std::string md5;  // 32 lowercase hexadecimal digits

  private:
    friend Catalogue buildCatalogue(std::vector<Song> songs);
    friend Catalogue buildCatalogue(ScannedSongs scanned);
    // Orders and numbers the songs, writing the text they then read; their paths are copied
    // into the catalogue's own store unless they are in it already.
    static Catalogue build(std::vector<Song>& songs, SongBytes paths, bool pathsKept);

    SongBytes paths_;
};

// Sorts the songs by titleSearch (songs with equal keys keep their order), numbers them
// from 0 and builds the text and its checksum.
Catalogue buildCatalogue(std::vector<Song> songs);
// The same for a scan's songs, keeping the paths where the scan stored them.
Catalogue buildCatalogue(ScannedSongs scanned);

// MD5 of the bytes as 32 lowercase hexadecimal digits.
std::string md5Hex(std::string_view bytes);

}  // namespace vocalis
