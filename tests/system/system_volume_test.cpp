// The system volume and the list of inputs against a real PulseAudio daemon with a null sink,
// started by the test.
#include <gtest/gtest.h>

#include <asio/local/stream_protocol.hpp>
#include <cmath>

#include "support/run_program.h"
#include "system/microphone_delay.h"
#include "system/pulse_daemon.h"
#include "system/pulse_system_volume.h"
#include "system/sound_sources.h"

namespace vocalis {
namespace {

using testing::PulseDaemon;

class SystemVolumeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(daemon.running()) << "pulseaudio did not start; see " << daemon.log();
    }
    // pactl, as a second opinion on what the sound server holds.
    std::string pactl(std::vector<std::string> args) {
        args.insert(args.begin(), {"--server", daemon.server()});
        const auto result = testing::runProgram("/usr/bin/pactl", args);
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    }
    // The messages logged while `action` ran.
    template <typename Action>
    std::string logged(Action action) {
        ::testing::internal::CaptureStderr();
        action();
        return ::testing::internal::GetCapturedStderr();
    }

    PulseDaemon daemon;
    PulseSystemVolume volume{daemon.server()};
};

TEST_F(SystemVolumeTest, SetsReadsLimitsMutesAndKeepsTheBalance) {
    // '=' sets, '+' and '-' step as the volume keys do; then the volume, muted or not, and what pactl shows.
    const std::tuple<char, float, float, bool, const char*> steps[] = {
        {'=', 0.5f, 0.5f, false, "50%"},        {'=', 1.3f, 1.0f, false, "100%"},
        {'=', 0.004f, 1.0f, true, "Mute: yes"},  // just above silence mutes, the volume stays
        {'=', 0.3f, 0.3f, false, "Mute: no"},    // any real volume unmutes
        {'+', 0.095f, 0.395f, false, ""},       {'-', 0.095f, 0.3f, false, ""},
        {'=', 0.15f, 0.15f, false, ""},         {'-', 0.095f, 0.055f, false, ""},
        {'-', 0.1f, 0.055f, true, ""},  // a further step down asks for -0.045, which mutes
        {'+', 0.095f, 0.15f, false, ""},        {'=', 0.6f, 0.6f, false, ""},
        {'=', std::nanf(""), 0.6f, false, ""},
    };
    for (const auto& [op, amount, level, muted, shown] : steps) {
        SCOPED_TRACE(std::string(1, op) + std::to_string(amount));
        if (op == '=') volume.setSystemVolume(amount);
        if (op == '+') volume.increaseSystemVolumeBy(amount);
        if (op == '-') volume.decreaseSystemVolumeBy(amount);
        EXPECT_NEAR(volume.systemVolume(), level, 0.001f);
        EXPECT_EQ(volume.isMuted(), muted);
        const std::string sink = pactl({"get-sink-volume", PulseDaemon::kSinkName}) +
                                 pactl({"get-sink-mute", PulseDaemon::kSinkName});
        EXPECT_NE(sink.find(shown), std::string::npos) << sink;
    }
    // A volume beyond 100 % set elsewhere reads as full.
    pactl({"set-sink-volume", PulseDaemon::kSinkName, "150%"});
    EXPECT_FLOAT_EQ(volume.systemVolume(), 1.0f);
    pactl({"set-sink-volume", PulseDaemon::kSinkName, "80%", "40%"});
    EXPECT_NEAR(volume.systemVolume(), 0.8f, 0.001f);
    volume.setSystemVolume(0.4f);
    const std::string channels = pactl({"get-sink-volume", PulseDaemon::kSinkName});
    EXPECT_NE(channels.find("40%"), std::string::npos) << channels;
    EXPECT_NE(channels.find("20%"), std::string::npos) << channels;
}

TEST_F(SystemVolumeTest, FailsQuietlyWithoutASoundServerAndReconnects) {
    PulseSystemVolume nowhere("unix:" + daemon.socketPath() + ".missing");
    // Said once, however many volume commands follow.
    const auto lost = [&](PulseSystemVolume& missing) {
        return logged([&] {
            EXPECT_EQ(missing.systemVolume(), 0.0f);
            for (int key = 0; key < 5; ++key) missing.increaseSystemVolumeBy(0.095f);
            missing.setSystemVolume(0.2f);
            EXPECT_EQ(missing.isMuted(), std::nullopt);
        });
    };
    EXPECT_EQ(lost(nowhere), "Unable to get default audio device\n");

    {  // a socket that accepts but never answers: the bounded wait gives up
        asio::io_context context;
        const asio::local::stream_protocol::acceptor silent(context, {daemon.socketPath() + ".silent"});
        PulseSystemVolume unanswered("unix:" + daemon.socketPath() + ".silent",
                                     std::chrono::milliseconds(300));
        EXPECT_EQ(unanswered.systemVolume(), 0.0f);
        unanswered.setSystemVolume(0.5f);
    }
    // A server that goes away: reads give 0.0, writes change nothing, nothing hangs. When it
    // restarts (a fresh one at its old address) the same object finds it; lost again, said again.
    volume.setSystemVolume(0.7f);
    ASSERT_NEAR(volume.systemVolume(), 0.7f, 0.001f);
    daemon.stop();
    EXPECT_EQ(lost(volume), "Unable to get default audio device\n");
    daemon.start();
    ASSERT_TRUE(daemon.running());
    EXPECT_EQ(logged([&] { volume.setSystemVolume(0.65f); }), "");
    EXPECT_NEAR(volume.systemVolume(), 0.65f, 0.001f);
    EXPECT_EQ(volume.isMuted(), false);
    daemon.stop();
    EXPECT_EQ(lost(volume), "Unable to get default audio device\n");
}

using SoundSources = SystemVolumeTest;  // the same private server

TEST_F(SoundSources, TheServersInputsAreListedButNotItsSinksMonitors) {
    EXPECT_EQ(listSoundSources(daemon.server()), std::vector<SoundSource>{});  // the null sink's monitor only
    pactl({"load-module", "module-null-source", "source_name=singers"});
    const auto sources = listSoundSources(daemon.server());
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].name, "singers");
    EXPECT_FALSE(sources[0].description.empty());
    EXPECT_EQ(listSoundSources("unix:" + daemon.socketPath() + ".missing"), std::vector<SoundSource>{});
}

// The bursts played through the default sink, heard back through a sink's monitor as the microphone.
TEST(MicrophoneDelay, TheBurstsHeardBackGiveTheDelayAndNothingHeardIsSaid) {
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.running()) << "pulseaudio did not start; see " << daemon.log();
    const auto pactl = [&](const std::string& line) {
        const auto result =
            testing::runProgram("/usr/bin/pactl", testing::words("--server " + daemon.server() + " " + line));
        ASSERT_EQ(result.status, 0) << line << ": " << result.err;
    };
    // A second sink fed from the first one's monitor 200 ms later.
    pactl("load-module module-null-sink sink_name=far");
    pactl(std::string("load-module module-loopback sink=far latency_msec=200 source=") +
          PulseDaemon::kSinkName + ".monitor");
    const auto measure = [&](const std::string& source) {
        return measureMicrophoneDelay({daemon.server(), source});
    };
    const MicrophoneDelay near = measure(std::string(PulseDaemon::kSinkName) + ".monitor");
    const MicrophoneDelay far = measure("far.monitor");
    ASSERT_TRUE(near.delay) << near.failure;
    ASSERT_TRUE(far.delay) << far.failure;
    ::testing::Test::RecordProperty("near_ms", std::to_string(near.delay->count()));
    ::testing::Test::RecordProperty("far_ms", std::to_string(far.delay->count()));
    EXPECT_LT(near.delay->count(), 60);
    EXPECT_NEAR((*far.delay - *near.delay).count(), 200, 30);
    // A microphone that hears nothing, one not there and no sound server: said, no delay. (Loaded
    // last: the new default source, it would take the loopback's input along.)
    pactl("load-module module-null-source source_name=deaf");
    for (const auto& [source, server] : {std::pair<std::string, std::string>{"deaf", daemon.server()},
                                         {"nosuch", daemon.server()},
                                         {"", "unix:" + daemon.socketPath() + ".missing"}}) {
        const MicrophoneDelay none = measureMicrophoneDelay({server, source});
        EXPECT_EQ(none.delay, std::nullopt) << source;
        EXPECT_FALSE(none.failure.empty()) << source;
    }
}

}  // namespace
}  // namespace vocalis
