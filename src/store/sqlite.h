#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A thin RAII layer over SQLite's C interface for the store's own files. Every failure throws
// sqlite::Error; the store turns it into an error value at its public boundary.
namespace vocalis::sqlite {

class Error : public std::runtime_error {
  public:
    Error(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    // SQLite's primary result code (SQLITE_FULL, SQLITE_NOTADB, ...).
    int code() const { return code_; }

  private:
    int code_;
};

class Statement {
  public:
    Statement(sqlite3* db, std::string_view sql);

    // Parameters are numbered from 1.
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bindNull(int index);
    template <typename T>
    Statement& bind(int index, const std::optional<T>& value) {
        return value ? bind(index, *value) : bindNull(index);
    }

    // Steps once: true while a row is ready.
    bool step();
    // Steps to the end, for statements without results.
    void run();
    void reset();

    bool isNull(int column) const;
    std::int64_t integer(int column) const;
    std::string text(int column) const;
    std::optional<std::int64_t> optionalInteger(int column) const;
    std::optional<std::string> optionalText(int column) const;

  private:
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

class Database {
  public:
    enum class Mode { kReadWrite, kReadOnly };

    // Opens the file read-write, creating it when missing; or only reads an existing file.
    explicit Database(const std::string& path, Mode mode = Mode::kReadWrite);

    // Runs statements that give no rows.
    void exec(const std::string& sql);
    Statement prepare(std::string_view sql) { return Statement(db_.get(), sql); }
    // The single integer the query gives.
    std::int64_t queryInteger(std::string_view sql);
    std::int64_t lastInsertId() const;
    // Rows changed by the last statement.
    int changes() const;
    bool inTransaction() const;
    // Whether closing folds the write-ahead log into the file (and removes it); on by default.
    void setCheckpointOnClose(bool on);

  private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    std::unique_ptr<sqlite3, Closer> db_;
};

// BEGIN IMMEDIATE; rolled back when left without commit().
class Transaction {
  public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  private:
    Database& db_;
    bool committed_ = false;
};

}  // namespace vocalis::sqlite
