#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// The song file names (relative paths) that bench/make_song_tree.py --list wrote, one per
// line, from $VOCALIS_SONG_LIST or bench/out/songs.txt; empty when there is none.
inline std::vector<std::string> benchSongPaths() {
    const char* list = std::getenv("VOCALIS_SONG_LIST");
    std::vector<std::string> paths;
    std::ifstream in(list ? list : "bench/out/songs.txt");
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) paths.push_back(line);
    return paths;
}
