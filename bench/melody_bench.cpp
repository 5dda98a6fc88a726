// The reference melody of a song, each figure beside its goal, in one run:
//  (a) accuracy on generated songs whose voice sings a known melody over a backing: two AAC tracks
//      (the second 1,000 samples late at 48 kHz and 0.8 times as loud) and one stereo track with
//      the voice in the centre; goals for two tracks: >= 95 % of the voiced frames within 50 cents,
//      voicing recall >= 90 %, false alarms <= 10 %; the same songs without a voice give no melody;
//  (b) making the reference of a 4-minute two-track song (with a small video, as karaoke files
//      have) against `ffmpeg -i SONG -map 0:a:0 -map 0:a:1 -f null -` on the same file, alternating
//      round by round; goal: ratio of the medians <= 3 (wall time; CPU time beside it);
//  (c) the pitch tracker alone on the clean voice of that song: >= 98 % of frames within 50 cents,
//      and its CPU time per second of sound (the live half runs it on the microphone).
//
// usage: bench_melody [FOLDER [ROUNDS]]   (FOLDER: where the songs go, default a new folder in
// /var/tmp, removed at the end; ROUNDS default 5)
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/melody_cleanup.h"
#include "audio/melody_tracking.h"
#include "audio/pitch_tracker.h"
#include "audio/reference_melody.h"
#include "audio/sung_song.h"
#include "audio/track_decoder.h"
#include "support/run_program.h"

using namespace vocalis;
using namespace vocalis::testing;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double threadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void print(const char* what, const MelodyMatch& m) {
    std::printf("  %-34s within 50 cents %5.1f %%  recall %5.1f %%  false alarms %4.1f %%\n", what,
                100 * m.accuracy, 100 * m.recall, 100 * m.falseAlarms);
}

// Frames of all songs counted together.
struct Totals {
    double close = 0, both = 0, voiced = 0, unvoiced = 0, alarms = 0;
    void add(const Melody& found, const Melody& truth) {
        const MelodyMatch m = compareMelodies(found, truth);
        const double v = double(truth.voicedFrames()), u = double(truth.size() - truth.voicedFrames());
        both += m.recall * v, close += m.accuracy * m.recall * v, voiced += v, unvoiced += u,
            alarms += m.falseAlarms * u;
    }
    MelodyMatch match() const { return {close / both, both / voiced, alarms / unvoiced}; }
};

void accuracy(const fs::path& folder) {
    std::printf("(a) accuracy, six 20 s songs (odd seeds sing in a man's range, even in a woman's)\n");
    Totals two, stereo;
    std::size_t leftovers = 0;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const SungSong song = synthesizeSong(20, seed);
        const std::string twoPath = folder / "two.mp4", stereoPath = folder / "stereo.mp4";
        writeTwoTrackSong(twoPath, song);
        writeStereoSong(stereoPath, song);
        const Melody fromTracks = makeReferenceMelody(twoPath), fromCentre = makeReferenceMelody(stereoPath);
        two.add(fromTracks, song.truth);
        stereo.add(fromCentre, song.truth);
        char label[64];
        std::snprintf(label, sizeof label, "seed %u, two tracks", seed);
        print(label, compareMelodies(fromTracks, song.truth));
        std::snprintf(label, sizeof label, "seed %u, centre of a stereo mix", seed);
        print(label, compareMelodies(fromCentre, song.truth));
        writeTwoTrackSong(twoPath, song, {.voice = false});
        writeStereoSong(stereoPath, song, false);
        leftovers += makeReferenceMelody(twoPath).size() + makeReferenceMelody(stereoPath).size();
    }
    print("all, two tracks (goal 95/90/10)", two.match());
    print("all, centre of a stereo mix", stereo.match());
    std::printf("  the same songs without a voice: %zu frames of melody (goal 0)\n", leftovers);
}

struct Run {
    double wall = 0, cpu = 0;
};

// FFmpeg's own program decoding both tracks, its CPU time (all its threads) from the kernel.
Run ffmpegDecode(const std::string& song) {
    const auto start = Clock::now();
    const pid_t pid = launch(
        "ffmpeg",
        {"-nostdin", "-v", "error", "-i", song, "-map", "0:a:0", "-map", "0:a:1", "-f", "null", "-"}, 1, 2);
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || status != 0)
        throw std::runtime_error("ffmpeg failed");
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return {secondsSince(start), seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

template <typename Work>
Run timed(Work work) {
    const auto start = Clock::now();
    const double cpu = threadCpuSeconds();
    work();
    return {secondsSince(start), threadCpuSeconds() - cpu};
}

void speedAndCleanVoice(const fs::path& folder, int rounds) {
    std::printf("(b) a 4-minute two-track song (160x120 H.264 video, two stereo AAC tracks at 128 kbit/s)\n");
    const SungSong song = synthesizeSong(240, 11);
    const std::string path = folder / "long.mp4";
    writeTwoTrackSong(path, song, {.video = true});
    std::vector<double> ffmpegWall, ffmpegCpu, oursWall, oursCpu, decodeWall;
    Melody melody;
    for (int round = 0; round < rounds; ++round) {
        const Run theirs = ffmpegDecode(path);
        const Run decode = timed([&] { decodeSongSound(path); });
        const Run ours = timed([&] { melody = makeReferenceMelody(path); });
        std::printf(
            "  round %d: ffmpeg %.3f s (CPU %.3f s), reference %.3f s (CPU %.3f s) of which decoding %.3f "
            "s\n",
            round + 1, theirs.wall, theirs.cpu, ours.wall, ours.cpu, decode.wall);
        ffmpegWall.push_back(theirs.wall), ffmpegCpu.push_back(theirs.cpu);
        oursWall.push_back(ours.wall), oursCpu.push_back(ours.cpu), decodeWall.push_back(decode.wall);
    }
    std::printf(
        "  medians: ffmpeg %.3f s (CPU %.3f s), reference %.3f s (CPU %.3f s), our decoding alone %.3f s\n",
        median(ffmpegWall), median(ffmpegCpu), median(oursWall), median(oursCpu), median(decodeWall));
    std::printf("  ratio reference / ffmpeg: %.2f wall (goal <= 3), %.2f CPU\n",
                median(oursWall) / median(ffmpegWall), median(oursCpu) / median(ffmpegCpu));
    print("that song's melody", compareMelodies(melody, song.truth));

    std::printf("(c) the pitch tracker on the clean voice of that song\n");
    const std::string raw = folder / "voice.raw", wav = folder / "voice.wav";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(song.voice.data()),
               std::streamsize(song.voice.size() * sizeof(float)));
    runFfmpegOrThrow(
        {"-f", "f32le", "-ar", "48000", "-ac", "1", "-i", raw, "-ar", "16000", "-c:a", "pcm_f32le", wav});
    const DecodedSong voice = decodeSongSound(wav);
    if (!voice.sound) throw std::runtime_error("cannot read the clean voice: " + voice.problem);
    const std::vector<float>& samples = voice.sound->first;
    Melody clean = trackMelody(samples);
    print("tracked", compareMelodies(clean, song.truth));
    cleanMelody(clean);
    print("tracked and tidied (goal 98 %)", compareMelodies(clean, song.truth));
    // As the microphone feeds it: 20 ms at a time.
    std::vector<double> perSecond;
    for (int round = 0; round < rounds; ++round) {
        PitchTracker tracker;
        std::vector<PitchTracker::Frame> frames;
        frames.reserve(samples.size() / PitchTracker::kHop + 1);
        const Run run = timed([&] {
            for (std::size_t at = 0; at < samples.size(); at += 320)
                tracker.push(std::span(samples).subspan(at, std::min<std::size_t>(320, samples.size() - at)),
                             frames);
        });
        perSecond.push_back(run.cpu / (double(samples.size()) / PitchTracker::kRate));
    }
    std::printf("  CPU per second of sound: %.3f ms, %.2f %% of one core (median of %d)\n",
                1000 * median(perSecond), 100 * median(perSecond), rounds);
}

}  // namespace

int main(int argc, char** argv) {
    const bool ownFolder = argc < 2 || argv[1][0] == '\0';
    std::string folder = ownFolder ? "/var/tmp/vocalis-melody-bench-XXXXXX" : argv[1];
    if (ownFolder && !::mkdtemp(folder.data())) {
        std::perror("bench_melody: mkdtemp");
        return 1;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    fs::create_directories(folder);
    std::printf("bench_melody in %s\n", folder.c_str());
    int status = 0;
    try {
        accuracy(folder);
        speedAndCleanVoice(folder, rounds);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_melody: %s\n", failure.what());
        status = 1;
    }
    if (ownFolder) fs::remove_all(folder);
    return status;
}
