// The durable store, each figure beside its goal, in one run on one disk:
//  (a) a queue change (a 20-song PlayState) committed through StoreWriter and its outcome back on
//      the main thread, against a bare SQLite insert and commit of one row (WAL,
//      synchronous=FULL) in the same folder, alternating round by round; goal: ratio of the
//      medians <= 1.5 (savePlay called on this thread too, to show what the hops add);
//  (b) a 200-song queue restored against a 100,000-song catalogue (loadPlay, SongMatcher, 200
//      finds); goal: median <= 50 ms;
//  (c) one guest's songs (history(name, 50)) over 1,000,000 history rows; goal: median <= 5 ms.
//
// Songs come from bench/out/songs.txt (bench/make_song_tree.py --list) when it is there.
//
// usage: bench_store [FOLDER [ROUNDS]]   (FOLDER: where the files go, default a new folder in
// /var/tmp, removed at the end; it must be on the disk being measured, not a tmpfs)
#include <sqlite3.h>
#include <sys/vfs.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/scheduler.h"
#include "catalogue/catalogue.h"
#include "catalogue/unicode_text.h"
#include "song_list.h"
#include "store/song_identity.h"
#include "store/store.h"
#include "store/store_writer.h"

using namespace vocalis;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

// The bench's own thread plays the main thread: it runs what is posted when it waits for it.
class MainThread : public Scheduler {
  public:
    void post(Task task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        ready_.notify_one();
    }
    void schedule(const std::string&, Millis, Task) override { throw std::logic_error("no timers here"); }
    void cancel(const std::string&) override {}
    bool isScheduled(const std::string&) const override { return false; }

    void runOne() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return !tasks_.empty(); });
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Task> tasks_;
};

void check(int code, sqlite3* db) {
    if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW)
        throw std::runtime_error(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

// A plain connection for the peer and for filling the history fast.
struct Connection {
    explicit Connection(const std::string& path) { check(sqlite3_open(path.c_str(), &db), db); }
    ~Connection() { sqlite3_close_v2(db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    void exec(const char* sql) { check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db); }
    sqlite3* db = nullptr;
};

Store openStore(const std::string& folder) {
    fs::create_directories(folder);
    StoreOpening opening = Store::open(folder);
    if (!opening.store) throw std::runtime_error("no store in " + folder + ": " + opening.detail);
    return std::move(*opening.store);
}

std::vector<Song> catalogueSongs(const std::string& folder) {
    auto paths = benchSongPaths();
    if (paths.empty())
        for (int n = 0; n < 100000; ++n)
            paths.push_back("Nhac" + std::to_string(n % 11) + "/Bài hát " + std::to_string(n) + " - Ca sĩ " +
                            std::to_string(n % 3000) + ".mp4");
    std::vector<Song> songs;
    for (const auto& path : paths)
        if (auto song = songFromPath(folder, path)) songs.push_back(std::move(*song));
    return songs;
}

// (a) Rounds alternate between the peer and the store so that a busy moment hits both.
void queueChange(const std::string& folder, int rounds) {
    const std::string peerPath = folder + "/peer.db";
    Connection peer(peerPath);
    peer.exec(
        "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
        "CREATE TABLE change (id INTEGER PRIMARY KEY, body TEXT NOT NULL)");
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(peer.db, "INSERT INTO change (body) VALUES (?)", -1, &insert, nullptr), peer.db);

    MainThread mainThread;
    StoreWriter writer(openStore(folder + "/queue"), mainThread);
    // The same write called on this thread: what the two thread hops add.
    Store direct = openStore(folder + "/direct");
    PlayState play{CurrentSong{{"Nhac0/Đang hát.mp4", "Đang hát", "Ca sĩ", 123456789}, "Lan", 0, 61000}, {}};
    for (int n = 0; n < 20; ++n)
        play.waiting.push_back({{"NhacTre/Bài " + std::to_string(n) + ".mp4", "Bài " + std::to_string(n),
                                 "Ca sĩ " + std::to_string(n % 5), 50000000 + n},
                                "Khách " + std::to_string(n % 6),
                                n % 13 - 6,
                                n == 0});

    std::vector<double> ours, bare, onThisThread;
    constexpr int kPerRound = 20;
    for (int round = -1; round < rounds; ++round) {  // round -1 warms up and is not counted
        for (int n = 0; n < kPerRound; ++n) {
            const auto start = Clock::now();
            sqlite3_reset(insert);
            sqlite3_bind_text(insert, 1, "Khách 3 thêm bài 42", -1, SQLITE_STATIC);
            check(sqlite3_step(insert), peer.db);
            if (round >= 0) bare.push_back(msSince(start));
        }
        for (int n = 0; n < kPerRound; ++n) {
            // A guest's song moves up one place: the whole queue is written again.
            const std::size_t at = static_cast<std::size_t>(1 + n % 19);
            std::swap(play.waiting[at - 1], play.waiting[at]);
            bool done = false;
            const auto start = Clock::now();
            writer.run([play](Store& store) { return store.savePlay(play); },
                       [&](const WriteError& error) {
                           if (error) throw std::runtime_error("savePlay: " + *error);
                           done = true;
                       });
            while (!done) mainThread.runOne();
            if (round >= 0) ours.push_back(msSince(start));
        }
        for (int n = 0; n < kPerRound; ++n) {
            const auto start = Clock::now();
            if (auto error = direct.savePlay(play)) throw std::runtime_error("savePlay: " + *error);
            if (round >= 0) onThisThread.push_back(msSince(start));
        }
    }
    sqlite3_finalize(insert);
    const double peerMedian = percentile(bare, 0.5), ourMedian = percentile(ours, 0.5);
    std::printf("(a) queue change, %zu each, alternating in rounds of %d:\n", ours.size(), kPerRound);
    std::printf("    bare insert + commit  median %6.3f ms  p90 %6.3f ms\n", peerMedian,
                percentile(bare, 0.9));
    std::printf("    StoreWriter savePlay  median %6.3f ms  p90 %6.3f ms\n", ourMedian,
                percentile(ours, 0.9));
    std::printf("    (savePlay on this thread median %6.3f ms)\n", percentile(onThisThread, 0.5));
    std::printf("    ratio of the medians %.2f (goal <= 1.5)\n", ourMedian / peerMedian);
}

// (b) What a start does once the catalogue is there.
void restore(const std::string& folder, int rounds) {
    const std::vector<std::string> songFolders{"/media/usb/Karaoke"};
    const auto catalogue = std::make_shared<const Catalogue>(buildCatalogue(catalogueSongs(songFolders[0])));
    PlayState play;
    std::mt19937 random(7);
    for (int n = 0; n < 200; ++n) {
        const Song& song = catalogue->songs[random() % catalogue->songs.size()];
        SongIdentity identity = songIdentity(song, songFolders);
        // Every tenth file was renamed since: found by title and singer instead.
        if (n % 10 == 9) identity.relativePath = "Moved/" + identity.relativePath;
        play.waiting.push_back({identity, "Khách " + std::to_string(n % 12), n % 13 - 6, false});
    }
    play.current = CurrentSong{play.waiting.back().song, "Lan", 2, 95000};
    Store store = openStore(folder + "/restore");
    if (auto error = store.savePlay(play)) throw std::runtime_error(*error);

    std::vector<double> total, loading, indexing, finding;
    for (int round = -1; round < rounds; ++round) {
        const auto start = Clock::now();
        const auto loaded = store.loadPlay();
        const double loadedMs = msSince(start);
        const SongMatcher matcher(catalogue, songFolders);
        const double indexedMs = msSince(start);
        int found = matcher.find(loaded.value->current->song) ? 1 : 0;
        for (const QueuedSong& song : loaded.value->waiting) found += matcher.find(song.song) ? 1 : 0;
        const double allMs = msSince(start);
        if (found != 201) throw std::runtime_error("only " + std::to_string(found) + " of 201 songs found");
        if (round < 0) continue;
        total.push_back(allMs);
        loading.push_back(loadedMs);
        indexing.push_back(indexedMs - loadedMs);
        finding.push_back(allMs - indexedMs);
    }
    std::printf("(b) restore of 200 queued songs and the current one against %zu songs, %d rounds:\n",
                catalogue->songs.size(), rounds);
    std::printf(
        "    median %.2f ms (goal <= 50): loadPlay %.2f, SongMatcher %.2f, 201 finds %.3f; max %.2f ms\n",
        percentile(total, 0.5), percentile(loading, 0.5), percentile(indexing, 0.5), percentile(finding, 0.5),
        percentile(total, 1.0));
}

// (c) The rows go in through a plain connection in one transaction: a million synced
// recordStart calls would take hours and measure nothing the figure is about.
void mySongs(const std::string& folder, int rounds) {
    constexpr int kRows = 1000000, kGuests = 2000;
    const std::string storeFolder = folder + "/history";
    openStore(storeFolder).endRun();
    {
        Connection db(storeFolder + "/vocalis.db");
        db.exec("PRAGMA synchronous = OFF; BEGIN");
        sqlite3_stmt* insert = nullptr;
        check(sqlite3_prepare_v2(
                  db.db,
                  "INSERT INTO history (relative_path, title, singer, file_size, name, name_key, "
                  "key, started_ms, ended_ms, ending, score) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                  "'finished', ?)",
                  -1, &insert, nullptr),
              db.db);
        std::mt19937 random(11);
        std::int64_t started = 1704067200000;  // 2024-01-01, four minutes a song from there
        for (int row = 0; row < kRows; ++row, started += 240000) {
            const std::string song = "Bài hát " + std::to_string(random() % 100000);
            const std::string name = "Khách " + std::to_string(random() % kGuests);
            const std::string path = "NhacTre/" + song + ".mp4", key = lowerCase(name);
            sqlite3_reset(insert);
            sqlite3_bind_text(insert, 1, path.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, song.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, "Ca sĩ", -1, SQLITE_STATIC);
            sqlite3_bind_int64(insert, 4, 40000000);
            sqlite3_bind_text(insert, 5, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 6, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 7, static_cast<int>(random() % 13) - 6);
            sqlite3_bind_int64(insert, 8, started);
            sqlite3_bind_int64(insert, 9, started + 200000);
            sqlite3_bind_int(insert, 10, static_cast<int>(random() % 101));
            check(sqlite3_step(insert), db.db);
        }
        sqlite3_finalize(insert);
        db.exec("COMMIT");
    }
    Store store = openStore(storeFolder);
    std::vector<double> times, everyone;
    std::mt19937 random(13);
    for (int round = -1; round < rounds * 20; ++round) {
        // Names typed as a phone sends them: another case than the one stored.
        const std::string name = "KHÁCH " + std::to_string(random() % kGuests);
        auto start = Clock::now();
        const auto songs = store.history(name, 50);
        const double ms = msSince(start);
        if (!songs.value || songs.value->size() != 50) throw std::runtime_error("history of " + name);
        start = Clock::now();
        store.history(std::nullopt, 50);
        if (round >= 0) times.push_back(ms), everyone.push_back(msSince(start));
    }
    std::printf("(c) history(name, 50) over %d rows of %d guests, %zu calls:\n", kRows, kGuests,
                times.size());
    std::printf("    median %.3f ms (goal <= 5), p99 %.3f ms, max %.3f ms; everyone's 50: median %.3f ms\n",
                percentile(times, 0.5), percentile(times, 0.99), percentile(times, 1.0),
                percentile(everyone, 0.5));
}

}  // namespace

int main(int argc, char** argv) {
    const bool ownFolder = argc < 2 || argv[1][0] == '\0';
    std::string folder = ownFolder ? "/var/tmp/vocalis-store-bench-XXXXXX" : argv[1];
    if (ownFolder && !::mkdtemp(folder.data())) {
        std::perror("bench_store: mkdtemp");
        return 1;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    struct statfs disk {};
    if (fs::create_directories(folder); ::statfs(folder.c_str(), &disk) == 0 && disk.f_type == 0x01021994)
        std::printf("warning: %s is a tmpfs: syncs cost nothing there\n", folder.c_str());
    std::printf("bench_store in %s\n", folder.c_str());
    try {
        queueChange(folder, rounds);
        restore(folder, rounds);
        mySongs(folder, rounds);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_store: %s\n", failure.what());
        if (ownFolder) fs::remove_all(folder);
        return 1;
    }
    if (ownFolder) fs::remove_all(folder);
    return 0;
}
