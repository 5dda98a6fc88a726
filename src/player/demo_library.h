#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace vocalis {

struct DemoSong {
    std::string folder;  // genre folder
    std::string title;
    std::string singer;
    std::string extension;
    double tonic;  // the melody's key, in Hz
};

// The songs of the demo library.
const std::vector<DemoSong>& demoSongs();

// Told before each song is made: its number from 1, and how many songs the library has.
using DemoProgress = std::function<void(int number, int total)>;

// Makes the demo songs with ffmpeg in `workFolder` (outside every song folder, on the same
// file system) and moves them to `songFolder`, which so appears complete or not at all: a title card, a
// backing track first and backing with a sung melody second, so the vocal switch is heard. Nothing is made
// when the folder exists. Returns how many songs it holds. A stop (the player quits) ends the song
// being made and makes no more: the songs made stay in `workFolder` for the next run, and 0 is returned.
int makeDemoLibrary(const std::string& songFolder, const std::string& workFolder, int seconds = 45,
                    const DemoProgress& progress = {}, std::stop_token stop = {});

// Makes the songs that are missing in the folder, one by one, until a stop.
int makeDemoSongs(const std::string& songFolder, int seconds = 45, const DemoProgress& progress = {},
                  std::stop_token stop = {});

}  // namespace vocalis
