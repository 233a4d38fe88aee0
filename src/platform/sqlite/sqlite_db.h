// Thin RAII over the SQLite C API: a connection, a prepared statement and a
// transaction. Every failure throws DbError with SQLite's result code, so the
// callers can roll back by unwinding and turn the code into a status once.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velane::platform::sqlite {

class DbError : public std::runtime_error {
 public:
  DbError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  // SQLite's primary result code (SQLITE_BUSY, SQLITE_CORRUPT, ...).
  int Code() const { return code_ & 0xFF; }

 private:
  int code_;
};

struct DbCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;

// Opens the database file with the given sqlite3_open_v2 flags.
DbPtr OpenDatabase(const std::string& path, int flags);

// Runs SQL text that returns no rows (pragmas, schema, BEGIN/COMMIT).
void Execute(sqlite3* db, const char* sql);

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters are numbered from 1, as SQLite numbers them.
  Statement& Bind(int index, std::int64_t value);
  // Bytes are copied; an empty text binds an empty blob, never NULL.
  Statement& BindBytes(int index, std::string_view bytes);

  // One step: true when a row is ready, false when the statement is done.
  bool Step();

  // Columns are numbered from 0.
  std::int64_t Int(int column) const;
  std::string Bytes(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
  };
  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
};

// A transaction that rolls back unless Commit() was reached. Writers take
// the write lock at once (BEGIN IMMEDIATE) so that two processes never
// both read and then both try to upgrade; the busy timeout makes the second
// one wait instead of failing.
class Transaction {
 public:
  enum class Kind { kRead, kWrite };
  Transaction(sqlite3* db, Kind kind);
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction();
  void Commit();

 private:
  sqlite3* db_;
  bool open_ = true;
};

}  // namespace velane::platform::sqlite
