// The whole player as a venue runs it: driven by the remote, phones and media keys (gdbus), read over HTTP.
#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "remote/phone_client.h"
#include "remote/wire_protocol.h"
#include "support/background_program.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

namespace {

// A clip of a test picture with `tracks` tones of 440, 1000, ... Hz.
void makeClip(const std::string& path, int seconds, int tracks = 1, const std::string& format = "mp4") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string length = std::to_string(seconds);
    std::string args = "-v error -y -f lavfi -i testsrc=s=160x120:r=10:d=" + length, maps = " -map 0";
    for (int t = 1; t <= tracks; ++t) {
        args += " -f lavfi -i sine=f=" + std::to_string(440 + 560 * (t - 1)) + ":d=" + length;
        maps += " -map " + std::to_string(t);
    }
    args += maps + " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f " + format;
    ASSERT_EQ(runProgram("ffmpeg", words(args, {path})).status, 0) << path;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (; !done(); std::this_thread::sleep_for(100ms))
        if (std::chrono::steady_clock::now() > deadline) return false;
    return true;
}

std::string freePort(bool udp = false) {
    asio::io_context context;
    const auto any = asio::ip::address_v4::loopback();
    if (udp) return std::to_string(asio::ip::udp::socket(context, {any, 0}).local_endpoint().port());
    return std::to_string(asio::ip::tcp::acceptor(context, {any, 0}).local_endpoint().port());
}

// The player, mute and offscreen, on dir's songs and clips, on free ports, on the bus at `bus` (default
// none).
class PlayerRun {
  public:
    PlayerRun(const TempDir& dir, const std::string& name, const std::string& bus = "")
        : home(dir / name),
          program(programPath("vocalis-player"),
                  {"--no-sound", "--data-dir", home + "/data", "--songs", dir / "songs", "--intro-clip",
                   dir / "intro.mp4", "--idle-clip", dir / "idle.mp4", "--media-port", mediaPort,
                   "--thumbnail-port", thumbnailPort, "--remote-port", remotePort, "--discovery-port",
                   discoveryPort, "--web-port", webPort},
                  {"QT_QPA_PLATFORM=offscreen", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                   "XDG_RUNTIME_DIR=" + dir.path(), "PULSE_SERVER=unix:" + (dir / "no-pulse"),
                   "DBUS_SESSION_BUS_ADDRESS=" + (bus.empty() ? "unix:path=" + (dir / "no-bus") : bus)},
                  home + ".log") {}

    ProgramResult remote(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", remotePort});
        return runProgram(programPath("vocalis-remote"), args);
    }
    // Phones get in once the intro has ended with the catalogue loaded.
    bool ready() {
        return waitFor([&] { return remote({"md5"}).status == 0 || !program.running(); }, 90s) &&
               program.running();
    }
    std::string log() const { return readFile(home + ".log"); }

    const std::string mediaPort = freePort(), thumbnailPort = freePort(), remotePort = freePort(),
                      discoveryPort = freePort(true), webPort = freePort();
    const std::string home;
    BackgroundProgram program;
};

}  // namespace

TEST(Player, PlaysQueuedSongsForPhonesAndShutsDownCleanly) {
    TempDir dir;
    makeClip(dir / "songs/NhacTre/Một - An.mp4", 6, 2);
    makeClip(dir / "songs/Hai - Bình.mkv", 6, 2, "matroska");
    makeClip(dir / "songs/Ba - Cúc.vcv", 6, 2);
    makeClip(dir / "intro.mp4", 2);
    makeClip(dir / "idle.mp4", 3);
    // A picture for song "Ba" in the thumbnail folder, found by its keys.
    dir.write("run/data/thumbnail/ba-cuc.jpg", std::string("\xFF\xD8\xFF\xE0 fake jpeg", 14));
    PlayerRun run(dir, "run");
    ASSERT_TRUE(run.ready()) << run.log();
    EXPECT_TRUE(contains(run.log(), "No session bus, media keys are off"));  // and it runs on
    EXPECT_EQ(run.remote({"md5"}).out.size(), 33u);
    const auto catalogue = run.remote({"catalogue"});
    EXPECT_TRUE(contains(catalogue.out, "0\tBa\tb\tba\tba\tCúc\tc\tcuc\tcuc\t0\t0\t-\t\n")) << catalogue.out;
    EXPECT_TRUE(contains(catalogue.out, "2\tMột\tm\tmot\tmot\tAn\ta\tan\tan\t0\t0\tNhacTre\t"));
    EXPECT_EQ(run.remote({"current"}).out, "-1\n");  // the idle clip

    PhoneClient phone;
    ASSERT_TRUE(phone.connect("127.0.0.1", std::stoi(run.remotePort), 5s)) << phone.error();
    ASSERT_TRUE(phone.send(wire::action(wire::kChecksumRequest), 5s));
    ASSERT_TRUE(phone.receive(wire::kChecksumMessage, 5s));
    // The next notification of that kind, skipping others.
    const auto next = [&](std::uint8_t code) {
        auto message = phone.receive(code, 20s);
        if (!message) ADD_FAILURE() << "no message " << int(code) << ": " << phone.error();
        return message.value_or(PlayerMessage{code, INT32_MIN, 0, "<none>"});
    };
    const auto curl = [](const std::string& args, const std::string& portAndPath) {
        return runProgram("curl", words("-s " + args, {"http://127.0.0.1:" + portAndPath}));
    };

    // Queue three songs: the first starts at once, the others wait.
    EXPECT_EQ(run.remote({"add", "2"}).status, 0);
    EXPECT_EQ(next(wire::kCurrentSongMessage).value, 2);
    EXPECT_EQ(next(wire::kQueueMessage).text, "");
    run.remote({"add", "1"});
    EXPECT_EQ(next(wire::kQueueMessage).text, "1");
    run.remote({"add-first", "0"});
    EXPECT_EQ(next(wire::kQueueMessage).text, "0 1");
    EXPECT_EQ(run.remote({"queue"}).out, "0\n1\n");

    // Skip to the next ("Ba", a .vcv song read through the local media service).
    std::this_thread::sleep_for(2100ms);  // the start lock
    run.remote({"next"});
    EXPECT_EQ(next(wire::kQueueMessage).text, "1");
    EXPECT_EQ(next(wire::kCurrentSongMessage).value, 0);
    const auto song = curl("-f", run.mediaPort + "/0");
    EXPECT_EQ(song.status, 0);
    EXPECT_TRUE(song.out == readFile(dir / "songs/Ba - Cúc.vcv")) << song.out.size();
    const auto other = curl("-o /dev/null -w %{http_code}", run.mediaPort + "/2");
    EXPECT_EQ(other.out, "404");  // not the current song
    // Its picture for phones, and the browser remote on the port it was given sees the same song.
    const auto picture = curl("-i", run.thumbnailPort + "/0");
    EXPECT_TRUE(contains(picture.out, "200"));
    EXPECT_TRUE(contains(picture.out, "image/jpeg"));
    const auto state = curl("-f", run.webPort + "/api/state");
    EXPECT_TRUE(contains(state.out, "\"title\":\"Ba\"")) << state.out << state.err;

    // Replay restarts it; remove takes the waiting song out; then the song plays to its end
    // and, with nothing queued, the idle clip follows.
    std::this_thread::sleep_for(2100ms);
    run.remote({"replay"});
    EXPECT_EQ(next(wire::kCurrentSongMessage).value, 0);
    run.remote({"remove", "0"});
    EXPECT_EQ(next(wire::kQueueMessage).text, "");
    run.remote({"add", "1"});
    EXPECT_EQ(next(wire::kQueueMessage).text, "1");
    EXPECT_EQ(next(wire::kQueueMessage).text, "");  // "Ba" ended and left the queue
    EXPECT_EQ(next(wire::kCurrentSongMessage).value, 1);
    EXPECT_EQ(next(wire::kCurrentSongMessage).value, -1);  // "Hai" ended too: idle
    EXPECT_EQ(next(wire::kPlayStateMessage).value, 1);

    // Discovery answers with the device name (the login name until the operator sets one).
    const auto found = runProgram(programPath("vocalis-remote"), {"discover", "--host", "127.0.0.1", "--port",
                                                                  run.discoveryPort, "--timeout", "2"});
    EXPECT_TRUE(contains(found.out, "Vocalis Player macOS;")) << found.out << found.err;
    EXPECT_TRUE(contains(found.out, ";700"));

    // SIGTERM ends it like closing the window; nothing is left listening.
    EXPECT_EQ(run.program.stop(SIGTERM, 20s), 0) << run.log();
    for (const auto& port : {run.mediaPort, run.thumbnailPort, run.remotePort, run.webPort}) {
        PhoneClient late;
        EXPECT_FALSE(late.connect("127.0.0.1", std::stoi(port), 2s)) << port;
    }
    EXPECT_NE(run.remote({"md5"}).status, 0);
}

constexpr const char* kName = "org.mpris.MediaPlayer2.vocalis";

TEST(MediaKeys, KeysActOnThePlayerAndItsStateFollowsTheSongs) {
    TempDir dir;
    const std::string address = "unix:path=" + (dir / "bus");
    BackgroundProgram bus("/usr/bin/dbus-daemon", {"--session", "--nofork", "--address=" + address}, {},
                          dir / "bus.log");
    makeClip(dir / "songs/Một - An.mp4", 60);
    makeClip(dir / "songs/Hai - Bình.mp4", 60);
    makeClip(dir / "intro.mp4", 1);
    makeClip(dir / "idle.mp4", 3);
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir / "bus"); }, 10s))
        << readFile(dir / "bus.log");
    const auto call = [&](const std::string& destination, const std::string& method,
                          std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"call", "--address", address, "--dest", destination, "--object-path",
                                   destination == "org.freedesktop.DBus" ? "/org/freedesktop/DBus"
                                                                         : "/org/mpris/MediaPlayer2",
                                   "--method", method});
        return runProgram("gdbus", args);
    };
    const auto property = [&](const std::string& name) {
        return call(kName, "org.freedesktop.DBus.Properties.Get", {"org.mpris.MediaPlayer2.Player", name})
            .out;
    };
    const auto names = [&] { return call("org.freedesktop.DBus", "org.freedesktop.DBus.ListNames").out; };
    PlayerRun player(dir, "first", address);
    ASSERT_TRUE(player.ready()) << player.log();

    const std::string all =
        call(kName, "org.freedesktop.DBus.Properties.GetAll", {"org.mpris.MediaPlayer2"}).out +
        call(kName, "org.freedesktop.DBus.Properties.GetAll", {"org.mpris.MediaPlayer2.Player"}).out;
    for (const char* part :
         {"'Identity': <'Vocalis Player'>", "'DesktopEntry': <'vocalis-player'>", "'CanQuit': <true>",
          "'CanRaise': <true>", "'HasTrackList': <false>", "'CanGoNext': <true>", "'CanGoPrevious': <true>",
          "'CanPlay': <true>", "'CanPause': <true>", "'CanSeek': <false>", "'CanControl': <true>"})
        EXPECT_TRUE(contains(all, part)) << all;
    // The idle clip is no track.
    EXPECT_TRUE(contains(property("Metadata"), "/org/mpris/MediaPlayer2/TrackList/NoTrack"))
        << property("Metadata");
    EXPECT_TRUE(waitFor([&] { return contains(property("PlaybackStatus"), "'Playing'"); }, 10s))
        << property("PlaybackStatus");

    BackgroundProgram monitor("/usr/bin/gdbus", {"monitor", "--address", address, "--dest", kName}, {},
                              dir / "monitor.log");
    std::this_thread::sleep_for(500ms);                // subscribed before the first change
    ASSERT_EQ(player.remote({"add", "1"}).status, 0);  // "Một - An"
    ASSERT_EQ(player.remote({"add", "0"}).status, 0);  // "Hai - Bình" waits
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
    const struct {
        const char *method, *status;
        int song, waitMs;
    } steps[] = {
        {"Pause", "Paused", 1, 0},    {"Pause", "Paused", 1, 0},     {"Play", "Playing", 1, 0},
        {"Play", "Playing", 1, 0},    {"PlayPause", "Paused", 1, 0}, {"PlayPause", "Playing", 1, 0},
        {"Next", "Playing", 0, 2100}, {"Pause", "Paused", 0, 0},     {"Previous", "Playing", 0, 2100}};
    for (const auto& step : steps) {
        std::this_thread::sleep_for(std::chrono::milliseconds(step.waitMs));
        const auto called = call(kName, std::string("org.mpris.MediaPlayer2.Player.") + step.method);
        EXPECT_EQ(called.status, 0) << step.method << called.err;
        const auto shown = [&] {
            return contains(property("PlaybackStatus"), step.status) &&
                   contains(property("Metadata"), "/org/vocalis/song/" + std::to_string(step.song) + "'");
        };
        EXPECT_TRUE(waitFor(shown, 5s))
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
    PlayerRun second(dir, "second", address);
    std::string instance;
    ASSERT_TRUE(waitFor(
        [&] {
            const std::string list = names();
            const auto at = list.find(std::string(kName) + ".instance");
            if (at != std::string::npos) instance = list.substr(at, list.find('\'', at) - at);
            return !instance.empty();
        },
        30s))
        << names() << second.log();
    EXPECT_EQ(call("org.freedesktop.DBus", "org.freedesktop.DBus.GetNameOwner", {kName}).out, owner);
    EXPECT_TRUE(contains(second.log(), "Another player holds " + std::string(kName)));
    EXPECT_EQ(call(instance, "org.mpris.MediaPlayer2.Quit").status, 0);
    EXPECT_EQ(second.program.stop(0, 20s), 0) << second.log();
    EXPECT_TRUE(player.program.running());

    EXPECT_EQ(call(kName, "org.mpris.MediaPlayer2.Quit").status, 0);
    EXPECT_EQ(player.program.stop(0, 20s), 0) << player.log();
    EXPECT_FALSE(contains(names(), kName));
}
