#pragma once

// Songs whose vocal is a known melody, for the reference melody's tests and benchmark: a voice-like
// singer (harmonics shaped by vowel formants, vibrato, glides between legato notes, rests) over a
// backing of chords, a bass line and drums, encoded by ffmpeg as karaoke files are.

#include <string>
#include <vector>

#include "audio/melody.h"

namespace vocalis::testing {

struct SungSong {
    static constexpr int kRate = 48000;
    std::vector<float> voice;                      // mono
    std::vector<float> backingLeft, backingRight;  // chords and hi-hat off centre; bass, kick centred
    Melody truth;                                  // the voice's pitch; frame j is the time j × 10 ms
};

// `seconds` of song; the seed draws the melody and the chords.
SungSong synthesizeSong(double seconds, unsigned seed);

// Runs ffmpeg (after "-nostdin -v error -y"); throws when it fails.
void runFfmpegOrThrow(const std::vector<std::string>& arguments);

struct TwoTrackOptions {
    int offsetSamples = 1000;  // the second track lags the first by this much (48 kHz)
    float gain = 0.8f;         // the second track's level against the first's
    bool voice = true;         // the second track has the voice; false: the backing alone
    bool video = false;        // a small video stream before the two tracks, as karaoke files have
    double audioLate = 0;      // seconds by which both tracks start after the video
};
// An MP4 file with two stereo AAC tracks, as most karaoke files are: the backing, then the backing with
// the voice.
void writeTwoTrackSong(const std::string& path, const SungSong& song, const TwoTrackOptions& options = {});
// An MP4 file with one stereo AAC track: the voice in the centre of the backing (or the backing alone).
void writeStereoSong(const std::string& path, const SungSong& song, bool voice = true);

// How closely a melody follows the truth.
struct MelodyMatch {
    double accuracy = 0;     // of the frames voiced in both, the share within 50 cents
    double recall = 0;       // of the truth's voiced frames, the share found voiced
    double falseAlarms = 0;  // of the truth's unvoiced frames, the share found voiced
};
MelodyMatch compareMelodies(const Melody& found, const Melody& truth);

}  // namespace vocalis::testing
