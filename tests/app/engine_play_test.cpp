#include "app/engine_harness.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

namespace {
const std::vector<std::string> kSongs{"Anh - Tuấn.mp4", "Bông Hồng - Lan.mkv", "Chiều - .mp4",
                                      "Dạ Khúc - Quang.vcv", "Em Ơi - Hà.mp4"};
}

TEST(EnginePlay, QueuedSongsStartAdvanceAndTellThePhones) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    WatchingPhone phone(h.sockets.port());
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng"), chieu = h.idOf("Chiều");

    // The first song into an empty queue starts at once, without an up-next panel.
    h.clock.advance(2500ms);
    h.overlays.nextAlpha = 0;
    h.phone([&](AppDelegate& e) { e.onRemoteRes(anh); });
    EXPECT_EQ(h.player.location(), h.songsDir / "Karaoke/Anh - Tuấn.mp4");
    EXPECT_EQ(h.player.opened.back(), h.songsDir / "Karaoke/Anh - Tuấn.mp4 :audio-track=1");
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn");
    EXPECT_TRUE(h.overlays.titleVisible);
    EXPECT_EQ(h.overlays.nextAlpha, 0.0);
    EXPECT_EQ(h.songs.currentSongId(), anh);
    EXPECT_EQ(h.sockets.currentSongId(), anh);
    EXPECT_EQ(phone.value(38), anh);
    EXPECT_EQ(phone.text(14), "");

    // More songs wait and show in the up-next panel; a song already queued changes nothing.
    h.phone([&](AppDelegate& e) { e.onRemoteRes(bong); });
    EXPECT_EQ(h.overlays.nextAlpha, 1.0);
    EXPECT_EQ(h.overlays.nextLabel, "Chọn");
    EXPECT_EQ(h.overlays.nextTitle, "Bông Hồng|Lan");
    EXPECT_FALSE(h.overlays.nextImage.has_value());  // no thumbnail: the banner
    h.phone([&](AppDelegate& e) { e.onRemoteRes1st(chieu); });
    EXPECT_EQ(h.overlays.nextLabel, "Ưu tiên");
    EXPECT_EQ(phone.text(14), std::to_string(bong));
    EXPECT_EQ(phone.text(14), std::to_string(chieu) + " " + std::to_string(bong));
    h.phone([&](AppDelegate& e) { e.onRemoteRes(bong); });
    h.phone([&](AppDelegate& e) { e.onRemoteRes(anh); });
    h.phone([&](AppDelegate& e) { e.onRemoteRes(99999); });  // not in the catalogue
    EXPECT_TRUE(phone.quiet());
    EXPECT_EQ(h.songs.getQueueCount(), 3);
    h.clock.advance(6000ms);
    EXPECT_EQ(h.overlays.nextAlpha, 0.0);

    // The title banner goes after 20 s.
    h.clock.advance(14000ms);
    EXPECT_FALSE(h.overlays.titleVisible);

    // Less than 30 s left: the next song is announced, once.
    h.player.timeLeft(30000);
    h.clock.runPending();
    EXPECT_FALSE(h.engine->flags().isNextShawn);
    h.player.timeLeft(29999);
    ASSERT_TRUE(h.settle([&] { return h.overlays.nextLabel == "Tiếp theo"; }));
    EXPECT_EQ(h.overlays.nextTitle, "Chiều|");
    EXPECT_EQ(h.overlays.nextAlpha, 1.0);

    // The end of the song: it leaves the queue, the next starts (no singer: title alone).
    h.player.reachEnd();
    h.clock.runPending();
    EXPECT_EQ(h.songs.getCurrentSong()->songId, chieu);
    EXPECT_EQ(h.overlays.title, "Chiều");
    EXPECT_EQ(h.overlays.nextAlpha, 0.0);
    EXPECT_EQ(phone.text(14), std::to_string(bong));
    EXPECT_EQ(phone.value(38), chieu);
    EXPECT_EQ(phone.value(31), 1);  // every start tells the phones it plays

    // A pause by the user is never the end of a song.
    h.clock.advance(2000ms);
    h.engine->playPause(true);
    h.clock.runPending();
    EXPECT_EQ(h.songs.getCurrentSong()->songId, chieu);
    EXPECT_EQ(phone.value(31), 0);
    h.engine->playPause(true);
    EXPECT_EQ(phone.value(31), 1);

    // Two skips within 2 s: the second does nothing.
    h.phone([](AppDelegate& e) { e.onRemoteNext(); });
    EXPECT_EQ(h.songs.getCurrentSong()->songId, bong);
    h.clock.advance(1000ms);
    h.phone([](AppDelegate& e) { e.onRemoteNext(); });
    EXPECT_EQ(h.songs.getCurrentSong()->songId, bong);
    h.clock.advance(1000ms);
    h.phone([](AppDelegate& e) { e.onRemoteNext(); });
    EXPECT_TRUE(h.songs.isQueueEmpty());
    EXPECT_TRUE(h.engine->flags().isIdle);
}

TEST(EnginePlay, VcvSongsAreOpenedThroughTheLocalServiceAndTracksCarryOver) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    WatchingPhone phone(h.sockets.port());
    const auto da = h.idOf("Dạ Khúc");
    h.clock.advance(2000ms);
    h.phone([&](AppDelegate& e) { e.onRemoteRes(da); });
    EXPECT_EQ(h.player.opened.back(), "http://127.0.0.1:1/" + std::to_string(da) + " :audio-track=1");

    // The vocal/backing switch toggles, tells the phones, and is locked for 2 s.
    h.phone([](AppDelegate& e) { e.onRemoteSwitchAudioTrack(); });
    EXPECT_EQ(h.player.track, 1);
    EXPECT_TRUE(h.engine->flags().isMusic);
    EXPECT_EQ(phone.value(8), 1);
    h.phone([](AppDelegate& e) { e.onRemoteSwitchAudioTrack(); });
    EXPECT_EQ(h.player.track, 1);
    h.clock.advance(2000ms);
    h.phone([](AppDelegate& e) { e.onRemoteSwitchAudioTrack(); });
    EXPECT_EQ(h.player.track, 2);
    EXPECT_EQ(phone.value(8), 0);
    h.clock.advance(2000ms);
    h.phone([](AppDelegate& e) { e.onRemoteSwitchAudioTrack(); });  // back to the first track

    // The next song starts on the track chosen last.
    h.phone([&](AppDelegate& e) { e.onRemoteRes(h.idOf("Anh")); });
    h.clock.advance(2000ms);
    h.phone([](AppDelegate& e) { e.onRemoteNext(); });
    EXPECT_EQ(h.player.opened.back(), h.songsDir / "Karaoke/Anh - Tuấn.mp4 :audio-track=0");

    // A file with one audio track: the backing side is that track with the centre of its mix
    // cancelled; its track stays and phones are told the side as for two tracks.
    h.player.trackIds = {-1, 1};
    h.clock.advance(2000ms);
    phone.drain();
    h.phone([](AppDelegate& e) { e.onRemoteSwitchAudioTrack(); });
    EXPECT_FALSE(h.engine->flags().isMusic);
    EXPECT_EQ(phone.value(8), 0);
    EXPECT_TRUE(h.player.centreCancels.empty());  // the voice was never taken out
    h.clock.advance(2000ms);
    h.phone([](AppDelegate& e) { e.onRemoteSwitchAudioTrack(); });
    EXPECT_EQ(phone.value(8), 1);
    EXPECT_EQ(h.player.centreCancels, (std::vector<bool>{true}));
    EXPECT_EQ(h.player.track, 1);
    // The next one-track song starts on the backing side too, once its tracks are known; the
    // idle clip keeps its voice.
    h.phone([&](AppDelegate& e) { e.onRemoteRes(h.idOf("Bông Hồng")); });
    h.clock.advance(2000ms);
    h.phone([](AppDelegate& e) { e.onRemoteNext(); });
    EXPECT_EQ(h.player.centreCancels, (std::vector<bool>{true, false, true}));
    h.clock.advance(2000ms);
    h.phone([](AppDelegate& e) { e.onRemoteNext(); });
    EXPECT_EQ(h.player.location(), "http://127.0.0.1:1/idle.mp4");
    EXPECT_EQ(h.player.centreCancels, (std::vector<bool>{true, false, true, false}));
}

TEST(EnginePlay, ScoreScreenCountsUpBetweenQueuedSongsOnly) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    h.engine->setHasScoring(true);
    h.clock.advance(2000ms);
    h.phone([&](AppDelegate& e) { e.onRemoteRes(h.idOf("Anh")); });
    h.phone([&](AppDelegate& e) { e.onRemoteRes(h.idOf("Em Ơi")); });
    h.clock.advance(2000ms);
    h.player.reachEnd();
    h.clock.runPending();
    ASSERT_TRUE(h.engine->flags().isScoring);
    EXPECT_FALSE(h.player.hasMedia());
    EXPECT_TRUE(h.overlays.scoreVisible);
    EXPECT_EQ(h.sound.plays, 1);
    const int final = h.engine->randomScore();
    EXPECT_GE(final, 71);
    EXPECT_LE(final, 100);

    // A skip or a replay during the count does nothing.
    h.phone([](AppDelegate& e) { e.onRemoteNext(); });
    h.phone([](AppDelegate& e) { e.onRemoteReplay(); });
    EXPECT_EQ(h.songs.getCurrentSong()->title, "Em Ơi");
    EXPECT_FALSE(h.player.hasMedia());

    // 50, 51, ... one step every 0.12 s up to the final score, which stays 7 s.
    h.clock.advance(Millis(120 * (final - 50)));
    ASSERT_EQ(h.overlays.scores.size(), static_cast<std::size_t>(final - 50 + 1));
    for (std::size_t i = 0; i < h.overlays.scores.size(); ++i)
        EXPECT_EQ(h.overlays.scores[i], 50 + static_cast<int>(i));
    h.clock.advance(6990ms);
    EXPECT_TRUE(h.engine->flags().isScoring);
    EXPECT_EQ(h.overlays.scores.back(), final);
    h.clock.advance(10ms);
    EXPECT_FALSE(h.engine->flags().isScoring);
    EXPECT_FALSE(h.overlays.scoreVisible);
    EXPECT_EQ(h.sound.stops, 1);
    EXPECT_EQ(h.player.location(), h.songsDir / "Karaoke/Em Ơi - Hà.mp4");

    // A random song is never scored.
    h.engine->setRandom(true, 1, "anh");
    h.clock.advance(2000ms);
    h.player.reachEnd();  // Em Ơi ends: scored
    h.clock.runPending();
    h.clock.advance(20000ms);
    ASSERT_FALSE(h.engine->flags().isScoring);
    ASSERT_NE(h.engine->randomSong(), nullptr);
    EXPECT_EQ(h.engine->randomSong()->title, "Anh");
    const auto screens = h.sound.plays;
    h.clock.advance(2000ms);
    h.player.reachEnd();
    h.clock.runPending();
    EXPECT_FALSE(h.engine->flags().isScoring);
    EXPECT_EQ(h.sound.plays, screens);
    EXPECT_EQ(h.engine->randomSong()->title, "Anh");

    // New random settings while the start lock holds start nothing, and what plays stays a
    // random song: not scored at its end.
    h.engine->setRandom(true, 1, "anh");
    ASSERT_NE(h.engine->randomSong(), nullptr);
    h.clock.advance(2000ms);
    h.player.reachEnd();
    h.clock.runPending();
    EXPECT_FALSE(h.engine->flags().isScoring);
    EXPECT_EQ(h.sound.plays, screens);
}

TEST(EnginePlay, EveryStartPlaysOnAfterAUserPause) {
    struct Case {
        const char* name;
        bool songFirst;  // a song plays when the user pauses, else the idle clip
        void (*start)(EngineHarness&, std::int32_t);
        const char* starts;  // the file that starts then
    };
    const Case cases[] = {
        {"skip", true,
         [](EngineHarness& h, std::int32_t) { h.phone([](AppDelegate& e) { e.onRemoteNext(); }); },
         "Anh - Tuấn.mp4"},
        {"replay", true,
         [](EngineHarness& h, std::int32_t) { h.phone([](AppDelegate& e) { e.onRemoteReplay(); }); },
         "Em Ơi - Hà.mp4"},
        {"add to the idle clip", false,
         [](EngineHarness& h, std::int32_t id) { h.phone([id](AppDelegate& e) { e.onRemoteRes(id); }); },
         "Anh - Tuấn.mp4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHarness h(kSongs);
        h.launchToFirstSong();
        WatchingPhone phone(h.sockets.port());
        const auto anh = h.idOf("Anh"), em = h.idOf("Em Ơi");
        h.clock.advance(2000ms);
        if (c.songFirst) {
            h.phone([&](AppDelegate& e) { e.onRemoteRes(em); });
            h.phone([&](AppDelegate& e) { e.onRemoteRes(anh); });
            h.clock.advance(2000ms);
        }
        phone.drain();
        h.phone([](AppDelegate& e) { e.onRemotePlayPause(false); });
        EXPECT_EQ(phone.value(31), 0);
        c.start(h, anh);
        EXPECT_FALSE(h.engine->flags().isUserPause);
        EXPECT_TRUE(h.player.isPlaying());
        EXPECT_EQ(phone.value(31), 1) << "the phones must see the new media play";

        // Its end is an end: the song leaves the queue and what follows starts.
        const std::string started = h.player.location();
        ASSERT_EQ(started, h.songsDir / (std::string("Karaoke/") + c.starts));
        h.clock.advance(2000ms);
        h.player.reachEnd();
        h.clock.runPending();
        EXPECT_TRUE(h.player.hasMedia());
        EXPECT_NE(h.player.location(), started);
    }
}

TEST(EnginePlay, PhonePositionsOutsideTheWaitingSongsLeaveTheQueueAsItIs) {
    EngineHarness h(kSongs);
    h.launchToFirstSong();
    WatchingPhone phone(h.sockets.port());
    struct QueueNews final : EngineListener {
        void queueChanged() override { ++count; }
        std::atomic<int> count = 0;
    } news;
    h.engine->addListener(&news);
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng");
    h.phone([&](AppDelegate& e) { e.onRemoteRes(anh); });
    h.phone([&](AppDelegate& e) { e.onRemoteRes(bong); });
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
        const int before = news.count;
        ASSERT_TRUE(phone.client.send(wire::intCommand(code, position), std::chrono::seconds(5)));
        ASSERT_TRUE(h.settle([&] { return news.count > before; }));
        EXPECT_EQ(phone.text(wire::kQueueMessage), std::to_string(bong)) << int(code) << " " << position;
        EXPECT_EQ(h.songs.currentSongId(), anh) << int(code) << " " << position;
        EXPECT_EQ(h.songs.getQueueCount(), 2);
    }
    h.engine->removeListener(&news);
}

namespace {
// What the engine told of each song's name and key, as "id:value".
struct SongNews final : EngineListener {
    void requesterNameChanged(std::int32_t songId, const std::string& name) override {
        names.push_back(std::to_string(songId) + ":" + name);
    }
    void keyChanged(std::int32_t songId, std::int32_t key) override {
        keys.push_back(std::to_string(songId) + ":" + std::to_string(key));
    }
    std::vector<std::string> names, keys;
};
}  // namespace

TEST(EnginePlay, RequesterNamesShowOnScreenAndLeaveWithTheirSong) {
    EngineHarness h(kSongs);
    SongNews news;
    h.engine->addListener(&news);
    h.launchToFirstSong();
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng"), chieu = h.idOf("Chiều");
    const auto run = [&](Command command) {
        h.engine->issue(std::move(command), CommandSource::Phone);
        h.clock.runPending();
    };
    h.clock.advance(2500ms);
    run(Command::addSong(anh, false, "Hoa"));
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa)");

    // A name for a song not queued is dropped; one given later is cleaned and told.
    run(Command::requesterName(bong, "Lan"));
    run(Command::addSong(bong, false, ""));
    EXPECT_EQ(h.overlays.nextLabel, "Chọn");
    EXPECT_EQ(h.engine->requesterName(bong), std::nullopt);
    run(Command::requesterName(bong, " Lan\n\001Anh "));
    EXPECT_EQ(h.engine->requesterName(bong), "Lan  Anh");
    run(Command::addSong(chieu, true, "Minh"));
    EXPECT_EQ(h.overlays.nextLabel, "Ưu tiên: Minh");
    // The name of the song on screen changes its banner at once.
    run(Command::requesterName(anh, "Hoa và Tú"));
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa và Tú)");
    EXPECT_EQ(news.names, (std::vector<std::string>{std::to_string(bong) + ":Lan  Anh",
                                                    std::to_string(anh) + ":Hoa và Tú"}));
    // Long names are cut on a character boundary.
    std::string longName;
    for (int i = 0; i < 40; ++i) longName += "ạ";  // three bytes each
    run(Command::requesterName(bong, longName));
    EXPECT_EQ(h.engine->requesterName(bong), longName.substr(0, 60));

    h.clock.advance(2000ms);
    h.player.timeLeft(29999);
    ASSERT_TRUE(h.settle([&] { return h.overlays.nextLabel == "Tiếp theo: Minh"; }));
    h.player.reachEnd();
    h.clock.runPending();
    EXPECT_EQ(h.overlays.title, "Chiều (Minh)");
    // A song that left the queue takes its name along.
    EXPECT_EQ(h.engine->requesterName(anh), std::nullopt);
    h.clock.advance(2000ms);
    run(Command::addSong(anh, false, ""));
    EXPECT_EQ(h.engine->requesterName(anh), std::nullopt);
    EXPECT_EQ(h.overlays.nextLabel, "Chọn");
    h.engine->removeListener(&news);
}

TEST(EnginePlay, EachSongStartsInItsKeyWhichChangesAtOnceWhileItPlays) {
    EngineHarness h(kSongs);
    SongNews news;
    h.engine->addListener(&news);
    h.launchToFirstSong();
    const auto anh = h.idOf("Anh"), bong = h.idOf("Bông Hồng"), chieu = h.idOf("Chiều");
    const auto run = [&](Command command) {
        h.engine->issue(std::move(command), CommandSource::Phone);
        h.clock.runPending();
    };
    h.clock.advance(2500ms);
    h.player.keyShifts.clear();
    run(Command::addSong(anh, false, "Hoa", 2));
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2}));
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa) · Tông +2");
    run(Command::addSong(bong, false, "", -9));  // held to the lowest key
    EXPECT_EQ(h.engine->songKey(bong), -6);
    run(Command::setKey(bong, -1));
    run(Command::addSong(chieu, false, ""));

    // While it plays: at once, one semitone a key, never past the highest.
    run(Command::setKey(anh, 5));
    run({CommandKind::KeyUp});
    run({CommandKind::KeyUp});
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 5, 6}));
    EXPECT_EQ(h.overlays.title, "Anh - Tuấn (Hoa) · Tông +6");
    run(Command::setKey(99999, 1));  // no such song
    EXPECT_EQ(news.keys, (std::vector<std::string>{std::to_string(bong) + ":-1", std::to_string(anh) + ":5",
                                                   std::to_string(anh) + ":6"}));

    // Each start applies its own key; a song without one plays in its own.
    h.clock.advance(2000ms);
    h.player.reachEnd();
    h.clock.runPending();
    EXPECT_EQ(h.overlays.title, "Bông Hồng - Lan · Tông \u22121");
    h.clock.advance(2000ms);
    run({CommandKind::Next});
    EXPECT_EQ(h.overlays.title, "Chiều");
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 5, 6, -1, 0}));

    // A random song starts in its own key; a change lasts while it plays; clips play as they are.
    h.engine->setRandom(true, 1, "anh");
    h.clock.advance(2000ms);
    run({CommandKind::Next});
    ASSERT_EQ(h.songs.currentSongId(), anh);
    run({CommandKind::KeyDown});
    EXPECT_EQ(h.engine->songKey(anh), -1);
    h.clock.advance(2000ms);
    run({CommandKind::Next});
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 5, 6, -1, 0, 0, -1, 0}));
    h.engine->setRandom(false, 1, std::nullopt);
    h.clock.advance(2000ms);
    run({CommandKind::Next});
    EXPECT_EQ(h.player.location(), "http://127.0.0.1:1/idle.mp4");
    run({CommandKind::KeyUp});  // nothing to sing: nothing changes
    EXPECT_EQ(h.player.keyShifts, (std::vector<int>{2, 5, 6, -1, 0, 0, -1, 0, 0}));
    h.engine->removeListener(&news);
}
