// The whole player, as a venue runs it: started offscreen without sound on generated songs,
// driven by the command-line remote, read over HTTP, probed for discovery, then stopped.
#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "remote/phone_client.h"
#include "remote/wire_protocol.h"
#include "support/background_program.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::uint16_t freePort(bool udp) {
    asio::io_context context;
    if (udp) {
        asio::ip::udp::socket socket(context, asio::ip::udp::endpoint(asio::ip::udp::v4(), 0));
        return socket.local_endpoint().port();
    }
    asio::ip::tcp::acceptor acceptor(context, asio::ip::tcp::endpoint(asio::ip::tcp::v4(), 0));
    return acceptor.local_endpoint().port();
}

// A short clip: a test picture with two tones (or one track when `tracks` is 1).
void makeMedia(const std::string& path, int seconds, int tracks, const std::string& format) {
    std::vector<std::string> args{
        "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=320x240:r=10:d=" + std::to_string(seconds)};
    for (int t = 0; t < tracks; ++t) {
        args.insert(args.end(),
                    {"-f", "lavfi", "-i",
                     "sine=f=" + std::to_string(440 + 560 * t) + ":d=" + std::to_string(seconds)});
    }
    for (int t = 0; t <= tracks; ++t) args.insert(args.end(), {"-map", std::to_string(t)});
    args.insert(args.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac",
                             "-f", format, path});
    ASSERT_EQ(runProgram("/usr/bin/ffmpeg", args).status, 0) << path;
}

class PlayerRun {
  public:
    PlayerRun() {
        fs::create_directories(dir / "songs/NhacTre");
        makeMedia(dir / "songs/NhacTre/Một - An.mp4", 6, 2, "mp4");
        makeMedia(dir / "songs/Hai - Bình.mkv", 6, 2, "matroska");
        makeMedia(dir / "songs/Ba - Cúc.vcv", 6, 2, "mp4");
        makeMedia(dir / "intro.mp4", 2, 1, "mp4");
        makeMedia(dir / "idle.mp4", 3, 1, "mp4");
        // A picture for song "Ba" in the thumbnail folder, found by its keys.
        dir.write("data/thumbnail/ba-cuc.jpg", std::string("\xFF\xD8\xFF\xE0 fake jpeg", 14));
        mediaPort = freePort(false);
        thumbnailPort = freePort(false);
        remotePort = freePort(false);
        discoveryPort = freePort(true);
        webPort = freePort(false);
        player = std::make_unique<BackgroundProgram>(
            programPath("vocalis-player"),
            std::vector<std::string>{"--no-sound", "--data-dir", dir / "data", "--songs", dir / "songs",
                                     "--intro-clip", dir / "intro.mp4", "--idle-clip", dir / "idle.mp4",
                                     "--media-port", std::to_string(mediaPort), "--thumbnail-port",
                                     std::to_string(thumbnailPort), "--remote-port",
                                     std::to_string(remotePort), "--discovery-port",
                                     std::to_string(discoveryPort), "--web-port", std::to_string(webPort)},
            std::vector<std::string>{"QT_QPA_PLATFORM=offscreen", "HOME=" + dir.path(),
                                     "XDG_CONFIG_HOME=" + (dir / "config"), "XDG_RUNTIME_DIR=" + dir.path(),
                                     "PULSE_SERVER=unix:" + (dir / "no-pulse")},
            dir / "player.log");
    }

    ProgramResult remote(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", std::to_string(remotePort)});
        return runProgram(programPath("vocalis-remote"), args);
    }
    std::string log() { return readFile(dir / "player.log"); }

    TempDir dir;
    std::uint16_t mediaPort = 0, thumbnailPort = 0, remotePort = 0, discoveryPort = 0, webPort = 0;
    std::unique_ptr<BackgroundProgram> player;
};

// The next notification of that kind, skipping others.
std::int32_t nextValue(PhoneClient& phone, std::uint8_t code) {
    auto message = phone.receive(code, 20s);
    if (!message) ADD_FAILURE() << "no message " << int(code) << ": " << phone.error();
    return message ? message->value : INT32_MIN;
}
std::string nextText(PhoneClient& phone, std::uint8_t code) {
    auto message = phone.receive(code, 20s);
    if (!message) ADD_FAILURE() << "no message " << int(code) << ": " << phone.error();
    return message ? message->text : "<none>";
}

}  // namespace

TEST(Player, PlaysQueuedSongsForPhonesAndShutsDownCleanly) {
    PlayerRun run;
    ASSERT_TRUE(run.player->started());

    // Phones get in once the intro has ended with the catalogue loaded.
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    ProgramResult md5;
    while (std::chrono::steady_clock::now() < deadline && run.player->running()) {
        md5 = run.remote({"md5"});
        if (md5.status == 0) break;
        std::this_thread::sleep_for(250ms);
    }
    ASSERT_EQ(md5.status, 0) << md5.err << run.log();
    EXPECT_EQ(md5.out.size(), 33u);
    const auto catalogue = run.remote({"catalogue"});
    EXPECT_NE(catalogue.out.find("0\tBa\tb\tba\tba\tCúc\tc\tcuc\tcuc\t0\t0\t-\t\n"), std::string::npos)
        << catalogue.out;
    EXPECT_NE(catalogue.out.find("2\tMột\tm\tmot\tmot\tAn\ta\tan\tan\t0\t0\tNhacTre\t"), std::string::npos);
    EXPECT_EQ(run.remote({"current"}).out, "-1\n");  // the idle clip

    PhoneClient phone;
    ASSERT_TRUE(phone.connect("127.0.0.1", run.remotePort, 5s)) << phone.error();
    ASSERT_TRUE(phone.send(wire::action(wire::kChecksumRequest), 5s));
    ASSERT_TRUE(phone.receive(wire::kChecksumMessage, 5s));

    // Queue three songs: the first starts at once, the others wait.
    EXPECT_EQ(run.remote({"add", "2"}).status, 0);
    EXPECT_EQ(nextValue(phone, wire::kCurrentSongMessage), 2);
    EXPECT_EQ(nextText(phone, wire::kQueueMessage), "");
    run.remote({"add", "1"});
    EXPECT_EQ(nextText(phone, wire::kQueueMessage), "1");
    run.remote({"add-first", "0"});
    EXPECT_EQ(nextText(phone, wire::kQueueMessage), "0 1");
    EXPECT_EQ(run.remote({"queue"}).out, "0\n1\n");

    // Skip to the next ("Ba", a .vcv song read through the local media service).
    std::this_thread::sleep_for(2100ms);  // the start lock
    run.remote({"next"});
    EXPECT_EQ(nextText(phone, wire::kQueueMessage), "1");
    EXPECT_EQ(nextValue(phone, wire::kCurrentSongMessage), 0);
    const auto song =
        runProgram("/usr/bin/curl", {"-s", "-f", "http://127.0.0.1:" + std::to_string(run.mediaPort) + "/0"});
    EXPECT_EQ(song.status, 0);
    EXPECT_TRUE(song.out == readFile(run.dir / "songs/Ba - Cúc.vcv")) << song.out.size();
    const auto other =
        runProgram("/usr/bin/curl", {"-s", "-o", "/dev/null", "-w", "%{http_code}",
                                     "http://127.0.0.1:" + std::to_string(run.mediaPort) + "/2"});
    EXPECT_EQ(other.out, "404");  // not the current song

    // Its picture for phones.
    const auto picture = runProgram(
        "/usr/bin/curl", {"-s", "-i", "http://127.0.0.1:" + std::to_string(run.thumbnailPort) + "/0"});
    EXPECT_NE(picture.out.find("200"), std::string::npos);
    EXPECT_NE(picture.out.find("image/jpeg"), std::string::npos);
    // The browser remote on the port it was given sees the same song.
    const auto state = runProgram(
        "/usr/bin/curl", {"-s", "-f", "http://127.0.0.1:" + std::to_string(run.webPort) + "/api/state"});
    EXPECT_NE(state.out.find("\"title\":\"Ba\""), std::string::npos) << state.out << state.err;

    // Replay restarts it; remove takes the waiting song out; then the song plays to its end
    // and, with nothing queued, the idle clip follows.
    std::this_thread::sleep_for(2100ms);
    run.remote({"replay"});
    EXPECT_EQ(nextValue(phone, wire::kCurrentSongMessage), 0);
    run.remote({"remove", "0"});
    EXPECT_EQ(nextText(phone, wire::kQueueMessage), "");
    run.remote({"add", "1"});
    EXPECT_EQ(nextText(phone, wire::kQueueMessage), "1");
    EXPECT_EQ(nextText(phone, wire::kQueueMessage), "");  // "Ba" ended and left the queue
    EXPECT_EQ(nextValue(phone, wire::kCurrentSongMessage), 1);
    EXPECT_EQ(nextValue(phone, wire::kCurrentSongMessage), -1);  // "Hai" ended too: idle
    EXPECT_EQ(nextValue(phone, wire::kPlayStateMessage), 1);

    // Discovery answers with the device name (the login name until the operator sets one).
    const auto found = runProgram(
        programPath("vocalis-remote"),
        {"discover", "--host", "127.0.0.1", "--port", std::to_string(run.discoveryPort), "--timeout", "2"});
    EXPECT_NE(found.out.find("Vocalis Player macOS;"), std::string::npos) << found.out << found.err;
    EXPECT_NE(found.out.find(";700"), std::string::npos);

    // SIGTERM ends it like closing the window; nothing is left listening.
    EXPECT_EQ(run.player->stop(SIGTERM, 20s), 0) << run.log();
    for (const auto port : {run.mediaPort, run.thumbnailPort, run.remotePort, run.webPort}) {
        PhoneClient late;
        EXPECT_FALSE(late.connect("127.0.0.1", port, 2s)) << port;
    }
    EXPECT_EQ(run.remote({"md5"}).status != 0, true);
}
