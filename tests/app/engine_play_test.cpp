#include <numeric>

#include "app/engine_harness.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
using E = AppDelegate;

namespace {
const std::vector<std::string> kSongs{"Anh - Tuấn.mp4", "Bông Hồng - Lan.mkv", "Chiều - .mp4",
                                      "Dạ Khúc - Quang.vcv", "Em Ơi - Hà.mp4"};
constexpr auto kQueue = wire::kQueueMessage, kPlaying = wire::kPlayStateMessage;

}  // namespace

TEST(EnginePlay, QueuedSongsStartAdvanceTellThePhonesAndTracksCarryOver) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    WatchingPhone phone(h.sockets.port());
    struct LockNews final : EngineListener {
        void nextLockChanged(bool locked) override { locks.push_back(locked); }
        std::vector<bool> locks;
    } news;
    h.engine->addListener(&news);
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng"), chieu = h.idOf("Chiều");

    // The first song into an empty queue starts at once, without an up-next panel.
    h.clock.advance(2500ms);
    h.add("Anh");
    EXPECT_EQ(h.screen(), "song Anh - Tuấn.mp4 | Anh - Tuấn");
    EXPECT_EQ(h.player.opened.back(), h.song("Anh - Tuấn.mp4 :audio-track=1"));

    // More songs wait and show in the up-next panel; a song already queued changes nothing.
    h.add("Bông Hồng");
    EXPECT_EQ(h.screen(), "song Anh - Tuấn.mp4 | Anh - Tuấn | Chọn: Bông Hồng|Lan");
    EXPECT_FALSE(h.overlays.nextImage.has_value());  // no thumbnail: the banner
    h.remote(&E::onRemoteRes1st, chieu);
    phone.drain();
    for (const auto id : {bong, anh, 99999}) h.remote(&E::onRemoteRes, id);  // 99999: not in the catalogue
    EXPECT_TRUE(phone.quiet());
    // Positions outside the waiting songs change nothing; the phones hear the queue all the same.
    h.remote(&E::onRemoteQueueRemove, 2);
    h.remote(&E::onRemoteQueueMoveUp, INT32_MAX);
    h.remote(&E::onRemoteQueueMoveFirst, -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(phone.next(kQueue).text, std::to_string(chieu) + " " + std::to_string(bong));
    h.clock.advance(6000ms);
    EXPECT_EQ(h.screen(), "song Anh - Tuấn.mp4 | Anh - Tuấn");
    h.clock.advance(14000ms);
    EXPECT_EQ(h.screen(), "song Anh - Tuấn.mp4");  // the title banner goes after 20 s

    // Less than 30 s left: the next song is announced, once.
    h.player.timeLeft(30000);
    h.clock.runPending();
    EXPECT_FALSE(h.engine->flags().isNextShawn);
    h.player.timeLeft(29999);
    ASSERT_TRUE(h.settle([&] { return h.overlays.nextLabel == "Tiếp theo"; }));
    EXPECT_EQ(h.screen(), "song Anh - Tuấn.mp4 | Tiếp theo: Chiều|");

    // The end of the song: it leaves the queue, the next starts (no singer: title alone).
    h.end();
    EXPECT_EQ(h.screen(), "song Chiều - .mp4 | Chiều");
    EXPECT_EQ(phone.value(kPlaying), 1);  // every start tells the phones it plays

    // A pause by the user is never the end of a song; what starts next plays on all the same.
    h.clock.advance(2000ms);
    h.engine->playPause(true);
    h.clock.runPending();
    EXPECT_EQ(h.songs.currentSongId(), chieu);
    EXPECT_EQ(phone.value(kPlaying), 0);
    h.remote(&E::onRemoteNext);
    EXPECT_FALSE(h.engine->flags().isUserPause);
    EXPECT_TRUE(h.player.isPlaying());
    EXPECT_EQ(phone.value(kPlaying), 1);

    // Two skips within 2 s: the second does nothing. The lock is news as it holds and lets go.
    news.locks.clear();
    for (const int queued : {1, 0}) {
        h.clock.advance(1000ms);
        h.remote(&E::onRemoteNext);
        EXPECT_EQ(h.songs.getQueueCount(), queued);
    }
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát");
    EXPECT_EQ(news.locks, (std::vector<bool>{false, true}));
    h.clock.advance(2000ms);
    EXPECT_EQ(news.locks, (std::vector<bool>{false, true, false}));

    // A ".vcv" song is opened through the local media service.
    h.add("Dạ Khúc");
    EXPECT_EQ(h.player.opened.back(),
              "http://127.0.0.1:1/" + std::to_string(h.idOf("Dạ Khúc")) + " :audio-track=1");
    const auto toggle = [&](auto wait) {
        h.clock.advance(wait);
        h.remote(&E::onRemoteSwitchAudioTrack);
    };

    // The vocal/backing switch toggles, tells the phones, and is locked for 2 s.
    toggle(0ms);
    EXPECT_EQ(h.player.track, 1);
    EXPECT_TRUE(h.engine->flags().isMusic);
    EXPECT_EQ(phone.value(8), 1);
    toggle(0ms);
    EXPECT_EQ(h.player.track, 1);
    toggle(2000ms);
    EXPECT_EQ(h.player.track, 2);
    EXPECT_EQ(phone.value(8), 0);
    toggle(2000ms);  // back to the first track

    // The next song starts on the track chosen last.
    h.add("Anh");
    h.skip();
    EXPECT_EQ(h.player.opened.back(), h.song("Anh - Tuấn.mp4 :audio-track=0"));

    // One audio track: the backing side is that track with the centre of its mix cancelled; its
    // track stays and the phones are told the side as for two.
    h.player.trackIds = {-1, 1};
    h.clock.advance(2000ms);
    phone.drain();
    toggle(0ms);
    EXPECT_FALSE(h.engine->flags().isMusic);
    EXPECT_EQ(phone.value(8), 0);
    EXPECT_TRUE(h.player.centreCancels.empty());  // the voice was never taken out
    toggle(2000ms);
    EXPECT_EQ(phone.value(8), 1);
    EXPECT_EQ(h.player.centreCancels, (std::vector<bool>{true}));
    EXPECT_EQ(h.player.track, 1);
    // The next one-track song starts on the backing side too, once its tracks are known; the idle
    // clip keeps its voice.
    h.add("Bông Hồng");
    h.skip();
    EXPECT_EQ(h.player.centreCancels, (std::vector<bool>{true, false, true}));
    h.skip();
    EXPECT_EQ(h.player.location(), "http://127.0.0.1:1/idle.mp4");
    EXPECT_EQ(h.player.centreCancels, (std::vector<bool>{true, false, true, false}));
}

TEST(EnginePlay, ScoreScreenCountsUpBetweenQueuedSongsOnly) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    h.engine->setHasScoring(true);
    h.clock.advance(2000ms);
    h.add("Anh");
    h.add("Em Ơi");
    h.clock.advance(2000ms);
    h.end();
    ASSERT_EQ(h.screen(), "score | Anh - Tuấn | Chọn: Em Ơi|Hà | score 50");
    EXPECT_EQ(h.sound.plays, 1);
    ASSERT_FALSE(h.engine->finalScore().measured);  // no microphone
    const int final = h.engine->finalScore().value;
    EXPECT_GE(final, 71);
    EXPECT_LE(final, 100);

    // A skip or a replay during the count does nothing.
    h.remote(&E::onRemoteNext);
    h.remote(&E::onRemoteReplay);
    EXPECT_EQ(h.songs.getCurrentSong()->title(), "Em Ơi");
    EXPECT_EQ(h.screen(), "score | Anh - Tuấn | Chọn: Em Ơi|Hà | score 50");

    // 50, 51, ... one step every 0.12 s up to the final score, which stays 7 s.
    h.clock.advance(Millis(120 * (final - 50)));
    std::vector<int> steps(std::size_t(final - 50 + 1));
    std::iota(steps.begin(), steps.end(), 50);
    EXPECT_EQ(h.overlays.scores, steps);
    h.clock.advance(6990ms);
    EXPECT_EQ(h.screen(), "score | Anh - Tuấn | score " + std::to_string(final));
    h.clock.advance(10ms);
    EXPECT_EQ(h.screen(), "song Em Ơi - Hà.mp4 | Em Ơi - Hà");
    EXPECT_EQ(h.sound.stops, 1);

    // A random song is never scored, nor one that random settings made during the start lock.
    h.engine->setRandom(true, 1, "anh");
    h.clock.advance(2000ms);
    h.end();  // Em Ơi ends: scored
    h.clock.advance(20000ms);
    ASSERT_FALSE(h.engine->flags().isScoring);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NE(h.engine->randomSong(), nullptr);
        EXPECT_EQ(h.engine->randomSong()->title(), "Anh");
        if (round) h.engine->setRandom(true, 1, "anh");
        h.clock.advance(2000ms);
        h.end();
        EXPECT_FALSE(h.engine->flags().isScoring);
        EXPECT_EQ(h.sound.plays, 2);
    }
}

TEST(EnginePlay, NamesAndKeysComeWithTheirSongShowOnScreenAndLeaveWithIt) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng"), chieu = h.idOf("Chiều");
    h.clock.advance(2500ms);
    h.player.keyShifts.clear();
    h.run(Command::addSong(anh, false, "Hoa", 2));

    // A name for a song not queued is dropped; one given later is cleaned.
    h.run(Command::requesterName(bong, "Lan"));
    h.run(Command::addSong(bong, false, "", -9));  // held to the lowest key
    EXPECT_EQ(h.overlays.nextLabel, "Chọn");
    EXPECT_EQ(h.engine->requesterName(bong), std::nullopt);
    EXPECT_EQ(h.engine->songKey(bong), -6);
    h.run(Command::requesterName(bong, " Lan\n\001Anh "));
    EXPECT_EQ(h.engine->requesterName(bong), "Lan  Anh");
    h.run(Command::setKey(bong, -1));
    h.run(Command::addSong(chieu, true, "Minh"));
    EXPECT_EQ(h.overlays.nextLabel, "Ưu tiên: Minh");

    // The song on screen changes its banner at once; its key never goes past the highest.
    h.run(Command::requesterName(anh, "Hoa và Tú"));
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa và Tú) · Tông +2");
    h.run(Command::setKey(anh, 9));
    h.run({CommandKind::KeyUp});
    h.run(Command::setKey(99999, 1));  // no such song
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa và Tú) · Tông +6");
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 6}));

    // Each start applies its own key and shows its own name; a song that left the queue takes both along.
    h.clock.advance(2000ms);
    h.player.timeLeft(29999);
    ASSERT_TRUE(h.settle([&] { return h.overlays.nextLabel == "Tiếp theo: Minh"; }));
    h.end();
    EXPECT_EQ(h.overlays.title, "Chiều (Minh)");
    EXPECT_EQ(h.engine->requesterName(anh), std::nullopt);
    EXPECT_EQ(h.engine->songKey(anh), 0);
    h.skip();
    EXPECT_EQ(h.overlays.title, "Bông Hồng - Lan (Lan  Anh) · Tông \u22121");

    // A random song starts in its own key; a change lasts while it plays; clips play as they are.
    h.engine->setRandom(true, 1, "anh");
    h.skip();
    ASSERT_EQ(h.songs.currentSongId(), anh);
    h.run({CommandKind::KeyDown});
    EXPECT_EQ(h.engine->songKey(anh), -1);
    h.skip();
    h.engine->setRandom(false, 1, std::nullopt);
    h.skip();
    EXPECT_EQ(h.player.location(), "http://127.0.0.1:1/idle.mp4");
    h.run({CommandKind::KeyUp});  // nothing to sing: nothing changes
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 6, 0, -1, 0, -1, 0, 0}));

    // Names are cut on a character boundary: 60 bytes would end inside the twentieth "ạ".
    std::string longName = "a";
    for (int i = 0; i < 40; ++i) longName += "ạ";  // three bytes each
    h.run(Command::addSong(anh, false, longName));
    EXPECT_EQ(h.engine->requesterName(anh), longName.substr(0, 58));
}
