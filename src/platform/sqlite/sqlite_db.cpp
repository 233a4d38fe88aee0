#include "platform/sqlite/sqlite_db.h"

namespace velane::platform::sqlite {
namespace {

[[noreturn]] void Throw(sqlite3* db, int code) {
  throw DbError(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

}  // namespace

DbPtr OpenDatabase(const std::string& path, int flags) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  // The handle is owned even on failure: it must be closed either way.
  DbPtr db(raw);
  if (rc != SQLITE_OK) Throw(db.get(), rc);
  sqlite3_extended_result_codes(db.get(), 1);
  return db;
}

void Execute(sqlite3* db, const char* sql) {
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Throw(db, rc);
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
  stmt_.reset(raw);
  if (rc != SQLITE_OK) Throw(db, rc);
}

Statement& Statement::Bind(int index, std::int64_t value) {
  const int rc = sqlite3_bind_int64(stmt_.get(), index, value);
  if (rc != SQLITE_OK) Throw(db_, rc);
  return *this;
}

Statement& Statement::BindBytes(int index, std::string_view bytes) {
  // A null pointer would bind NULL: point at a real (empty) buffer instead.
  static constexpr char kEmpty[1] = {0};
  const char* data = bytes.empty() ? kEmpty : bytes.data();
  const int rc = sqlite3_bind_blob64(stmt_.get(), index, data, bytes.size(), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) Throw(db_, rc);
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Throw(db_, rc);
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_.get(), column); }

std::string Statement::Bytes(int column) const {
  const void* data = sqlite3_column_blob(stmt_.get(), column);
  const int size = sqlite3_column_bytes(stmt_.get(), column);
  if (data == nullptr || size <= 0) return {};
  return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

Transaction::Transaction(sqlite3* db, Kind kind) : db_(db) {
  Execute(db, kind == Kind::kWrite ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
}

Transaction::~Transaction() {
  if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  Execute(db_, "COMMIT");
  open_ = false;
}

}  // namespace velane::platform::sqlite
