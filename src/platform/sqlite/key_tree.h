// The registry's keys and values as SQLite tables: a tree of keys (each row
// names its parent) and the typed values of each key. Names keep the case
// they were first given in; a second column holds them folded as the
// platform compares names (FoldAnsiCase), which is what lookups match and
// enumerations sort by.
//
// These functions do no locking of their own: callers run them inside a
// Transaction.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velane::platform::sqlite {

using KeyId = std::int64_t;

// The predefined root keys are rows 1 to 7, in the order of their handles.
inline constexpr KeyId kFirstRootId = 1;
inline constexpr KeyId kLastRootId = 7;

struct StoredValue {
  std::string name;
  std::uint32_t type = 0;
  std::string data;
};

// Creates the tables and the root rows when they are missing, and brings a
// database of an earlier version up to date.
void EnsureSchema(sqlite3* db);
// Whether the tables exist in the current version (a file another process
// has only just created may not have them yet).
bool HasSchema(sqlite3* db);

bool KeyExists(sqlite3* db, KeyId key);
std::optional<KeyId> FindSubKey(sqlite3* db, KeyId parent, std::string_view name);
KeyId AddSubKey(sqlite3* db, KeyId parent, std::string_view name);
bool HasSubKeys(sqlite3* db, KeyId key);
// Removes the key's values and the key itself (which has no subkeys).
void RemoveKey(sqlite3* db, KeyId key);
// The name of the subkey at this position of the name order.
std::optional<std::string> SubKeyAt(sqlite3* db, KeyId key, std::uint32_t index);

std::optional<StoredValue> FindValue(sqlite3* db, KeyId key, std::string_view name);
// Sets type and data; an existing value keeps the case of its name.
void PutValue(sqlite3* db, KeyId key, std::string_view name, std::uint32_t type,
              std::string_view data);
// False when there was no such value.
bool RemoveValue(sqlite3* db, KeyId key, std::string_view name);
// The value at this position of the name order (the unnamed value first).
std::optional<StoredValue> ValueAt(sqlite3* db, KeyId key, std::uint32_t index);

}  // namespace velane::platform::sqlite
