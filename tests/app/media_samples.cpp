#include "app/media_samples.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/run_program.h"

namespace vocalis::testing {

void runFfmpeg(const std::vector<std::string>& arguments) {
    const std::string ffmpeg = findProgram("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty()) << "ffmpeg is not installed (scripts/bootstrap.sh installs it)";
    std::vector<std::string> all = {"-nostdin", "-v", "error", "-y"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const ProgramResult result = runProgram(ffmpeg, all);
    ASSERT_EQ(result.status, 0) << result.err;
}

namespace {
std::string picture(int seconds) {
    return "testsrc2=size=320x240:rate=25:duration=" + std::to_string(seconds);
}
std::string tone(int hertz, int seconds) {
    return "sine=frequency=" + std::to_string(hertz) +
           ":sample_rate=48000:duration=" + std::to_string(seconds);
}
}  // namespace

std::string makeTwoTrackVideo(const std::string& path, int seconds) {
    runFfmpeg(words("-f lavfi -i " + picture(seconds) + " -f lavfi -i " + tone(440, seconds) +
                        " -f lavfi -i " + tone(1000, seconds) +
                        " -map 0:v -map 1:a -map 2:a -disposition:a:0 default -disposition:a:1 0"
                        " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 96k",
                    {path}));
    return path;
}

std::string makeVideo(const std::string& path, int seconds, bool indexFirst) {
    runFfmpeg(words("-f lavfi -i " + picture(seconds) + " -f lavfi -i " + tone(440, seconds) +
                        " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 96k -movflags " +
                        (indexFirst ? "+faststart" : "-faststart") + " -f mp4",
                    {path}));
    return path;
}

std::string makeAudioOnly(const std::string& path, int seconds) {
    runFfmpeg({"-f", "lavfi", "-i", tone(440, seconds), "-c:a", "aac", "-b:a", "96k", "-f", "mp4", path});
    return path;
}

std::string truncateCopy(const std::string& source, const std::string& path, double fraction) {
    std::ifstream in(source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * fraction));
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

VlcPlayerOptions headlessOptions(PcmTap tap, VideoSink* sink) {
    return {VlcMediaPlayer::headlessArguments(), sink, std::move(tap)};
}

bool pumpUntil(VirtualScheduler& scheduler, const std::function<bool()>& done,
               std::chrono::seconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        scheduler.runPending();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    scheduler.runPending();
    return done();
}

bool DelegateRecorder::saw(PlayerState state) const {
    return std::find(states.begin(), states.end(), state) != states.end();
}

FrameSize FrameRecorder::frameSizeFor(int sourceWidth, int sourceHeight) {
    std::lock_guard lock(mutex_);
    source_ = {sourceWidth, sourceHeight};
    return wanted_;
}

void FrameRecorder::presentFrame(std::shared_ptr<const VideoFrame> frame) {
    std::lock_guard lock(mutex_);
    last_ = std::move(frame);
    ++frames_;
}

int FrameRecorder::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::shared_ptr<const VideoFrame> FrameRecorder::last() const {
    std::lock_guard lock(mutex_);
    return last_;
}

FrameSize FrameRecorder::source() const {
    std::lock_guard lock(mutex_);
    return source_;
}

std::function<void(std::span<const std::int16_t>)> ToneListener::tap() {
    return [this](std::span<const std::int16_t> samples) {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i + 1 < samples.size(); i += 2) left_.push_back(samples[i]);
        frames_ += static_cast<std::int64_t>(samples.size() / 2);
        while (left_.size() > 48000) left_.pop_front();
    };
}

void ToneListener::forget() {
    std::lock_guard lock(mutex_);
    left_.clear();
}

std::int64_t ToneListener::framesHeard() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<std::int16_t> ToneListener::recentLeft(std::size_t window) const {
    std::lock_guard lock(mutex_);
    const std::size_t count = std::min(window, left_.size());
    return std::vector<std::int16_t>(left_.end() - static_cast<std::ptrdiff_t>(count), left_.end());
}

double ToneListener::loudness(std::size_t window) const {
    const auto samples = recentLeft(window);
    if (samples.empty()) return 0.0;
    double sum = 0.0;
    for (auto s : samples) sum += static_cast<double>(s) * s;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

double ToneListener::frequency(std::size_t window) const {
    const auto samples = recentLeft(window);
    if (samples.size() < window || loudness(window) < 200.0) return 0.0;
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
    }
    return crossings / 2.0 / (static_cast<double>(samples.size()) / 48000.0);
}

}  // namespace vocalis::testing
