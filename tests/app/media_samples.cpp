#include "app/media_samples.h"

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/run_program.h"

namespace vocalis::testing {

void runFfmpeg(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"-nostdin", "-v", "error", "-y"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    if (const ProgramResult result = runProgram("ffmpeg", all); result.status != 0)
        throw std::runtime_error("ffmpeg failed: " + result.err);
}

namespace {
std::string picture(int seconds, const std::string& size = "320x240") {
    return " -f lavfi -i testsrc2=size=" + size + ":rate=25:duration=" + std::to_string(seconds);
}
std::string tone(int hertz, int seconds) {
    return " -f lavfi -i sine=frequency=" + std::to_string(hertz) +
           ":sample_rate=48000:duration=" + std::to_string(seconds);
}
const std::string kCodecs = " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 96k";
}  // namespace

std::string makeTwoTrackVideo(const std::string& path, int seconds) {
    runFfmpeg(words(picture(seconds) + tone(440, seconds) + tone(1000, seconds) +
                        " -map 0:v -map 1:a -map 2:a -disposition:a:0 default -disposition:a:1 0" + kCodecs,
                    {path}));
    return path;
}

std::string makeVideo(const std::string& path, int seconds, const std::string& size) {
    runFfmpeg(words(picture(seconds, size) + tone(440, seconds) + kCodecs + " -f mp4 -movflags +faststart",
                    {path}));
    return path;
}

std::string makeAudioOnly(const std::string& path, int seconds) {
    runFfmpeg(words(tone(440, seconds) + " -c:a aac -b:a 96k -f mp4", {path}));
    return path;
}

bool pumpUntil(VirtualScheduler& scheduler, const std::function<bool()>& done,
               std::chrono::seconds deadline) {
    for (const auto end = std::chrono::steady_clock::now() + deadline; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        scheduler.runPending();
        if (done()) return true;
    }
    scheduler.runPending();
    return done();
}

double power(const Samples& samples, double hertz) {
    const double k = 2.0 * std::cos(2.0 * std::numbers::pi * hertz / 48000.0);
    double s1 = 0, s2 = 0;
    for (float x : samples) s2 = std::exchange(s1, x + k * s1 - s2);
    const double n = double(samples.size());
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / (n * n);
}

// Coarse steps, then fine ones around the best.
double strongest(const Samples& samples) {
    double best = 0, bestPower = -1;
    const auto scan = [&](double from, double to, double step) {
        for (double f = from; f <= to; f += step)
            if (const double p = power(samples, f); p > bestPower) bestPower = p, best = f;
    };
    scan(150, 2000, 2);
    scan(best - 3, best + 3, 0.05);
    return best;
}

double loudness(const Samples& samples) {
    double sum = 0.0;
    for (float s : samples) sum += double(s) * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

}  // namespace vocalis::testing
