#include "store/store.h"

#include <sqlite3.h>

#include "catalogue/unicode_text.h"
#include "store/file_lock.h"
#include "store/sqlite.h"

namespace vocalis {

namespace {

std::optional<SongEnding> endingOf(const std::optional<std::string>& text) {
    for (const SongEnding ending : {SongEnding::kFinished, SongEnding::kSkipped, SongEnding::kFailed})
        if (text == endingName(ending)) return ending;
    return std::nullopt;
}

// Names are one guest when fair turns take them for one.
std::string nameKey(std::string_view name) { return lowerCase(name); }

// Songs take four columns (path, title, singer, size), from `first` on.
void bindSong(sqlite::Statement& statement, int first, const SongIdentity& song) {
    statement.bind(first, song.relativePath)
        .bind(first + 1, song.title)
        .bind(first + 2, song.singer)
        .bind(first + 3, song.fileSize);
}

SongIdentity songAt(const sqlite::Statement& row, int first) {
    return {row.text(first), row.text(first + 1), row.text(first + 2), row.integer(first + 3)};
}

WallTime timeOf(std::int64_t ms) { return WallTime(std::chrono::milliseconds(ms)); }

constexpr std::string_view kHistoryColumns =
    "SELECT id, relative_path, title, singer, file_size, name, key, started_ms, ended_ms, ending, score, "
    "score_measured FROM history ";

std::vector<HistoryEntry> historyRows(sqlite::Statement& statement) {
    std::vector<HistoryEntry> rows;
    while (statement.step()) {
        HistoryEntry& row = rows.emplace_back();
        row.id = statement.integer(0);
        row.start = {songAt(statement, 1), statement.optionalText(5), static_cast<int>(statement.integer(6)),
                     timeOf(statement.integer(7))};
        if (const auto ended = statement.optionalInteger(8)) row.ended = timeOf(*ended);
        row.ending = endingOf(statement.optionalText(9));
        if (const auto score = statement.optionalInteger(10))
            row.score = SongScore{static_cast<int>(*score), statement.integer(11) != 0};
    }
    return rows;
}

}  // namespace

Store::Store(std::unique_ptr<FileLock> lock, std::unique_ptr<sqlite::Database> db,
             bool previousRunEndedCleanly)
    : lock_(std::move(lock)), db_(std::move(db)), previousRunEndedCleanly_(previousRunEndedCleanly) {}
Store::Store(Store&&) noexcept = default;
Store& Store::operator=(Store&&) noexcept = default;
Store::~Store() = default;

template <typename Change>
WriteError Store::write(Change change) {
    try {
        sqlite::Transaction transaction(*db_);
        change(*db_);
        transaction.commit();
        return std::nullopt;
    } catch (const sqlite::Error& failure) {
        return failure.what();
    }
}

template <typename T, typename Query>
StoreResult<T> Store::read(Query query) {
    try {
        return {query(*db_), {}};
    } catch (const sqlite::Error& failure) {
        return {std::nullopt, failure.what()};
    }
}

WriteError Store::endRun() {
    return write([](sqlite::Database& db) { db.exec("UPDATE run SET ended_cleanly = 1"); });
}

StoreResult<PlayState> Store::loadPlay() {
    return read<PlayState>([](sqlite::Database& db) {
        PlayState play;
        auto current = db.prepare(
            "SELECT relative_path, title, singer, file_size, name, key, position_ms FROM current_song");
        if (current.step())
            play.current = CurrentSong{songAt(current, 0), current.optionalText(4),
                                       static_cast<int>(current.integer(5)), current.integer(6)};
        auto waiting = db.prepare(
            "SELECT relative_path, title, singer, file_size, name, key, by_hand FROM queue ORDER BY "
            "position");
        while (waiting.step())
            play.waiting.push_back({songAt(waiting, 0), waiting.optionalText(4),
                                    static_cast<int>(waiting.integer(5)), waiting.integer(6) != 0});
        return play;
    });
}

WriteError Store::savePlay(const PlayState& play) {
    return write([&](sqlite::Database& db) {
        db.exec("DELETE FROM current_song; DELETE FROM queue");
        if (const auto& current = play.current) {
            auto insert = db.prepare(
                "INSERT INTO current_song (id, relative_path, title, singer, file_size, name, key, "
                "position_ms) "
                "VALUES (1, ?, ?, ?, ?, ?, ?, ?)");
            bindSong(insert, 1, current->song);
            insert.bind(5, current->name).bind(6, current->key).bind(7, current->positionMs).run();
        }
        auto insert = db.prepare(
            "INSERT INTO queue (position, relative_path, title, singer, file_size, name, key, by_hand) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        for (std::size_t i = 0; i < play.waiting.size(); ++i) {
            const QueuedSong& entry = play.waiting[i];
            insert.reset();
            insert.bind(1, static_cast<std::int64_t>(i));
            bindSong(insert, 2, entry.song);
            insert.bind(6, entry.name).bind(7, entry.key).bind(8, entry.byHand ? 1 : 0).run();
        }
    });
}

WriteError Store::savePosition(std::int64_t positionMs) {
    return write([&](sqlite::Database& db) {
        db.prepare("UPDATE current_song SET position_ms = ?").bind(1, positionMs).run();
    });
}

StoreResult<std::int64_t> Store::recordStart(const SongStart& start) {
    std::int64_t id = 0;
    if (auto error = write([&](sqlite::Database& db) {
            auto insert = db.prepare(
                "INSERT INTO history (relative_path, title, singer, file_size, name, name_key, key, "
                "started_ms) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
            bindSong(insert, 1, start.song);
            insert.bind(5, start.name)
                .bind(6, nameKey(start.name.value_or("")))
                .bind(7, start.key)
                .bind(8, start.started.time_since_epoch().count())
                .run();
            id = db.lastInsertId();
        }))
        return {std::nullopt, *error};
    return {id, {}};
}

WriteError Store::recordEnd(std::int64_t id, WallTime ended, SongEnding ending,
                            std::optional<SongScore> score) {
    return write([&](sqlite::Database& db) {
        auto update = db.prepare(
            "UPDATE history SET ended_ms = ?, ending = ?, score = ?, score_measured = ? WHERE id = ?");
        update.bind(1, ended.time_since_epoch().count())
            .bind(2, endingName(ending))
            .bind(3, score ? std::optional<std::int64_t>(score->value) : std::nullopt)
            .bind(4, score && score->measured ? 1 : 0)
            .bind(5, id)
            .run();
        if (db.changes() == 0) throw sqlite::Error(SQLITE_ERROR, "no song start " + std::to_string(id));
    });
}

StoreResult<std::vector<HistoryEntry>> Store::history(const std::optional<std::string>& name,
                                                      std::size_t limit) {
    return read<std::vector<HistoryEntry>>([&](sqlite::Database& db) {
        // Both orders follow an index (the row id ends each index entry), so no sort is needed.
        auto query = db.prepare(std::string(kHistoryColumns) + (name ? "WHERE name_key = ?2 " : "") +
                                "ORDER BY started_ms DESC, id DESC LIMIT ?1");
        query.bind(1, static_cast<std::int64_t>(limit));
        if (name) query.bind(2, nameKey(*name));
        return historyRows(query);
    });
}

StoreResult<std::vector<HistoryEntry>> Store::historyBetween(WallTime from, WallTime to) {
    return read<std::vector<HistoryEntry>>([&](sqlite::Database& db) {
        auto query = db.prepare(std::string(kHistoryColumns) +
                                "WHERE started_ms >= ? AND started_ms < ? ORDER BY started_ms, id");
        query.bind(1, from.time_since_epoch().count()).bind(2, to.time_since_epoch().count());
        return historyRows(query);
    });
}

StoreResult<std::vector<HistoryEntry>> Store::bestScores(WallTime since, std::size_t limit) {
    return read<std::vector<HistoryEntry>>([&](sqlite::Database& db) {
        auto query = db.prepare(std::string(kHistoryColumns) +
                                "WHERE ended_ms >= ? AND score_measured = 1 AND ending = 'finished' "
                                "ORDER BY score DESC, started_ms, id LIMIT ?");
        query.bind(1, since.time_since_epoch().count()).bind(2, static_cast<std::int64_t>(limit));
        return historyRows(query);
    });
}

WriteError Store::addFavourite(std::string_view name, const SongIdentity& song) {
    return write([&](sqlite::Database& db) {
        // A song chosen again moves to the top.
        auto insert = db.prepare(
            "INSERT OR REPLACE INTO favourite (name_key, name, relative_path, title, singer, file_size) "
            "VALUES (?, ?, ?, ?, ?, ?)");
        insert.bind(1, nameKey(name)).bind(2, name);
        bindSong(insert, 3, song);
        insert.run();
        db.prepare("DELETE FROM favourite WHERE rowid <= (SELECT MAX(rowid) FROM favourite) - ?")
            .bind(1, kMaxFavourites)
            .run();
    });
}

WriteError Store::removeFavourite(std::string_view name, const SongIdentity& song) {
    return write([&](sqlite::Database& db) {
        db.prepare("DELETE FROM favourite WHERE name_key = ? AND relative_path = ?")
            .bind(1, nameKey(name))
            .bind(2, song.relativePath)
            .run();
    });
}

StoreResult<std::vector<SongIdentity>> Store::favourites(std::string_view name) {
    return read<std::vector<SongIdentity>>([&](sqlite::Database& db) {
        auto query = db.prepare(
            "SELECT relative_path, title, singer, file_size FROM favourite WHERE name_key = ? "
            "ORDER BY rowid DESC");
        query.bind(1, nameKey(name));
        std::vector<SongIdentity> songs;
        while (query.step()) songs.push_back(songAt(query, 0));
        return songs;
    });
}

}  // namespace vocalis
