#include "audio/reference_melody.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "audio/analysis_module.h"
#include "audio/sung_song.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;

namespace {

// Overwrites `count` bytes at each of the places (shares of the file's length) with noise.
void damage(const std::string& path, std::initializer_list<double> places, int count) {
    const auto size = static_cast<double>(std::filesystem::file_size(path));
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    std::mt19937 noise(7);
    for (const double place : places) {
        file.seekp(static_cast<std::streamoff>(size * place));
        for (int i = 0; i < count; ++i) file.put(static_cast<char>(noise()));
    }
}

}  // namespace

TEST(ReferenceMelody, FollowsTheVoiceOfTwoTracksAndOfTheCentreOfAStereoMix) {
    TempDir dir;
    const SungSong song = synthesizeSong(12, 1);
    // The second track lags by 1,000 samples at 48 kHz and is 0.8 times as loud.
    writeTwoTrackSong(dir / "two.mp4", song);
    writeStereoSong(dir / "stereo.mp4", song);
    std::filesystem::copy_file(dir / "two.mp4", dir / "damaged.mp4");
    damage(dir / "damaged.mp4", {0.3, 0.6}, 3000);  // the decoders lose a few packets of each track
    // The sound starts half a second after the picture: the melody counts from the file's start.
    writeTwoTrackSong(dir / "late.mp4", song, {.video = true, .audioLate = 0.5});
    Melody lateTruth = song.truth;
    lateTruth.notes.insert(lateTruth.notes.begin(), 50, NAN);

    struct Case {
        const char* file;
        const Melody& truth;
        double accuracy, recall, falseAlarms;
    };
    // Made as the player makes them: through the analysis module.
    AnalysisModule module(AnalysisModule::besideProgram());
    const AnalysisFunctions* analysis = module.functions();
    ASSERT_NE(analysis, nullptr);
    for (const Case& c :
         {Case{"two.mp4", song.truth, 0.95, 0.90, 0.10}, Case{"damaged.mp4", song.truth, 0.95, 0.90, 0.10},
          Case{"late.mp4", lateTruth, 0.95, 0.90, 0.10}, Case{"stereo.mp4", song.truth, 0.90, 0.85, 0.10}}) {
        const Melody melody = analysis->makeReferenceMelody(dir / c.file, nullptr);
        const MelodyMatch match = compareMelodies(melody, c.truth);
        EXPECT_GE(match.accuracy, c.accuracy) << c.file;
        EXPECT_GE(match.recall, c.recall) << c.file;
        EXPECT_LE(match.falseAlarms, c.falseAlarms) << c.file;
        EXPECT_NEAR(double(melody.size()), double(c.truth.size()), 5) << c.file;
    }

    const std::atomic<bool> cancel{true};
    EXPECT_EQ(makeReferenceMelody(dir / "two.mp4", &cancel).size(), 0u);
}

TEST(ReferenceMelody, IsEmptyWithoutAVoiceOrWithoutSoundToFindItIn) {
    TempDir dir;
    const SungSong song = synthesizeSong(8, 2);
    writeTwoTrackSong(dir / "two backings.mp4", song, {.voice = false});
    writeStereoSong(dir / "stereo backing.mp4", song, false);
    runFfmpegOrThrow({"-f", "lavfi", "-i", "testsrc2=size=160x120:duration=1", "-c:v", "libx264", "-preset",
                      "ultrafast", dir / "picture only.mp4"});
    dir.write("garbage.mkv", std::string(100000, 'x'));
    for (const char* file :
         {"two backings.mp4", "stereo backing.mp4", "picture only.mp4", "garbage.mkv", "missing.mp4"}) {
        const ReferenceOutcome outcome = makeReference(dir / file);
        EXPECT_EQ(outcome.melody.size(), 0u) << file;
        EXPECT_FALSE(outcome.detail.empty()) << file;
    }
}

TEST(AnalysisModule, OneThatCannotBeLoadedOrIsNotOursIsRefusedAndSaidOnce) {
    TempDir dir;
    dir.write("garbage.so", std::string(4096, 'x'));
    // A library, but not the module: it has no table to give.
    for (const std::string& file : {dir / "missing.so", dir / "garbage.so", std::string("libz.so.1")}) {
        ::testing::internal::CaptureStderr();
        AnalysisModule module(file);
        EXPECT_EQ(module.functions(), nullptr) << file;
        EXPECT_EQ(module.functions(), nullptr) << file;
        const std::string log = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(occurrences(log, "Sound analysis: cannot load " + file + " ("), 1) << log;
    }
}
