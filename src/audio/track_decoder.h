#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vocalis {

// A song's sound as the reference melody needs it: float samples at 16 kHz.
struct SongSound {
    static constexpr int kRate = 16000;
    enum class Layout {
        kTwoTracks,  // first and second: the first two audio tracks, each mixed to mono
        kStereo,     // first and second: left and right of the only track
        kMono,       // first: the only track, which has one channel
    };
    Layout layout = Layout::kMono;
    std::vector<float> first, second;
};

struct DecodedSong {
    std::optional<SongSound> sound;  // none when the file cannot be read or has no audio
    std::string problem;             // why there is none: one line
};

// Reads the file once, feeding its first two audio tracks (or its only one) to their decoders;
// a packet a decoder cannot read is skipped. Single-threaded. `cancel`, when set, ends it early
// with no sound.
DecodedSong decodeSongSound(const std::filesystem::path& song, const std::atomic<bool>* cancel = nullptr);

// FFmpeg's own messages (a line per damaged packet) go nowhere from now on: for a program that
// reports each song's outcome itself. Process-wide.
void silenceDecoderMessages();

}  // namespace vocalis
