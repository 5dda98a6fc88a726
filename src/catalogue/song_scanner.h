#pragma once

#include <string>
#include <vector>

#include "catalogue/song.h"
#include "catalogue/song_store.h"

namespace vocalis {

struct ScanReport {
    std::size_t folders = 0;     // directories read
    std::size_t unreadable = 0;  // directories that could not be opened
};

// Every song below the song folders, folder by folder in the order given, each folder
// depth first with entries in name order (so the same drive always gives the same
// catalogue). Symbolic links to folders are followed once; loops are cut. Folders below
// the given ones whose name starts with "." are not entered. The songs keep their bytes in the
// store that comes with them.
ScannedSongs scanSongFolders(const std::vector<std::string>& folders, ScanReport* report = nullptr);

}  // namespace vocalis
