// The media keys as a desktop sends them: the real player on a private session bus, driven
// and read by a real D-Bus client (gdbus).
#include <gtest/gtest.h>

#include "player/player_run.h"

using namespace vocalis::testing;
using namespace std::chrono_literals;

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
        const char *method, *status, *song;
        std::chrono::milliseconds before;
    } steps[] = {
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
    for (const auto& step : steps) {
        std::this_thread::sleep_for(step.before);
        const auto called = call(kName, std::string("org.mpris.MediaPlayer2.Player.") + step.method);
        EXPECT_EQ(called.status, 0) << step.method << called.err;
        const auto shown = [&] {
            return contains(property("PlaybackStatus"), step.status) &&
                   contains(property("Metadata"), step.song);
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
