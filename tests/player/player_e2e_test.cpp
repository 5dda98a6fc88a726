// The whole player as a venue runs it: driven by the remote, phones and media keys (gdbus), read over HTTP.
#include <gmock/gmock.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "app/media_samples.h"
#include "remote/phone_client.h"
#include "remote/wire_protocol.h"
#include "support/background_program.h"
#include "support/run_program.h"
#include "support/socket_client.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
using nlohmann::json;
using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The two songs, each `seconds` long, and the clips.
void makeLibrary(const TempDir& dir, const std::string& first, const std::string& second, int seconds) {
    std::filesystem::create_directories(dir / "songs");
    for (const auto& song : {first, second}) makeVideo(dir / ("songs/" + song), seconds, "160x120");
    makeVideo(dir / "intro.mp4", 1, "160x120");
    makeVideo(dir / "idle.mp4", 3, "160x120");
}

std::vector<std::string> operator+(std::vector<std::string> first, const std::vector<std::string>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string freePort(bool udp = false) {
    asio::io_context context;
    const auto any = asio::ip::address_v4::loopback();
    if (udp) return std::to_string(asio::ip::udp::socket(context, {any, 0}).local_endpoint().port());
    return std::to_string(asio::ip::tcp::acceptor(context, {any, 0}).local_endpoint().port());
}

// The player, mute and offscreen, on dir's songs and clips, on free ports, on the bus at `bus` (default
// none), with any `more` options.
class PlayerRun {
  public:
    PlayerRun(const TempDir& dir, const std::string& name, const std::string& bus = "",
              std::vector<std::string> more = {})
        : home(dir / name),
          program(programPath("vocalis-player"),
                  words("--no-sound --data-dir",
                        {home + "/data", "--songs", dir / "songs", "--intro-clip", dir / "intro.mp4",
                         "--idle-clip", dir / "idle.mp4", "--media-port", mediaPort, "--thumbnail-port",
                         thumbnailPort, "--remote-port", remotePort, "--discovery-port", discoveryPort,
                         "--web-port", webPort}) +
                      more,
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
        return eventually([&] { return remote({"md5"}).status == 0 || !program.running(); }, 90s) &&
               program.running();
    }
    std::string log() const { return readFile(home + ".log"); }

    const std::string mediaPort = freePort(), thumbnailPort = freePort(), remotePort = freePort(),
                      discoveryPort = freePort(true), webPort = freePort();
    const std::string home;
    BackgroundProgram program;
};

// One request to the browser remote on `port`: its JSON answer, or null when none came.
json web(const std::string& port, const std::string& target, const json& body = nullptr, bool post = true) {
    const std::string text = body.is_null() ? "" : body.dump();
    const HttpAnswer answer =
        ask(static_cast<std::uint16_t>(std::stoi(port)),
            (post ? "POST " : "GET ") + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                std::to_string(text.size()) + "\r\n\r\n" + text);
    return answer.status == 200 ? json::parse(answer.body, nullptr, false) : json(nullptr);
}

json state(const PlayerRun& run) { return web(run.webPort, "/api/state", nullptr, false); }

// The waiting songs as the page shows them: title, name, key.
json waiting(const json& state) {
    json songs = json::array();
    if (state.is_object())
        for (const auto& song : state["queue"]) songs.push_back({song["title"], song["name"], song["key"]});
    return songs;
}

// The player's sockets that a child of it would inherit (not close-on-exec), by descriptor.
std::vector<std::string> inheritableSockets(pid_t pid) {
    std::vector<std::string> found;
    const std::string proc = "/proc/" + std::to_string(pid);
    for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!target.starts_with("socket:")) continue;
        const std::string info = readFile(proc + "/fdinfo/" + entry.path().filename().string());
        const auto at = info.find("flags:");
        if (at != std::string::npos && !(std::stoul(info.substr(at + 6), nullptr, 8) & O_CLOEXEC))
            found.push_back(entry.path().filename().string() + " " + target);
    }
    return found;
}

}  // namespace

// What main wires together beyond the engine: phones hear the engine, songs and their pictures are
// served on the ports given, the browser remote and discovery answer, and SIGTERM shuts all down.
TEST(Player, PlaysQueuedSongsForPhonesAndShutsDownCleanly) {
    TempDir dir;
    makeLibrary(dir, "Ba - Cúc.vcv", "Hai - Bình.mp4", 5);
    // A picture for song "Ba" in the thumbnail folder, found by its keys.
    dir.write("run/data/thumbnail/ba-cuc.jpg", std::string("\xFF\xD8\xFF\xE0 fake jpeg", 14));
    PlayerRun run(dir, "run");  // no session bus: it runs on without media keys
    ASSERT_TRUE(run.ready()) << run.log();
    EXPECT_THAT(inheritableSockets(run.program.pid()), ::testing::IsEmpty());
    PhoneClient phone;
    ASSERT_TRUE(phone.connect("127.0.0.1", std::stoi(run.remotePort), 5s)) << phone.error();
    ASSERT_TRUE(phone.send(wire::action(wire::kChecksumRequest), 5s));
    ASSERT_TRUE(phone.receive(wire::kChecksumMessage, 5s));  // in: it hears what follows
    const auto next = [&](std::uint8_t code) {  // the next notification of that kind, skipping others
        return phone.receive(code, 20s).value_or(PlayerMessage{code, INT32_MIN, 0, "<none>"});
    };
    const auto curl = [](const std::string& args, const std::string& portAndPath) {
        return runProgram("curl", words("-s " + args, {"http://127.0.0.1:" + portAndPath}));
    };

    // "Ba", a .vcv song, starts at once, read through the local media service; "Hai" waits.
    EXPECT_EQ(run.remote({"add", "0"}).status, 0);
    EXPECT_EQ(next(wire::kCurrentSongMessage).value, 0);
    EXPECT_EQ(next(wire::kQueueMessage).text, "");
    run.remote({"add", "1"});
    EXPECT_EQ(next(wire::kQueueMessage).text, "1");
    const auto song = curl("-f", run.mediaPort + "/0");
    EXPECT_TRUE(song.out == readFile(dir / "songs/Ba - Cúc.vcv")) << song.out.size();
    // Its picture for phones, on the port given.
    EXPECT_THAT(curl("-i", run.thumbnailPort + "/0").out, AllOf(HasSubstr("200"), HasSubstr("image/jpeg")));
    // Each song plays to its end and, with nothing queued, the idle clip follows. libVLC really
    // read "Ba" over the media service: its pictures are counted when it is unloaded.
    const auto pictureLines = [&] { return occurrences(run.log(), "Pictures of the last media: "); };
    const int beforeBa = pictureLines();
    EXPECT_EQ(next(wire::kCurrentSongMessage).value, 1);
    EXPECT_TRUE(eventually([&] { return pictureLines() == beforeBa + 1; }, 3s)) << run.log();
    EXPECT_EQ(next(wire::kCurrentSongMessage).value, -1);
    EXPECT_EQ(next(wire::kPlayStateMessage).value, 1);

    // Nothing was scored without a microphone: FFmpeg's demuxers and aubio were never loaded.
    EXPECT_THAT(
        readFile("/proc/" + std::to_string(run.program.pid()) + "/maps"),
        Not(AnyOf(HasSubstr("libvocalis_analysis"), HasSubstr("libaubio"), HasSubstr("libavformat"))));

    const auto found = runProgram(programPath("vocalis-remote"), {"discover", "--host", "127.0.0.1", "--port",
                                                                  run.discoveryPort, "--timeout", "2"});
    EXPECT_THAT(found.out, HasSubstr("Vocalis Player macOS;")) << found.err;
    // SIGTERM ends it like closing the window; nothing is left listening.
    EXPECT_EQ(run.program.stop(SIGTERM, 20s), 0) << run.log();
    for (const auto& port : {run.mediaPort, run.thumbnailPort, run.remotePort, run.webPort}) {
        PhoneClient late;
        EXPECT_FALSE(late.connect("127.0.0.1", std::stoi(port), 2s)) << port;
    }
}

constexpr const char* kName = "org.mpris.MediaPlayer2.vocalis";

TEST(MediaKeys, KeysActOnThePlayerAndItsStateFollowsTheSongs) {
    TempDir dir;
    const std::string address = "unix:path=" + (dir / "bus");
    BackgroundProgram bus("/usr/bin/dbus-daemon", {"--session", "--nofork", "--address=" + address}, {},
                          dir / "bus.log");
    makeLibrary(dir, "Một - An.mp4", "Hai - Bình.mp4", 60);
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(dir / "bus"); }, 10s))
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

    // The player asked the desktop to keep the screen awake; this bus has no one to do it.
    EXPECT_TRUE(eventually([&] { return contains(player.log(), "no desktop service keeps it awake"); }, 10s))
        << player.log();
    // The idle clip is no track.
    EXPECT_THAT(property("Metadata"), HasSubstr("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    EXPECT_TRUE(eventually([&] { return contains(property("PlaybackStatus"), "'Playing'"); }, 10s))
        << property("PlaybackStatus");

    BackgroundProgram monitor("/usr/bin/gdbus", {"monitor", "--address", address, "--dest", kName}, {},
                              dir / "monitor.log");
    std::this_thread::sleep_for(500ms);                // subscribed before the first change
    ASSERT_EQ(player.remote({"add", "1"}).status, 0);  // "Một - An"
    ASSERT_EQ(player.remote({"add", "0"}).status, 0);  // "Hai - Bình" waits
    EXPECT_TRUE(eventually([&] { return contains(property("Metadata"), "'mpris:length'"); }, 10s));
    EXPECT_THAT(
        property("Metadata"),
        AllOf(HasSubstr("'xesam:title': <'Một'>"), HasSubstr("'xesam:artist': <['An']>"), HasSubstr("/1'>"),
              HasSubstr("'mpris:artUrl': <'http://127.0.0.1:"), HasSubstr("'mpris:length': <int64 60")));

    // Each key, then the state and song it leaves. Play and Pause change nothing when the
    // player is already there; Next waits out the start lock, Previous the replay lock. A start
    // holds Next back a while (CanGoNext false, then true, each announced); a replay jumps to 0.
    const auto monitorSince = [&](std::size_t from) {
        const std::string log = readFile(dir / "monitor.log");
        return from < log.size() ? log.substr(from) : std::string();
    };
    // The key, the state and song it leaves, and how long to wait before it.
    const std::tuple<std::string, const char*, int, int> steps[] = {
        {"Pause", "Paused", 1, 0},    {"Pause", "Paused", 1, 0},     {"Play", "Playing", 1, 0},
        {"Play", "Playing", 1, 0},    {"PlayPause", "Paused", 1, 0}, {"PlayPause", "Playing", 1, 0},
        {"Next", "Playing", 0, 2100}, {"Pause", "Paused", 0, 0},     {"Previous", "Playing", 0, 2100}};
    for (const auto& [method, status, song, waitMs] : steps) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        const std::size_t heard = readFile(dir / "monitor.log").size();
        const auto called = call(kName, "org.mpris.MediaPlayer2.Player." + method);
        EXPECT_EQ(called.status, 0) << method << called.err;
        const auto shown = [&] {
            return contains(property("PlaybackStatus"), status) &&
                   contains(property("Metadata"), "/org/vocalis/song/" + std::to_string(song) + "'");
        };
        EXPECT_TRUE(eventually(shown, 5s))
            << method << ": " << property("PlaybackStatus") << property("Metadata");
        std::this_thread::sleep_for(300ms);  // a change that should not happen has its time
        EXPECT_THAT(property("PlaybackStatus"), HasSubstr(status)) << method;
        if (method != "Next" && method != "Previous") continue;
        const auto heldThenFree = [&] {
            const std::string news = monitorSince(heard);
            return news.find("{'CanGoNext': <true>}", news.find("{'CanGoNext': <false>}")) !=
                   std::string::npos;
        };
        EXPECT_TRUE(eventually(heldThenFree, 5s)) << method << ": " << monitorSince(heard);
        EXPECT_THAT(property("CanGoNext"), HasSubstr("true"));
        EXPECT_EQ(contains(monitorSince(heard), ".Seeked (int64 0,)"), method == "Previous")
            << monitorSince(heard);
    }
    // The position, in microseconds, follows the song replayed.
    const auto position = [&] {
        const std::string shown = property("Position");
        const auto at = shown.find("int64 ");
        return at == std::string::npos ? -1LL : std::stoll(shown.substr(at + 6));
    };
    const long long early = position();
    EXPECT_TRUE(early >= 0 && eventually([&] { return position() > early + 500'000; }, 5s)) << early;
    EXPECT_LT(position(), 60'000'000);
    EXPECT_THAT(readFile(dir / "monitor.log"),
                AllOf(HasSubstr("{'PlaybackStatus': <'Paused'>}"), HasSubstr("'xesam:title': <'Hai'>")));

    // A second player does not take the name: it answers under its own, and the first keeps
    // the keys. Quit ends it like closing its window.
    const std::string owner = call("org.freedesktop.DBus", "org.freedesktop.DBus.GetNameOwner", {kName}).out;
    PlayerRun second(dir, "second", address);
    ASSERT_TRUE(eventually([&] { return contains(names(), std::string(kName) + ".instance"); }, 30s))
        << names() << second.log();
    EXPECT_EQ(call("org.freedesktop.DBus", "org.freedesktop.DBus.GetNameOwner", {kName}).out, owner);
    EXPECT_EQ(second.program.stop(SIGTERM, 20s), 0) << second.log();

    EXPECT_EQ(call(kName, "org.mpris.MediaPlayer2.Quit").status, 0);
    EXPECT_EQ(player.program.stop(0, 20s), 0) << player.log();
    EXPECT_THAT(names(), Not(HasSubstr(kName)));
}

// The queue outlives the player: a kill resumes the song playing near where it was (and leaves the take
// it was filming playable up to its last second or so), a quit keeps the queue but for a drive gone at
// the restart, a broken store is moved aside while the player plays on, and a second player keeps off it.
TEST(Player, KeepsItsQueueAndItsTakeAcrossQuitsKillsAndALostDrive) {
    TempDir dir;
    makeLibrary(dir, "Một - An.mp4", "Hai - Bình.mp4", 60);
    std::filesystem::create_directories(dir / "drive");
    std::filesystem::copy_file(dir / "songs/Hai - Bình.mp4", dir / "drive/Ba - Cúc.mp4");
    const std::vector<std::string> drive{"--songs", dir / "drive", "--camera",
                                         makeVideo(dir / "camera.mp4", 30, "640x360")};
    std::optional<PlayerRun> run;
    const auto start = [&] {
        run.emplace(dir, "run", "", drive);  // after the last run's end
        ASSERT_TRUE(run->ready()) << run->log();
    };
    const auto current = [&] { return state(*run)["current"]; };
    const auto seconds = [&] {
        const json now = current();
        return now.is_object() && now["position"].is_number() ? now["position"].get<double>() : -1.0;
    };
    start();
    // Ids follow the folded titles: Ba 0, Hai 1, Một 2.
    ASSERT_EQ(web(run->webPort, "/api/queue", {{"id", 2}, {"name", "An"}, {"key", 2}})["current"]["title"],
              "Một");
    web(run->webPort, "/api/queue", {{"id", 1}, {"name", "Bình"}, {"key", -1}});
    const json queued = waiting(web(run->webPort, "/api/queue", {{"id", 0}, {"key", 3}}));
    EXPECT_EQ(queued, json::parse(R"([["Hai","Bình",-1],["Ba",null,3]])"));
    EXPECT_TRUE(eventually([&] { return current()["length"].is_number(); }, 10s)) << current();
    EXPECT_NEAR(current()["length"].get<double>(), 60, 1);

    ASSERT_EQ(run->remote({"record"}).status, 0);
    ASSERT_TRUE(eventually([&] { return contains(run->log(), "Camera: take started: "); }, 20s))
        << run->log();
    const auto filming = std::chrono::steady_clock::now();

    // A kill amid a burst of changes from the page: it goes on 3 s before where it was last saved
    // (at most a few seconds old), and the queue is the one the page was last answered with, or
    // that with the change in flight; never older, never mixed.
    ASSERT_TRUE(eventually([&] { return seconds() >= 8; }, 20s)) << current();
    const double killedAt = seconds();
    std::mt19937 random(std::random_device{}());
    const int killAfter = 20 + static_cast<int>(random() % 150);
    std::mutex guard;
    json answered = queued, inFlight;
    std::atomic<int> done = 0;
    std::thread page([&, port = run->webPort] {
        for (int n = 0; n < 200; ++n) {
            const int key = static_cast<int>(random() % 13) - 6;
            std::unique_lock lock(guard);
            inFlight = answered;
            if (n % 2 == 0) std::swap(inFlight[0], inFlight[1]);
            if (n % 2 == 1) inFlight[1][2] = key;
            lock.unlock();
            const json reply =
                n % 2 == 0 ? web(port, "/api/queue/1/up") : web(port, "/api/queue/1/key", {{"key", key}});
            if (!reply.is_object()) return;
            lock.lock();
            answered = waiting(reply);
            ++done;
        }
    });
    EXPECT_TRUE(eventually([&] { return done >= killAfter; }, 60s));
    EXPECT_EQ(run->program.stop(SIGKILL, 20s), -1);
    page.join();
    EXPECT_LT(done, 200) << "the kill came after the burst";
    const double filmed = std::chrono::duration<double>(std::chrono::steady_clock::now() - filming).count();
    const std::vector<std::filesystem::directory_entry> takes(
        std::filesystem::directory_iterator(run->home + "/data/record"), {});
    ASSERT_EQ(takes.size(), 1u);
    const auto probe = [&](const std::string& entries) {
        return runProgram("ffprobe",
                          words("-v error -of csv=p=0 -show_entries " + entries, {takes[0].path()}));
    };
    EXPECT_EQ(probe("stream=codec_type").out, "video\naudio\n");
    EXPECT_NEAR(std::atof(probe("format=duration").out.c_str()), filmed, 3.0);
    start();
    EXPECT_TRUE(eventually([&] { return seconds() >= 0; }, 10s)) << current();
    EXPECT_THAT(run->log(), HasSubstr("The last run ended while a song played"));
    EXPECT_GT(seconds(), killedAt - 9) << killedAt;
    EXPECT_LT(seconds(), killedAt) << killedAt;
    EXPECT_EQ(current()["title"], "Một");
    const json restored = waiting(state(*run));
    EXPECT_TRUE(restored == answered || restored == inFlight)
        << done << " answered: " << answered << "\nin flight: " << inFlight << "\nrestored: " << restored;

    // The drive with "Ba" is gone at the next start: "Ba" is left out, said once.
    EXPECT_EQ(run->program.stop(SIGTERM, 20s), 0) << run->log();
    std::filesystem::remove_all(dir / "drive");
    start();
    EXPECT_TRUE(eventually([&] { return waiting(state(*run)).size() == 1; }, 10s)) << state(*run);
    EXPECT_EQ(occurrences(run->log(), "Not found, left out of the queue: Ba - Cúc\n"), 1) << run->log();

    // Garbage in place of the store: moved aside, a fresh store, and the player plays on.
    EXPECT_EQ(run->program.stop(SIGTERM, 20s), 0) << run->log();
    for (const char* suffix : {"-wal", "-shm"})
        std::filesystem::remove(run->home + "/data/vocalis.db" + suffix);
    dir.write("run/data/vocalis.db", std::string(8192, 'x'));
    start();
    EXPECT_EQ(state(*run)["current"], nullptr);
    EXPECT_EQ(web(run->webPort, "/api/queue", {{"id", 0}})["current"]["title"], "Hai");
    // A second player on the same data folder runs without a store, says so once, and leaves it be.
    PlayerRun second(dir, "second", "", {"--data-dir", run->home + "/data"});
    ASSERT_TRUE(second.ready()) << second.log();
    EXPECT_EQ(occurrences(second.log(), "runs without a store"), 1) << second.log();
    EXPECT_EQ(second.program.stop(SIGTERM, 20s), 0) << second.log();
    EXPECT_EQ(run->program.stop(SIGTERM, 20s), 0) << run->log();
    start();
    EXPECT_TRUE(eventually([&] { return current()["title"] == "Hai"; }, 10s)) << current();
    EXPECT_EQ(run->program.stop(SIGTERM, 20s), 0) << run->log();
}
