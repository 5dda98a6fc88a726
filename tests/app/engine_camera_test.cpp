// Takes filmed by the real recorder, with a generated clip standing in for the camera and
// its sound for the microphone; the engine runs on the virtual clock, the take in real time.

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>

#include "app/engine_harness.h"
#include "app/media_samples.h"
#include "support/run_program.h"
#include "system/camera/camera_recorder.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

namespace {

// Each take films it from its start; smaller than a take's picture.
const std::string& standInClip() {
    static const TempDir dir;
    static const std::string clip = makeVideo(dir / "camera.mp4", 40, "640x360");
    return clip;
}

// What ffprobe reads of `entries` in a file, one line a stream: an unfinished MP4 (no index) reads
// as nothing.
std::string probe(const std::string& file, const std::string& entries = "stream=codec_type,width,height") {
    return runProgram("ffprobe", words("-v error -of csv=p=0:s=x -show_entries " + entries, {file})).out;
}
double seconds(const std::string& file) { return std::atof(probe(file, "format=duration").c_str()); }

// The takes in the record folder, each as its path.
std::vector<std::string> takes(const EngineHarness& h) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(h.songsDir / "record"))
        names.push_back(entry.path());
    return names;
}
const std::string kTake = "videox1280x720\naudio\n";

// Counts the pictures; while held, a picture shown stays in the take's pipeline, so that take
// cannot finish its file until let go (a screen busy for as long as the test wants). Bounded, so
// that a recorder waiting for its take on this thread still gets on.
struct CountingPreview final : PreviewSink {
    void showPreviewFrame(PreviewFrame frame) override {
        frames += frame.width == 320 && frame.height == 180;
        ++waiting;
        for (int i = 0; held && i < 2000; ++i) std::this_thread::sleep_for(10ms);
        --waiting;
    }
    void setPreviewShown(bool value) override { shown = value; }
    bool holding() const { return waiting > 0; }

    std::atomic<int> frames{0}, waiting{0};
    std::atomic<bool> shown{false}, held{false};
};

// A recorder filming the stand-in, and an engine playing the queued song "Anh", past the replay
// lock of its start.
struct Filming {
    explicit Filming(std::uint64_t minFreeBytes = 1ull << 30)
        : recorder({CameraSource{CameraSource::Kind::File, standInClip(), true}, minFreeBytes, &preview,
                    [this] { ++diskLow; }}) {
        std::filesystem::create_directories(h.songsDir / "record");
        h.launchToFirstSong();
        h.add("Anh");
        EXPECT_EQ(h.songs.getCurrentSong()->title(), "Anh");
        h.clock.advance(3000ms);
    }
    void record() { h.remote(&AppDelegate::onRemoteRecord); }
    void next() {
        h.clock.advance(5000ms);  // past the skip lock
        h.remote(&AppDelegate::onRemoteNext);
    }

    CountingPreview preview;
    std::atomic<int> diskLow{0};
    CameraRecorder recorder;
    EngineHarness h{{"Anh - Tuấn.mp4", "Bông - Lan.mp4"}, "false", &recorder};
};

}  // namespace

// A skip ends the take in the test after this one; a replay stops it through the same start.
TEST(EngineCamera, EveryStopPointEndsTheTakeWithACompleteFile) {
    const std::pair<std::string, std::function<void(EngineHarness&)>> cases[] = {
        {"song end before the score",
         [](EngineHarness& h) {
             h.engine->setHasScoring(true);
             h.end();
             EXPECT_TRUE(h.engine->flags().isScoring);
         }},
        {"song fails",
         [](EngineHarness& h) {
             h.player.fail(false);
             h.clock.runPending();
             EXPECT_TRUE(h.engine->flags().isError);
         }},
        {"quit", [](EngineHarness& h) { h.engine->applicationWillTerminate(); }},
    };
    for (const auto& [stop, act] : cases) {
        SCOPED_TRACE(stop);
        Filming f;
        const auto started = std::chrono::steady_clock::now();
        f.record();
        std::this_thread::sleep_for(3s);
        f.h.clock.advance(5000ms);  // past the replay and skip locks
        act(f.h);
        f.recorder.finishEndedTakes();  // completed behind the engine
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_FALSE(f.h.engine->flags().isRecordVideo);
        EXPECT_FALSE(f.recorder.isRecording());
        EXPECT_EQ(f.preview.shown, stop == "quit");
        EXPECT_GT(f.preview.frames, 0);
        const std::vector<std::string> files = takes(f.h);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(probe(files[0]), kTake);
        // As long as the take, less the moment the pipeline takes to start.
        EXPECT_GT(seconds(files[0]), 2.0);
        EXPECT_LT(seconds(files[0]), took + 0.5);
        // Its index lists every picture (25 a second), as a player seeking in it needs; the
        // fragments it was filmed in list only their own.
        EXPECT_GT(std::atoi(probe(files[0], "stream=nb_frames").c_str()), 25 * (seconds(files[0]) - 1));
    }
}

TEST(EngineCamera, ASecondTakeDiscardsTheFirstAndRequestsWithinTheLockMakeOne) {
    // A zone where it is now just past midnight: the 12-hour clock names the hour 12. POSIX zones
    // count west as positive: "VOC+h" is h hours behind UTC. Each test runs in its own process.
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    ::setenv("TZ", ("VOC" + std::to_string(utc.tm_hour <= 12 ? utc.tm_hour : utc.tm_hour - 24)).c_str(), 1);
    ::tzset();

    Filming f;
    const std::size_t opened = f.h.player.opened.size();
    const auto firstStarted = std::chrono::steady_clock::now();
    f.record();
    const std::vector<std::string> first = takes(f.h);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_TRUE(std::regex_match(std::filesystem::path(first[0]).filename().string(),
                                 std::regex(R"(Anh-\d{4}_\d{2}_\d{2}_12_\d{2}_\d{2}\.mp4)")))
        << first[0];
    std::this_thread::sleep_for(1200ms);
    f.h.clock.advance(4999ms);
    f.record();  // still locked: the same take goes on
    EXPECT_EQ(takes(f.h), first);
    EXPECT_EQ(f.h.player.opened.size(), opened + 1);
    f.h.clock.advance(1ms);
    // While the screen holds a picture of the first take, its file cannot be finished; the
    // song and the new take start again all the same, and the first take's file goes later.
    f.preview.held = true;
    ASSERT_TRUE(eventually([&] { return f.preview.holding(); }));
    f.record();  // the first take is thrown away, the song and a new take start again
    EXPECT_TRUE(f.preview.holding());
    EXPECT_EQ(f.h.player.opened.size(), opened + 2);
    EXPECT_TRUE(f.h.engine->flags().isRecordVideo);
    EXPECT_TRUE(std::filesystem::exists(first[0]));
    f.preview.held = false;
    EXPECT_TRUE(eventually([&] { return !std::filesystem::exists(first[0]); }));
    const std::vector<std::string> second = takes(f.h);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second, first);
    std::this_thread::sleep_for(2s);
    // The skip is taken at once too; the take's file is finished behind it.
    f.preview.held = true;
    ASSERT_TRUE(eventually([&] { return f.preview.holding(); }));
    f.next();
    EXPECT_TRUE(f.preview.holding());
    EXPECT_FALSE(f.h.engine->flags().isRecordVideo);
    EXPECT_FALSE(f.preview.shown);
    f.preview.held = false;
    f.recorder.finishEndedTakes();
    EXPECT_EQ(takes(f.h), second);
    EXPECT_EQ(probe(second[0]), kTake);
    // The second take alone: the first began more than a second before it.
    EXPECT_LT(seconds(second[0]),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - firstStarted).count() - 1.0);
}

TEST(EngineCamera, LowDiskSpaceEndsTheTakeAndKeepsItsFile) {
    Filming f(UINT64_MAX);  // no disk has that much free
    f.record();
    for (int i = 0; i < 200 && f.diskLow == 0; ++i) std::this_thread::sleep_for(50ms);
    EXPECT_EQ(f.diskLow, 1);
    EXPECT_FALSE(f.recorder.isRecording());
    const std::vector<std::string> files = takes(f.h);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(probe(files[0]), kTake);
    // The engine's take runs on until its stop point, as with any recorder that gave up.
    EXPECT_TRUE(f.h.engine->flags().isRecordVideo);
    f.next();
    EXPECT_FALSE(f.h.engine->flags().isRecordVideo);
    EXPECT_EQ(takes(f.h), files);
}
