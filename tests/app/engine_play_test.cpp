#include <numeric>

#include "app/engine_harness.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
using E = AppDelegate;

namespace {
const std::vector<std::string> kSongs{"Anh - Tuấn.mp4", "Bông Hồng - Lan.mkv", "Chiều - .mp4",
                                      "Dạ Khúc - Quang.vcv", "Em Ơi - Hà.mp4"};
constexpr auto kQueue = wire::kQueueMessage, kPlaying = wire::kPlayStateMessage,
               kSong = wire::kCurrentSongMessage;

// What the engine told of each song's name and key, as "id:value".
struct SongNews final : EngineListener {
    void requesterNameChanged(std::int32_t songId, const std::string& name) override {
        told.push_back(std::to_string(songId) + ":" + name);
    }
    void keyChanged(std::int32_t songId, std::int32_t key) override {
        told.push_back(std::to_string(songId) + ":" + std::to_string(key));
    }
    std::vector<std::string> told;
};
std::string news(std::int32_t id, const std::string& value) { return std::to_string(id) + ":" + value; }
}  // namespace

TEST(EnginePlay, QueuedSongsStartAdvanceAndTellThePhones) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    WatchingPhone phone(h.sockets.port());
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng"), chieu = h.idOf("Chiều");

    // The first song into an empty queue starts at once, without an up-next panel.
    h.clock.advance(2500ms);
    h.add("Anh");
    EXPECT_EQ(h.screen(), "song Anh - Tuấn.mp4 | Anh - Tuấn");
    EXPECT_EQ(h.player.opened.back(), h.song("Anh - Tuấn.mp4 :audio-track=1"));
    EXPECT_EQ(h.songs.currentSongId() + h.sockets.currentSongId(), 2 * anh);
    EXPECT_EQ(phone.value(kSong), anh);
    EXPECT_EQ(phone.text(kQueue), "");

    // More songs wait and show in the up-next panel; a song already queued changes nothing.
    h.add("Bông Hồng");
    EXPECT_EQ(h.screen(), "song Anh - Tuấn.mp4 | Anh - Tuấn | Chọn: Bông Hồng|Lan");
    EXPECT_FALSE(h.overlays.nextImage.has_value());  // no thumbnail: the banner
    h.remote(&E::onRemoteRes1st, chieu);
    EXPECT_EQ(h.overlays.nextLabel, "Ưu tiên");
    EXPECT_EQ(phone.text(kQueue), std::to_string(bong));
    EXPECT_EQ(phone.text(kQueue), std::to_string(chieu) + " " + std::to_string(bong));
    for (const auto id : {bong, anh, 99999}) h.remote(&E::onRemoteRes, id);  // 99999: not in the catalogue
    EXPECT_TRUE(phone.quiet());
    EXPECT_EQ(h.songs.getQueueCount(), 3);
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
    EXPECT_EQ(phone.text(kQueue), std::to_string(bong));
    EXPECT_EQ(phone.value(kSong), chieu);
    EXPECT_EQ(phone.value(kPlaying), 1);  // every start tells the phones it plays

    // A pause by the user is never the end of a song.
    h.clock.advance(2000ms);
    h.engine->playPause(true);
    h.clock.runPending();
    EXPECT_EQ(h.songs.currentSongId(), chieu);
    EXPECT_EQ(phone.value(kPlaying), 0);
    h.engine->playPause(true);
    EXPECT_EQ(phone.value(kPlaying), 1);

    // Two skips within 2 s: the second does nothing.
    for (const auto& [wait, playing] : {std::pair(0ms, bong), {1000ms, bong}, {1000ms, -1}}) {
        h.clock.advance(wait);
        h.remote(&E::onRemoteNext);
        EXPECT_EQ(h.songs.currentSongId(), playing);
    }
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát");
}

TEST(EnginePlay, VcvSongsAreOpenedThroughTheLocalServiceAndTracksCarryOver) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    WatchingPhone phone(h.sockets.port());
    h.clock.advance(2000ms);
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
    h.clock.advance(2000ms);
    h.remote(&E::onRemoteNext);
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
    h.clock.advance(2000ms);
    h.remote(&E::onRemoteNext);
    EXPECT_EQ(h.player.centreCancels, (std::vector<bool>{true, false, true}));
    h.clock.advance(2000ms);
    h.remote(&E::onRemoteNext);
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
    const int final = h.engine->randomScore();
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

TEST(EnginePlay, EveryStartPlaysOnAfterAUserPause) {
    struct Case {
        const char* name;
        bool songFirst;  // a song plays when the user pauses, else the idle clip
        void (*start)(EngineHarness&);
        const char* starts;
    };
    const Case cases[] = {
        {"skip", true, [](EngineHarness& h) { h.remote(&E::onRemoteNext); }, "Anh - Tuấn.mp4"},
        {"replay", true, [](EngineHarness& h) { h.remote(&E::onRemoteReplay); }, "Em Ơi - Hà.mp4"},
        {"add to the idle clip", false, [](EngineHarness& h) { h.add("Anh"); }, "Anh - Tuấn.mp4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHarness h(kSongs);
        h.launchToFirstSong();
        WatchingPhone phone(h.sockets.port());
        h.clock.advance(2000ms);
        if (c.songFirst) {
            h.add("Em Ơi");
            h.add("Anh");
            h.clock.advance(2000ms);
        }
        phone.drain();
        h.remote(&E::onRemotePlayPause, false);
        EXPECT_EQ(phone.value(kPlaying), 0);
        c.start(h);
        EXPECT_FALSE(h.engine->flags().isUserPause);
        EXPECT_TRUE(h.player.isPlaying());
        EXPECT_EQ(phone.value(kPlaying), 1) << "the phones must see the new media play";
        // Its end is an end: the song leaves the queue and what follows starts.
        const std::string started = h.player.location();
        ASSERT_EQ(started, h.song(c.starts));
        h.clock.advance(2000ms);
        h.end();
        EXPECT_TRUE(h.player.hasMedia());
        EXPECT_NE(h.player.location(), started);
    }
}

TEST(EnginePlay, PhonePositionsOutsideTheWaitingSongsLeaveTheQueueAsItIs) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    WatchingPhone phone(h.sockets.port());
    h.add("Anh");
    h.add("Bông Hồng");
    phone.drain();
    // Each still tells the phones the queue, which has not changed.
    for (const auto& [code, position] :
         std::vector<std::pair<std::uint8_t, std::int32_t>>{{wire::kRemove, -1},
                                                            {wire::kRemove, INT32_MIN},
                                                            {wire::kRemove, 1},
                                                            {wire::kMoveUp, -1},
                                                            {wire::kMoveUp, INT32_MAX},
                                                            {wire::kMoveFirst, -1},
                                                            {wire::kMoveFirst, INT32_MAX}}) {
        SCOPED_TRACE(std::to_string(code) + " " + std::to_string(position));
        ASSERT_TRUE(phone.client.send(wire::intCommand(code, position), 5s));
        std::optional<PlayerMessage> queue;
        ASSERT_TRUE(h.settle([&] { return (queue = phone.client.receive(kQueue, 10ms)).has_value(); }));
        EXPECT_EQ(queue->text, std::to_string(h.idOf("Bông Hồng")));
        EXPECT_EQ(h.songs.currentSongId(), h.idOf("Anh"));
        EXPECT_EQ(h.songs.getQueueCount(), 2);
    }
}

TEST(EnginePlay, RequesterNamesShowOnScreenAndLeaveWithTheirSong) {
    EngineHarness h(kSongs);
    SongNews told;
    h.engine->addListener(&told);
    h.launchToFirstSong();
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng"), chieu = h.idOf("Chiều");
    h.clock.advance(2500ms);
    h.run(Command::addSong(anh, false, "Hoa"));
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa)");

    // A name for a song not queued is dropped; one given later is cleaned and told.
    h.run(Command::requesterName(bong, "Lan"));
    h.run(Command::addSong(bong, false, ""));
    EXPECT_EQ(h.overlays.nextLabel, "Chọn");
    EXPECT_EQ(h.engine->requesterName(bong), std::nullopt);
    h.run(Command::requesterName(bong, " Lan\n\001Anh "));
    EXPECT_EQ(h.engine->requesterName(bong), "Lan  Anh");
    h.run(Command::addSong(chieu, true, "Minh"));
    EXPECT_EQ(h.overlays.nextLabel, "Ưu tiên: Minh");
    h.run(Command::requesterName(anh, "Hoa và Tú"));  // the song on screen changes its banner at once
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa và Tú)");
    EXPECT_EQ(told.told, (std::vector{news(bong, "Lan  Anh"), news(anh, "Hoa và Tú")}));
    std::string longName;
    for (int i = 0; i < 40; ++i) longName += "ạ";  // three bytes each: cut on a character boundary
    h.run(Command::requesterName(bong, longName));
    EXPECT_EQ(h.engine->requesterName(bong), longName.substr(0, 60));

    h.clock.advance(2000ms);
    h.player.timeLeft(29999);
    ASSERT_TRUE(h.settle([&] { return h.overlays.nextLabel == "Tiếp theo: Minh"; }));
    h.end();
    EXPECT_EQ(h.overlays.title, "Chiều (Minh)");
    // A song that left the queue takes its name along.
    EXPECT_EQ(h.engine->requesterName(anh), std::nullopt);
    h.clock.advance(2000ms);
    h.run(Command::addSong(anh, false, ""));
    EXPECT_EQ(h.engine->requesterName(anh), std::nullopt);
    EXPECT_EQ(h.overlays.nextLabel, "Chọn");
    h.engine->removeListener(&told);
}

TEST(EnginePlay, EachSongStartsInItsKeyWhichChangesAtOnceWhileItPlays) {
    EngineHarness h(kSongs);
    SongNews told;
    h.engine->addListener(&told);
    h.launchToFirstSong();
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng"), chieu = h.idOf("Chiều");
    h.clock.advance(2500ms);
    h.player.keyShifts.clear();
    h.run(Command::addSong(anh, false, "Hoa", 2));
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2}));
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa) · Tông +2");
    h.run(Command::addSong(bong, false, "", -9));  // held to the lowest key
    EXPECT_EQ(h.engine->songKey(bong), -6);
    h.run(Command::setKey(bong, -1));
    h.run(Command::addSong(chieu, false, ""));

    // While it plays: at once, one semitone a key, never past the highest.
    h.run(Command::setKey(anh, 5));
    h.run({CommandKind::KeyUp});
    h.run({CommandKind::KeyUp});
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 5, 6}));
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa) · Tông +6");
    h.run(Command::setKey(99999, 1));  // no such song
    EXPECT_EQ(told.told, (std::vector{news(bong, "-1"), news(anh, "5"), news(anh, "6")}));

    // Each start applies its own key; a song without one plays in its own.
    h.clock.advance(2000ms);
    h.end();
    EXPECT_EQ(h.overlays.title, "Bông Hồng - Lan · Tông \u22121");
    h.clock.advance(2000ms);
    h.run({CommandKind::Next});
    EXPECT_EQ(h.overlays.title, "Chiều");
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 5, 6, -1, 0}));

    // A random song starts in its own key; a change lasts while it plays; clips play as they are.
    h.engine->setRandom(true, 1, "anh");
    h.clock.advance(2000ms);
    h.run({CommandKind::Next});
    ASSERT_EQ(h.songs.currentSongId(), anh);
    h.run({CommandKind::KeyDown});
    EXPECT_EQ(h.engine->songKey(anh), -1);
    h.clock.advance(2000ms);
    h.run({CommandKind::Next});
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 5, 6, -1, 0, 0, -1, 0}));
    h.engine->setRandom(false, 1, std::nullopt);
    h.clock.advance(2000ms);
    h.run({CommandKind::Next});
    EXPECT_EQ(h.player.location(), "http://127.0.0.1:1/idle.mp4");
    h.run({CommandKind::KeyUp});  // nothing to sing: nothing changes
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 5, 6, -1, 0, 0, -1, 0, 0}));
    h.engine->removeListener(&told);
}
