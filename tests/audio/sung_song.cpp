#include "audio/sung_song.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <stdexcept>

#include "support/run_program.h"

namespace vocalis::testing {

namespace {

constexpr double kTau = 2 * std::numbers::pi;
constexpr double kRate = SungSong::kRate;

double hertzOf(double note) { return 440.0 * std::exp2((note - 69.0) / 12.0); }

// A sung note: its pitch, when it sounds, and whether it glides in from the note before.
struct Note {
    double note, start, end;
    bool legato;
    int vowel;
};

// Formants (centre, bandwidth in Hz) of the vowels a, e, i, o, u.
constexpr std::array<std::array<std::array<double, 2>, 3>, 5> kVowels = {{
    {{{730, 90}, {1090, 110}, {2440, 170}}},
    {{{530, 60}, {1840, 100}, {2480, 170}}},
    {{{300, 50}, {2200, 120}, {2960, 200}}},
    {{{570, 70}, {840, 80}, {2410, 170}}},
    {{{320, 50}, {870, 80}, {2240, 170}}},
}};

double vowelGain(int vowel, double hertz) {
    double gain = 0.04;
    for (const auto& [centre, width] : kVowels[static_cast<std::size_t>(vowel)]) {
        const double x = (hertz - centre) / width;
        gain += 1.0 / std::sqrt(1.0 + x * x);
    }
    return gain;
}

std::vector<Note> drawMelody(double seconds, std::mt19937& random) {
    // Odd seeds sing in a man's range, even ones in a woman's.
    const int low = random() % 2 ? 48 : 60, high = low + 17;
    constexpr std::array<int, 7> kMajor = {0, 2, 4, 5, 7, 9, 11};
    std::uniform_real_distribution<double> length(0.25, 0.7), rest(0.1, 0.5), chance(0.0, 1.0);
    std::uniform_int_distribution<int> step(-3, 3), vowel(0, 4);
    std::vector<Note> notes;
    int degree = 7;  // scale steps above the low note's octave
    bool legato = false;
    for (double t = 0.6; t < seconds - 1.0;) {
        degree = std::clamp(degree + step(random), 0, 11);
        const int note = low + 12 * (degree / 7) + kMajor[static_cast<std::size_t>(degree % 7)];
        const double end = std::min(t + length(random), seconds - 0.5);
        notes.push_back({double(std::min(note, high)), t, end, legato, vowel(random)});
        legato = chance(random) < 0.5;
        t = legato ? end : end + rest(random);
    }
    return notes;
}

// The sung pitch at time t within the note (vibrato after 150 ms; a 40 ms glide in from the note before).
double pitchAt(const Note& note, const Note* before, double t) {
    const double into = t - note.start;
    double pitch = note.note;
    if (note.legato && before && into < 0.04) pitch = before->note + (note.note - before->note) * into / 0.04;
    const double vibrato = std::clamp((into - 0.15) / 0.2, 0.0, 1.0);
    return pitch + 0.3 * vibrato * std::sin(kTau * 5.5 * into);
}

void sing(SungSong& song, const std::vector<Note>& notes) {
    std::vector<double> phases(64, 0.0);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const Note& note = notes[i];
        const Note* before = i > 0 ? &notes[i - 1] : nullptr;
        const bool tied = i + 1 < notes.size() && notes[i + 1].legato;
        if (!note.legato) std::ranges::fill(phases, 0.0);
        const auto first = static_cast<std::size_t>(note.start * kRate);
        const auto last =
            std::min(static_cast<std::size_t>((note.end + (tied ? 0 : 0.03)) * kRate), song.voice.size());
        const int harmonics = std::min(63, static_cast<int>(5000 / hertzOf(note.note)));
        std::vector<double> gains(static_cast<std::size_t>(harmonics) + 1);
        for (int k = 1; k <= harmonics; ++k)
            gains[static_cast<std::size_t>(k)] = vowelGain(note.vowel, k * hertzOf(note.note)) / k;
        for (std::size_t n = first; n < last; ++n) {
            const double t = double(n) / kRate;
            const double attack = note.legato ? 1.0 : std::min(1.0, (t - note.start) / 0.025);
            const double release = tied ? 1.0 : std::clamp(1.0 - (t - note.end) / 0.03, 0.0, 1.0);
            const double step = hertzOf(pitchAt(note, before, std::min(t, note.end))) / kRate;
            double sample = 0;
            for (int k = 1; k <= harmonics; ++k) {
                double& phase = phases[static_cast<std::size_t>(k)];
                phase = std::fmod(phase + k * step, 1.0);
                sample += gains[static_cast<std::size_t>(k)] * std::sin(kTau * phase);
            }
            song.voice[n] += static_cast<float>(0.12 * attack * release * sample);
        }
    }
    // Voiced until the release has fallen to half.
    const std::size_t frames = song.voice.size() / (SungSong::kRate / 100);
    song.truth.notes.assign(frames, NAN);
    for (std::size_t i = 0; i < notes.size(); ++i)
        for (std::size_t j = static_cast<std::size_t>(notes[i].start * 100 + 0.5);
             j < frames && (j + 0.5) / 100 < notes[i].end + 0.015; ++j)
            song.truth.notes[j] = static_cast<float>(
                pitchAt(notes[i], i ? &notes[i - 1] : nullptr, std::min((j + 0.5) / 100, notes[i].end)));
}

// Adds a tone of `harmonics` partials falling as 1/k^slope, panned, under an envelope.
template <typename Envelope>
void addTone(SungSong& song, double note, double start, double end, int harmonics, double slope,
             std::array<double, 2> pan, Envelope envelope) {
    const double hertz = hertzOf(note);
    std::vector<double> gains;
    for (int k = 1; k <= harmonics && k * hertz < 4000; ++k) gains.push_back(1.0 / std::pow(k, slope));
    const auto first = static_cast<std::size_t>(start * kRate);
    const auto last = std::min(static_cast<std::size_t>(end * kRate), song.voice.size());
    for (std::size_t n = first; n < last; ++n) {
        const double t = double(n) / kRate - start;
        double sample = 0;
        for (std::size_t k = 1; k <= gains.size(); ++k)
            sample += gains[k - 1] * std::sin(kTau * double(k) * hertz * t + double(k));
        sample *= envelope(t);
        song.backingLeft[n] += static_cast<float>(pan[0] * sample);
        song.backingRight[n] += static_cast<float>(pan[1] * sample);
    }
}

void playBacking(SungSong& song, std::mt19937& random) {
    const double seconds = double(song.voice.size()) / kRate;
    // I V vi IV in a key drawn from the seed, a chord every two seconds, one beat every half second.
    const int key = 43 + static_cast<int>(random() % 7);
    constexpr std::array<std::array<int, 3>, 4> kChords = {{{0, 4, 7}, {7, 11, 14}, {9, 12, 16}, {5, 9, 12}}};
    constexpr std::array<std::array<double, 2>, 3> kPads = {{{0.9, 0.25}, {0.25, 0.9}, {0.8, 0.35}}};
    for (int bar = 0; bar * 2.0 < seconds; ++bar) {
        const auto& chord = kChords[static_cast<std::size_t>(bar % 4)];
        for (std::size_t i = 0; i < chord.size(); ++i)
            addTone(song, key + 12 + chord[i], bar * 2.0, bar * 2.0 + 2.0, 12, 1.0, kPads[i], [](double t) {
                return 0.035 * std::min(1.0, t / 0.02) * (0.6 + 0.4 * std::exp(-t / 0.5));
            });
        for (int beat = 0; beat < 4; ++beat)
            addTone(song, key - 12 + chord[0], bar * 2.0 + beat * 0.5, bar * 2.0 + beat * 0.5 + 0.45, 6, 2.0,
                    {0.7, 0.7},
                    [](double t) { return 0.12 * std::min(1.0, t / 0.005) * std::exp(-t / 0.25); });
    }
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    double previous = 0;
    for (std::size_t n = 0; n < song.voice.size(); ++n) {
        const double t = double(n) / kRate, beat = std::fmod(t, 0.5), eighth = std::fmod(t, 0.25);
        const bool backbeat = static_cast<int>(t / 0.5) % 2 == 1;
        const double white = noise(random), hiss = white - previous;
        previous = white;
        // Kick on the down beats, snare on the back beats, hi-hat every eighth.
        const double kick =
            backbeat ? 0
                     : 0.35 * std::exp(-beat / 0.06) *
                           std::sin(kTau * (50 * beat + 300 * 0.02 * (1 - std::exp(-beat / 0.02))));
        const double snare =
            backbeat ? 0.12 * std::exp(-beat / 0.05) * (white + std::sin(kTau * 180 * beat)) : 0;
        const double hat = 0.05 * std::exp(-eighth / 0.015) * hiss;
        song.backingLeft[n] += static_cast<float>(kick * 0.7 + snare * 0.6 + hat * 0.3);
        song.backingRight[n] += static_cast<float>(kick * 0.7 + snare * 0.45 + hat * 0.8);
    }
}

void writeRaw(const std::string& path, const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<float> interleaved(left.size() * 2);
    for (std::size_t n = 0; n < left.size(); ++n)
        interleaved[2 * n] = left[n], interleaved[2 * n + 1] = right[n];
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(interleaved.data()),
              static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> rawInput(const std::string& path) {
    return {"-f", "f32le", "-ar", "48000", "-ac", "2", "-i", path};
}

}  // namespace

SungSong synthesizeSong(double seconds, unsigned seed) {
    std::mt19937 random(seed);
    SungSong song;
    const auto samples = static_cast<std::size_t>(seconds * kRate);
    song.voice.assign(samples, 0.0f);
    song.backingLeft.assign(samples, 0.0f);
    song.backingRight.assign(samples, 0.0f);
    sing(song, drawMelody(seconds, random));
    playBacking(song, random);
    return song;
}

void runFfmpegOrThrow(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"-nostdin", "-v", "error", "-y"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const ProgramResult result = runProgram("ffmpeg", all);
    if (result.status != 0) throw std::runtime_error("ffmpeg failed: " + result.err);
}

void writeTwoTrackSong(const std::string& path, const SungSong& song, const TwoTrackOptions& options) {
    const std::size_t n = song.voice.size();
    std::vector<float> lateLeft(n, 0.0f), lateRight(n, 0.0f);
    for (std::size_t i = 0; i < n; ++i) {
        const auto from = static_cast<std::ptrdiff_t>(i) - options.offsetSamples;
        if (from < 0 || from >= static_cast<std::ptrdiff_t>(n)) continue;
        const auto at = static_cast<std::size_t>(from);
        const float voice = options.voice ? song.voice[at] : 0.0f;
        lateLeft[i] = options.gain * (song.backingLeft[at] + voice);
        lateRight[i] = options.gain * (song.backingRight[at] + voice);
    }
    const std::string first = path + ".1.raw", second = path + ".2.raw";
    writeRaw(first, song.backingLeft, song.backingRight);
    writeRaw(second, lateLeft, lateRight);
    std::vector<std::string> args;
    for (const std::string& raw : {first, second}) {
        if (options.audioLate > 0) args.insert(args.end(), {"-itsoffset", std::to_string(options.audioLate)});
        const auto input = rawInput(raw);
        args.insert(args.end(), input.begin(), input.end());
    }
    if (options.video) {
        const std::string seconds = std::to_string(double(n) / kRate);
        args.insert(args.end(),
                    {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10:duration=" + seconds, "-map", "2:v",
                     "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    }
    args.insert(args.end(), {"-map", "0:a", "-map", "1:a", "-c:a", "aac", "-b:a", "128k", "-f", "mp4", path});
    runFfmpegOrThrow(args);
    std::filesystem::remove(first);
    std::filesystem::remove(second);
}

void writeStereoSong(const std::string& path, const SungSong& song, bool voice) {
    std::vector<float> left = song.backingLeft, right = song.backingRight;
    if (voice)
        for (std::size_t i = 0; i < left.size(); ++i) left[i] += song.voice[i], right[i] += song.voice[i];
    const std::string raw = path + ".raw";
    writeRaw(raw, left, right);
    std::vector<std::string> args = rawInput(raw);
    args.insert(args.end(), {"-c:a", "aac", "-b:a", "160k", "-f", "mp4", path});
    runFfmpegOrThrow(args);
    std::filesystem::remove(raw);
}

MelodyMatch compareMelodies(const Melody& found, const Melody& truth) {
    std::size_t both = 0, close = 0, voiced = 0, unvoiced = 0, alarms = 0;
    for (std::size_t j = 0; j < std::max(found.size(), truth.size()); ++j) {
        const auto f = found.at(j), t = truth.at(j);
        voiced += t.has_value();
        unvoiced += !t.has_value();
        alarms += f && !t;
        if (f && t) ++both, close += std::abs(*f - *t) <= 0.5f;
    }
    return {both ? double(close) / double(both) : 0.0, voiced ? double(both) / double(voiced) : 0.0,
            unvoiced ? double(alarms) / double(unvoiced) : 0.0};
}

}  // namespace vocalis::testing
