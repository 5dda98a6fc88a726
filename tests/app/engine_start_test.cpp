#include "app/engine_harness.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

TEST(EngineStart, IntroRepeatsUntilTheCatalogueLoadsThenServicesOpenOnce) {
    EngineHarness h({"NhacMoi/Đêm Đông - Khánh Ly.mp4", "Mưa - Mỹ Tâm.mkv"});
    struct PlayNews final : EngineListener {
        void playStateChanged(bool playing) override { told.push_back(playing); }
        std::vector<bool> told;
    } news;
    h.engine->addListener(&news);
    h.foldersFound.clear();  // no drive yet
    h.launch();
    EXPECT_TRUE(h.player.equalizerEnabled);
    EXPECT_FALSE(h.overlays.menus);
    h.clock.advance(1000ms);
    ASSERT_EQ(h.player.location(), "http://127.0.0.1:1/intro.mp4");
    EXPECT_EQ(news.told, std::vector<bool>{true});  // the media keys and the web page see it play
    h.clock.advance(1000ms);
    ASSERT_TRUE(h.settle([&] { return h.overlays.title == "Không tìm thấy ổ cứng chứa nhạc"; }));
    EXPECT_TRUE(h.overlays.titleVisible);

    // The intro ends before anything is loaded: it plays again, nothing opens.
    h.clock.advance(3000ms);
    h.end();
    EXPECT_EQ(h.screen(), "intro intro.mp4 | Không tìm thấy ổ cứng chứa nhạc");
    EXPECT_EQ(h.player.opened, std::vector<std::string>(2, "http://127.0.0.1:1/intro.mp4"));
    EXPECT_EQ(h.sockets.port() + h.discovery.port(), 0);

    // A drive without songs is told apart; the retry 5 s later finds the one plugged in then.
    h.songsDir.write("Empty/readme.txt");
    h.foldersFound = {h.songsDir / "Empty"};
    h.clock.advance(5000ms);
    ASSERT_TRUE(h.settle([&] { return h.overlays.title == "Không tìm thấy bài hát"; }));
    h.foldersFound = {h.songsDir / "Karaoke"};
    h.clock.advance(5000ms);
    ASSERT_TRUE(h.loaded());
    EXPECT_FALSE(h.overlays.titleVisible);
    EXPECT_TRUE(h.overlays.nextVisible);
    EXPECT_EQ(h.songs.getCount(), 2);
    EXPECT_EQ(h.sockets.port(), 0);  // still closed until the intro ends
    h.clock.advance(3000ms);
    h.end();
    EXPECT_NE(h.sockets.port(), 0);
    EXPECT_NE(h.discovery.port(), 0);
    EXPECT_TRUE(h.overlays.menus);
    EXPECT_FALSE(h.overlays.recordMenu);  // no camera
    // Nothing queued: the idle clip with its prompt, never a score.
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát");

    // The phones get the catalogue the scan made.
    WatchingPhone phone(h.sockets.port());
    ASSERT_TRUE(phone.client.send(wire::action(1), 5s));
    const auto catalogue = phone.next(1);
    EXPECT_EQ(catalogue.text, h.songs.catalogue()->text);
    EXPECT_EQ(catalogue.songCount, 2);

    // The idle clip's end with nothing queued plays it again, unscored even with scoring on.
    h.engine->setHasScoring(true);
    const auto discoveryPort = h.discovery.port();
    h.clock.advance(2000ms);
    h.end();
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát");
    EXPECT_EQ(h.discovery.port(), discoveryPort);
}

TEST(EngineStart, StoredEqualizerIsAppliedAndRewrittenInItsCanonicalForm) {
    // Nothing stored, and a setting to read leniently; a band of -99 is left untouched.
    const std::tuple<const char*, float, std::vector<float>, std::string> cases[] = {
        {nullptr, 11, {4, 4, 3, 2, 0, 0, 2, 3, 4, 4}, kDefaultEqualizer},
        {"3 -2.25 x 1e1", 3, {-2.25f, 0, 10, -99, -99, -99, -99, -99, -99, -99}, "3.0 -2.2 0.0 10.0"},
    };
    for (const auto& [stored, pre, bands, rewritten] : cases) {
        SCOPED_TRACE(rewritten);
        EngineHarness h({"a.mp4"});
        if (stored) h.preferences.setString(KEY_EQ, stored);
        h.preferences.setBool(KEY_SCORING, stored);
        h.launch();
        EXPECT_FLOAT_EQ(h.player.preAmplification, pre);
        EXPECT_EQ(h.player.bands, bands);
        EXPECT_EQ(h.preferences.stringForKey(KEY_EQ), rewritten);
        EXPECT_EQ(h.preferences.stringForKey(KEY_DEVICE_NAME), "ca");
        EXPECT_EQ(h.engine->flags().hasScoring, stored != nullptr);
    }
}

TEST(EngineStart, AShortIntroWithinTheStartLockStillLeadsToTheFirstSongAndShutdownClosesAll) {
    EngineHarness h({"Mưa - Mỹ Tâm.mkv"});
    h.launch();
    h.clock.advance(1000ms);
    ASSERT_EQ(h.player.location(), "http://127.0.0.1:1/intro.mp4");
    h.end();  // a clip shorter than the start lock, over before the catalogue loads
    h.clock.advance(1000ms);
    ASSERT_TRUE(h.loaded());
    h.clock.advance(1000ms);  // the lock is over
    EXPECT_NE(h.sockets.port(), 0);
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát");

    // Shutdown leaves nothing listening; events already on their way change nothing.
    const auto port = h.sockets.port();
    h.engine->applicationWillTerminate();
    EXPECT_FALSE(h.player.hasMedia());
    EXPECT_FALSE(PhoneClient().connect("127.0.0.1", port, 2s));
    h.end();
    EXPECT_FALSE(h.player.hasMedia());
}
