// The media keys as a desktop sends them: the real player on a private session bus, driven
// and read by a real D-Bus client (gdbus).
#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "support/background_program.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis::testing;
using namespace std::chrono_literals;

namespace {

constexpr const char* kName = "org.mpris.MediaPlayer2.vocalis";

// Adds a free port for each of the player's services; the phone port.
std::string addFreePorts(std::vector<std::string>& args) {
    asio::io_context context;
    std::string remotePort;
    for (const char* option : {"--media-port", "--thumbnail-port", "--remote-port", "--web-port"}) {
        asio::ip::tcp::acceptor acceptor(context,
                                         asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
        args.insert(args.end(), {option, std::to_string(acceptor.local_endpoint().port())});
        if (option == std::string("--remote-port")) remotePort = args.back();
    }
    asio::ip::udp::socket socket(context, asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), 0));
    args.insert(args.end(), {"--discovery-port", std::to_string(socket.local_endpoint().port())});
    return remotePort;
}

void makeMedia(const std::string& path, int seconds) {
    const std::string length = std::to_string(seconds);
    ASSERT_EQ(runProgram("ffmpeg", {"-v",
                                    "error",
                                    "-y",
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    "testsrc=s=160x120:r=10:d=" + length,
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    "sine=d=" + length,
                                    "-c:v",
                                    "libx264",
                                    "-preset",
                                    "ultrafast",
                                    "-pix_fmt",
                                    "yuv420p",
                                    "-c:a",
                                    "aac",
                                    path})
                  .status,
              0)
        << path;
}

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(100ms);
    }
    return done();
}

// A private session bus with the players on it, and gdbus as the desktop's side.
class MediaKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "songs");
        makeMedia(dir / "songs/Một - An.mp4", 60);
        makeMedia(dir / "songs/Hai - Bình.mp4", 60);
        makeMedia(dir / "intro.mp4", 1);
        makeMedia(dir / "idle.mp4", 3);
        bus = std::make_unique<BackgroundProgram>(
            "/usr/bin/dbus-daemon",
            std::vector<std::string>{"--session", "--nofork", "--address=unix:path=" + (dir / "bus")},
            std::vector<std::string>{}, dir / "bus.log");
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir / "bus"); }, 10s))
            << readFile(dir / "bus.log");
    }

    // A player on the bus (or on `busAddress`), in its own folder; its remote port.
    std::string startPlayer(const std::string& name, std::unique_ptr<BackgroundProgram>& player,
                            const std::string& busAddress = "") {
        std::vector<std::string> args{"--no-sound",      "--data-dir",  dir / (name + "/data"),
                                      "--songs",         dir / "songs", "--intro-clip",
                                      dir / "intro.mp4", "--idle-clip", dir / "idle.mp4"};
        const std::string remotePort = addFreePorts(args);
        player = std::make_unique<BackgroundProgram>(
            programPath("vocalis-player"), args,
            std::vector<std::string>{
                "QT_QPA_PLATFORM=offscreen", "HOME=" + (dir / name),
                "XDG_CONFIG_HOME=" + (dir / (name + "/config")), "XDG_RUNTIME_DIR=" + dir.path(),
                "PULSE_SERVER=unix:" + (dir / "no-pulse"),
                "DBUS_SESSION_BUS_ADDRESS=" + (busAddress.empty() ? address() : busAddress)},
            dir / (name + ".log"));
        return remotePort;
    }

    std::string address() const { return "unix:path=" + (dir / "bus"); }

    ProgramResult call(const std::string& destination, const std::string& method,
                       std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"call", "--address", address(), "--dest", destination, "--object-path",
                                   destination == "org.freedesktop.DBus" ? "/org/freedesktop/DBus"
                                                                         : "/org/mpris/MediaPlayer2",
                                   "--method", method});
        return runProgram("gdbus", args);
    }
    std::string property(const std::string& name) {
        return call(kName, "org.freedesktop.DBus.Properties.Get", {"org.mpris.MediaPlayer2.Player", name})
            .out;
    }
    std::string names() { return call("org.freedesktop.DBus", "org.freedesktop.DBus.ListNames").out; }

    TempDir dir;
    std::unique_ptr<BackgroundProgram> bus;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(MediaKeys, KeysActOnThePlayerAndItsStateFollowsTheSongs) {
    std::unique_ptr<BackgroundProgram> player;
    const std::string remotePort = startPlayer("first", player);
    const auto remote = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", remotePort});
        return runProgram(programPath("vocalis-remote"), args);
    };
    ASSERT_TRUE(waitFor([&] { return remote({"md5"}).status == 0 || !player->running(); }, 90s));
    ASSERT_TRUE(player->running()) << readFile(dir / "first.log");

    const std::string root =
        call(kName, "org.freedesktop.DBus.Properties.GetAll", {"org.mpris.MediaPlayer2"}).out;
    for (const char* part : {"'Identity': <'Vocalis Player'>", "'DesktopEntry': <'vocalis-player'>",
                             "'CanQuit': <true>", "'CanRaise': <true>", "'HasTrackList': <false>"})
        EXPECT_TRUE(contains(root, part)) << root;
    const std::string transport =
        call(kName, "org.freedesktop.DBus.Properties.GetAll", {"org.mpris.MediaPlayer2.Player"}).out;
    for (const char* part : {"'CanGoNext': <true>", "'CanGoPrevious': <true>", "'CanPlay': <true>",
                             "'CanPause': <true>", "'CanSeek': <false>", "'CanControl': <true>"})
        EXPECT_TRUE(contains(transport, part)) << transport;
    // The idle clip is no track.
    EXPECT_TRUE(contains(property("Metadata"), "/org/mpris/MediaPlayer2/TrackList/NoTrack"))
        << property("Metadata");
    EXPECT_TRUE(waitFor([&] { return contains(property("PlaybackStatus"), "'Playing'"); }, 10s))
        << property("PlaybackStatus");

    BackgroundProgram monitor("/usr/bin/gdbus", {"monitor", "--address", address(), "--dest", kName}, {},
                              dir / "monitor.log");
    std::this_thread::sleep_for(500ms);         // subscribed before the first change
    ASSERT_EQ(remote({"add", "1"}).status, 0);  // "Một - An"
    ASSERT_EQ(remote({"add", "0"}).status, 0);  // "Hai - Bình" waits
    EXPECT_TRUE(waitFor([&] { return contains(property("Metadata"), "'mpris:length'"); }, 10s));
    const std::string song = property("Metadata");
    for (const char* part : {"'xesam:title': <'Một'>", "'xesam:artist': <['An']>", "/1'>",
                             "'mpris:artUrl': <'http://127.0.0.1:", "'mpris:length': <int64 60"})
        EXPECT_TRUE(contains(song, part)) << song;
    EXPECT_TRUE(
        waitFor([&] { return contains(readFile(dir / "monitor.log"), "'xesam:title': <'Một'>"); }, 5s))
        << readFile(dir / "monitor.log");

    // Each key, then the state and song it leaves. Play and Pause change nothing when the
    // player is already there; Next waits out the start lock, Previous the replay lock.
    struct Step {
        const char* method;
        const char* status;
        const char* song;
        std::chrono::milliseconds before;
    };
    const Step steps[] = {
        {"Pause", "Paused", "/org/vocalis/song/1", 0ms},
        {"Pause", "Paused", "/org/vocalis/song/1", 0ms},
        {"Play", "Playing", "/org/vocalis/song/1", 0ms},
        {"Play", "Playing", "/org/vocalis/song/1", 0ms},
        {"PlayPause", "Paused", "/org/vocalis/song/1", 0ms},
        {"PlayPause", "Playing", "/org/vocalis/song/1", 0ms},
        {"Next", "Playing", "/org/vocalis/song/0", 2100ms},
        {"Pause", "Paused", "/org/vocalis/song/0", 0ms},
        {"Previous", "Playing", "/org/vocalis/song/0", 2100ms},
    };
    for (const Step& step : steps) {
        std::this_thread::sleep_for(step.before);
        const auto called = call(kName, std::string("org.mpris.MediaPlayer2.Player.") + step.method);
        EXPECT_EQ(called.status, 0) << step.method << called.err;
        EXPECT_TRUE(waitFor(
            [&] {
                return contains(property("PlaybackStatus"), step.status) &&
                       contains(property("Metadata"), step.song);
            },
            5s))
            << step.method << ": " << property("PlaybackStatus") << property("Metadata");
        std::this_thread::sleep_for(300ms);  // a change that should not happen has its time
        EXPECT_TRUE(contains(property("PlaybackStatus"), step.status)) << step.method;
    }
    const std::string changes = readFile(dir / "monitor.log");
    EXPECT_TRUE(contains(changes, "{'PlaybackStatus': <'Paused'>}")) << changes;
    EXPECT_TRUE(contains(changes, "'xesam:title': <'Hai'>")) << changes;

    // A second player does not take the name: it answers under its own, and the first keeps
    // the keys. Quit ends each like closing its window.
    const std::string owner = call("org.freedesktop.DBus", "org.freedesktop.DBus.GetNameOwner", {kName}).out;
    std::unique_ptr<BackgroundProgram> second;
    startPlayer("second", second);
    std::string instance;
    ASSERT_TRUE(waitFor(
        [&] {
            const std::string list = names();
            const auto at = list.find(std::string(kName) + ".instance");
            if (at != std::string::npos) instance = list.substr(at, list.find('\'', at) - at);
            return !instance.empty();
        },
        30s))
        << names() << readFile(dir / "second.log");
    EXPECT_EQ(call("org.freedesktop.DBus", "org.freedesktop.DBus.GetNameOwner", {kName}).out, owner);
    EXPECT_TRUE(contains(readFile(dir / "second.log"), "Another player holds " + std::string(kName)));
    EXPECT_EQ(call(instance, "org.mpris.MediaPlayer2.Quit").status, 0);
    EXPECT_EQ(second->stop(0, 20s), 0) << readFile(dir / "second.log");
    EXPECT_TRUE(player->running());

    EXPECT_EQ(call(kName, "org.mpris.MediaPlayer2.Quit").status, 0);
    EXPECT_EQ(player->stop(0, 20s), 0) << readFile(dir / "first.log");
    EXPECT_FALSE(contains(names(), kName));
}

TEST_F(MediaKeys, WithoutASessionBusThePlayerRunsOn) {
    std::unique_ptr<BackgroundProgram> player;
    const std::string remotePort = startPlayer("alone", player, "unix:path=" + (dir / "no-bus"));
    ASSERT_TRUE(waitFor(
        [&] {
            return runProgram(programPath("vocalis-remote"), {"--port", remotePort, "md5"}).status == 0;
        },
        90s))
        << readFile(dir / "alone.log");
    const std::string log = readFile(dir / "alone.log");
    EXPECT_TRUE(contains(log, "No session bus, media keys are off")) << log;
    EXPECT_EQ(player->stop(SIGTERM, 20s), 0) << log;
}
