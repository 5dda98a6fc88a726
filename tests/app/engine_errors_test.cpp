#include "app/engine_harness.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
using E = AppDelegate;

namespace {
const std::vector<std::string> kSongs{"Anh - Tuấn.mp4", "Bông Hồng - Lan.mkv", "Chiều.mp4"};
}

TEST(EngineErrors, BrokenSongIsDroppedWithAMessageThenTheNextStarts) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    h.clock.advance(2000ms);
    h.add("Anh");
    h.add("Bông Hồng");
    h.player.fail(false);  // nothing played, no picture
    h.clock.runPending();
    EXPECT_EQ(h.screen(), "error | message Bài hát bị lỗi\nAnh - Tuấn | black");
    EXPECT_EQ(h.songs.getCurrentSong()->title(), "Bông Hồng");  // dropped from the queue

    // During the message nothing starts, skips or plays.
    h.remote(&E::onRemoteNext);
    h.remote(&E::onRemotePlayPause, true);
    h.clock.advance(4999ms);
    EXPECT_EQ(h.screen(), "error | message Bài hát bị lỗi\nAnh - Tuấn | black");
    h.clock.advance(1ms);
    EXPECT_EQ(h.screen(), "song Bông Hồng - Lan.mkv | Bông Hồng - Lan");

    // A song that fails after playing restarts at once, from the top, still queued.
    h.clock.advance(2000ms);
    const auto opened = h.player.opened.size();
    h.player.fail(true);
    h.clock.runPending();
    EXPECT_EQ(h.player.opened.size(), opened + 1);
    EXPECT_EQ(h.screen(), "song Bông Hồng - Lan.mkv | Bông Hồng - Lan");
}

TEST(EngineErrors, BrokenRandomSongAndAnAddDuringTheMessage) {
    EngineHarness h({"Chỉ Một - A.mp4", "NhacTre/Lạc - B.mp4"});
    h.launchToFirstSong();
    h.clock.advance(2000ms);
    h.engine->setRandom(true, 0, "NhacTre");  // the queue is empty: a random song starts at once
    ASSERT_NE(h.engine->randomSong(), nullptr);
    EXPECT_EQ(h.engine->randomSong()->title(), "Lạc");
    EXPECT_EQ(h.screen(), "song Lạc - B.mp4 | Lạc - B");
    h.player.fail(false);
    h.clock.runPending();
    // A guest adds a song while the message shows: it waits for the message to end.
    h.add("Chỉ Một");
    EXPECT_EQ(h.screen(), "error | message Bài hát bị lỗi\nLạc - B | black");
    EXPECT_EQ(h.songs.getQueueCount(), 1);
    h.clock.advance(5000ms);
    EXPECT_EQ(h.screen(), "song Chỉ Một - A.mp4 | Chỉ Một - A");
    EXPECT_EQ(h.engine->randomSong(), nullptr);
}

TEST(EngineErrors, ReplayRestartsOnceAndQueuesARandomSong) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    h.clock.advance(2000ms);
    // Replay of the idle clip does not open it again.
    const auto idleOpens = h.player.opened.size();
    h.engine->replay();
    EXPECT_EQ(h.player.opened.size(), idleOpens);
    h.clock.advance(2000ms);

    // Replay of a random song puts it into the queue, where it starts again.
    h.engine->setRandom(true, 1, "chieu");
    h.clock.advance(2000ms);
    h.end();
    ASSERT_NE(h.engine->randomSong(), nullptr);
    h.clock.advance(2000ms);
    h.engine->replay();
    h.clock.runPending();
    ASSERT_EQ(h.songs.getQueueCount(), 1);
    EXPECT_EQ(h.songs.getCurrentSong()->title(), "Chiều");
    EXPECT_EQ(h.player.location(), h.song("Chiều.mp4"));

    // Two replays within 2 s restart the song once; the queue keeps its songs and order.
    h.add("Anh");
    h.clock.advance(2000ms);
    const auto before = h.player.opened.size();
    h.remote(&E::onRemoteReplay);
    h.remote(&E::onRemoteReplay);
    EXPECT_EQ(h.player.opened.size(), before + 1);
    EXPECT_EQ(h.songs.getCurrentSong()->title(), "Chiều");
    EXPECT_EQ(h.songs.getQueueIdsString(), std::to_string(h.idOf("Anh")));
}

TEST(EngineErrors, AnIntroThatCannotPlayIsRetriedAndDoesNotKeepPhonesOut) {
    EngineHarness h(kSongs);
    h.launch();
    h.clock.advance(1000ms);
    h.player.fail(false);
    h.clock.runPending();
    EXPECT_FALSE(h.player.hasMedia());
    h.clock.advance(2000ms);  // the catalogue loads meanwhile
    ASSERT_TRUE(h.loaded());
    EXPECT_EQ(h.player.opened.size(), 1u);  // the end of the start lock does not retry it early
    h.clock.advance(3000ms);
    EXPECT_NE(h.sockets.port(), 0);
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát");

    // The idle clip failing over and over is retried every 5 s, not in a tight loop.
    const auto opens = h.player.opened.size();
    h.clock.advance(2000ms);
    h.player.fail(false);
    h.clock.runPending();
    EXPECT_EQ(h.player.opened.size(), opens);
    h.clock.advance(5000ms);
    EXPECT_EQ(h.player.opened.size(), opens + 1);
}
