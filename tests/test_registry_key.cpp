// RegistryKey over the registry store: what each operation returns, raises
// or absorbs, and what it leaves in the store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "config/registry_key.h"
#include "platform/registry.h"
#include "registry_test_support.h"

namespace velane {
namespace {

using namespace platform;
using testing::OpenRaw;
using testing::RawValue;

class RegistryKeyTest : public ::testing::Test {
 protected:
  // A key of the sandbox holding the named text values.
  void MakeKey(const char* path,
               std::initializer_list<std::pair<const char*, const char*>> values = {}) {
    RegHandle h = 0;
    ASSERT_EQ(store->RegCreateKeyExA(kHkeyCurrentUser, sandbox.Key(path).c_str(), 0, "", 0,
                                     kKeyAllAccess, nullptr, &h, nullptr),
              kRegSuccess);
    for (const auto& [name, text] : values) {
      const std::string t = text;
      ASSERT_EQ(store->RegSetValueExA(h, name, 0, kRegSz,
                                      reinterpret_cast<const std::uint8_t*>(t.c_str()),
                                      static_cast<std::uint32_t>(t.size() + 1)),
                kRegSuccess);
    }
    store->RegCloseKey(h);
  }
  void SetRaw(const char* path, const char* name, std::uint32_t type, const std::string& data) {
    const RegHandle h = OpenRaw(*store, kHkeyCurrentUser, sandbox.Key(path).c_str(), kKeyAllAccess);
    ASSERT_EQ(
        store->RegSetValueExA(h, name, 0, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                              static_cast<std::uint32_t>(data.size())),
        kRegSuccess);
    store->RegCloseKey(h);
  }
  std::optional<std::string> Stored(const char* path, const char* name,
                                    std::uint32_t* type = nullptr) {
    const RegHandle h = OpenRaw(*store, kHkeyCurrentUser, sandbox.Key(path).c_str());
    if (h == 0) return std::nullopt;
    auto data = RawValue(*store, h, name, type);
    store->RegCloseKey(h);
    return data;
  }
  bool KeyExists(const char* path) {
    const RegHandle h = OpenRaw(*store, kHkeyCurrentUser, sandbox.Key(path).c_str());
    if (h != 0) store->RegCloseKey(h);
    return h != 0;
  }

  // A key path of the sandbox, as RegistryKey takes it.
  std::u16string Path(std::string_view rest = "") const { return sandbox.Key16(rest); }

  testing::RegistrySandbox sandbox;
  Registry* store = &sandbox.Store();
  testing::RecordingRegistry reg{*store};
};

// --- value (get) -----------------------------------------------------------

TEST_F(RegistryKeyTest, ValueGetReturnsTheDataLessItsLastByte) {
  MakeKey("T", {{"text", "abc"}, {"empty", ""}});
  SetRaw("T", "number", kRegDword, std::string("\x05\0\0\0", 4));
  SetRaw("T", "noNul", kRegBinary, "abc");
  SetRaw("T", "zeroBytes", kRegBinary, "");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyRead);
  ASSERT_NE(key.handle(), 0u);
  EXPECT_EQ(key.value(u"text"), u"abc");
  EXPECT_EQ(key.value(u"TEXT"), u"abc");
  EXPECT_EQ(key.value(u"empty"), u"");
  // The type is never looked at: a 32-bit number gives its first three bytes.
  EXPECT_EQ(key.value(u"number"), std::u16string(u"\x05\0\0", 3));
  EXPECT_EQ(key.value(u"noNul"), u"ab");
  EXPECT_EQ(key.value(u"zeroBytes"), u"");
}

TEST_F(RegistryKeyTest, ValueGetAbsorbsEveryFailure) {
  MakeKey("T", {{"v", "x"}});
  RegistryKey key(reg);
  EXPECT_EQ(key.value(u"v"), u"");  // no key held
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyRead);
  EXPECT_EQ(key.value(u"missing"), u"");
  // Opened for writing only, the value cannot be read.
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyWrite);
  ASSERT_NE(key.handle(), 0u);
  EXPECT_EQ(key.value(u"v"), u"");
}

TEST_F(RegistryKeyTest, ValueGetConvertsFromTheCodePage) {
  MakeKey("");
  SetRaw("", "euro", kRegSz, std::string("\x80 \xE9\0", 4));
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path(), kKeyRead);
  EXPECT_EQ(key.value(u"euro"), u"\u20AC \u00E9");
}

// --- value (set) -----------------------------------------------------------

TEST_F(RegistryKeyTest, ValueSetStoresTheTextFormAsAString) {
  MakeKey("T");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyWrite);
  key.value(u"n", 42);
  key.value(u"text", u"caf\u00E9 \u20AC");
  key.value(u"half", 2.5);
  key.value(u"negative", -7);
  key.value(u"zero", 0);
  key.value(u"empty", std::u16string());
  std::uint32_t type = 0;
  EXPECT_EQ(Stored("T", "n", &type), std::string("42\0", 3));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(Stored("T", "text"), std::string("caf\xE9 \x80\0", 7));
  EXPECT_EQ(Stored("T", "half"), std::string("2.5\0", 4));
  EXPECT_EQ(Stored("T", "negative"), std::string("-7\0", 3));
  EXPECT_EQ(Stored("T", "zero"), std::string("0\0", 2));
  EXPECT_EQ(Stored("T", "empty"), std::string("\0", 1));
}

TEST_F(RegistryKeyTest, ValueSetWithoutAKeyOrRightsStoresNothingAndRaisesNothing) {
  MakeKey("T");
  RegistryKey key(reg);
  EXPECT_NO_THROW(key.value(u"v", u"x"));
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyRead);
  EXPECT_NO_THROW(key.value(u"v", u"x"));
  EXPECT_EQ(Stored("T", "v"), std::nullopt);
}

// --- CreateKey, OpenKey, CloseKey -------------------------------------------

TEST_F(RegistryKeyTest, CreateKeyTellsANewKeyFromAnExistingOne) {
  RegistryKey key(reg);
  EXPECT_TRUE(key.CreateKey(kHkeyCurrentUser, Path("New\\Key")));
  const RegHandle first = key.handle();
  EXPECT_NE(first, 0u);
  EXPECT_FALSE(key.CreateKey(kHkeyCurrentUser, Path("New\\Key")));
  EXPECT_NE(key.handle(), 0u);
  // The first handle was closed by the second call: one key is held.
  EXPECT_EQ(reg.openHandles, 1);
  EXPECT_TRUE(KeyExists("New"));
}

TEST_F(RegistryKeyTest, RefusedCreateLeavesNoKeyAndRaisesNothing) {
  RegistryKey key(reg);
  EXPECT_FALSE(key.CreateKey(0, Path()));
  EXPECT_EQ(key.handle(), 0u);
  // A path that begins with a backslash is refused by both stores.
  EXPECT_FALSE(key.CreateKey(kHkeyCurrentUser, u"\\" + Path("a")));
  EXPECT_EQ(key.handle(), 0u);
  EXPECT_FALSE(KeyExists("a"));
}

TEST_F(RegistryKeyTest, OpenKeyWithReadOrFullRightsNeverCreates) {
  MakeKey("");
  RegistryKey key(reg);
  for (std::uint32_t rights : {kKeyRead, kKeyAllAccess}) {
    EXPECT_NO_THROW(key.OpenKey(kHkeyCurrentUser, Path("Missing\\Key"), rights));
    EXPECT_EQ(key.handle(), 0u);
  }
  EXPECT_FALSE(KeyExists("Missing"));
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryKeyTest, OpenKeyWithWriteRightsCreatesTheKeyAndItsParents) {
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("A\\B"), kKeyWrite);
  ASSERT_NE(key.handle(), 0u);
  EXPECT_TRUE(KeyExists("A"));
  EXPECT_TRUE(KeyExists("A\\B"));
  // The key the creation opened was let go: exactly one key is held.
  EXPECT_EQ(reg.openHandles, 1);
  // And what is held was opened with the write rights asked for.
  key.value(u"v", u"1");
  EXPECT_EQ(Stored("A\\B", "v"), std::string("1\0", 2));
  EXPECT_EQ(key.value(u"v"), u"");
}

TEST_F(RegistryKeyTest, CloseKeyIsHarmlessWhenNothingIsHeld) {
  MakeKey("");
  RegistryKey key(reg);
  EXPECT_NO_THROW(key.CloseKey());
  key.OpenKey(kHkeyCurrentUser, Path(), kKeyRead);
  ASSERT_NE(key.handle(), 0u);
  key.CloseKey();
  EXPECT_EQ(key.handle(), 0u);
  EXPECT_NO_THROW(key.CloseKey());
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryKeyTest, DestructionClosesTheKey) {
  MakeKey("");
  {
    RegistryKey key(reg);
    key.OpenKey(kHkeyCurrentUser, Path(), kKeyRead);
    EXPECT_EQ(reg.openHandles, 1);
  }
  EXPECT_EQ(reg.openHandles, 0);
}

// --- name lists ------------------------------------------------------------

TEST_F(RegistryKeyTest, ValueNamesLeaveTheDefaultOutAndSubValueNamesKeepIt) {
  MakeKey("T", {{"b", "2"}, {"", "default"}, {"a", "1"}});
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyRead);
  // The order is the platform's own: by name in the Linux store, as stored
  // (not promised) on Windows. The names are compared, not their order.
  auto sorted = [](NameList names) {
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(sorted(key.ValueNames()), (NameList{u"a", u"b"}));
  ASSERT_TRUE(key.SubValueNames().has_value());
  EXPECT_EQ(sorted(*key.SubValueNames()), (NameList{u"", u"a", u"b"}));
}

TEST_F(RegistryKeyTest, NameListsOfAnEmptyKeyAreEmptyNotMissing) {
  MakeKey("Empty");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("Empty"), kKeyRead);
  EXPECT_TRUE(key.ValueNames().empty());
  ASSERT_TRUE(key.SubKeyNames().has_value());
  EXPECT_TRUE(key.SubKeyNames()->empty());
  ASSERT_TRUE(key.SubValueNames().has_value());
  EXPECT_TRUE(key.SubValueNames()->empty());
}

TEST_F(RegistryKeyTest, ValueNamesWithoutAKeyRaiseInvalidHandle) {
  RegistryKey key(reg);
  try {
    key.ValueNames();
    FAIL() << "no registry error";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.Number(), kRegInvalidHandle);
    EXPECT_EQ(e.Source(), u"RegistryKey.GetValues");
    EXPECT_EQ(e.Description(), u"Unable to retrieve value names for registry key");
  }
}

TEST_F(RegistryKeyTest, SubKeyAndSubValueNamesWithoutAKeyGiveNoResult) {
  RegistryKey key(reg);
  EXPECT_EQ(key.SubKeyNames(), std::nullopt);
  EXPECT_EQ(key.SubValueNames(), std::nullopt);
}

TEST_F(RegistryKeyTest, SubKeyNamesListTheSubkeysInOrder) {
  MakeKey("T\\Zulu");
  MakeKey("T\\alpha\\inner");
  MakeKey("T\\Mike");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyRead);
  EXPECT_EQ(key.SubKeyNames(), (NameList{u"alpha", u"Mike", u"Zulu"}));
}

TEST_F(RegistryKeyTest, NamesLongerThanTheBuffersAreReportedAsFailures) {
  const std::string name511(511, 'n');
  const std::string name512(512, 'o');
  const std::string name4096(4096, 'p');
  // A short name first: each index gets the full capacity again.
  MakeKey("T", {{"a", "1"}, {name511.c_str(), "2"}});
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyRead);
  ASSERT_TRUE(key.SubValueNames().has_value());
  EXPECT_EQ(key.SubValueNames()->size(), 2u);

  MakeKey("T", {{name512.c_str(), "3"}});
  EXPECT_EQ(key.SubValueNames(), std::nullopt);
  EXPECT_EQ(key.ValueNames().size(), 3u);

  MakeKey("T", {{name4096.c_str(), "4"}});
  try {
    key.ValueNames();
    FAIL() << "no registry error";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.Number(), kRegMoreData);
  }

#ifndef _WIN32
  // Windows limits key names to 255 characters: a subkey name too long for
  // the 512 buffer exists only in the Linux store.
  MakeKey(("T\\" + name512).c_str());
  EXPECT_EQ(key.SubKeyNames(), std::nullopt);
#endif
}

// --- deletions -------------------------------------------------------------

TEST_F(RegistryKeyTest, DeleteValueOfAMissingValueRaisesNotFound) {
  MakeKey("T", {{"v", "1"}});
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyAllAccess);
  key.DeleteValue(u"v");
  EXPECT_EQ(Stored("T", "v"), std::nullopt);
  try {
    key.DeleteValue(u"v");
    FAIL() << "no registry error";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.Number(), kRegNotFound);
    EXPECT_EQ(e.Source(), u"RegistryKey.DeleteValue");
    EXPECT_EQ(e.Description(), u"Unable to delete registry value 'v'");
  }
}

TEST_F(RegistryKeyTest, DeleteKeyWorksOnTheRootNotOnTheHeldKey) {
  MakeKey("T\\Child");
  MakeKey("Other");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyAllAccess);
  key.DeleteKey(kHkeyCurrentUser, Path("Other"));
  EXPECT_FALSE(KeyExists("Other"));
  try {
    key.DeleteKey(kHkeyCurrentUser, Path("T"));
    FAIL() << "no registry error";
  } catch (const RegistryError& e) {
    // A key with subkeys is the platform's to refuse.
    EXPECT_EQ(e.Number(), kRegAccessDenied);
    EXPECT_EQ(e.Source(), u"RegistryKey.DeleteKey");
    EXPECT_EQ(e.Description(), u"Unable to delete registry key '" + Path("T") + u"'");
  }
  EXPECT_TRUE(KeyExists("T\\Child"));
}

TEST_F(RegistryKeyTest, DeleteSubKeyWorksOnTheHeldKey) {
  MakeKey("T\\Child");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, Path("T"), kKeyAllAccess);
  key.DeleteSubKey(u"Child");
  EXPECT_FALSE(KeyExists("T\\Child"));
  try {
    key.DeleteSubKey(u"Child");
    FAIL() << "no registry error";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.Number(), kRegNotFound);
    EXPECT_EQ(e.Source(), u"RegistryKey.DeleteSubKey");
    EXPECT_EQ(e.Description(), u"Unable to delete registry subkey 'Child'");
  }
}

// --- the platform functions' answers, held alike on both platforms ----------

// How the store reads key paths, names and deletions: what the platform's own
// functions answer, which the Linux store must match.
TEST_F(RegistryKeyTest, TheStoreAnswersAsThePlatformDoes) {
  MakeKey("A\\B", {{"v", "1"}});
  const RegHandle box = OpenRaw(*store, kHkeyCurrentUser, sandbox.Key().c_str(), kKeyAllAccess);
  ASSERT_NE(box, 0u);

  // Key paths: runs of backslashes separate names as one does, trailing
  // ones are ignored; a path that begins with one is refused.
  const struct {
    const char* path;
    RegStatus status;
  } paths[] = {
      {"A\\B", kRegSuccess},     {"A\\\\B", kRegSuccess},     {"a\\\\\\b\\", kRegSuccess},
      {"A\\B\\\\", kRegSuccess}, {"\\A\\B", kRegBadPathName}, {"A\\C", kRegNotFound},
  };
  for (const auto& p : paths) {
    RegHandle h = 0;
    EXPECT_EQ(store->RegOpenKeyExA(box, p.path, 0, kKeyRead, &h), p.status) << p.path;
    if (h == 0) continue;
    EXPECT_EQ(RawValue(*store, h, "v"), std::string("1\0", 2)) << p.path;
    store->RegCloseKey(h);
  }
  RegHandle made = 0;
  std::uint32_t disposition = 0;
  ASSERT_EQ(store->RegCreateKeyExA(box, "N\\\\M\\", 0, "", 0, kKeyAllAccess, nullptr, &made,
                                   &disposition),
            kRegSuccess);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  store->RegCloseKey(made);
  EXPECT_TRUE(KeyExists("N\\M"));

  // Names compare without regard to case for every letter of the code page,
  // accented ones too; other bytes stay distinct.
  const struct {
    const char* a;
    const char* b;
    bool same;
  } names[] = {
      {"\xE9T\xE9", "\xC9t\xC9", true},                // e acute
      {"\x9A\x9C\x9E\xFF", "\x8A\x8C\x8E\x9F", true},  // s, oe, z caron, y diaeresis
      {"\xE0\xFE", "\xC0\xDE", true},                  // a grave, thorn
      {"\xF7", "\xD7", false},                         // division and multiplication signs
      {"\xDF", "SS", false},                           // sharp s has no capital here
      {"e", "\xE9", false},
  };
  for (const auto& n : names) {
    SCOPED_TRACE(::testing::PrintToString(std::string(n.a) + " / " + n.b));
    RegHandle h = 0;
    ASSERT_EQ(store->RegCreateKeyExA(box, n.a, 0, "", 0, kKeyAllAccess, nullptr, &h, &disposition),
              kRegSuccess);
    EXPECT_EQ(disposition, kRegCreatedNewKey);
    const std::string text = "x";
    ASSERT_EQ(store->RegSetValueExA(h, n.a, 0, kRegSz,
                                    reinterpret_cast<const std::uint8_t*>(text.c_str()), 2),
              kRegSuccess);
    EXPECT_EQ(RawValue(*store, h, n.b).has_value(), n.same);
    store->RegCloseKey(h);
    RegHandle other = 0;
    EXPECT_EQ(store->RegOpenKeyExA(box, n.b, 0, kKeyRead, &other) == kRegSuccess, n.same);
    if (other != 0) store->RegCloseKey(other);
    EXPECT_EQ(store->RegDeleteKeyA(box, n.a), kRegSuccess);
  }

  // A null subkey deletes nothing; an empty one deletes the key held.
  const RegHandle doomed =
      OpenRaw(*store, kHkeyCurrentUser, sandbox.Key("N\\M").c_str(), kKeyAllAccess);
  ASSERT_NE(doomed, 0u);
  EXPECT_EQ(store->RegDeleteKeyA(doomed, nullptr), kRegInvalidParameter);
  EXPECT_TRUE(KeyExists("N\\M"));
  EXPECT_EQ(store->RegDeleteKeyA(doomed, ""), kRegSuccess);
  EXPECT_FALSE(KeyExists("N\\M"));
  store->RegCloseKey(doomed);

  // Creating a subkey is the key's own matter, not the handle's: a handle
  // opened for reading creates one (the user may write the key), while it
  // still cannot set a value.
  const RegHandle readOnly = OpenRaw(*store, kHkeyCurrentUser, sandbox.Key().c_str());
  ASSERT_NE(readOnly, 0u);
  EXPECT_EQ(store->RegCreateKeyExA(readOnly, "ByReader", 0, "", 0, kKeyRead, nullptr, &made,
                                   &disposition),
            kRegSuccess);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  store->RegCloseKey(made);
  EXPECT_TRUE(KeyExists("ByReader"));
  EXPECT_EQ(store->RegSetValueExA(readOnly, "v", 0, kRegSz,
                                  reinterpret_cast<const std::uint8_t*>("1"), 2),
            kRegAccessDenied);
  store->RegCloseKey(readOnly);
  store->RegCloseKey(box);
}

// --- failures only a scripted registry can produce ---------------------------

// Holds handle 9 open, enumerates `names` values and subkeys, and refuses to
// close while closeStatus is set.
class ScriptedRegistry : public Registry {
 public:
  std::uint32_t names = 0;
  RegStatus closeStatus = kRegSuccess;
  int closes = 0;
  // The size the length query reports, and what the read then finds.
  std::uint32_t reportedLength = 0;
  RegStatus readStatus = kRegNotFound;
  std::string readData;

  RegStatus RegCreateKeyExA(RegHandle, const char*, std::uint32_t, const char*, std::uint32_t,
                            std::uint32_t, const SecurityAttributes*, RegHandle* result,
                            std::uint32_t* disposition) override {
    *result = 9;
    *disposition = kRegCreatedNewKey;
    return kRegSuccess;
  }
  RegStatus RegOpenKeyExA(RegHandle, const char*, std::uint32_t, std::uint32_t,
                          RegHandle* result) override {
    *result = 9;
    return kRegSuccess;
  }
  RegStatus RegCloseKey(RegHandle) override {
    ++closes;
    return closeStatus;
  }
  RegStatus RegQueryValueExA(RegHandle, const char*, std::uint32_t*, std::uint32_t*,
                             std::uint8_t* data, std::uint32_t* dataSize) override {
    if (data == nullptr) {
      *dataSize = reportedLength;
      return reportedLength == 0 ? kRegNotFound : kRegSuccess;
    }
    if (readStatus == kRegSuccess) readData.copy(reinterpret_cast<char*>(data), *dataSize);
    *dataSize = static_cast<std::uint32_t>(readData.size());
    return readStatus;
  }
  RegStatus RegSetValueExA(RegHandle, const char*, std::uint32_t, std::uint32_t,
                           const std::uint8_t*, std::uint32_t) override {
    return kRegSuccess;
  }
  RegStatus RegEnumValueA(RegHandle, std::uint32_t index, char* name, std::uint32_t* nameSize,
                          std::uint32_t*, std::uint32_t*, std::uint8_t*, std::uint32_t*) override {
    if (index >= names) return kRegNoMoreItems;
    *nameSize = static_cast<std::uint32_t>(std::snprintf(name, *nameSize, "v%u", index));
    return kRegSuccess;
  }
  RegStatus RegEnumKeyA(RegHandle, std::uint32_t index, char* name,
                        std::uint32_t nameSize) override {
    if (index >= names) return kRegNoMoreItems;
    std::snprintf(name, nameSize, "k%u", index);
    return kRegSuccess;
  }
  RegStatus RegDeleteKeyA(RegHandle, const char*) override { return kRegSuccess; }
  RegStatus RegDeleteValueA(RegHandle, const char*) override { return kRegSuccess; }
};

TEST(RegistryKeyLimits, A32768thNameOverflowsValueNames) {
  ScriptedRegistry scripted;
  RegistryKey key(scripted);
  key.OpenKey(kHkeyCurrentUser, u"K", kKeyRead);
  scripted.names = 32767;
  EXPECT_EQ(key.ValueNames().size(), 32767u);
  scripted.names = 32768;
  EXPECT_THROW(key.ValueNames(), Overflow);
  // The lists that absorb their failures give no result instead.
  EXPECT_EQ(key.SubKeyNames(), std::nullopt);
  EXPECT_EQ(key.SubValueNames(), std::nullopt);
}

TEST(RegistryKeyLimits, AFailedCloseIsRaisedAndKeepsTheKey) {
  ScriptedRegistry scripted;
  {
    RegistryKey key(scripted);
    key.OpenKey(kHkeyCurrentUser, u"K", kKeyRead);
    scripted.closeStatus = 1016;
    try {
      key.CloseKey();
      FAIL() << "no registry error";
    } catch (const RegistryError& e) {
      EXPECT_EQ(e.Number(), 1016);
      EXPECT_EQ(e.Source(), u"RegistryKey.CloseKey");
      EXPECT_EQ(e.Description(), u"An error occurred while closing the registy key");
    }
    EXPECT_EQ(key.handle(), 9u);
    // OpenKey and CreateKey raise what their first close raises.
    EXPECT_THROW(key.OpenKey(kHkeyCurrentUser, u"K", kKeyRead), RegistryError);
    EXPECT_THROW(key.CreateKey(kHkeyCurrentUser, u"K"), RegistryError);
    // Destruction cannot pass the failure on: it must not end the program.
  }
  EXPECT_EQ(scripted.closes, 4);
}

// Another process may change the value between the length query and the
// read: what comes back is then what was read, never a text of NULs.
TEST(RegistryKeyLimits, AValueChangedBetweenItsTwoQueriesGivesNoNulPadding) {
  ScriptedRegistry scripted;
  RegistryKey key(scripted);
  key.OpenKey(kHkeyCurrentUser, u"K", kKeyRead);
  scripted.reportedLength = 5;
  scripted.readStatus = kRegMoreData;  // it grew
  scripted.readData = std::string("abcdefg\0", 8);
  EXPECT_EQ(key.value(u"v"), u"");
  scripted.readStatus = kRegSuccess;  // it shrank
  scripted.readData = std::string("ab\0", 3);
  EXPECT_EQ(key.value(u"v"), u"ab");
}

}  // namespace
}  // namespace velane
