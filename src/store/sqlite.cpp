#include "store/sqlite.h"

#include <sqlite3.h>

namespace vocalis::sqlite {

namespace {

[[noreturn]] void fail(sqlite3* db, int code) {
    throw Error(code & 0xff, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

void check(sqlite3* db, int code) {
    if (code != SQLITE_OK) fail(db, code);
}

}  // namespace

void Statement::Finalizer::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    sqlite3_stmt* statement = nullptr;
    check(db, sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr));
    statement_.reset(statement);
}

Statement& Statement::bind(int index, std::int64_t value) {
    check(db_, sqlite3_bind_int64(statement_.get(), index, value));
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    check(db_, sqlite3_bind_text64(statement_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                                   SQLITE_UTF8));
    return *this;
}

Statement& Statement::bindNull(int index) {
    check(db_, sqlite3_bind_null(statement_.get(), index));
    return *this;
}

bool Statement::step() {
    const int code = sqlite3_step(statement_.get());
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    fail(db_, code);
}

void Statement::run() {
    while (step()) {
    }
}

void Statement::reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(statement_.get(), column); }

std::string Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_.get(), column);
    const int size = sqlite3_column_bytes(statement_.get(), column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size))
                 : std::string();
}

std::optional<std::int64_t> Statement::optionalInteger(int column) const {
    if (isNull(column)) return std::nullopt;
    return integer(column);
}

std::optional<std::string> Statement::optionalText(int column) const {
    if (isNull(column)) return std::nullopt;
    return text(column);
}

void Database::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

Database::Database(const std::string& path, Mode mode) {
    sqlite3* db = nullptr;
    const int flags =
        mode == Mode::kReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    db_.reset(db);  // a handle comes back even on failure, and must be closed
    check(db, code);
}

void Database::exec(const std::string& sql) {
    check(db_.get(), sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr));
}

std::int64_t Database::queryInteger(std::string_view sql) {
    Statement statement = prepare(sql);
    if (!statement.step()) throw Error(SQLITE_ERROR, "no row from: " + std::string(sql));
    return statement.integer(0);
}

std::int64_t Database::lastInsertId() const { return sqlite3_last_insert_rowid(db_.get()); }

int Database::changes() const { return sqlite3_changes(db_.get()); }

bool Database::inTransaction() const { return sqlite3_get_autocommit(db_.get()) == 0; }

void Database::setCheckpointOnClose(bool on) {
    check(db_.get(), sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, on ? 0 : 1, nullptr));
}

Transaction::Transaction(Database& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    // A failed COMMIT (a full disk) may already have rolled back.
    if (committed_ || !db_.inTransaction()) return;
    try {
        db_.exec("ROLLBACK");
    } catch (const Error&) {
    }
}

void Transaction::commit() {
    db_.exec("COMMIT");
    committed_ = true;
}

}  // namespace vocalis::sqlite
