// The whole player, as a venue runs it: started offscreen without sound on generated songs,
// driven by the command-line remote, read over HTTP, probed for discovery, then stopped.
#include <gtest/gtest.h>

#include "player/player_run.h"
#include "remote/phone_client.h"
#include "remote/wire_protocol.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

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
