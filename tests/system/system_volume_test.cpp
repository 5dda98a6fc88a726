// The system volume against a real PulseAudio daemon with a null sink, started by the test.

#include <gtest/gtest.h>

#include <cmath>

#include "support/run_program.h"
#include "system/pulse_daemon.h"
#include "system/pulse_system_volume.h"

namespace vocalis {
namespace {

using testing::PulseDaemon;

// pactl, as a second opinion on what the sound server holds.
std::string pactl(const PulseDaemon& daemon, std::vector<std::string> args) {
    args.insert(args.begin(), {"--server", daemon.server()});
    const auto result = testing::runProgram("/usr/bin/pactl", args);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

class SystemVolumeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(daemon.running()) << "pulseaudio did not start; see " << daemon.log();
    }

    // The volume and the messages logged while `action` ran.
    template <typename Action>
    std::string logged(Action action) {
        ::testing::internal::CaptureStderr();
        action();
        return ::testing::internal::GetCapturedStderr();
    }

    PulseDaemon daemon;
    PulseSystemVolume volume{daemon.server()};
};

TEST_F(SystemVolumeTest, SetsReadsLimitsAndMutes) {
    volume.setSystemVolume(0.5f);
    EXPECT_NEAR(volume.systemVolume(), 0.5f, 0.001f);
    EXPECT_EQ(volume.isMuted(), false);
    EXPECT_NE(pactl(daemon, {"get-sink-volume", PulseDaemon::kSinkName}).find("50%"), std::string::npos);

    // Above full: limited to 1.0, with the request and the limit in the log.
    std::string messages = logged([&] { volume.setSystemVolume(1.3f); });
    EXPECT_NE(messages.find("Tentative volume ( 1.30) was out of range; reset to  1.00"), std::string::npos)
        << messages;
    EXPECT_FLOAT_EQ(volume.systemVolume(), 1.0f);

    // Just above silence mutes instead, leaving the volume where it was.
    volume.setSystemVolume(0.004f);
    EXPECT_EQ(volume.isMuted(), true);
    EXPECT_FLOAT_EQ(volume.systemVolume(), 1.0f);
    EXPECT_NE(pactl(daemon, {"get-sink-mute", PulseDaemon::kSinkName}).find("yes"), std::string::npos);

    // Any real volume unmutes.
    volume.setSystemVolume(0.3f);
    EXPECT_EQ(volume.isMuted(), false);
    EXPECT_NEAR(volume.systemVolume(), 0.3f, 0.001f);

    // Steps up and down, as the volume keys make them.
    volume.increaseSystemVolumeBy(0.095f);
    EXPECT_NEAR(volume.systemVolume(), 0.395f, 0.001f);
    volume.decreaseSystemVolumeBy(0.095f);
    EXPECT_NEAR(volume.systemVolume(), 0.3f, 0.001f);

    // Volume down from 0.15: 0.055, then a further 0.1 asks for -0.045, which mutes.
    volume.setSystemVolume(0.15f);
    volume.decreaseSystemVolumeBy(0.095f);
    EXPECT_NEAR(volume.systemVolume(), 0.055f, 0.001f);
    messages = logged([&] { volume.decreaseSystemVolumeBy(0.1f); });
    EXPECT_NE(messages.find("Tentative volume (-0.0"), std::string::npos) << messages;
    EXPECT_NE(messages.find(") was out of range; reset to  0.00"), std::string::npos) << messages;
    EXPECT_EQ(volume.isMuted(), true);
    EXPECT_EQ(static_cast<int>(volume.systemVolume() * 10), 0);
    volume.increaseSystemVolumeBy(0.095f);
    EXPECT_EQ(volume.isMuted(), false);
    EXPECT_NEAR(volume.systemVolume(), 0.15f, 0.001f);

    // A volume beyond 100 % set elsewhere reads as full.
    pactl(daemon, {"set-sink-volume", PulseDaemon::kSinkName, "150%"});
    EXPECT_FLOAT_EQ(volume.systemVolume(), 1.0f);

    // Not a number changes nothing.
    volume.setSystemVolume(0.6f);
    volume.setSystemVolume(std::nanf(""));
    EXPECT_NEAR(volume.systemVolume(), 0.6f, 0.001f);
}

TEST_F(SystemVolumeTest, KeepsTheBalanceBetweenChannels) {
    pactl(daemon, {"set-sink-volume", PulseDaemon::kSinkName, "80%", "40%"});
    EXPECT_NEAR(volume.systemVolume(), 0.8f, 0.001f);
    volume.setSystemVolume(0.4f);
    const std::string channels = pactl(daemon, {"get-sink-volume", PulseDaemon::kSinkName});
    EXPECT_NE(channels.find("40%"), std::string::npos) << channels;
    EXPECT_NE(channels.find("20%"), std::string::npos) << channels;
}

// What one press of a volume key asks of the system volume.
void volumeKey(SystemVolume& volume) {
    volume.increaseSystemVolumeBy(0.095f);
    (void)volume.systemVolume();
}

TEST_F(SystemVolumeTest, FailsQuietlyWithoutASoundServer) {
    PulseSystemVolume nowhere("unix:" + daemon.socketPath() + ".missing");
    // Said once, however many volume commands follow.
    std::string messages = logged([&] {
        EXPECT_EQ(nowhere.systemVolume(), 0.0f);
        for (int key = 0; key < 5; ++key) volumeKey(nowhere);
    });
    EXPECT_EQ(messages, "Unable to get default audio device\n");
    EXPECT_EQ(nowhere.isMuted(), std::nullopt);

    // A socket that accepts but never answers: the bounded wait gives up.
    {
        const std::string path = daemon.socketPath() + ".silent";
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener, 4), 0);
        PulseSystemVolume silent("unix:" + path, std::chrono::milliseconds(300));
        EXPECT_EQ(silent.systemVolume(), 0.0f);
        silent.setSystemVolume(0.5f);
        ::close(listener);
    }

    // A server that goes away: reads give 0.0, writes change nothing, and nothing hangs.
    volume.setSystemVolume(0.7f);
    ASSERT_NEAR(volume.systemVolume(), 0.7f, 0.001f);
    daemon.stop();
    EXPECT_EQ(volume.systemVolume(), 0.0f);
    volume.setSystemVolume(0.2f);
    EXPECT_EQ(volume.isMuted(), std::nullopt);
}

TEST_F(SystemVolumeTest, ReconnectsWhenTheServerComesBack) {
    volume.setSystemVolume(0.25f);
    daemon.stop();
    auto lost = [&] {
        return logged([&] {
            EXPECT_EQ(volume.systemVolume(), 0.0f);
            volumeKey(volume);
            volumeKey(volume);
        });
    };
    EXPECT_EQ(lost(), "Unable to get default audio device\n");
    // The sound server restarts (a fresh one, at its old address); the same object finds it.
    daemon.start();
    ASSERT_TRUE(daemon.running());
    EXPECT_EQ(logged([&] { volume.setSystemVolume(0.65f); }), "");
    EXPECT_NEAR(volume.systemVolume(), 0.65f, 0.001f);
    EXPECT_EQ(volume.isMuted(), false);
    // Lost again: said again, once.
    daemon.stop();
    EXPECT_EQ(lost(), "Unable to get default audio device\n");
}

}  // namespace
}  // namespace vocalis
