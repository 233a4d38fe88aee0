#include "platform/sqlite/key_tree.h"

#include "platform/sqlite/sqlite_db.h"

namespace velane::platform::sqlite {
namespace {

// Names are stored as blobs: they are ANSI bytes, not UTF-8, and blobs
// compare byte by byte. AUTOINCREMENT keeps the id of a deleted key from
// being given to a new one, so a handle left open on a deleted key can never
// reach another key.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name BLOB NOT NULL,
  fold BLOB NOT NULL,
  UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS key_values(
  key INTEGER NOT NULL,
  name BLOB NOT NULL,
  fold BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, fold)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES
  (1, 0, CAST('HKEY_CLASSES_ROOT' AS BLOB), CAST('HKEY_CLASSES_ROOT' AS BLOB)),
  (2, 0, CAST('HKEY_CURRENT_USER' AS BLOB), CAST('HKEY_CURRENT_USER' AS BLOB)),
  (3, 0, CAST('HKEY_LOCAL_MACHINE' AS BLOB), CAST('HKEY_LOCAL_MACHINE' AS BLOB)),
  (4, 0, CAST('HKEY_USERS' AS BLOB), CAST('HKEY_USERS' AS BLOB)),
  (5, 0, CAST('HKEY_PERFORMANCE_DATA' AS BLOB), CAST('HKEY_PERFORMANCE_DATA' AS BLOB)),
  (6, 0, CAST('HKEY_CURRENT_CONFIG' AS BLOB), CAST('HKEY_CURRENT_CONFIG' AS BLOB)),
  (7, 0, CAST('HKEY_DYN_DATA' AS BLOB), CAST('HKEY_DYN_DATA' AS BLOB));
PRAGMA user_version = 1;
)sql";

StoredValue ReadValueRow(const Statement& row) {
  return StoredValue{row.Bytes(0), static_cast<std::uint32_t>(row.Int(1)),
                     row.Bytes(2)};
}

}  // namespace

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return folded;
}

void EnsureSchema(sqlite3* db) {
  Transaction tx(db, Transaction::Kind::kWrite);
  Execute(db, kSchema);
  tx.Commit();
}

bool HasSchema(sqlite3* db) {
  Statement q(db,
              "SELECT count(*) FROM sqlite_master "
              "WHERE type = 'table' AND name IN ('keys', 'key_values')");
  return q.Step() && q.Int(0) == 2;
}

bool KeyExists(sqlite3* db, KeyId key) {
  Statement q(db, "SELECT 1 FROM keys WHERE id = ?");
  q.Bind(1, key);
  return q.Step();
}

std::optional<KeyId> FindSubKey(sqlite3* db, KeyId parent, std::string_view name) {
  Statement q(db, "SELECT id FROM keys WHERE parent = ? AND fold = ?");
  q.Bind(1, parent).BindBytes(2, FoldName(name));
  if (!q.Step()) return std::nullopt;
  return q.Int(0);
}

KeyId AddSubKey(sqlite3* db, KeyId parent, std::string_view name) {
  Statement q(db, "INSERT INTO keys(parent, name, fold) VALUES (?, ?, ?)");
  q.Bind(1, parent).BindBytes(2, name).BindBytes(3, FoldName(name));
  q.Step();
  return sqlite3_last_insert_rowid(db);
}

bool HasSubKeys(sqlite3* db, KeyId key) {
  Statement q(db, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  q.Bind(1, key);
  return q.Step();
}

void RemoveKey(sqlite3* db, KeyId key) {
  Statement values(db, "DELETE FROM key_values WHERE key = ?");
  values.Bind(1, key);
  values.Step();
  Statement self(db, "DELETE FROM keys WHERE id = ?");
  self.Bind(1, key);
  self.Step();
}

std::optional<std::string> SubKeyAt(sqlite3* db, KeyId key, std::uint32_t index) {
  Statement q(db,
              "SELECT name FROM keys WHERE parent = ? ORDER BY fold "
              "LIMIT 1 OFFSET ?");
  q.Bind(1, key).Bind(2, index);
  if (!q.Step()) return std::nullopt;
  return q.Bytes(0);
}

std::optional<StoredValue> FindValue(sqlite3* db, KeyId key, std::string_view name) {
  Statement q(db,
              "SELECT name, type, data FROM key_values WHERE key = ? AND fold = ?");
  q.Bind(1, key).BindBytes(2, FoldName(name));
  if (!q.Step()) return std::nullopt;
  return ReadValueRow(q);
}

void PutValue(sqlite3* db, KeyId key, std::string_view name, std::uint32_t type,
              std::string_view data) {
  Statement q(db,
              "INSERT INTO key_values(key, name, fold, type, data) "
              "VALUES (?, ?, ?, ?, ?) ON CONFLICT(key, fold) DO UPDATE SET "
              "type = excluded.type, data = excluded.data");
  q.Bind(1, key).BindBytes(2, name).BindBytes(3, FoldName(name));
  q.Bind(4, type).BindBytes(5, data);
  q.Step();
}

bool RemoveValue(sqlite3* db, KeyId key, std::string_view name) {
  Statement q(db, "DELETE FROM key_values WHERE key = ? AND fold = ?");
  q.Bind(1, key).BindBytes(2, FoldName(name));
  q.Step();
  return sqlite3_changes(db) > 0;
}

std::optional<StoredValue> ValueAt(sqlite3* db, KeyId key, std::uint32_t index) {
  Statement q(db,
              "SELECT name, type, data FROM key_values WHERE key = ? "
              "ORDER BY fold LIMIT 1 OFFSET ?");
  q.Bind(1, key).Bind(2, index);
  if (!q.Step()) return std::nullopt;
  return ReadValueRow(q);
}

}  // namespace velane::platform::sqlite
