#include "store/schema.h"

#include <sqlite3.h>

#include <array>
#include <string>

namespace vocalis {

namespace {

// Songs are kept by value (path below their song folder, title, singer, size) rather than by
// reference to a table of songs: every row stands on its own when drives come and go.
constexpr std::string_view kFirstVersion = R"sql(
CREATE TABLE run (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    ended_cleanly INTEGER NOT NULL
);
INSERT INTO run VALUES (1, 1);

CREATE TABLE current_song (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    relative_path TEXT NOT NULL,
    title TEXT NOT NULL,
    singer TEXT NOT NULL,
    file_size INTEGER NOT NULL,
    name TEXT,
    key INTEGER NOT NULL CHECK (key BETWEEN -6 AND 6),
    position_ms INTEGER NOT NULL
);

CREATE TABLE queue (
    position INTEGER PRIMARY KEY,
    relative_path TEXT NOT NULL,
    title TEXT NOT NULL,
    singer TEXT NOT NULL,
    file_size INTEGER NOT NULL,
    name TEXT,
    key INTEGER NOT NULL CHECK (key BETWEEN -6 AND 6),
    by_hand INTEGER NOT NULL
);

CREATE TABLE history (
    id INTEGER PRIMARY KEY,
    relative_path TEXT NOT NULL,
    title TEXT NOT NULL,
    singer TEXT NOT NULL,
    file_size INTEGER NOT NULL,
    name TEXT,
    name_key TEXT NOT NULL,
    key INTEGER NOT NULL,
    started_ms INTEGER NOT NULL,
    ended_ms INTEGER,
    ending TEXT CHECK (ending IN ('finished', 'skipped', 'failed')),
    score INTEGER
);
CREATE INDEX history_by_name ON history (name_key, started_ms);
CREATE INDEX history_by_start ON history (started_ms);

CREATE TABLE favourite (
    name_key TEXT NOT NULL,
    name TEXT NOT NULL,
    relative_path TEXT NOT NULL,
    title TEXT NOT NULL,
    singer TEXT NOT NULL,
    file_size INTEGER NOT NULL,
    PRIMARY KEY (name_key, relative_path)
);
)sql";

// Whether a score was measured from the singing (1) or drawn at random (0, as every score before).
constexpr std::string_view kMeasuredScores = R"sql(
ALTER TABLE history ADD COLUMN score_measured INTEGER NOT NULL DEFAULT 0;
CREATE INDEX history_by_end ON history (ended_ms);
)sql";

constexpr std::array<std::string_view, 2> kSteps = {kFirstVersion, kMeasuredScores};

}  // namespace

std::span<const std::string_view> schemaSteps() { return kSteps; }

void migrate(sqlite::Database& db, std::span<const std::string_view> steps) {
    const std::int64_t version = db.queryInteger("PRAGMA user_version");
    const auto known = static_cast<std::int64_t>(steps.size());
    if (version > known)
        throw sqlite::Error(SQLITE_NOTADB, "schema version " + std::to_string(version) +
                                               " is newer than this player's " + std::to_string(known));
    for (std::int64_t step = version; step < known; ++step) {
        sqlite::Transaction transaction(db);
        db.exec(std::string(steps[static_cast<std::size_t>(step)]));
        db.exec("PRAGMA user_version = " + std::to_string(step + 1));
        transaction.commit();
    }
}

}  // namespace vocalis
