// Writes a song for the screenshots: a voice singing a known melody over a quiet backing, as the two
// audio tracks of a karaoke file (the backing, then the backing with the voice), with no video.
//
// usage: sung_song_tool OUT.mp4 SECONDS SEED
#include <cstdio>
#include <exception>
#include <string>

#include "audio/sung_song.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUT.mp4 SECONDS SEED\n", argv[0]);
        return 2;
    }
    try {
        auto song = vocalis::testing::synthesizeSong(std::stod(argv[2]), unsigned(std::stoul(argv[3])));
        // A microphone that hears the song played back hears mostly the voice, as from a singer.
        for (auto* channel : {&song.backingLeft, &song.backingRight})
            for (float& sample : *channel) sample *= 0.3f;
        vocalis::testing::writeTwoTrackSong(argv[1], song);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
