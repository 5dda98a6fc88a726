#include "store/store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "base/virtual_scheduler.h"
#include "store/history_csv.h"
#include "store/schema.h"
#include "store/sqlite.h"
#include "store/store_writer.h"
#include "support/temp_dir.h"

using namespace vocalis;
using vocalis::testing::readFile;
using vocalis::testing::TempDir;
namespace fs = std::filesystem;

namespace {

WallTime at(std::int64_t seconds) { return WallTime(std::chrono::seconds(seconds)); }

// 2024-05-01T20:00:00Z
constexpr std::int64_t kEvening = 1714593600;

Store openStore(const std::string& folder) {
    StoreOpening opening = Store::open(folder);
    EXPECT_EQ(opening.status, OpenStatus::kOpened) << opening.detail;
    if (!opening.store) throw std::runtime_error("no store: " + opening.detail);
    return std::move(*opening.store);
}

std::vector<std::string> titles(const std::vector<HistoryEntry>& rows) {
    std::vector<std::string> out;
    for (const auto& row : rows) out.push_back(row.start.song.title);
    return out;
}

PlayState queueOf(int songs, std::size_t titleLength) {
    PlayState play;
    for (int i = 0; i < songs; ++i)
        play.waiting.push_back({{"Pop/" + std::to_string(i) + ".mkv", std::string(titleLength, 't'), "S", i},
                                "Guest",
                                i % 7,
                                false});
    return play;
}

}  // namespace

TEST(Store, WhatItKeepsSurvivesARestart) {
    TempDir dir;
    const SongIdentity wet{"Pop/Ướt mi - Trịnh.mkv", "Ướt mi", "Trịnh", 1234};
    const SongIdentity odd{"Mới/a,b \"q\".mp4", "=a,b \"q\"\nnext", "", 99};
    const SongIdentity hello{"Hello - Adele.mp4", "Hello", "Adele", 77};
    const PlayState play{CurrentSong{wet, "Đức", -6, 81500},
                         {{hello, "ANH", 6, true}, {odd, std::nullopt, 0, false}, {wet, "đức", 2, false}}};
    {
        StoreOpening opening = Store::open(dir.path());
        ASSERT_EQ(opening.status, OpenStatus::kOpened) << opening.detail;
        EXPECT_TRUE(opening.store->previousRunEndedCleanly());
        VirtualScheduler mainThread;
        std::vector<WriteError> outcomes;
        std::optional<std::vector<SongIdentity>> favourites;
        const auto done = [&](WriteError outcome) { outcomes.push_back(outcome); };
        {
            StoreWriter writer(std::move(*opening.store), mainThread);
            writer.run([&](Store& store) { return store.savePlay(play); }, done);
            writer.run([](Store& store) { return store.savePosition(90000); }, done);
            writer.run(
                [&](Store& store) -> WriteError {
                    const struct {
                        SongStart start;
                        std::optional<SongEnding> ending;
                        std::optional<int> score;
                    } starts[] = {
                        {{hello, "Anh", 1, at(kEvening)}, SongEnding::kFinished, 87},
                        {{odd, std::nullopt, 0, at(kEvening + 300)}, SongEnding::kSkipped, std::nullopt},
                        {{wet, "ĐỨC", -2, at(kEvening + 600)}, SongEnding::kFailed, std::nullopt},
                        {{hello, "đức", 0, at(kEvening + 900)}, std::nullopt, std::nullopt},  // still playing
                    };
                    for (const auto& each : starts) {
                        const auto id = store.recordStart(each.start);
                        if (!id.value) return id.error;
                        if (each.ending)
                            if (auto error =
                                    store.recordEnd(*id.value, each.start.started + std::chrono::seconds(200),
                                                    *each.ending, each.score))
                                return error;
                    }
                    return store.recordEnd(12345, at(kEvening), SongEnding::kFinished, 1).has_value()
                               ? std::nullopt
                               : WriteError("an unknown start was ended");
                },
                done);
            writer.run(
                [&](Store& store) {
                    for (const auto& [name, song] :
                         {std::pair("Anh", hello), {"ANH", wet}, {"anh", hello}, {"Đức", odd}})
                        if (auto error = store.addFavourite(name, song)) return error;
                    return store.removeFavourite("đỨc", odd);
                },
                done);
            // Queries go the same way.
            writer.run([](Store& store) { return store.favourites("anh"); },
                       [&](const StoreResult<std::vector<SongIdentity>>& read) { favourites = read.value; });
        }  // the writer finishes what it was asked before it goes
        EXPECT_TRUE(outcomes.empty()) << "outcomes come on the main thread";
        mainThread.runPending();
        EXPECT_EQ(outcomes, std::vector<WriteError>(4));
        EXPECT_EQ(favourites, (std::vector<SongIdentity>{hello, wet}));
    }

    {
        Store store = openStore(dir.path());
        PlayState expected = play;
        expected.current->positionMs = 90000;
        EXPECT_EQ(store.loadPlay().value, expected);

        EXPECT_EQ(titles(*store.history(std::nullopt, 10).value),
                  (std::vector<std::string>{"Hello", "Ướt mi", odd.title, "Hello"}));

        EXPECT_EQ(store.favourites("aNH").value, (std::vector<SongIdentity>{hello, wet})) << "kept";

        // The last three starts, as the export writes them.
        const auto evening = store.historyBetween(at(kEvening + 1), at(kEvening + 901));
        EXPECT_EQ(
            historyCsv(*evening.value),
            "started,ended,name,title,singer,key,ending,score,file\r\n"
            "2024-05-01T20:05:00Z,2024-05-01T20:08:20Z,,\"'=a,b \"\"q\"\"\nnext\",,0,skipped,,"
            "\"Mới/a,b \"\"q\"\".mp4\"\r\n"
            "2024-05-01T20:10:00Z,2024-05-01T20:13:20Z,ĐỨC,Ướt mi,Trịnh,-2,failed,,Pop/Ướt mi - Trịnh.mkv\r\n"
            "2024-05-01T20:15:00Z,,đức,Hello,Adele,0,,,Hello - Adele.mp4\r\n");
        EXPECT_EQ(store.endRun(), std::nullopt);
    }

    // A write-ahead log ("2" in the header's read and write versions).
    EXPECT_EQ(readFile(dir / "vocalis.db").substr(18, 2), std::string("\2\2"));
}

TEST(Store, ScoresOfAnOlderFileStayRandomAndTheBestMeasuredComeFirst) {
    TempDir dir;
    {  // a store from before scores were measured, with one score in it
        sqlite::Database db(dir / "vocalis.db");
        migrate(db, schemaSteps().first(1));
        db.exec(
            "INSERT INTO history (relative_path, title, singer, file_size, name_key, key, started_ms, "
            "ended_ms, ending, score) VALUES ('Old.mp4', 'Old', 'S', 1, '', 0, 1714590000000, "
            "1714590200000, 'finished', 99)");
    }
    Store store = openStore(dir.path());
    EXPECT_EQ(store.history(std::nullopt, 1).value->at(0).score, SongScore(99, false));
    const struct {
        const char* title;
        std::int64_t started;  // seconds after the evening began
        SongEnding ending;
        std::optional<SongScore> score;
    } sung[] = {
        {"Early", -3600, SongEnding::kFinished, SongScore{95, true}},  // before the evening
        {"Good", 0, SongEnding::kFinished, SongScore{80, true}},
        {"Lucky", 300, SongEnding::kFinished, SongScore{97, false}},  // drawn at random
        {"Best", 600, SongEnding::kFinished, SongScore{92, true}},
        {"Cut", 900, SongEnding::kSkipped, SongScore{100, true}},  // scored on what played, not a best
        {"Again", 1200, SongEnding::kFinished, SongScore{80, true}},
        {"Plain", 1500, SongEnding::kFinished, std::nullopt},
    };
    for (const auto& [title, started, ending, score] : sung) {
        const auto id = store.recordStart(
            {{std::string(title) + ".mp4", title, "S", 1}, "Lan", 0, at(kEvening + started)});
        ASSERT_TRUE(id.value) << id.error;
        ASSERT_EQ(store.recordEnd(*id.value, at(kEvening + started + 200), ending, score), std::nullopt);
    }
    EXPECT_EQ(titles(*store.bestScores(at(kEvening), 10).value),
              (std::vector<std::string>{"Best", "Good", "Again"}));
    EXPECT_EQ(titles(*store.bestScores(at(kEvening - 3600), 2).value),
              (std::vector<std::string>{"Early", "Best"}));
    EXPECT_EQ(store.bestScores(at(kEvening), 1).value->at(0).score, SongScore(92, true));
}

TEST(Store, AnUnreadableFileIsMovedAsideAndAFreshStoreMade) {
    const auto makeStore = [](const TempDir& dir) {
        ASSERT_EQ(openStore(dir.path()).savePlay(queueOf(2000, 100)), std::nullopt);
    };
    const struct {
        const char* what;
        std::function<void(const TempDir&)> spoil;
    } cases[] = {
        {"garbage",
         [](const TempDir& dir) {
             std::string bytes;
             for (int i = 0; i < 20000; ++i) bytes += std::to_string(i * 7919 % 251);
             dir.write("vocalis.db", bytes);
             dir.write("vocalis.db-wal", bytes.substr(0, 5000));
         }},
        {"truncated",
         [&](const TempDir& dir) {
             makeStore(dir);
             fs::resize_file(dir / "vocalis.db", fs::file_size(dir / "vocalis.db") / 2);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        c.spoil(dir);
        const std::string before = readFile(dir / "vocalis.db");
        const std::string logBefore = readFile(dir / "vocalis.db-wal");
        ::testing::internal::CaptureStderr();
        StoreOpening opening = Store::open(dir.path());
        const std::string logged = ::testing::internal::GetCapturedStderr();

        ASSERT_EQ(opening.status, OpenStatus::kReplacedBroken) << opening.detail;
        EXPECT_TRUE(opening.detail.starts_with(dir / "vocalis.db.broken-")) << opening.detail;
        EXPECT_EQ(readFile(opening.detail), before);
        EXPECT_EQ(readFile(opening.detail + "-wal"), logBefore);
        EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
        EXPECT_NE(logged.find(opening.detail), std::string::npos) << logged;

        Store& fresh = *opening.store;
        EXPECT_EQ(fresh.history(std::nullopt, 10).value->size(), 0u);
        EXPECT_EQ(fresh.savePlay(queueOf(3, 5)), std::nullopt);
        EXPECT_EQ(fresh.loadPlay().value, queueOf(3, 5));
    }
}

// A phone that stars songs under ever new names cannot fill the disk: the oldest stars go.
TEST(Store, FavouritesAreBoundedOldestFirst) {
    TempDir dir;
    openStore(dir.path());  // made, then closed
    {
        sqlite::Database db(dir / "vocalis.db");
        sqlite::Transaction fill(db);
        auto insert = db.prepare("INSERT INTO favourite VALUES (?, ?, 'a.mp4', 'A', '', 0)");
        for (std::int64_t i = 0; i < Store::kMaxFavourites; ++i) {
            insert.bind(1, "n" + std::to_string(i)).bind(2, "N").run();
            insert.reset();
        }
        fill.commit();
    }
    Store store = openStore(dir.path());
    ASSERT_FALSE(store.addFavourite("Lan", {"b.mp4", "B", "", 1}));
    EXPECT_EQ(store.favourites("n0").value, std::vector<SongIdentity>{});
    EXPECT_EQ(store.favourites("n1").value->size(), 1u);
    EXPECT_EQ(store.favourites("lan").value->size(), 1u);
}

TEST(StoreDeathTest, AFolderThatCannotBeWrittenOrAFullDiskIsAnErrorToTheCaller) {
    // Each in a child process: one gives up its root rights, the other lowers its file size limit.
    TempDir locked;
    ::chmod(locked.path().c_str(), 0555);
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::exit(2);
            const StoreOpening opening = Store::open(locked.path());
            std::cerr << opening.detail;
            std::exit(opening.status == OpenStatus::kFailed && !opening.store ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "Permission denied");

    // The disk fills while the player runs: the write fails and says so, nothing of it is kept,
    // and once there is room again the same write, retried whole, goes through.
    TempDir dir;
    const PlayState small = queueOf(3, 5), big = queueOf(3000, 300);
    EXPECT_EXIT(
        {
            Store store = openStore(dir.path());
            if (store.savePlay(small)) std::exit(2);
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            const rlim_t unlimited = limit.rlim_cur;
            // Room for a part of the new queue, not all of it.
            limit.rlim_cur = 64 * 1024;
            for (const char* suffix : {"", "-wal", "-shm"})
                limit.rlim_cur += fs::file_size(dir / "vocalis.db" + suffix);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const WriteError full = store.savePlay(big);
            const bool kept = store.loadPlay().value == small;
            limit.rlim_cur = unlimited;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const WriteError retried = store.savePlay(big);
            std::cerr << full.value_or("no error") << " " << kept << !retried;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "disk.* 11$");
    EXPECT_EQ(openStore(dir.path()).loadPlay().value, big);
}

TEST(StoreSchema, EachStepIsAppliedWholeOrNotAtAll) {
    TempDir dir;
    sqlite::Database db(dir / "steps.db");
    const std::string_view steps[] = {"CREATE TABLE a (x)", "CREATE TABLE b (x); INSERT INTO a VALUES (1)",
                                      "CREATE TABLE c (x); INSERT INTO nowhere VALUES (1)"};
    EXPECT_THROW(migrate(db, steps), sqlite::Error);
    EXPECT_EQ(db.queryInteger("PRAGMA user_version"), 2);
    EXPECT_EQ(db.queryInteger("SELECT count(*) FROM sqlite_schema WHERE name = 'c'"), 0);
    EXPECT_EQ(db.queryInteger("SELECT count(*) FROM a"), 1);
    try {
        migrate(db, std::span(steps).first(1));
        ADD_FAILURE() << "a file of a newer version was taken";
    } catch (const sqlite::Error& error) {
        EXPECT_EQ(error.code(), 26);  // SQLITE_NOTADB: not a file this player can read
    }
}
