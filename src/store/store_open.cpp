#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <filesystem>

#include "base/log.h"
#include "store/file_lock.h"
#include "store/schema.h"
#include "store/sqlite.h"
#include "store/store.h"

namespace vocalis {

namespace {

std::unique_ptr<sqlite::Database> openDatabase(const std::string& path) {
    auto db = std::make_unique<sqlite::Database>(path);
    // Until the file proves readable, closing it must leave it and its log as they were found.
    db->setCheckpointOnClose(false);
    // The first statement that reads the file: a file that is not a database fails here.
    if (sqlite::Statement mode = db->prepare("PRAGMA journal_mode = WAL");
        !mode.step() || mode.text(0) != "wal")
        throw sqlite::Error(SQLITE_CANTOPEN, "cannot use a write-ahead log for " + path);
    db->exec("PRAGMA synchronous = FULL");
    // After a checkpoint the log is cut back to this, not kept at the largest it ever grew to.
    db->exec("PRAGMA journal_size_limit = 4194304");
    migrate(*db);
    // Read what a start reads, so that a damaged file shows now rather than at the first write.
    db->queryInteger("SELECT count(*) FROM queue");
    db->queryInteger("SELECT count(*) FROM current_song");
    db->setCheckpointOnClose(true);
    return db;
}

// Damage that a fresh file cures; anything else (a folder that cannot be written, a full disk)
// is no fault of the file and leaves it alone.
bool isUnreadable(const sqlite::Error& error) {
    return error.code() == SQLITE_NOTADB || error.code() == SQLITE_CORRUPT;
}

std::string utcStamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

// Moves the file and its write-ahead log and index aside under one new name; returns that name.
std::optional<std::string> moveAside(const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    std::string aside = path + ".broken-" + utcStamp();
    for (int n = 2; fs::exists(aside) || fs::exists(aside + "-wal"); ++n)
        aside = path + ".broken-" + utcStamp() + "-" + std::to_string(n);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::error_code failure;
        if (!fs::exists(path + suffix, failure)) continue;
        fs::rename(path + suffix, aside + suffix, failure);
        if (failure) {
            error = "cannot move " + path + suffix + " aside: " + failure.message();
            return std::nullopt;
        }
    }
    return aside;
}

}  // namespace

StoreOpening Store::open(const std::string& dataFolder) {
    auto lock = std::make_unique<FileLock>(dataFolder + "/vocalis.lock");
    if (lock->status() == FileLock::Status::kHeldElsewhere)
        return {std::nullopt, OpenStatus::kInUse, "another player uses " + dataFolder};
    if (lock->status() == FileLock::Status::kFailed)
        return {std::nullopt, OpenStatus::kFailed, lock->error()};

    const std::string path = dataFolder + "/vocalis.db";
    StoreOpening opening{std::nullopt, OpenStatus::kOpened, {}};
    for (;;) {
        try {
            auto db = openDatabase(path);
            const bool clean = db->queryInteger("SELECT ended_cleanly FROM run") != 0;
            db->exec("UPDATE run SET ended_cleanly = 0");
            opening.store.emplace(Store(std::move(lock), std::move(db), clean));
            return opening;
        } catch (const sqlite::Error& failure) {
            if (opening.status == OpenStatus::kReplacedBroken || !isUnreadable(failure))
                return {std::nullopt, OpenStatus::kFailed, path + ": " + failure.what()};
            std::string error;
            const auto aside = moveAside(path, error);
            if (!aside) return {std::nullopt, OpenStatus::kFailed, error};
            logParts("Store: ", path, " cannot be read (", failure.what(), "); moved aside as ", *aside,
                     " and started afresh");
            opening = {std::nullopt, OpenStatus::kReplacedBroken, *aside};
        }
    }
}

StoreOpening Store::openReadOnly(const std::string& dataFolder) {
    const std::string path = dataFolder + "/vocalis.db";
    std::error_code failure;
    if (!std::filesystem::exists(path, failure))
        return {std::nullopt, OpenStatus::kFailed, "no store in " + dataFolder + " (no vocalis.db)"};
    try {
        auto db = std::make_unique<sqlite::Database>(path, sqlite::Database::Mode::kReadOnly);
        // The player may be committing or checkpointing right now: wait for it rather than fail.
        db->exec("PRAGMA busy_timeout = 5000");
        const std::int64_t version = db->queryInteger("PRAGMA user_version");
        const auto known = static_cast<std::int64_t>(schemaSteps().size());
        if (version < 1 || version > known)
            return {std::nullopt, OpenStatus::kFailed,
                    path + ": schema version " + std::to_string(version) + ", this program reads 1 to " +
                        std::to_string(known)};
        return {Store(nullptr, std::move(db), true), OpenStatus::kOpened, {}};
    } catch (const sqlite::Error& error) {
        return {std::nullopt, OpenStatus::kFailed, path + ": " + error.what()};
    }
}

}  // namespace vocalis
