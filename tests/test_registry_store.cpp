// The registry store of Linux: statuses and behaviours of the platform
// functions over the SQLite database, across objects and processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "platform/registry.h"
#include "registry_test_support.h"

namespace velane {
namespace {

using namespace platform;
using testing::OpenRaw;
using testing::RawValue;

const std::uint8_t* Bytes(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }

class RegistryStore : public ::testing::Test {
 protected:
  // Creates a key under HKEY_CURRENT_USER with full rights; 0 on failure.
  RegHandle Create(const char* subKey, std::uint32_t* disposition = nullptr,
                   std::uint32_t rights = kKeyAllAccess) {
    RegHandle h = 0;
    std::uint32_t d = 0;
    const RegStatus status =
        reg->RegCreateKeyExA(kHkeyCurrentUser, subKey, 0, "", 0, rights, nullptr, &h, &d);
    if (disposition != nullptr) *disposition = d;
    return status == kRegSuccess ? h : 0;
  }
  RegStatus SetText(RegHandle key, const char* name, const std::string& text) {
    return reg->RegSetValueExA(key, name, 0, kRegSz, Bytes(text.c_str()),
                               static_cast<std::uint32_t>(text.size() + 1));
  }
  std::vector<std::string> ValueNames(RegHandle key) {
    std::vector<std::string> names;
    char name[256];
    for (std::uint32_t i = 0;; ++i) {
      std::uint32_t size = sizeof name;
      if (reg->RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
          kRegSuccess)
        return names;
      names.emplace_back(name, size);
    }
  }
  std::vector<std::string> SubKeys(RegHandle key) {
    std::vector<std::string> names;
    char name[256];
    for (std::uint32_t i = 0; reg->RegEnumKeyA(key, i, name, sizeof name) == 0; ++i)
      names.emplace_back(name);
    return names;
  }

  testing::TempDataHome home;
  std::unique_ptr<Registry> reg = OpenUserRegistry();
};

TEST_F(RegistryStore, LivesInTheUserDataFolderAfterXdg) {
  EXPECT_EQ(UserRegistryPath(), home.DatabasePath());
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string xdg = saved;
  // A relative XDG_DATA_HOME is not a valid setting: the home folder's
  // .local/share is used instead.
  ::setenv("XDG_DATA_HOME", "relative/data", 1);
  const std::string fallback = UserRegistryPath();
  ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  EXPECT_NE(fallback.find("/.local/share/velane-afficheur/registry.sqlite"), std::string::npos);
  EXPECT_EQ(fallback.find("relative"), std::string::npos);
}

TEST_F(RegistryStore, ReadsOfAMissingDatabaseCreateNothing) {
  RegHandle h = 123;
  EXPECT_EQ(reg->RegOpenKeyExA(kHkeyCurrentUser, "Software\\Player", 0, kKeyRead, &h),
            kRegNotFound);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(reg->RegOpenKeyExA(kHkeyCurrentUser, "Software", 0, kKeyAllAccess, &h), kRegNotFound);
  std::uint32_t size = 0;
  EXPECT_EQ(reg->RegQueryValueExA(kHkeyCurrentUser, "x", nullptr, nullptr, nullptr, &size),
            kRegNotFound);
  char name[16];
  EXPECT_EQ(reg->RegEnumKeyA(kHkeyCurrentUser, 0, name, sizeof name), kRegNoMoreItems);
  EXPECT_EQ(reg->RegDeleteValueA(kHkeyCurrentUser, "x"), kRegNotFound);
  EXPECT_EQ(reg->RegDeleteKeyA(kHkeyCurrentUser, "Software"), kRegNotFound);
  // The root itself opens without a database.
  const RegHandle root = OpenRaw(*reg, kHkeyCurrentUser, "");
  EXPECT_NE(root, 0u);
  EXPECT_EQ(reg->RegCloseKey(root), kRegSuccess);
  EXPECT_FALSE(std::filesystem::exists(home.ProductFolder()));
}

TEST_F(RegistryStore, FirstWriteCreatesAnOwnerOnlyFolder) {
  ASSERT_NE(Create("Software"), 0u);
  ASSERT_TRUE(home.DatabaseExists());
  struct stat st {};
  ASSERT_EQ(::stat(home.ProductFolder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(RegistryStore, FirstWriteCreatesMissingParentsOfTheDataFolder) {
  const std::string deeper = home.Path() + "/not/yet";
  ::setenv("XDG_DATA_HOME", deeper.c_str(), 1);
  auto other = OpenUserRegistry();
  RegHandle h = 0;
  ASSERT_EQ(
      other->RegCreateKeyExA(kHkeyCurrentUser, "A", 0, "", 0, kKeyAllAccess, nullptr, &h, nullptr),
      kRegSuccess);
  EXPECT_TRUE(std::filesystem::exists(deeper + "/velane-afficheur/registry.sqlite"));
}

TEST_F(RegistryStore, CreateMakesParentsAndReportsItsDisposition) {
  std::uint32_t disposition = 0;
  const RegHandle h = Create("Software\\Velane\\Player", &disposition);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  EXPECT_NE(OpenRaw(*reg, kHkeyCurrentUser, "Software\\Velane"), 0u);
  // Creating it again opens it; names are matched without regard to case.
  const RegHandle again = Create("SOFTWARE\\velane\\player", &disposition);
  ASSERT_NE(again, 0u);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  EXPECT_NE(again, h);
  ASSERT_EQ(SetText(again, "v", "1"), kRegSuccess);
  EXPECT_EQ(RawValue(*reg, h, "V"), std::string("1\0", 2));
  // The case first given is the one kept.
  EXPECT_EQ(SubKeys(OpenRaw(*reg, kHkeyCurrentUser, "software")),
            std::vector<std::string>{"Velane"});
}

TEST_F(RegistryStore, OpenOfAMissingKeyFailsAndCreatesNothing) {
  ASSERT_NE(Create("Software"), 0u);
  for (std::uint32_t rights : {kKeyRead, kKeyWrite, kKeyAllAccess}) {
    RegHandle h = 77;
    EXPECT_EQ(reg->RegOpenKeyExA(kHkeyCurrentUser, "Software\\Missing\\Deeper", 0, rights, &h),
              kRegNotFound);
    EXPECT_EQ(h, 0u);
  }
  EXPECT_TRUE(SubKeys(OpenRaw(*reg, kHkeyCurrentUser, "Software")).empty());
}

TEST_F(RegistryStore, InvalidHandlesAreRefusedEverywhere) {
  const RegHandle closed = Create("K");
  ASSERT_NE(closed, 0u);
  ASSERT_EQ(reg->RegCloseKey(closed), kRegSuccess);
  char name[16];
  std::uint32_t size = sizeof name;
  const std::uint8_t data[1] = {0};
  for (RegHandle bad : {RegHandle{0}, closed, RegHandle{0x80000007}, RegHandle{12345}}) {
    RegHandle h = 0;
    std::uint32_t disposition = 0;
    EXPECT_EQ(reg->RegCreateKeyExA(bad, "x", 0, "", 0, kKeyAllAccess, nullptr, &h, &disposition),
              kRegInvalidHandle);
    EXPECT_EQ(reg->RegOpenKeyExA(bad, "x", 0, kKeyRead, &h), kRegInvalidHandle);
    EXPECT_EQ(reg->RegCloseKey(bad), kRegInvalidHandle);
    EXPECT_EQ(reg->RegQueryValueExA(bad, "x", nullptr, nullptr, nullptr, &size), kRegInvalidHandle);
    EXPECT_EQ(reg->RegSetValueExA(bad, "x", 0, kRegSz, data, 1), kRegInvalidHandle);
    EXPECT_EQ(reg->RegEnumValueA(bad, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              kRegInvalidHandle);
    EXPECT_EQ(reg->RegEnumKeyA(bad, 0, name, sizeof name), kRegInvalidHandle);
    EXPECT_EQ(reg->RegDeleteKeyA(bad, "x"), kRegInvalidHandle);
    EXPECT_EQ(reg->RegDeleteValueA(bad, "x"), kRegInvalidHandle);
  }
  // The predefined roots need no closing.
  EXPECT_EQ(reg->RegCloseKey(kHkeyLocalMachine), kRegSuccess);
}

TEST_F(RegistryStore, HandlesBelongToTheObjectThatOpenedThem) {
  const RegHandle h = Create("K");
  ASSERT_NE(h, 0u);
  auto other = OpenUserRegistry();
  EXPECT_EQ(other->RegCloseKey(h), kRegInvalidHandle);
  EXPECT_EQ(reg->RegCloseKey(h), kRegSuccess);
}

TEST_F(RegistryStore, RightsOfTheHandleAreChecked) {
  ASSERT_NE(Create("K\\Sub"), 0u);
  const RegHandle readOnly = OpenRaw(*reg, kHkeyCurrentUser, "K", kKeyRead);
  ASSERT_NE(readOnly, 0u);
  EXPECT_EQ(SetText(readOnly, "v", "x"), kRegAccessDenied);
  EXPECT_EQ(reg->RegDeleteValueA(readOnly, "v"), kRegAccessDenied);
  // Subkeys are the key's matter, not the handle's (RegistryKeyTest holds
  // both stores to that).
  RegHandle h = 0;
  EXPECT_EQ(reg->RegCreateKeyExA(readOnly, "Sub", 0, "", 0, kKeyRead, nullptr, &h, nullptr),
            kRegSuccess);

  const RegHandle writeOnly = OpenRaw(*reg, kHkeyCurrentUser, "K", kKeyWrite);
  ASSERT_NE(writeOnly, 0u);
  EXPECT_EQ(SetText(writeOnly, "v", "x"), kRegSuccess);
  std::uint32_t size = 0;
  EXPECT_EQ(reg->RegQueryValueExA(writeOnly, "v", nullptr, nullptr, nullptr, &size),
            kRegAccessDenied);
  char name[16];
  EXPECT_EQ(reg->RegEnumKeyA(writeOnly, 0, name, sizeof name), kRegAccessDenied);
  EXPECT_EQ(RawValue(*reg, readOnly, "v"), std::string("x\0", 2));
  // The generic read right stands for the key read rights.
  const RegHandle generic = OpenRaw(*reg, kHkeyCurrentUser, "K", 0x80000000);
  EXPECT_EQ(RawValue(*reg, generic, "v"), std::string("x\0", 2));
}

TEST_F(RegistryStore, StringsAreStoredWithTheirNul) {
  const RegHandle h = Create("K");
  ASSERT_NE(h, 0u);
  ASSERT_EQ(reg->RegSetValueExA(h, "short", 0, kRegSz, Bytes("abc"), 3), kRegSuccess);
  ASSERT_EQ(reg->RegSetValueExA(h, "full", 0, kRegSz, Bytes("abc"), 4), kRegSuccess);
  ASSERT_EQ(reg->RegSetValueExA(h, "expand", 0, kRegExpandSz, Bytes("%P%"), 3), kRegSuccess);
  ASSERT_EQ(reg->RegSetValueExA(h, "bin", 0, kRegBinary, Bytes("abc"), 3), kRegSuccess);
  EXPECT_EQ(RawValue(*reg, h, "short"), std::string("abc\0", 4));
  EXPECT_EQ(RawValue(*reg, h, "full"), std::string("abc\0", 4));
  EXPECT_EQ(RawValue(*reg, h, "expand"), std::string("%P%\0", 4));
  // Other types keep their bytes exactly.
  EXPECT_EQ(RawValue(*reg, h, "bin"), std::string("abc"));
}

TEST_F(RegistryStore, DataBytesRoundTripWithTheirType) {
  const RegHandle h = Create("K");
  ASSERT_NE(h, 0u);
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  ASSERT_EQ(reg->RegSetValueExA(h, "bytes", 0, kRegBinary, Bytes(all.c_str()),
                                static_cast<std::uint32_t>(all.size())),
            kRegSuccess);
  const std::uint32_t five = 5;
  ASSERT_EQ(reg->RegSetValueExA(h, "dword", 0, kRegDword,
                                reinterpret_cast<const std::uint8_t*>(&five), 4),
            kRegSuccess);
  ASSERT_EQ(reg->RegSetValueExA(h, "empty", 0, kRegSz, nullptr, 0), kRegSuccess);
  std::uint32_t type = 0;
  EXPECT_EQ(RawValue(*reg, h, "bytes", &type), all);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(RawValue(*reg, h, "dword", &type), std::string("\x05\0\0\0", 4));
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(RawValue(*reg, h, "empty"), std::string());
  // Names are bytes of the code page too.
  ASSERT_EQ(SetText(h, "\xE9t\x80", "x"), kRegSuccess);
  EXPECT_EQ(RawValue(*reg, h, "\xC9T\x80"), std::string("x\0", 2));
}

TEST_F(RegistryStore, ATooSmallDataBufferGivesMoreData) {
  const RegHandle h = Create("K");
  ASSERT_EQ(SetText(h, "v", "abcdef"), kRegSuccess);
  std::uint8_t buffer[4] = {'-', '-', '-', '-'};
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(reg->RegQueryValueExA(h, "v", nullptr, nullptr, buffer, &size), kRegMoreData);
  EXPECT_EQ(size, 7u);
  std::uint32_t onlySize = 0;
  EXPECT_EQ(reg->RegQueryValueExA(h, "v", nullptr, nullptr, nullptr, &onlySize), kRegSuccess);
  EXPECT_EQ(onlySize, 7u);
  EXPECT_EQ(reg->RegQueryValueExA(h, "missing", nullptr, nullptr, nullptr, &onlySize),
            kRegNotFound);
}

TEST_F(RegistryStore, ValuesEnumerateByNameWithTheDefaultFirst) {
  const RegHandle h = Create("K");
  ASSERT_EQ(SetText(h, "b", "2"), kRegSuccess);
  ASSERT_EQ(SetText(h, "A", "1"), kRegSuccess);
  ASSERT_EQ(SetText(h, "", "default"), kRegSuccess);
  ASSERT_EQ(SetText(h, "c", "3"), kRegSuccess);
  // A second write under another case updates the value, keeping its name.
  ASSERT_EQ(SetText(h, "B", "two"), kRegSuccess);
  EXPECT_EQ(ValueNames(h), (std::vector<std::string>{"", "A", "b", "c"}));
  EXPECT_EQ(RawValue(*reg, h, "b"), std::string("two\0", 4));
  EXPECT_EQ(RawValue(*reg, h, nullptr), std::string("default\0", 8));

  // A name buffer without room for the name and its NUL.
  char name[2];
  std::uint32_t size = sizeof name;
  EXPECT_EQ(reg->RegEnumValueA(h, 1, name, &size, nullptr, nullptr, nullptr, nullptr), kRegSuccess);
  char small[1];
  size = sizeof small;
  EXPECT_EQ(reg->RegEnumValueA(h, 1, small, &size, nullptr, nullptr, nullptr, nullptr),
            kRegMoreData);
  // The data comes with the name when asked for.
  char full[8];
  std::uint8_t data[8];
  std::uint32_t dataSize = sizeof data;
  std::uint32_t type = 0;
  size = sizeof full;
  ASSERT_EQ(reg->RegEnumValueA(h, 2, full, &size, nullptr, &type, data, &dataSize), kRegSuccess);
  EXPECT_EQ(std::string(full, size), "b");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataSize), std::string("two\0", 4));
  EXPECT_EQ(type, kRegSz);
  size = sizeof full;
  EXPECT_EQ(reg->RegEnumValueA(h, 4, full, &size, nullptr, nullptr, nullptr, nullptr),
            kRegNoMoreItems);
}

TEST_F(RegistryStore, SubkeysEnumerateByName) {
  ASSERT_NE(Create("K\\zeta"), 0u);
  ASSERT_NE(Create("K\\Alpha"), 0u);
  ASSERT_NE(Create("K\\beta\\deep"), 0u);
  const RegHandle k = OpenRaw(*reg, kHkeyCurrentUser, "K");
  EXPECT_EQ(SubKeys(k), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
  char name[5];  // "Alpha" needs 6
  EXPECT_EQ(reg->RegEnumKeyA(k, 0, name, sizeof name), kRegMoreData);
  EXPECT_EQ(reg->RegEnumKeyA(k, 1, name, sizeof name), kRegSuccess);
  EXPECT_EQ(std::string(name), "beta");
}

TEST_F(RegistryStore, DeletingAKeyWithSubkeysIsRefusedWhole) {
  const RegHandle k = Create("K\\Child");
  ASSERT_NE(k, 0u);
  const RegHandle parent = OpenRaw(*reg, kHkeyCurrentUser, "K", kKeyAllAccess);
  ASSERT_EQ(SetText(parent, "v", "kept"), kRegSuccess);
  EXPECT_EQ(reg->RegDeleteKeyA(kHkeyCurrentUser, "K"), kRegAccessDenied);
  EXPECT_EQ(RawValue(*reg, parent, "v"), std::string("kept\0", 5));
  EXPECT_NE(OpenRaw(*reg, kHkeyCurrentUser, "K\\Child"), 0u);

  ASSERT_EQ(SetText(k, "w", "gone"), kRegSuccess);
  EXPECT_EQ(reg->RegDeleteKeyA(parent, "child"), kRegSuccess);
  EXPECT_EQ(reg->RegDeleteKeyA(parent, "child"), kRegNotFound);
  EXPECT_EQ(reg->RegDeleteKeyA(kHkeyCurrentUser, "K"), kRegSuccess);
  // Its values went with it: a new key of that name starts empty.
  std::uint32_t disposition = 0;
  const RegHandle again = Create("K\\Child", &disposition);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  EXPECT_TRUE(ValueNames(again).empty());
  // A root cannot be deleted.
  EXPECT_EQ(reg->RegDeleteKeyA(kHkeyCurrentUser, ""), kRegAccessDenied);
}

TEST_F(RegistryStore, AHandleOnADeletedKeyReachesNoOtherKey) {
  const RegHandle h = Create("K");
  ASSERT_EQ(SetText(h, "v", "1"), kRegSuccess);
  ASSERT_EQ(reg->RegDeleteKeyA(kHkeyCurrentUser, "K"), kRegSuccess);
  ASSERT_NE(Create("K"), 0u);
  std::uint32_t size = 0;
  EXPECT_EQ(reg->RegQueryValueExA(h, "v", nullptr, nullptr, nullptr, &size), kRegKeyDeleted);
  EXPECT_EQ(SetText(h, "v", "2"), kRegKeyDeleted);
  EXPECT_EQ(reg->RegCloseKey(h), kRegSuccess);
}

TEST_F(RegistryStore, DeleteValueReportsAMissingValue) {
  const RegHandle h = Create("K");
  ASSERT_EQ(SetText(h, "v", "1"), kRegSuccess);
  EXPECT_EQ(reg->RegDeleteValueA(h, "V"), kRegSuccess);
  EXPECT_EQ(reg->RegDeleteValueA(h, "v"), kRegNotFound);
  EXPECT_TRUE(ValueNames(h).empty());
}

TEST_F(RegistryStore, ChangesOutliveTheObjectThatMadeThem) {
  ASSERT_EQ(SetText(Create("Software\\Player\\S"), "K", "768"), kRegSuccess);
  reg.reset();
  auto later = OpenUserRegistry();
  const RegHandle h = OpenRaw(*later, kHkeyCurrentUser, "Software\\Player\\S");
  EXPECT_EQ(RawValue(*later, h, "K"), std::string("768\0", 4));
}

TEST_F(RegistryStore, AnUnreadableDatabaseGivesStatusesNotACrash) {
  ASSERT_TRUE(std::filesystem::create_directories(home.ProductFolder()));
  std::ofstream(home.DatabasePath()) << std::string(4096, 'x');
  auto broken = OpenUserRegistry();
  RegHandle h = 0;
  EXPECT_NE(broken->RegOpenKeyExA(kHkeyCurrentUser, "Software", 0, kKeyRead, &h), kRegSuccess);
  EXPECT_EQ(h, 0u);
  EXPECT_NE(broken->RegCreateKeyExA(kHkeyCurrentUser, "Software", 0, "", 0, kKeyAllAccess, nullptr,
                                    &h, nullptr),
            kRegSuccess);
  EXPECT_NE(broken->RegSetValueExA(kHkeyCurrentUser, "v", 0, kRegSz, Bytes("1"), 2), kRegSuccess);
}

// A database of the first version folded ASCII letters only. Opening it
// folds its names again; two names that only the new folding makes alike
// both stay listed, and a lookup finds the first (the older key; the value
// first by name).
TEST_F(RegistryStore, AFirstVersionDatabaseIsFoldedAgainOnOpen) {
  const RegHandle k = Create("K");
  ASSERT_EQ(SetText(k, "\xE9t\xE9", "lower"), kRegSuccess);
  ASSERT_NE(Create("K\\\xE9t\xE9"), 0u);
  reg.reset();
  {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(home.DatabasePath().c_str(), &raw), SQLITE_OK);
    const char* sql =
        "UPDATE keys SET fold = CAST(upper(name) AS BLOB);"
        "UPDATE key_values SET fold = CAST(upper(name) AS BLOB);"
        "INSERT INTO keys(parent, name, fold) SELECT id, X'C954C9', X'C954C9' "
        "  FROM keys WHERE name = CAST('K' AS BLOB);"
        "INSERT INTO key_values(key, name, fold, type, data) SELECT id, X'C954C9', "
        "  X'C954C9', 1, CAST('upper' AS BLOB) || X'00' FROM keys WHERE name = CAST('K' AS BLOB);"
        "PRAGMA user_version = 1;";
    EXPECT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
    sqlite3_close(raw);
  }
  reg = OpenUserRegistry();
  const RegHandle again = OpenRaw(*reg, kHkeyCurrentUser, "k");
  ASSERT_NE(again, 0u);
  EXPECT_EQ(SubKeys(again), (std::vector<std::string>{"\xE9t\xE9", "\xC9T\xC9"}));
  EXPECT_EQ(ValueNames(again), (std::vector<std::string>{"\xC9T\xC9", "\xE9t\xE9"}));
  EXPECT_EQ(RawValue(*reg, again, "\xE9T\xE9"), std::string("upper\0", 6));
  // Either spelling finds the older key; deleting it leaves the other
  // listed (it is kept, though no name reaches it any more).
  EXPECT_NE(OpenRaw(*reg, kHkeyCurrentUser, "K\\\xC9t\xC9"), 0u);
  EXPECT_EQ(reg->RegDeleteKeyA(again, "\xC9T\xC9"), kRegSuccess);
  EXPECT_EQ(SubKeys(again), std::vector<std::string>{"\xC9T\xC9"});
}

// Two processes write their own values into one key at the same time, each
// opening, setting and closing once per value. Every write of both must be
// there afterwards.
TEST_F(RegistryStore, TwoProcessesWritingOneKeyLoseNothing) {
  constexpr int kWrites = 200;
  reg.reset();  // no connection is carried across fork
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (const char* prefix : {"A", "B"}) {
    const pid_t pid = ::fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
      ::close(start[1]);
      char go;
      (void)!::read(start[0], &go, 1);  // returns when the parent closes the pipe
      auto mine = OpenUserRegistry();
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        RegHandle h = 0;
        const std::string name = prefix + std::to_string(i);
        const std::string text = std::to_string(i);
        failures += mine->RegCreateKeyExA(kHkeyCurrentUser, "Software\\Race", 0, "", 0,
                                          kKeyAllAccess, nullptr, &h, nullptr) != 0;
        failures += mine->RegSetValueExA(h, name.c_str(), 0, kRegSz, Bytes(text.c_str()),
                                         static_cast<std::uint32_t>(text.size() + 1)) != 0;
        failures += mine->RegCloseKey(h) != 0;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  ::close(start[0]);
  ::close(start[1]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto after = OpenUserRegistry();
  const RegHandle h = OpenRaw(*after, kHkeyCurrentUser, "Software\\Race");
  ASSERT_NE(h, 0u);
  for (const char* prefix : {"A", "B"}) {
    for (int i = 0; i < kWrites; ++i) {
      const std::string name = prefix + std::to_string(i);
      const std::string text = std::to_string(i);
      EXPECT_EQ(RawValue(*after, h, name.c_str()), text + '\0') << name;
    }
  }
  reg = std::move(after);
  EXPECT_EQ(ValueNames(h).size(), 2u * kWrites);
}

}  // namespace
}  // namespace velane
