// The registry functions over one SQLite database file per user.
//
// Handles are private to one SqliteRegistry object: a table maps each open
// handle to the key it names and the rights it was opened with. Handle
// numbers are never given out twice by one object, so a closed handle stays
// invalid. The predefined roots need no opening and carry every right.
//
// As on the platform, the rights of a handle govern the values it reads and
// writes and the subkeys it lists; creating and deleting subkeys under it is
// the key's own matter (its security, which here always lets the user in),
// so a handle opened for reading creates subkeys too.
//
// The database is opened on first use. Reads of a database that does not
// exist yet see an empty registry and create nothing; the first write
// creates the folder and the file. Every change runs in its own
// transaction, so another process (the settings tool beside the player)
// sees a key either before or after the change, never half-written.

#include <sys/stat.h>

#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/sqlite/data_folder.h"
#include "platform/sqlite/key_tree.h"
#include "platform/sqlite/sqlite_db.h"

namespace velane::platform {
namespace {

using sqlite::DbError;
using sqlite::KeyId;
using sqlite::Transaction;

constexpr const char* kProductFolder = "/velane-afficheur";
constexpr const char* kDatabaseName = "/registry.sqlite";
// How long a process waits for another one's write to finish.
constexpr int kBusyTimeoutMs = 10000;

// Generic rights, which the platform maps onto key rights.
constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kMaximumAllowed = 0x02000000;

std::uint32_t KeyRights(std::uint32_t rights) {
  std::uint32_t out = rights;
  if (rights & (kGenericRead | kGenericExecute)) out |= kKeyRead;
  if (rights & kGenericWrite) out |= kKeyWrite;
  if (rights & (kGenericAll | kMaximumAllowed)) out |= kKeyAllAccess;
  return out;
}

bool IsRoot(RegHandle h) { return h >= kHkeyClassesRoot && h <= kHkeyDynData; }

KeyId RootId(RegHandle h) {
  return sqlite::kFirstRootId + static_cast<KeyId>(h - kHkeyClassesRoot);
}

bool IsRootId(KeyId id) { return id >= sqlite::kFirstRootId && id <= sqlite::kLastRootId; }

std::string_view NameOf(const char* name) {
  return name == nullptr ? std::string_view() : std::string_view(name);
}

// A subkey path split at its backslashes, read as the platform reads it: a
// run of backslashes separates two names as one does ("A\\\\B" is "A\\B", as
// code joining two pieces produces), trailing ones are ignored, and a path
// that begins with a backslash is refused.
std::optional<std::vector<std::string_view>> SplitPath(const char* subKey) {
  std::vector<std::string_view> parts;
  std::string_view rest = NameOf(subKey);
  if (!rest.empty() && rest.front() == '\\') return std::nullopt;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('\\');
    const std::string_view part = rest.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return parts;
}

RegStatus StatusOf(const DbError& e) {
  switch (e.Code()) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
      return kRegAccessDenied;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kRegBadDatabase;
    default:
      return kRegIoFailed;
  }
}

// Runs one registry function, turning a store failure into a status: the
// functions report statuses and never throw.
template <class F>
RegStatus Guarded(F&& body) noexcept {
  try {
    return body();
  } catch (const DbError& e) {
    return StatusOf(e);
  } catch (...) {
    return kRegIoFailed;
  }
}

// Copies a name and its NUL into a caller's buffer of `capacity` chars.
bool CopyName(const std::string& name, char* out, std::uint32_t capacity) {
  if (name.size() + 1 > capacity) return false;
  std::memcpy(out, name.data(), name.size());
  out[name.size()] = '\0';
  return true;
}

// Reports data size (and data, when a buffer is given) as the query and
// enumeration functions do.
RegStatus ReportData(const std::string& bytes, std::uint8_t* data, std::uint32_t* dataSize) {
  const auto size = static_cast<std::uint32_t>(bytes.size());
  if (data != nullptr) {
    if (*dataSize < size) {
      *dataSize = size;
      return kRegMoreData;
    }
    std::memcpy(data, bytes.data(), size);
  }
  if (dataSize != nullptr) *dataSize = size;
  return kRegSuccess;
}

class SqliteRegistry : public Registry {
 public:
  explicit SqliteRegistry(std::string path) : path_(std::move(path)) {}

  RegStatus RegCreateKeyExA(RegHandle key, const char* subKey, std::uint32_t, const char*,
                            std::uint32_t, std::uint32_t rights, const SecurityAttributes*,
                            RegHandle* result, std::uint32_t* disposition) override {
    if (result == nullptr) return kRegInvalidParameter;
    *result = 0;
    return Guarded([&] {
      const auto from = Find(key);
      if (!from) return kRegInvalidHandle;
      const auto parts = SplitPath(subKey);
      if (!parts) return kRegBadPathName;
      // An existing key is opened without taking the write lock.
      KeyId id = 0;
      RegStatus status = Walk(*from, *parts, id);
      bool created = false;
      if (status == kRegNotFound) status = WalkCreating(*from, *parts, id, created);
      if (status != kRegSuccess) return status;
      *result = AddHandle(id, rights);
      if (disposition != nullptr)
        *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
      return kRegSuccess;
    });
  }

  RegStatus RegOpenKeyExA(RegHandle key, const char* subKey, std::uint32_t, std::uint32_t rights,
                          RegHandle* result) override {
    if (result == nullptr) return kRegInvalidParameter;
    *result = 0;
    return Guarded([&] {
      const auto from = Find(key);
      if (!from) return kRegInvalidHandle;
      const auto parts = SplitPath(subKey);
      if (!parts) return kRegBadPathName;
      KeyId id = 0;
      const RegStatus status = Walk(*from, *parts, id);
      if (status == kRegSuccess) *result = AddHandle(id, rights);
      return status;
    });
  }

  RegStatus RegCloseKey(RegHandle key) override {
    if (IsRoot(key)) return kRegSuccess;
    return handles_.erase(key) == 1 ? kRegSuccess : kRegInvalidHandle;
  }

  RegStatus RegQueryValueExA(RegHandle key, const char* valueName, std::uint32_t*,
                             std::uint32_t* type, std::uint8_t* data,
                             std::uint32_t* dataSize) override {
    return Guarded([&] {
      const auto entry = Find(key);
      if (!entry) return kRegInvalidHandle;
      if (!(entry->rights & kKeyQueryValue)) return kRegAccessDenied;
      if (data != nullptr && dataSize == nullptr) return kRegInvalidParameter;
      std::optional<sqlite::StoredValue> value;
      const RegStatus status = Read(*entry, kRegNotFound, [&](sqlite3* db) {
        value = sqlite::FindValue(db, entry->id, NameOf(valueName));
        return value ? kRegSuccess : kRegNotFound;
      });
      if (status != kRegSuccess) return status;
      if (type != nullptr) *type = value->type;
      return ReportData(value->data, data, dataSize);
    });
  }

  RegStatus RegSetValueExA(RegHandle key, const char* valueName, std::uint32_t, std::uint32_t type,
                           const std::uint8_t* data, std::uint32_t dataSize) override {
    return Guarded([&] {
      const auto entry = Find(key);
      if (!entry) return kRegInvalidHandle;
      if (!(entry->rights & kKeySetValue)) return kRegAccessDenied;
      if (data == nullptr && dataSize > 0) return kRegInvalidParameter;
      std::string bytes(reinterpret_cast<const char*>(data), data ? dataSize : 0);
      // A string given without its terminating NUL is stored with one.
      if ((type == kRegSz || type == kRegExpandSz) && !bytes.empty() && bytes.back() != '\0')
        bytes.push_back('\0');
      return Write(*entry, [&](sqlite3* db) {
        sqlite::PutValue(db, entry->id, NameOf(valueName), type, bytes);
        return kRegSuccess;
      });
    });
  }

  RegStatus RegEnumValueA(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                          std::uint32_t*, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* dataSize) override {
    return Guarded([&] {
      const auto entry = Find(key);
      if (!entry) return kRegInvalidHandle;
      if (!(entry->rights & kKeyQueryValue)) return kRegAccessDenied;
      if (name == nullptr || nameSize == nullptr) return kRegInvalidParameter;
      if (data != nullptr && dataSize == nullptr) return kRegInvalidParameter;
      std::optional<sqlite::StoredValue> value;
      const RegStatus status = Read(*entry, kRegNoMoreItems, [&](sqlite3* db) {
        value = sqlite::ValueAt(db, entry->id, index);
        return value ? kRegSuccess : kRegNoMoreItems;
      });
      if (status != kRegSuccess) return status;
      if (!CopyName(value->name, name, *nameSize)) return kRegMoreData;
      *nameSize = static_cast<std::uint32_t>(value->name.size());
      if (type != nullptr) *type = value->type;
      return ReportData(value->data, data, dataSize);
    });
  }

  RegStatus RegEnumKeyA(RegHandle key, std::uint32_t index, char* name,
                        std::uint32_t nameSize) override {
    return Guarded([&] {
      const auto entry = Find(key);
      if (!entry) return kRegInvalidHandle;
      if (!(entry->rights & kKeyEnumerateSubKeys)) return kRegAccessDenied;
      if (name == nullptr) return kRegInvalidParameter;
      std::optional<std::string> found;
      const RegStatus status = Read(*entry, kRegNoMoreItems, [&](sqlite3* db) {
        found = sqlite::SubKeyAt(db, entry->id, index);
        return found ? kRegSuccess : kRegNoMoreItems;
      });
      if (status != kRegSuccess) return status;
      return CopyName(*found, name, nameSize) ? kRegSuccess : kRegMoreData;
    });
  }

  RegStatus RegDeleteKeyA(RegHandle key, const char* subKey) override {
    // A null subkey is refused, as the platform does: only an empty one
    // names the key itself, so a missing argument never deletes anything.
    if (subKey == nullptr) return kRegInvalidParameter;
    return Guarded([&] {
      // The rights of the handle play no part: deleting is the key's matter.
      const auto from = Find(key);
      if (!from) return kRegInvalidHandle;
      const auto parts = SplitPath(subKey);
      if (!parts) return kRegBadPathName;
      if (IsRootId(from->id) && parts->empty()) return kRegAccessDenied;
      if (!Exists()) return IsRootId(from->id) ? kRegNotFound : kRegKeyDeleted;
      return Write(*from, [&](sqlite3* db) {
        KeyId id = from->id;
        for (std::string_view part : *parts) {
          const auto child = sqlite::FindSubKey(db, id, part);
          if (!child) return kRegNotFound;
          id = *child;
        }
        // A key with subkeys is refused whole: nothing is deleted.
        if (sqlite::HasSubKeys(db, id)) return kRegAccessDenied;
        sqlite::RemoveKey(db, id);
        return kRegSuccess;
      });
    });
  }

  RegStatus RegDeleteValueA(RegHandle key, const char* valueName) override {
    return Guarded([&] {
      const auto entry = Find(key);
      if (!entry) return kRegInvalidHandle;
      if (!(entry->rights & kKeySetValue)) return kRegAccessDenied;
      if (!Exists()) return IsRootId(entry->id) ? kRegNotFound : kRegKeyDeleted;
      return Write(*entry, [&](sqlite3* db) {
        return sqlite::RemoveValue(db, entry->id, NameOf(valueName)) ? kRegSuccess : kRegNotFound;
      });
    });
  }

 private:
  struct OpenKeyEntry {
    KeyId id = 0;
    std::uint32_t rights = 0;
  };

  // The key a handle names; none for 0, a closed or an unknown handle.
  std::optional<OpenKeyEntry> Find(RegHandle h) const {
    if (IsRoot(h)) return OpenKeyEntry{RootId(h), kKeyAllAccess};
    const auto it = handles_.find(h);
    if (it == handles_.end()) return std::nullopt;
    return it->second;
  }

  RegHandle AddHandle(KeyId id, std::uint32_t rights) {
    // Numbers run below the roots' and skip 0 and any still in use.
    do {
      nextHandle_ = nextHandle_ >= kHkeyClassesRoot - 1 ? 1 : nextHandle_ + 1;
    } while (handles_.count(nextHandle_) != 0);
    handles_[nextHandle_] = OpenKeyEntry{id, KeyRights(rights)};
    return nextHandle_;
  }

  bool Exists() const {
    if (db_) return true;
    struct stat st {};
    return !path_.empty() && ::stat(path_.c_str(), &st) == 0;
  }

  // The connection for reading: nullptr while the database does not exist.
  sqlite3* ReadConnection() {
    if (!db_ && Exists()) Connect(SQLITE_OPEN_READWRITE);
    return db_.get();
  }

  // The connection for writing, creating the folder and the file if needed.
  sqlite3* WriteConnection() {
    if (db_) return db_.get();
    const std::size_t slash = path_.rfind('/');
    if (slash == std::string::npos || !sqlite::MakePrivateFolders(path_.substr(0, slash)))
      throw DbError(SQLITE_CANTOPEN, "no folder for the registry database");
    Connect(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    return db_.get();
  }

  void Connect(int flags) {
    sqlite::DbPtr db = sqlite::OpenDatabase(path_, flags);
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    // Write-ahead logging lets readers go on while another process writes;
    // a full sync at each commit keeps a committed change across a power
    // cut. Failing to switch modes (another process holding the file) only
    // costs concurrency, so that failure is ignored.
    sqlite3_exec(db.get(), "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    sqlite::Execute(db.get(), "PRAGMA synchronous = FULL");
    if (!sqlite::HasSchema(db.get())) {
      try {
        sqlite::EnsureSchema(db.get());
      } catch (const DbError& e) {
        // A database of an earlier version that cannot be written (a
        // read-only file) is still read as it is.
        if (e.Code() != SQLITE_READONLY) throw;
      }
    }
    db_ = std::move(db);
  }

  // Walks `parts` down from the key of `from` without changing anything.
  RegStatus Walk(const OpenKeyEntry& from, const std::vector<std::string_view>& parts, KeyId& id) {
    id = from.id;
    const RegStatus withoutDatabase = parts.empty() ? kRegSuccess : kRegNotFound;
    return Read(from, withoutDatabase, [&](sqlite3* db) {
      for (std::string_view part : parts) {
        const auto child = sqlite::FindSubKey(db, id, part);
        if (!child) return kRegNotFound;
        id = *child;
      }
      return kRegSuccess;
    });
  }

  RegStatus WalkCreating(const OpenKeyEntry& from, const std::vector<std::string_view>& parts,
                         KeyId& id, bool& created) {
    return Write(from, [&](sqlite3* db) {
      id = from.id;
      for (std::string_view part : parts) {
        if (const auto child = sqlite::FindSubKey(db, id, part)) {
          id = *child;
          continue;
        }
        id = sqlite::AddSubKey(db, id, part);
        created = true;
      }
      return kRegSuccess;
    });
  }

  // Runs `body` in a read transaction on the key of `entry`. Without a
  // database a root is an empty key (status `withoutDatabase`), and any other
  // key was deleted with the whole store.
  template <class F>
  RegStatus Read(const OpenKeyEntry& entry, RegStatus withoutDatabase, F&& body) {
    sqlite3* db = ReadConnection();
    if (db == nullptr) return IsRootId(entry.id) ? withoutDatabase : kRegKeyDeleted;
    Transaction tx(db, Transaction::Kind::kRead);
    if (!sqlite::KeyExists(db, entry.id)) return kRegKeyDeleted;
    return body(db);
  }

  // Runs `body` in a write transaction on the key of `entry`; its status
  // decides between commit and rollback.
  template <class F>
  RegStatus Write(const OpenKeyEntry& entry, F&& body) {
    sqlite3* db = WriteConnection();
    Transaction tx(db, Transaction::Kind::kWrite);
    if (!sqlite::KeyExists(db, entry.id)) return kRegKeyDeleted;
    const RegStatus status = body(db);
    if (status == kRegSuccess) tx.Commit();
    return status;
  }

  std::string path_;
  sqlite::DbPtr db_;
  std::map<RegHandle, OpenKeyEntry> handles_;
  RegHandle nextHandle_ = 0;
};

}  // namespace

std::string UserRegistryPath() {
  const std::string home = sqlite::UserDataHome();
  return home.empty() ? std::string() : home + kProductFolder + kDatabaseName;
}

std::unique_ptr<Registry> OpenUserRegistry() {
  return std::make_unique<SqliteRegistry>(UserRegistryPath());
}

}  // namespace velane::platform
