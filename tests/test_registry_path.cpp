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

class RegistryPathTest : public ::testing::Test {
 protected:
  std::optional<std::string> Stored(RegHandle root, const char* path,
                                    const char* name, std::uint32_t* type = nullptr) {
    const RegHandle h = OpenRaw(*store, root, path);
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
  void Put(const char* path, const char* name, std::uint32_t type,
           const std::string& data) {
    RegHandle h = 0;
    ASSERT_EQ(store->RegCreateKeyExA(kHkeyCurrentUser, path, 0, "", 0, kKeyAllAccess,
                                     nullptr, &h, nullptr),
              kRegSuccess);
    ASSERT_EQ(store->RegSetValueExA(h, name, 0, type,
                                    reinterpret_cast<const std::uint8_t*>(data.data()),
                                    static_cast<std::uint32_t>(data.size())),
              kRegSuccess);
    store->RegCloseKey(h);
  }

  testing::TempDataHome home;
  std::unique_ptr<Registry> store = OpenUserRegistry();
  testing::RecordingRegistry reg{*store};
};

// --- ReadRegistryPath / WriteRegistryPath ------------------------------------

TEST_F(RegistryPathTest, WriteCreatesTheKeyAndItsParentsAndStoresText) {
  WriteRegistryPath(reg, u"HKEY_CURRENT_USER\\Software\\Velane\\Player", u"n", 5);
  std::uint32_t type = 0;
  EXPECT_EQ(Stored(kHkeyCurrentUser, "Software\\Velane\\Player", "n", &type),
            std::string("5\0", 2));
  EXPECT_EQ(type, kRegSz);
  WriteRegistryPath(reg, u"HKEY_CURRENT_USER\\Software\\Velane\\Player", u"t",
                    u"caf\u00E9");
  EXPECT_EQ(ReadRegistryPath(reg, u"HKEY_CURRENT_USER\\Software\\Velane\\Player", u"t"),
            u"caf\u00E9");
  // Each call lets its key go before it returns.
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryPathTest, ReadOfAMissingKeyIsEmptyAndCreatesNothing) {
  Put("Software", "x", kRegSz, std::string("1\0", 2));
  EXPECT_EQ(ReadRegistryPath(reg, u"HKEY_CURRENT_USER\\Software\\Missing", u"x"), u"");
  EXPECT_FALSE(KeyExists("Software\\Missing"));
  EXPECT_EQ(ReadRegistryPath(reg, u"HKEY_CURRENT_USER\\Software", u"absent"), u"");
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryPathTest, RootNamesMatchWithoutRegardToCase) {
  Put("Software\\P", "v", kRegSz, std::string("yes\0", 4));
  EXPECT_EQ(ReadRegistryPath(reg, u"hkey_current_user\\Software\\P", u"v"), u"yes");
  EXPECT_EQ(ReadRegistryPath(reg, u"Hkey_Current_User\\software\\p", u"V"), u"yes");
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
    WriteRegistryPath(reg, std::u16string(name) + u"\\K", u"v", name);
    EXPECT_EQ(Stored(handle, "K", "v"), velane::ToAnsi(name) + '\0');
  }
}

TEST_F(RegistryPathTest, ShortOrUnknownRootsReadAndWriteNothing) {
  Put("Software", "v", kRegSz, std::string("stored\0", 7));
  for (const char16_t* path : {u"HKCU\\Software", u"HKEY_CURRENT_USERS\\Software",
                               u" HKEY_CURRENT_USER\\Software"}) {
    EXPECT_EQ(ReadRegistryPath(reg, path, u"v"), u"");
    WriteRegistryPath(reg, path, u"w", u"x");
  }
  EXPECT_EQ(Stored(kHkeyCurrentUser, "Software", "w"), std::nullopt);
  EXPECT_EQ(reg.opens, 0);
}

TEST_F(RegistryPathTest, APathWithoutBackslashReadsAndWritesNothing) {
  Put("", "v", kRegSz, std::string("root\0", 5));
  EXPECT_EQ(ReadRegistryPath(reg, u"HKEY_CURRENT_USER", u"v"), u"");
  WriteRegistryPath(reg, u"HKEY_CURRENT_USER", u"w", u"x");
  EXPECT_EQ(Stored(kHkeyCurrentUser, "", "w"), std::nullopt);
  EXPECT_EQ(reg.opens, 0);
}

TEST_F(RegistryPathTest, AnEmptySubkeyPathIsTheRootItself) {
  WriteRegistryPath(reg, u"HKEY_CURRENT_USER\\", u"w", u"on the root");
  EXPECT_EQ(Stored(kHkeyCurrentUser, "", "w"), std::string("on the root\0", 12));
  EXPECT_EQ(ReadRegistryPath(reg, u"HKEY_CURRENT_USER\\", u"w"), u"on the root");
}

// --- the registry form of ReadSetting ----------------------------------------

constexpr const char16_t* kPrefix = u"HKEY_CURRENT_USER\\Software\\Player";

TEST_F(RegistryPathTest, Mode2StoresAMissingSettingAsAString) {
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", kPrefix, 2), u"768");
  std::uint32_t type = 0;
  EXPECT_EQ(Stored(kHkeyCurrentUser, "Software\\Player\\S", "K", &type),
            std::string("768\0", 4));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(reg.openHandles, 0);
}

TEST_F(RegistryPathTest, Mode1ReturnsTheDefaultAndCreatesNothing) {
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", kPrefix, 1), u"768");
  EXPECT_FALSE(home.DatabaseExists());
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", kPrefix, 3), u"768");
  EXPECT_FALSE(home.DatabaseExists());
}

TEST_F(RegistryPathTest, Mode2LeavesAStoredValueEqualToTheDefaultAlone) {
  // Stored as an expandable string: a rewrite would make it a plain one.
  Put("Software\\Player\\S", "K", kRegExpandSz, std::string("768\0", 4));
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", kPrefix, 2), u"768");
  EXPECT_EQ(reg.valueWrites, 0);
  std::uint32_t type = 0;
  Stored(kHkeyCurrentUser, "Software\\Player\\S", "K", &type);
  EXPECT_EQ(type, kRegExpandSz);
}

TEST_F(RegistryPathTest, StoredValuesWinOverTheDefault) {
  Put("Software\\Player\\S", "K", kRegSz, std::string("800\0", 4));
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"768", kPrefix, 2), u"800");
  EXPECT_EQ(ReadSettingRegistry(&reg, u"s", u"k", u"768", kPrefix, 1), u"800");
  EXPECT_EQ(reg.valueWrites, 0);
}

TEST_F(RegistryPathTest, AnEmptyStoredValueCountsAsMissing) {
  Put("Software\\Player\\S", "K", kRegSz, std::string("\0", 1));
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"2", kPrefix, 1), u"2");
  EXPECT_EQ(reg.valueWrites, 0);
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"2", kPrefix, 2), u"2");
  EXPECT_EQ(Stored(kHkeyCurrentUser, "Software\\Player\\S", "K"),
            std::string("2\0", 2));
}

TEST_F(RegistryPathTest, Mode0StoresTheDefault) {
  Put("Software\\Player\\S", "K", kRegSz, std::string("800\0", 4));
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"900", kPrefix, 0), u"900");
  EXPECT_EQ(Stored(kHkeyCurrentUser, "Software\\Player\\S", "K"),
            std::string("900\0", 4));
}

TEST_F(RegistryPathTest, LongValuesHaveNoLimitOfTheirOwn) {
  const std::u16string longText(5000, u'x');
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", longText, kPrefix, 0), longText);
  EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"", kPrefix, 1), longText);
}

TEST_F(RegistryPathTest, AnUnknownRootGivesTheDefaultAndWritesNothing) {
  for (std::int16_t mode : {0, 1, 2}) {
    EXPECT_EQ(ReadSettingRegistry(&reg, u"S", u"K", u"d", u"HKCU\\Software", mode),
              u"d");
  }
  EXPECT_EQ(reg.opens, 0);
  EXPECT_FALSE(home.DatabaseExists());
}

TEST_F(RegistryPathTest, WithoutARegistryTheDefaultComesBack) {
  EXPECT_EQ(ReadSettingRegistry(nullptr, u"S", u"K", u"d", kPrefix, 2), u"d");
  EXPECT_FALSE(home.DatabaseExists());
}

// The settings store sends a "$" file argument to the registry; the INI
// functions never see it.
class UnusedProfile : public ProfileStrings {
 public:
  int calls = 0;
  std::uint32_t GetPrivateProfileStringA(const char*, const char*, const char*,
                                         std::string& out, std::uint32_t,
                                         const char*) override {
    ++calls;
    out.clear();
    return 0;
  }
  bool WritePrivateProfileStringA(const char*, const char*, const char*,
                                  const char*) override {
    ++calls;
    return true;
  }
};

TEST_F(RegistryPathTest, ReadSettingWithADollarFileUsesTheRegistry) {
  UnusedProfile ini;
  SettingsStore settings(ini, &reg, u"/opt/player/VELANE_Afficheur.ini");
  const std::u16string file = u"$HKEY_CURRENT_USER\\Software\\Player";
  EXPECT_EQ(settings.ReadSetting(u"S", u"K", u"768", file, 2), u"768");
  EXPECT_EQ(Stored(kHkeyCurrentUser, "Software\\Player\\S", "K"),
            std::string("768\0", 4));
  Put("Software\\Player\\S", "K", kRegSz, std::string("1024\0", 5));
  EXPECT_EQ(settings.ReadSetting(u"S", u"K", u"768", file, 1), u"1024");
  EXPECT_EQ(ini.calls, 0);
}

}  // namespace
}  // namespace velane
