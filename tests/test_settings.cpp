// The settings store: its modes and write-back over real files, what the
// INI functions are handed (name buffers, value size, file), and the path of
// the playlist settings file.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "config/ansi.h"
#include "config/settings.h"
#include "machine_profile.h"
#include "platform/content_root.h"
#include "test_files.h"

namespace velane {
namespace {

namespace fs = std::filesystem;

using testing_support::ReadBytes;
using testing_support::WriteBytes;

// ---------------------------------------------------------------------------
// Over the real INI engine

class SettingsTest : public ::testing::Test {
 protected:
  std::u16string Read(std::u16string section, std::u16string key, std::u16string def,
                      std::int16_t mode) {
    return store.ReadSetting(section, key, def, u"", mode);
  }
  void Given(const std::string& bytes) { WriteBytes(file, bytes); }
  std::string Bytes() const { return ReadBytes(file); }
  ino_t Inode() const {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_ino;
  }

  testing_support::TempFolder dir{"velane-settings"};
  std::string file = dir.File("VELANE_Afficheur.ini");
  testing_support::MachineIni ini;
  SettingsStore store{ini, nullptr, FromAnsi(file)};
};

TEST_F(SettingsTest, Mode2CreatesTheFileAndFillsItWithDefaults) {
  EXPECT_EQ(Read(u"Systeme", u"TailleEcranL", u"768", 2), u"768");
  EXPECT_EQ(Read(u"Systeme", u"TailleEcranW", u"576", 2), u"576");
  EXPECT_EQ(Read(u"Systeme", u"marge", u"2", 2), u"2");
  EXPECT_EQ(Bytes(), "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n");
}

TEST_F(SettingsTest, Mode2LeavesAStoredValueAlone) {
  Given("[Systeme]\nTailleEcranL = 800\n");
  const ino_t before = Inode();
  EXPECT_EQ(Read(u"Systeme", u"TailleEcranL", u"768", 2), u"800");
  EXPECT_EQ(Bytes(), "[Systeme]\nTailleEcranL = 800\n");
  EXPECT_EQ(Inode(), before);
}

TEST_F(SettingsTest, Mode2ReplacesAnEmptyValueByTheDefault) {
  Given("[Systeme]\r\nmarge=\r\nx=1\r\n");
  EXPECT_EQ(Read(u"Systeme", u"marge", u"2", 2), u"2");
  EXPECT_EQ(Bytes(), "[Systeme]\r\nmarge=2\r\nx=1\r\n");
}

TEST_F(SettingsTest, Mode2WithEmptyDefaultCreatesAnEmptyKey) {
  Given("[section 1]\r\nType=image\r\n");
  EXPECT_EQ(Read(u"section 1", u"Transition", u"", 2), u"");
  EXPECT_EQ(Bytes(), "[section 1]\r\nType=image\r\nTransition=\r\n");
}

TEST_F(SettingsTest, Mode2RewritesAValueEqualToTheDefault) {
  Given("[Systeme]\r\nmarge =  \"2\" \r\n");
  EXPECT_EQ(Read(u"Systeme", u"marge", u"2", 2), u"2");
  EXPECT_EQ(Bytes(), "[Systeme]\r\nmarge=2\r\n");
}

TEST_F(SettingsTest, Mode2ComparesWithTheDefaultCaseSensitively) {
  Given("[s]\r\nk=ABC\r\n");
  EXPECT_EQ(Read(u"s", u"k", u"abc", 2), u"ABC");
  EXPECT_EQ(Bytes(), "[s]\r\nk=ABC\r\n");
}

TEST_F(SettingsTest, Mode1NeverWrites) {
  EXPECT_EQ(Read(u"Systeme", u"marge", u"2", 1), u"2");
  EXPECT_FALSE(fs::exists(file));
  Given("[Systeme]\r\nmarge=\r\n");
  EXPECT_EQ(Read(u"Systeme", u"marge", u"2", 1), u"2");  // empty: the default
  EXPECT_EQ(Read(u"Systeme", u"other", u"7", 1), u"7");
  EXPECT_EQ(Bytes(), "[Systeme]\r\nmarge=\r\n");
}

TEST_F(SettingsTest, ModesOtherThan0And2Read) {
  Given("[s]\r\nk=1\r\n");
  for (std::int16_t mode : {1, 3, -1, 32767, -32768}) {
    EXPECT_EQ(Read(u"s", u"k", u"9", mode), u"1") << mode;
    EXPECT_EQ(Read(u"s", u"missing", u"9", mode), u"9") << mode;
  }
  EXPECT_EQ(Bytes(), "[s]\r\nk=1\r\n");
}

TEST_F(SettingsTest, Mode0WritesTheDefaultAndReturnsIt) {
  Given("[s]\r\nk=1\r\n");
  EXPECT_EQ(Read(u"s", u"k", u"5", 0), u"5");
  EXPECT_EQ(Read(u"s", u"j", u"", 0), u"");
  EXPECT_EQ(Bytes(), "[s]\r\nk=5\r\nj=\r\n");
}

TEST_F(SettingsTest, LongValueComesBackCutTo589) {
  const std::string value(700, 'v');
  Given("[s]\r\nk=" + value + "\r\n");
  EXPECT_EQ(Read(u"s", u"k", u"", 1), FromAnsi(std::string(589, 'v')));
  // In mode 2 the cut value is no reason to write.
  EXPECT_EQ(Read(u"s", u"k", u"", 2).size(), 589u);
  EXPECT_EQ(Bytes(), "[s]\r\nk=" + value + "\r\n");
}

TEST_F(SettingsTest, LongNamesAreLookedUpByTheirFirst600Characters) {
  const std::string s600(600, 's');
  const std::string k600(600, 'k');
  Given("[" + s600 + "]\r\n" + k600 + "=found\r\n");
  EXPECT_EQ(Read(FromAnsi(s600 + "tail"), FromAnsi(k600 + "more"), u"no", 1), u"found");
  EXPECT_EQ(Read(FromAnsi(s600), FromAnsi(k600), u"no", 1), u"found");
  EXPECT_EQ(Read(FromAnsi(s600.substr(1)), FromAnsi(k600), u"no", 1), u"no");
  EXPECT_EQ(Read(FromAnsi(s600), FromAnsi(k600.substr(1)), u"no", 1), u"no");
}

TEST_F(SettingsTest, NamesMatchWithoutCaseAndOuterBlanks) {
  Given("[3]\r\nHTML=<b>\r\n");
  EXPECT_EQ(store.ReadSetting(u"3", u"html", u"", FromAnsi(file), 1), u"<b>");
  EXPECT_EQ(store.ReadSetting(u" 3", u"html", u"", FromAnsi(file), 1), u"<b>");
  EXPECT_EQ(store.ReadSetting(u"3 ", u"html", u"", FromAnsi(file), 1), u"<b>");
}

TEST_F(SettingsTest, TextCrossesAsAnsiBytes) {
  // UTF-8 in the file comes back unit for byte and goes out unchanged.
  Given("[s]\r\nk=h\xC3\xA9\r\n");
  const std::u16string v = Read(u"s", u"k", u"", 1);
  EXPECT_EQ(v, FromAnsi("h\xC3\xA9"));
  EXPECT_EQ(Read(u"s", u"m", v, 0), v);
  // The trace marker is byte 128.
  EXPECT_EQ(Read(u"s", u"t", std::u16string(1, kTraceMarker), 0).size(), 1u);
  EXPECT_EQ(Bytes(), "[s]\r\nk=h\xC3\xA9\r\nm=h\xC3\xA9\r\nt=\x80\r\n");
}

TEST_F(SettingsTest, RefusedWriteStillGivesTheDefault) {
  Given("[s]\r\n");
  ::chmod(file.c_str(), 0444);
  EXPECT_EQ(Read(u"s", u"k", u"768", 2), u"768");
  EXPECT_EQ(Read(u"s", u"k", u"768", 0), u"768");
  EXPECT_EQ(Bytes(), "[s]\r\n");
  // A missing folder likewise.
  EXPECT_EQ(store.ReadSetting(u"s", u"k", u"1", FromAnsi(dir.File("none/x.ini")), 2), u"1");
}

TEST_F(SettingsTest, ArgumentsAreTheCallersOwn) {
  std::u16string section = u"s", key = u"k", def = u"d", fileArg = u"";
  store.ReadSetting(section, key, def, fileArg, 2);
  EXPECT_EQ(fileArg, u"");
  EXPECT_EQ(def, u"d");
}

// ---------------------------------------------------------------------------
// What the INI functions are handed

class RecordingProfile : public platform::ProfileStrings {
 public:
  struct Call {
    bool write = false;
    std::string sectionBuffer;  // the 600 characters of the buffer
    std::string keyBuffer;
    std::string section;  // up to the first NUL
    std::string key;
    std::string value;  // default or value written
    std::uint32_t size = 0;
    std::string file;
  };

  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                         std::string& out, std::uint32_t size,
                                         const char* file) override {
    calls.push_back(Record(false, section, key, def, file));
    calls.back().size = size;
    out = stored ? *stored : def;
    return static_cast<std::uint32_t>(out.size());
  }
  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* file) override {
    calls.push_back(Record(true, section, key, value, file));
    return true;
  }
  // Recorded as a write: the guard itself is the engine's, tested there.
  bool WriteBackDefaultA(const char* section, const char* key, const char* value,
                         const char* file) override {
    return WritePrivateProfileStringA(section, key, value, file);
  }

  std::optional<std::string> stored;  // nullopt: the key is missing
  std::vector<Call> calls;

 private:
  static Call Record(bool write, const char* section, const char* key, const char* value,
                     const char* file) {
    Call c;
    c.write = write;
    c.sectionBuffer.assign(section, 600);
    c.keyBuffer.assign(key, 600);
    c.section = section;
    c.key = key;
    c.value = value;
    c.file = file;
    return c;
  }
};

class StoreCallsTest : public ::testing::Test {
 protected:
  RecordingProfile ini;
  SettingsStore store{ini, nullptr, u"/opt/player/VELANE_Afficheur.ini"};
};

TEST_F(StoreCallsTest, NamesArriveInBlankPaddedBuffers) {
  store.ReadSetting(u"Systeme", u"marge", u"2", u"", 1);
  ASSERT_EQ(ini.calls.size(), 1u);
  const auto& c = ini.calls[0];
  EXPECT_EQ(c.section, "Systeme");
  EXPECT_EQ(c.sectionBuffer, std::string("Systeme") + '\0' + std::string(600 - 8, ' '));
  EXPECT_EQ(c.keyBuffer, std::string("marge") + '\0' + std::string(600 - 6, ' '));
  EXPECT_EQ(c.size, 590u);
  EXPECT_EQ(c.value, "2");
  EXPECT_EQ(c.file, "/opt/player/VELANE_Afficheur.ini");
}

TEST_F(StoreCallsTest, NameOf600OrMoreLosesItsTerminator) {
  store.ReadSetting(std::u16string(599, u'a'), std::u16string(650, u'b'), u"", u"f.ini", 1);
  ASSERT_EQ(ini.calls.size(), 1u);
  EXPECT_EQ(ini.calls[0].section, std::string(599, 'a'));
  EXPECT_EQ(ini.calls[0].key, std::string(600, 'b'));
  // A NUL inside a name ends it, as the platform reads its buffers.
  store.ReadSetting(std::u16string(u"ab\0cd", 5), u"k", u"", u"f.ini", 1);
  EXPECT_EQ(ini.calls[1].section, "ab");
}

TEST_F(StoreCallsTest, Mode2WritesBackAMissingKeyOnce) {
  EXPECT_EQ(store.ReadSetting(u"s", u"k", u"768", u"", 2), u"768");
  ASSERT_EQ(ini.calls.size(), 2u);
  EXPECT_FALSE(ini.calls[0].write);
  EXPECT_TRUE(ini.calls[1].write);
  EXPECT_EQ(ini.calls[1].section, "s");
  EXPECT_EQ(ini.calls[1].key, "k");
  EXPECT_EQ(ini.calls[1].value, "768");
  EXPECT_EQ(ini.calls[1].file, "/opt/player/VELANE_Afficheur.ini");
}

TEST_F(StoreCallsTest, Mode2WritesAgainAValueEqualToTheDefault) {
  ini.stored = "768";
  EXPECT_EQ(store.ReadSetting(u"s", u"k", u"768", u"", 2), u"768");
  ASSERT_EQ(ini.calls.size(), 2u);
  EXPECT_TRUE(ini.calls[1].write);
  ini.calls.clear();
  ini.stored = "800";
  EXPECT_EQ(store.ReadSetting(u"s", u"k", u"768", u"", 2), u"800");
  EXPECT_EQ(ini.calls.size(), 1u);
}

TEST_F(StoreCallsTest, OnlyDollarWithMoreIsTheRegistryForm) {
  // "$" alone is a file name.
  store.ReadSetting(u"s", u"k", u"d", u"$", 1);
  ASSERT_EQ(ini.calls.size(), 1u);
  EXPECT_EQ(ini.calls[0].file, "$");
  // "$" elsewhere too.
  store.ReadSetting(u"s", u"k", u"d", u"a$b", 1);
  ASSERT_EQ(ini.calls.size(), 2u);
  EXPECT_EQ(ini.calls[1].file, "a$b");
  // "$" and a key path: no INI call; without a registry store the default.
  ini.calls.clear();
  for (std::int16_t mode : {0, 1, 2})
    EXPECT_EQ(store.ReadSetting(u"s", u"k", u"d", u"$HKEY_CURRENT_USER\\Software\\Player", mode),
              u"d");
  EXPECT_TRUE(ini.calls.empty());
}

// ---------------------------------------------------------------------------
// The playlist settings file's path

#ifdef _WIN32
TEST(PlaylistPath, FolderBaseNameAndIni) {
  EXPECT_EQ(PlaylistPathFor(u"C:\\Player\\VELANE_Afficheur.exe"),
            u"C:\\Player\\VELANE_Afficheur.ini");
  EXPECT_EQ(PlaylistPathFor(u"C:\\v1.2\\app.exe"), u"C:\\v1.2\\app.ini");
  EXPECT_EQ(PlaylistPathFor(u"C:\\v.1\\player"), u"C:\\v.1\\player.ini");
}

TEST(PlaylistPath, FolderHasNoTrailingSeparator) {
  EXPECT_EQ(FolderOf(u"C:\\Player\\VELANE_Afficheur.exe"), u"C:\\Player");
  EXPECT_EQ(FolderOf(u"C:/Player/VELANE_Afficheur.exe"), u"C:/Player");
}
#else
TEST(PlaylistPath, FolderBaseNameAndIni) {
  EXPECT_EQ(PlaylistPathFor(u"/opt/player/VELANE_Afficheur"), u"/opt/player/VELANE_Afficheur.ini");
  EXPECT_EQ(PlaylistPathFor(u"/opt/player/VELANE_Afficheur.exe"),
            u"/opt/player/VELANE_Afficheur.ini");
  EXPECT_EQ(PlaylistPathFor(u"/opt/v1.2/app"), u"/opt/v1.2/app.ini");
  EXPECT_EQ(PlaylistPathFor(u"/opt/a.b.c"), u"/opt/a.b.ini");
  EXPECT_EQ(PlaylistPathFor(u"/app"), u"/app.ini");
  EXPECT_EQ(PlaylistPathFor(u"app"), u"./app.ini");
}

TEST(PlaylistPath, FolderHasNoTrailingSeparator) {
  EXPECT_EQ(FolderOf(u"/opt/player/VELANE_Afficheur"), u"/opt/player");
  EXPECT_EQ(FolderOf(u"/app"), u"");
  EXPECT_EQ(FolderOf(u"app"), u".");
  // On Linux a backslash is part of a name.
  EXPECT_EQ(FolderOf(u"/opt/a\\b"), u"/opt");
}

// VELANE_CONTENT_ROOT moves the content root of the player and its tools;
// only an absolute path is taken, and a root that cannot serve is kept
// with a note for the operator.
TEST(ContentRootChoice, VariableNamesAnAbsoluteFolder) {
  testing_support::TempFolder dir{"velane-settings"};
  const std::string file = dir.File("file");
  WriteBytes(file, "x");
  const std::u16string exeFolder = u"/opt/player";
  const std::u16string beside = u"/opt/player/VELANE_Afficheur.ini";
  struct Case {
    std::optional<std::string> value;  // nothing: unset
    std::string folder;
    const char* note;  // a piece of the one note, or nullptr for none
  };
  const Case cases[] = {
      {std::nullopt, "/opt/player", nullptr},
      {"", "/opt/player", nullptr},
      {"content", "/opt/player", "a relative path"},
      {"./var", "/opt/player", "a relative path"},
      {dir.path().string() + "//", dir.path(), nullptr},
      {dir.File("gone"), dir.File("gone"), "does not exist"},
      {file, file, "is not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.value_or("(unset)"));
    if (c.value) {
      ::setenv(platform::kContentRootVariable, c.value->c_str(), 1);
    } else {
      ::unsetenv(platform::kContentRootVariable);
    }
    const platform::ContentRoot root = platform::ChooseContentRoot(exeFolder, beside);
    EXPECT_EQ(ToAnsi(root.folder), c.folder);
    EXPECT_EQ(root.playlist,
              root.fromVariable ? FromAnsi(c.folder) + u"/VELANE_Afficheur.ini" : beside);
    EXPECT_EQ(root.fromVariable, c.folder != "/opt/player");
    if (c.note) {
      ASSERT_EQ(root.notes.size(), 1u);
      EXPECT_NE(root.notes[0].find(c.note), std::string::npos) << root.notes[0];
    } else {
      EXPECT_TRUE(root.notes.empty());
    }
  }

  // A folder closed to this user (root passes every permission check).
  if (::geteuid() != 0) {
    ::chmod(dir.path().c_str(), 0555);
    ::setenv(platform::kContentRootVariable, dir.path().c_str(), 1);
    const platform::ContentRoot root = platform::ChooseContentRoot(exeFolder, beside);
    ASSERT_EQ(root.notes.size(), 1u);
    EXPECT_NE(root.notes[0].find("cannot write"), std::string::npos);
  }
  ::unsetenv(platform::kContentRootVariable);
}
#endif

}  // namespace
}  // namespace velane
