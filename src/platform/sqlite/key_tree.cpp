#include "platform/sqlite/key_tree.h"

#include <set>
#include <utility>
#include <vector>

#include "config/ansi.h"
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
)sql";

// Version 1 folded ASCII letters only; version 2 folds every letter of the
// code page, as the platform does.
constexpr std::int64_t kSchemaVersion = 2;

std::int64_t SchemaVersion(sqlite3* db) {
  Statement q(db, "PRAGMA user_version");
  return q.Step() ? q.Int(0) : 0;
}

std::string FoldName(std::string_view name) { return velane::FoldAnsiCase(name); }

// Recomputes the fold column of one table. Two names that only the new
// folding makes alike cannot both keep it: the first (in `order`) does, and
// the other gets its fold, a NUL and its own name, which no lookup produces
// (names end at their first NUL), so it stays listed and nothing is lost.
// Every fold is first moved out of the way, so that no update meets a stale
// one in the unique index.
void Refold(sqlite3* db, const char* table, const char* owner, const char* order) {
  const std::string t(table);
  const std::string o(owner);
  Execute(db, ("UPDATE " + t + " SET fold = CAST(x'00' AS BLOB) || name").c_str());
  std::vector<std::pair<std::int64_t, std::string>> rows;
  {
    Statement q(db, "SELECT " + o + ", name FROM " + t + " ORDER BY " + order);
    while (q.Step()) rows.emplace_back(q.Int(0), q.Bytes(1));
  }
  std::set<std::pair<std::int64_t, std::string>> taken;
  for (const auto& [parent, name] : rows) {
    std::string fold = FoldName(name);
    if (!taken.emplace(parent, fold).second) fold += std::string(1, '\0') + name;
    Statement u(db, "UPDATE " + t + " SET fold = ? WHERE " + o + " = ? AND name = ?");
    u.BindBytes(1, fold).Bind(2, parent).BindBytes(3, name);
    u.Step();
  }
}

StoredValue ReadValueRow(const Statement& row) {
  return StoredValue{row.Bytes(0), static_cast<std::uint32_t>(row.Int(1)), row.Bytes(2)};
}

}  // namespace

void EnsureSchema(sqlite3* db) {
  Transaction tx(db, Transaction::Kind::kWrite);
  // Read under the write lock: another process may have just done this.
  const std::int64_t version = SchemaVersion(db);
  if (version >= kSchemaVersion) return;
  Execute(db, kSchema);
  if (version == 1) {
    Refold(db, "keys", "parent", "parent, id");
    Refold(db, "key_values", "key", "key, name");
  }
  Execute(db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  tx.Commit();
}

bool HasSchema(sqlite3* db) {
  Statement q(db,
              "SELECT count(*) FROM sqlite_master "
              "WHERE type = 'table' AND name IN ('keys', 'key_values')");
  return q.Step() && q.Int(0) == 2 && SchemaVersion(db) >= kSchemaVersion;
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
  Statement q(db, "SELECT name, type, data FROM key_values WHERE key = ? AND fold = ?");
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
