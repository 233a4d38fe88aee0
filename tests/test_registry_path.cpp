// Registry values named by key paths, and the settings store's registry form
// ("$" + key path) over them.
#include <gtest/gtest.h>

#include <string>

#include "config/ansi.h"
#include "config/registry_path.h"
#include "config/registry_settings.h"
#include "config/settings.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "registry_test_support.h"

namespace velane {
namespace {

using namespace platform;
using testing::OpenRaw;
using testing::RawValue;

// Paths name keys of the sandbox (RegistrySandbox): the same tests run over
// the Linux store and, under Windows, over the system's registry.
class RegistryPathTest : public ::testing::Test {
 protected:
  std::optional<std::string> Stored(const char* path, const char* name,
                                    std::uint32_t* type = nullptr) {
    return StoredAt(kHkeyCurrentUser, sandbox.Key(path).c_str(), name, type);
  }
  std::optional<std::string> StoredAt(RegHandle root, const char* path, const char* name,
                                      std::uint32_t* type = nullptr) {
    const RegHandle h = OpenRaw(*store, root, path);
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
  void Put(const char* path, const char* name, std::uint32_t type, const std::string& data) {
    RegHandle h = 0;
    ASSERT_EQ(store->RegCreateKeyExA(kHkeyCurrentUser, sandbox.Key(path).c_str(), 0, "", 0,
                                     kKeyAllAccess, nullptr, &h, nullptr),
              kRegSuccess);
    ASSERT_EQ(
        store->RegSetValueExA(h, name, 0, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                              static_cast<std::uint32_t>(data.size())),
        kRegSuccess);
    store->RegCloseKey(h);
  }

  std::u16string Full(std::string_view rest = "") const { return sandbox.FullPath(rest); }

  testing::RegistrySandbox sandbox;
  Registry* store = &sandbox.Store();
  testing::RecordingRegistry reg{*store};
  // The file argument's key path of the settings store's registry form.
  const std::u16string prefix = Full("Player");
};

// --- ReadRegistryPath / WriteRegistryPath ------------------------------------

TEST_F(RegistryPathTest, WriteCreatesTheKeyAndItsParentsAndStoresText) {
  WriteRegistryPath(reg, Full("Velane\\Player"), u"n", 5);
  std::uint32_t type = 0;
  EXPECT_EQ(Stored("Velane\\Player", "n", &type), std::string("5\0", 2));
  EXPECT_EQ(type, kRegSz);
  WriteRegistryPath(reg, Full("Velane\\Player"), u"t", u"caf\u00E9");
  EXPECT_EQ(ReadRegistryPath(reg, Full("Velane\\Player"), u"t"), u"caf\u00E9");
  // Each call lets its key go before it returns.
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryPathTest, ReadOfAMissingKeyIsEmptyAndCreatesNothing) {
  Put("", "x", kRegSz, std::string("1\0", 2));
  EXPECT_EQ(ReadRegistryPath(reg, Full("Missing"), u"x"), u"");
  EXPECT_FALSE(KeyExists("Missing"));
  EXPECT_EQ(ReadRegistryPath(reg, Full(), u"absent"), u"");
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryPathTest, RootNamesMatchWithoutRegardToCase) {
  Put("P", "v", kRegSz, std::string("yes\0", 4));
  const std::u16string rest = sandbox.Key16("P");
  EXPECT_EQ(ReadRegistryPath(reg, u"hkey_current_user\\" + rest, u"v"), u"yes");
  EXPECT_EQ(ReadRegistryPath(reg, u"Hkey_Current_User\\" + rest, u"V"), u"yes");
}

TEST_F(RegistryPathTest, EveryRootOfTheTableIsReached) {
  const std::pair<const char16_t*, RegHandle> roots[] = {
      {u"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
      {u"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
      {u"HKEY_CURRENT_USER", kHkeyCurrentUser},
      {u"HKEY_DYN_DATA", kHkeyDynData},
      {u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
      {u"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
      {u"HKEY_USERS", kHkeyUsers},
  };
  for (const auto& [name, handle] : roots) {
    // A read of a missing key creates nothing anywhere, and shows which
    // root the path reached.
    EXPECT_EQ(ReadRegistryPath(reg, std::u16string(name) + u"\\" + sandbox.Key16("K"), u"v"), u"");
    EXPECT_EQ(reg.lastFrom, handle);
#ifndef _WIN32
    // Only the Linux store takes writes under every root. Windows refuses
    // some by design (HKEY_DYN_DATA, HKEY_PERFORMANCE_DATA, keys right under
    // HKEY_USERS, HKEY_LOCAL_MACHINE without administrator rights), and a
    // test must not write there anyway.
    WriteRegistryPath(reg, std::u16string(name) + u"\\K", u"v", name);
    EXPECT_EQ(StoredAt(handle, "K", "v"), velane::ToAnsi(name) + '\0');
#endif
  }
}

TEST_F(RegistryPathTest, ShortOrUnknownRootsReadAndWriteNothing) {
  Put("", "v", kRegSz, std::string("stored\0", 7));
  const std::u16string rest = sandbox.Key16();
  for (const std::u16string& path :
       {u"HKCU\\" + rest, u"HKEY_CURRENT_USERS\\" + rest, u" HKEY_CURRENT_USER\\" + rest}) {
    EXPECT_EQ(ReadRegistryPath(reg, path, u"v"), u"");
    WriteRegistryPath(reg, path, u"w", u"x");
  }
  EXPECT_EQ(Stored("", "w"), std::nullopt);
  EXPECT_EQ(reg.opens, 0);
}

TEST_F(RegistryPathTest, APathWithoutBackslashReadsAndWritesNothing) {
  EXPECT_EQ(ReadRegistryPath(reg, u"HKEY_CURRENT_USER", u"v"), u"");
  WriteRegistryPath(reg, u"HKEY_CURRENT_USER", u"w", u"x");
  // Not even an open was tried: the root stays 0.
  EXPECT_EQ(reg.opens, 0);
  EXPECT_EQ(reg.lastFrom, 0u);
}

TEST_F(RegistryPathTest, AnEmptySubkeyPathIsTheRootItself) {
  // This one works on HKEY_CURRENT_USER itself: on Windows that is the
  // user's real key, so the value has a name of this run's own and is
  // deleted at the end.
  const std::string name = "VelaneUnitTest " + sandbox.Key();
  const std::u16string name16 = FromAnsi(name);
  WriteRegistryPath(reg, u"HKEY_CURRENT_USER\\", name16, u"on the root");
  EXPECT_EQ(StoredAt(kHkeyCurrentUser, "", name.c_str()), std::string("on the root\0", 12));
  EXPECT_EQ(ReadRegistryPath(reg, u"HKEY_CURRENT_USER\\", name16), u"on the root");
  EXPECT_EQ(store->RegDeleteValueA(kHkeyCurrentUser, name.c_str()), kRegSuccess);
}

// --- the registry form of ReadSetting ----------------------------------------

TEST_F(RegistryPathTest, Mode2StoresAMissingSettingAsAString) {
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", prefix, 2), u"768");
  std::uint32_t type = 0;
  EXPECT_EQ(Stored("Player\\S", "K", &type), std::string("768\0", 4));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryPathTest, Mode1ReturnsTheDefaultAndCreatesNothing) {
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", prefix, 1), u"768");
  EXPECT_TRUE(sandbox.Untouched());
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", prefix, 3), u"768");
  EXPECT_TRUE(sandbox.Untouched());
}

TEST_F(RegistryPathTest, Mode2LeavesAStoredValueEqualToTheDefaultAlone) {
  // Stored as an expandable string: a rewrite would make it a plain one.
  Put("Player\\S", "K", kRegExpandSz, std::string("768\0", 4));
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", prefix, 2), u"768");
  EXPECT_EQ(reg.valueWrites, 0);
  std::uint32_t type = 0;
  Stored("Player\\S", "K", &type);
  EXPECT_EQ(type, kRegExpandSz);
}

TEST_F(RegistryPathTest, StoredValuesWinOverTheDefault) {
  Put("Player\\S", "K", kRegSz, std::string("800\0", 4));
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", prefix, 2), u"800");
  EXPECT_EQ(ReadSettingRegistry(&reg, u"s", u"k", u"768", prefix, 1), u"800");
  EXPECT_EQ(reg.valueWrites, 0);
}

TEST_F(RegistryPathTest, AnEmptyStoredValueCountsAsMissing) {
  Put("Player\\S", "K", kRegSz, std::string("\0", 1));
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"2", prefix, 1), u"2");
  EXPECT_EQ(reg.valueWrites, 0);
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"2", prefix, 2), u"2");
  EXPECT_EQ(Stored("Player\\S", "K"), std::string("2\0", 2));
}

TEST_F(RegistryPathTest, Mode0StoresTheDefault) {
  Put("Player\\S", "K", kRegSz, std::string("800\0", 4));
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"900", prefix, 0), u"900");
  EXPECT_EQ(Stored("Player\\S", "K"), std::string("900\0", 4));
}

TEST_F(RegistryPathTest, LongValuesHaveNoLimitOfTheirOwn) {
  const std::u16string longText(5000, u'x');
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", longText, prefix, 0), longText);
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"", prefix, 1), longText);
}

TEST_F(RegistryPathTest, AnUnknownRootGivesTheDefaultAndWritesNothing) {
  for (std::int16_t mode : {0, 1, 2}) {
    EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"d", u"HKCU\\" + sandbox.Key16(), mode), u"d");
  }
  EXPECT_EQ(reg.opens, 0);
  EXPECT_TRUE(sandbox.Untouched());
}

TEST_F(RegistryPathTest, WithoutARegistryTheDefaultComesBack) {
  EXPECT_EQ(ReadSettingRegistry(nullptr, u"S", u"K", u"d", prefix, 2), u"d");
  EXPECT_TRUE(sandbox.Untouched());
}

// The settings store sends a "$" file argument to the registry; the INI
// functions never see it.
class UnusedProfile : public ProfileStrings {
 public:
  int calls = 0;
  std::uint32_t GetPrivateProfileStringA(const char*, const char*, const char*, std::string& out,
                                         std::uint32_t, const char*) override {
    ++calls;
    out.clear();
    return 0;
  }
  bool WritePrivateProfileStringA(const char*, const char*, const char*, const char*) override {
    ++calls;
    return true;
  }
  bool WriteBackDefaultA(const char*, const char*, const char*, const char*) override {
    ++calls;
    return true;
  }
};

TEST_F(RegistryPathTest, ReadSettingWithADollarFileUsesTheRegistry) {
  UnusedProfile ini;
  SettingsStore settings(ini, &reg, u"/opt/player/VELANE_Afficheur.ini");
  const std::u16string file = u"$" + prefix;
  EXPECT_EQ(settings.ReadSetting(u"S", u"K", u"768", file, 2), u"768");
  EXPECT_EQ(Stored("Player\\S", "K"), std::string("768\0", 4));
  Put("Player\\S", "K", kRegSz, std::string("1024\0", 5));
  EXPECT_EQ(settings.ReadSetting(u"S", u"K", u"768", file, 1), u"1024");
  EXPECT_EQ(ini.calls, 0);
}

}  // namespace
}  // namespace velane
