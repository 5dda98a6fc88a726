// The engine keeping what plays in the real store, in a temporary folder.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "app/engine_harness.h"
#include "store/sqlite.h"
#include "support/run_program.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

namespace {
const std::vector<std::string> kSongs{"Anh - Tuấn.mp4", "Bông Hồng - Lan.mkv", "Chiều - .mp4",
                                      "Dạ Khúc - Quang.mp4", "Em Ơi - Hà.mp4"};

// Every piece of news a front-end hears finds its change on disk already: what the store holds
// and what the engine holds, side by side.
struct OnDisk final : EngineListener {
    OnDisk(EngineHarness& h, const std::string& folder) : h(h), db(folder + "/vocalis.db") {}
    void queueChanged() override { check("queue"); }
    void currentSongChanged(std::int32_t) override { check("current"); }
    void keyChanged(std::int32_t, std::int32_t) override { check("key"); }
    void requesterNameChanged(std::int32_t, const std::string&) override { check("name"); }

    void check(const std::string& news) {
        ++heard;
        if (const std::string stored = disk(), held = engine(); stored != held)
            faults.push_back(news + ": disk " + stored + ", engine " + held);
    }
    std::string disk() {
        return "current" + rows("current_song") + " waiting" + rows("queue ORDER BY position");
    }
    std::string rows(const std::string& table) {
        std::string text;
        auto rows = db.prepare("SELECT title, coalesce(name, ''), key FROM " + table);
        while (rows.step())
            text += " " + rows.text(0) + "/" + rows.text(1) + "/" + std::to_string(rows.integer(2));
        return text;
    }
    std::string engine() {
        std::string text = "current";
        const auto song = [&](const Song& s) {
            text += " " + std::string(s.title()) + "/" + h.engine->requesterName(s.songId).value_or("") +
                    "/" + std::to_string(h.engine->songKey(s.songId));
        };
        std::int32_t index = 0;
        if (const Song* head = h.songs.getCurrentSong(); head && h.songs.currentSongId() == head->songId)
            song(*head), index = 1;
        text += " waiting";
        for (; index < h.songs.getQueueCount(); ++index) song(*h.songs.getQueueSong(index));
        return text;
    }
    // All news out: the writes are on the store's thread.
    bool settled() {
        bool out = false;
        h.engine->afterNews([&] { out = true; });
        return h.settle([&] { return out; });
    }

    EngineHarness& h;
    sqlite::Database db;
    int heard = 0;
    std::vector<std::string> faults;
};

}  // namespace

TEST(EngineStore, ChangesAreOnDiskBeforeTheyAreAnnouncedAndComeBackAtTheNextStart) {
    TempDir data;
    {
        EngineHarness h(kSongs, "false", nullptr, data.path());
        h.launchToFirstSong();
        OnDisk onDisk(h, data.path());
        h.engine->addListener(&onDisk);
        // Each command, then all its news out.
        const auto run = [&](Command command) {
            h.run(std::move(command));
            ASSERT_TRUE(onDisk.settled());
        };
        const auto add = [&](const char* title, const char* name, int key) {
            run(Command::addSong(h.idOf(title), false, name, key));
        };
        add("Anh", "Hoa", 2);
        add("Bông Hồng", "Lan", -1);
        add("Chiều", "", 0);
        h.clock.advance(2500ms);
        h.end();  // "Anh" is sung to its end; "Bông Hồng" starts
        ASSERT_TRUE(onDisk.settled());
        EXPECT_EQ(h.songs.currentSongId(), h.idOf("Bông Hồng"));
        add("Dạ Khúc", "", 0);
        run({CommandKind::ClearQueue});
        EXPECT_EQ(h.songs.getQueueCount(), 1);  // "Bông Hồng" plays on
        add("Em Ơi", "Tú", 3);
        add("Chiều", "", 0);
        run(Command::setKey(h.idOf("Chiều"), -2));
        run(Command::requesterName(h.idOf("Chiều"), "Vy"));
        add("Dạ Khúc", "", 0);
        h.clock.advance(2500ms);
        run({CommandKind::Next});  // "Bông Hồng" is skipped; "Em Ơi" starts
        EXPECT_GE(onDisk.heard, 12);
        EXPECT_EQ(onDisk.faults, std::vector<std::string>{});
        h.engine->removeListener(&onDisk);
    }  // a quit

    {
        Store store = std::move(*Store::open(data.path()).store);
        EXPECT_TRUE(store.previousRunEndedCleanly());
        std::vector<std::string> sung;
        const auto history = store.history(std::nullopt, 10).value.value_or(std::vector<HistoryEntry>{});
        for (const HistoryEntry& entry : history)
            sung.push_back(entry.start.song.title + "/" + entry.start.name.value_or("") + "/" +
                           std::to_string(entry.start.key) + " " +
                           std::string(entry.ending ? endingName(*entry.ending) : "open"));
        EXPECT_EQ(sung, (std::vector<std::string>{"Em Ơi/Tú/3 skipped", "Bông Hồng/Lan/-1 skipped",
                                                  "Anh/Hoa/2 finished"}));
        store.endRun();  // this look counts as a run
    }

    // The next start, without "Dạ Khúc": the song playing at the quit starts again from its start,
    // the queue behind it, and the song not found is counted on the screen for 5 s.
    EngineHarness h({"Anh - Tuấn.mp4", "Bông Hồng - Lan.mkv", "Chiều - .mp4", "Em Ơi - Hà.mp4"}, "false",
                    nullptr, data.path());
    h.launchToFirstSong();
    ASSERT_TRUE(h.settle([&] { return h.songs.currentSongId() == h.idOf("Em Ơi"); }));
    EXPECT_EQ(h.player.media->options, (std::vector<std::string>{":audio-track=1"}));
    EXPECT_EQ(h.overlays.title, "Em Ơi - Hà (Tú) · Tông +3");
    ASSERT_EQ(h.songs.getQueueCount(), 2);
    EXPECT_EQ(h.songs.getQueueSong(1)->songId, h.idOf("Chiều"));
    EXPECT_EQ(h.engine->requesterName(h.idOf("Chiều")), "Vy");
    EXPECT_EQ(h.engine->songKey(h.idOf("Chiều")), -2);
    EXPECT_EQ(h.overlays.message, "Không tìm thấy 1 bài trong hàng chờ");
    EXPECT_TRUE(h.overlays.messageVisible);
    h.clock.advance(5s);
    EXPECT_FALSE(h.overlays.messageVisible);
}

// A disk that takes no more (files may not grow): the player plays on and tells its news, says so
// once, and writes the whole state again once it can.
TEST(EngineStore, AFullDiskIsSaidOnceAndTheStateWrittenWhenItCanBeAgain) {
    TempDir data;
    EngineHarness h(kSongs, "false", nullptr, data.path());
    h.launchToFirstSong();
    OnDisk onDisk(h, data.path());
    ASSERT_TRUE(onDisk.settled());
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit full{0, limit.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    // The log goes to a pipe: a file could not take it either.
    int logPipe[2];
    ASSERT_EQ(::pipe2(logPipe, O_NONBLOCK), 0);
    const int savedStderr = ::dup(2);
    ::dup2(logPipe[1], 2);
    ::setrlimit(RLIMIT_FSIZE, &full);
    h.engine->addListener(&onDisk);
    for (const char* title : {"Anh", "Bông Hồng", "Chiều"}) {
        h.add(title);
        ASSERT_TRUE(onDisk.settled());
    }
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(onDisk.heard, 4);  // the start and each song queued, unwritten
    EXPECT_EQ(onDisk.faults.size(), 4u);
    EXPECT_EQ(h.songs.getQueueCount(), 3);

    // The next change (or, without one, a timer) writes everything again.
    h.run(Command::setKey(h.idOf("Chiều"), 4));
    ASSERT_TRUE(onDisk.settled());
    ::dup2(savedStderr, 2);
    std::string log(65536, '\0');
    log.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(logPipe[0], log.data(), log.size()))));
    for (const int fd : {logPipe[0], logPipe[1], savedStderr}) ::close(fd);
    EXPECT_EQ(occurrences(log, "Store: cannot write"), 1) << log;
    EXPECT_EQ(occurrences(log, "Store: writing again"), 1) << log;
    EXPECT_EQ(onDisk.disk(), "current Anh//0 waiting Bông Hồng//0 Chiều//4");
    h.engine->removeListener(&onDisk);
}
