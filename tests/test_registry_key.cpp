// RegistryKey over the registry store: what each operation returns, raises
// or absorbs, and what it leaves in the store.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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
  // A key of the current user holding the named text values.
  void MakeKey(const char* path,
               std::initializer_list<std::pair<const char*, const char*>> values = {}) {
    RegHandle h = 0;
    ASSERT_EQ(store->RegCreateKeyExA(kHkeyCurrentUser, path, 0, "", 0, kKeyAllAccess,
                                     nullptr, &h, nullptr),
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
  void SetRaw(const char* path, const char* name, std::uint32_t type,
              const std::string& data) {
    const RegHandle h = OpenRaw(*store, kHkeyCurrentUser, path, kKeyAllAccess);
    ASSERT_EQ(store->RegSetValueExA(h, name, 0, type,
                                    reinterpret_cast<const std::uint8_t*>(data.data()),
                                    static_cast<std::uint32_t>(data.size())),
              kRegSuccess);
    store->RegCloseKey(h);
  }
  std::optional<std::string> Stored(const char* path, const char* name,
                                    std::uint32_t* type = nullptr) {
    const RegHandle h = OpenRaw(*store, kHkeyCurrentUser, path);
    if (h == 0) return std::nullopt;
    auto data = RawValue(*store, h, name, type);
    store->RegCloseKey(h);
    return data;
  }
  bool KeyExists(const char* path) {
    const RegHandle h = OpenRaw(*store, kHkeyCurrentUser, path);
    if (h != 0) store->RegCloseKey(h);
    return h != 0;
  }

  testing::TempDataHome home;
  std::unique_ptr<Registry> store = OpenUserRegistry();
  testing::RecordingRegistry reg{*store};
};

// --- value (get) -----------------------------------------------------------

TEST_F(RegistryKeyTest, ValueGetReturnsTheDataLessItsLastByte) {
  MakeKey("Software\\T", {{"text", "abc"}, {"empty", ""}});
  SetRaw("Software\\T", "number", kRegDword, std::string("\x05\0\0\0", 4));
  SetRaw("Software\\T", "noNul", kRegBinary, "abc");
  SetRaw("Software\\T", "zeroBytes", kRegBinary, "");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyRead);
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
  MakeKey("Software\\T", {{"v", "x"}});
  RegistryKey key(reg);
  EXPECT_EQ(key.value(u"v"), u"");  // no key held
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyRead);
  EXPECT_EQ(key.value(u"missing"), u"");
  // Opened for writing only, the value cannot be read.
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyWrite);
  ASSERT_NE(key.handle(), 0u);
  EXPECT_EQ(key.value(u"v"), u"");
}

TEST_F(RegistryKeyTest, ValueGetConvertsFromTheCodePage) {
  SetRaw("", "euro", kRegSz, std::string("\x80 \xE9\0", 4));
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"", kKeyRead);
  EXPECT_EQ(key.value(u"euro"), u"\u20AC \u00E9");
}

// --- value (set) -----------------------------------------------------------

TEST_F(RegistryKeyTest, ValueSetStoresTheTextFormAsAString) {
  MakeKey("Software\\T");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyWrite);
  key.value(u"n", 42);
  key.value(u"text", u"caf\u00E9 \u20AC");
  key.value(u"half", 2.5);
  key.value(u"negative", -7);
  key.value(u"zero", 0);
  key.value(u"empty", std::u16string());
  std::uint32_t type = 0;
  EXPECT_EQ(Stored("Software\\T", "n", &type), std::string("42\0", 3));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(Stored("Software\\T", "text"), std::string("caf\xE9 \x80\0", 7));
  EXPECT_EQ(Stored("Software\\T", "half"), std::string("2.5\0", 4));
  EXPECT_EQ(Stored("Software\\T", "negative"), std::string("-7\0", 3));
  EXPECT_EQ(Stored("Software\\T", "zero"), std::string("0\0", 2));
  EXPECT_EQ(Stored("Software\\T", "empty"), std::string("\0", 1));
}

TEST_F(RegistryKeyTest, ValueSetWithoutAKeyOrRightsStoresNothingAndRaisesNothing) {
  MakeKey("Software\\T");
  RegistryKey key(reg);
  EXPECT_NO_THROW(key.value(u"v", u"x"));
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyRead);
  EXPECT_NO_THROW(key.value(u"v", u"x"));
  EXPECT_EQ(Stored("Software\\T", "v"), std::nullopt);
}

// --- CreateKey, OpenKey, CloseKey -------------------------------------------

TEST_F(RegistryKeyTest, CreateKeyTellsANewKeyFromAnExistingOne) {
  RegistryKey key(reg);
  EXPECT_TRUE(key.CreateKey(kHkeyCurrentUser, u"Software\\New\\Key"));
  const RegHandle first = key.handle();
  EXPECT_NE(first, 0u);
  EXPECT_FALSE(key.CreateKey(kHkeyCurrentUser, u"Software\\New\\Key"));
  EXPECT_NE(key.handle(), 0u);
  // The first handle was closed by the second call: one key is held.
  EXPECT_EQ(reg.openHandles, 1);
  EXPECT_TRUE(KeyExists("Software\\New"));
}

TEST_F(RegistryKeyTest, RefusedCreateLeavesNoKeyAndRaisesNothing) {
  RegistryKey key(reg);
  EXPECT_FALSE(key.CreateKey(0, u"Software"));
  EXPECT_EQ(key.handle(), 0u);
  EXPECT_FALSE(key.CreateKey(kHkeyCurrentUser, u"a\\\\b"));
  EXPECT_EQ(key.handle(), 0u);
}

TEST_F(RegistryKeyTest, OpenKeyWithReadOrFullRightsNeverCreates) {
  MakeKey("Software");
  RegistryKey key(reg);
  for (std::uint32_t rights : {kKeyRead, kKeyAllAccess}) {
    EXPECT_NO_THROW(key.OpenKey(kHkeyCurrentUser, u"Software\\Missing\\Key", rights));
    EXPECT_EQ(key.handle(), 0u);
  }
  EXPECT_FALSE(KeyExists("Software\\Missing"));
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryKeyTest, OpenKeyWithWriteRightsCreatesTheKeyAndItsParents) {
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\A\\B", kKeyWrite);
  ASSERT_NE(key.handle(), 0u);
  EXPECT_TRUE(KeyExists("Software\\A"));
  EXPECT_TRUE(KeyExists("Software\\A\\B"));
  // The key the creation opened was let go: exactly one key is held.
  EXPECT_EQ(reg.openHandles, 1);
  // And what is held was opened with the write rights asked for.
  key.value(u"v", u"1");
  EXPECT_EQ(Stored("Software\\A\\B", "v"), std::string("1\0", 2));
  EXPECT_EQ(key.value(u"v"), u"");
}

TEST_F(RegistryKeyTest, CloseKeyIsHarmlessWhenNothingIsHeld) {
  MakeKey("Software");
  RegistryKey key(reg);
  EXPECT_NO_THROW(key.CloseKey());
  key.OpenKey(kHkeyCurrentUser, u"Software", kKeyRead);
  ASSERT_NE(key.handle(), 0u);
  key.CloseKey();
  EXPECT_EQ(key.handle(), 0u);
  EXPECT_NO_THROW(key.CloseKey());
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryKeyTest, DestructionClosesTheKey) {
  MakeKey("Software");
  {
    RegistryKey key(reg);
    key.OpenKey(kHkeyCurrentUser, u"Software", kKeyRead);
    EXPECT_EQ(reg.openHandles, 1);
  }
  EXPECT_EQ(reg.openHandles, 0);
}

// --- name lists ------------------------------------------------------------

TEST_F(RegistryKeyTest, ValueNamesLeaveTheDefaultOutAndSubValueNamesKeepIt) {
  MakeKey("Software\\T", {{"b", "2"}, {"", "default"}, {"a", "1"}});
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyRead);
  EXPECT_EQ(key.ValueNames(), (NameList{u"a", u"b"}));
  EXPECT_EQ(key.SubValueNames(), (NameList{u"", u"a", u"b"}));
}

TEST_F(RegistryKeyTest, NameListsOfAnEmptyKeyAreEmptyNotMissing) {
  MakeKey("Software\\Empty");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\Empty", kKeyRead);
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
  MakeKey("Software\\T\\Zulu");
  MakeKey("Software\\T\\alpha\\inner");
  MakeKey("Software\\T\\Mike");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyRead);
  EXPECT_EQ(key.SubKeyNames(), (NameList{u"alpha", u"Mike", u"Zulu"}));
}

TEST_F(RegistryKeyTest, NamesLongerThanTheBuffersAreReportedAsFailures) {
  const std::string name511(511, 'n');
  const std::string name512(512, 'o');
  const std::string name4096(4096, 'p');
  // A short name first: each index gets the full capacity again.
  MakeKey("Software\\T", {{"a", "1"}, {name511.c_str(), "2"}});
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyRead);
  ASSERT_TRUE(key.SubValueNames().has_value());
  EXPECT_EQ(key.SubValueNames()->size(), 2u);

  MakeKey("Software\\T", {{name512.c_str(), "3"}});
  EXPECT_EQ(key.SubValueNames(), std::nullopt);
  EXPECT_EQ(key.ValueNames().size(), 3u);

  MakeKey("Software\\T", {{name4096.c_str(), "4"}});
  try {
    key.ValueNames();
    FAIL() << "no registry error";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.Number(), kRegMoreData);
  }

  MakeKey(("Software\\T\\" + name512).c_str());
  EXPECT_EQ(key.SubKeyNames(), std::nullopt);
}

// --- deletions -------------------------------------------------------------

TEST_F(RegistryKeyTest, DeleteValueOfAMissingValueRaisesNotFound) {
  MakeKey("Software\\T", {{"v", "1"}});
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyAllAccess);
  key.DeleteValue(u"v");
  EXPECT_EQ(Stored("Software\\T", "v"), std::nullopt);
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
  MakeKey("Software\\T\\Child");
  MakeKey("Other");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyAllAccess);
  key.DeleteKey(kHkeyCurrentUser, u"Other");
  EXPECT_FALSE(KeyExists("Other"));
  try {
    key.DeleteKey(kHkeyCurrentUser, u"Software\\T");
    FAIL() << "no registry error";
  } catch (const RegistryError& e) {
    // A key with subkeys is the platform's to refuse.
    EXPECT_EQ(e.Number(), kRegAccessDenied);
    EXPECT_EQ(e.Source(), u"RegistryKey.DeleteKey");
    EXPECT_EQ(e.Description(), u"Unable to delete registry key 'Software\\T'");
  }
  EXPECT_TRUE(KeyExists("Software\\T\\Child"));
}

TEST_F(RegistryKeyTest, DeleteSubKeyWorksOnTheHeldKey) {
  MakeKey("Software\\T\\Child");
  RegistryKey key(reg);
  key.OpenKey(kHkeyCurrentUser, u"Software\\T", kKeyAllAccess);
  key.DeleteSubKey(u"Child");
  EXPECT_FALSE(KeyExists("Software\\T\\Child"));
  try {
    key.DeleteSubKey(u"Child");
    FAIL() << "no registry error";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.Number(), kRegNotFound);
    EXPECT_EQ(e.Source(), u"RegistryKey.DeleteSubKey");
    EXPECT_EQ(e.Description(), u"Unable to delete registry subkey 'Child'");
  }
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

  RegStatus RegCreateKeyExA(RegHandle, const char*, std::uint32_t, const char*,
                            std::uint32_t, std::uint32_t, const SecurityAttributes*,
                            RegHandle* result, std::uint32_t* disposition) override {
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
  RegStatus RegEnumValueA(RegHandle, std::uint32_t index, char* name,
                          std::uint32_t* nameSize, std::uint32_t*, std::uint32_t*,
                          std::uint8_t*, std::uint32_t*) override {
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
