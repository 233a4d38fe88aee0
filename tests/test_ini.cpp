// The INI engine on real files: what a read finds, what a write leaves in
// the file (byte for byte), and the writes it refuses.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "platform/posix/ini_profile.h"
#include "test_files.h"

namespace velane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using testing_support::ReadBytes;
using testing_support::WriteBytes;

class IniTest : public ::testing::Test {
 protected:
  // The value a read hands back, with the count it returns.
  std::pair<std::uint32_t, std::string> Get(const char* section, const char* key,
                                            const char* def = "DEF", std::uint32_t size = 590) {
    std::string out = "garbage";
    const auto n = ini.GetPrivateProfileStringA(section, key, def, out, size, file.c_str());
    return {n, out};
  }
  std::string Value(const char* section, const char* key) { return Get(section, key).second; }
  bool Put(const char* section, const char* key, const char* value) {
    return ini.WritePrivateProfileStringA(section, key, value, file.c_str());
  }
  void Given(const std::string& bytes) { WriteBytes(file, bytes); }
  std::string Bytes() const { return ReadBytes(file); }
  std::size_t EntriesInFolder() const {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path())) ++n;
    return n;
  }

  testing_support::TempFolder dir{"velane-ini"};
  std::string file = dir.File("play.ini");
  IniProfile ini;
};

// ---------------------------------------------------------------------------
// Reading: lines and sections

TEST_F(IniTest, MixedLineEndsAllEndALine) {
  Given("[a]\r\nk1=1\nk2=2\rk3=3\r\n[b]\rk4=4");
  EXPECT_EQ(Value("a", "k1"), "1");
  EXPECT_EQ(Value("a", "k2"), "2");
  EXPECT_EQ(Value("a", "k3"), "3");
  EXPECT_EQ(Value("b", "k4"), "4");
  EXPECT_EQ(Value("a", "k4"), "DEF");
}

TEST_F(IniTest, CrLfIsOneLineEndNotAnEmptyLineBetween) {
  Given("[a]\r\n\r\nk=1\r\n");
  EXPECT_EQ(Value("a", "k"), "1");
  Given("[a]\r\r\nk=2\n\rj=3");
  EXPECT_EQ(Value("a", "k"), "2");
  EXPECT_EQ(Value("a", "j"), "3");
  Given("[a]\rk=1\r[b]\rk=4\r");  // CR only
  EXPECT_EQ(Value("b", "k"), "4");
}

TEST_F(IniTest, OnlyABracketOpeningItsLineStartsAHeader) {
  Given("[a]\r\nv=[b]\r\nm=1\r\nw=x [c]\r\n \t[d]\r\nm=2\r\n");
  EXPECT_EQ(Value("a", "m"), "1");
  EXPECT_EQ(Value("a", "w"), "x [c]");
  EXPECT_EQ(Value("b", "m"), "DEF");
  EXPECT_EQ(Value("c", "m"), "DEF");
  EXPECT_EQ(Value("d", "m"), "2");
}

// As on the platform, a NUL ends a name or a value, not its line: the name
// of a key or header line is read up to the NUL, and the "=" or "]" after
// it still makes the line what it is.
TEST_F(IniTest, NulEndsANameOrAValueNotItsLine) {
  Given(
      "[a]\r\nk=abc\0def\r\nx=1\0y=5\r\nna\0me=3\r\n"
      "[b\0junk]\r\nm=2\r\n[c\0\r\nq=4\r\n"s);
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"a", "k", "abc"},
      {"a", "x", "1"},
      {"a", "y", "DEF"},
      {"a", "na", "3"},
      {"a", "name", "DEF"},
      {"a", "me", "DEF"},
      {"b", "m", "2"},
      {"a", "m", "DEF"},
      // "[c" has no "]": no header, so q stays in [b].
      {"b", "q", "4"},
      {"c", "q", "DEF"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Value(c.section, c.key), c.value) << c.section << "/" << c.key;
}

TEST_F(IniTest, HeaderNameRunsToTheLastBracketTrimmed) {
  Given("  [ Sec One ]  anything=here\r\nk=v\r\n[a]b] x\r\nk=w\r\n");
  EXPECT_EQ(Value("Sec One", "k"), "v");
  EXPECT_EQ(Value("a]b", "k"), "w");
  EXPECT_EQ(Value("Sec One", "anything"), "DEF");
  Given("[x=y]\r\nk=1\r\n");
  EXPECT_EQ(Value("x=y", "k"), "1");
}

TEST_F(IniTest, BracketLineWithoutCloseIsNoHeader) {
  Given("[a]\r\nk=1\r\n[b\r\nm=2\r\n");
  EXPECT_EQ(Value("a", "m"), "2");
  EXPECT_EQ(Value("b", "m"), "DEF");
  EXPECT_EQ(Value("a", "[b"), "DEF");  // no "=": not a key line either
  Given("[a]\r\n[c=3\r\n");
  EXPECT_EQ(Value("a", "[c"), "3");  // with "=" it is a key line
}

TEST_F(IniTest, KeysBeforeTheFirstHeaderAreTheEmptyNamedSection) {
  Given("k=top\r\n[a]\r\nk=inner\r\n[]\r\nk=later\r\n");
  EXPECT_EQ(Value("", "k"), "top");
  EXPECT_EQ(Value("  ", "k"), "top");
  EXPECT_EQ(Value("a", "k"), "inner");
  // A header with an empty or blank name is never that section, as on the
  // platform: the default comes back.
  for (const char* text :
       {"; a comment\r\n\r\n[]\r\nk=3\r\n", "[ ]\r\nk=3\r\n", "[\t]\r\nk=3\r\n"}) {
    Given(text);
    EXPECT_EQ(Value("", "k"), "DEF") << text;
    EXPECT_EQ(Value(" ", "k"), "DEF") << text;
  }
}

TEST_F(IniTest, ThereIsNoCommentSyntax) {
  Given("[a]\r\n;k=commented\r\n#j=hash\r\nk=real\r\n");
  EXPECT_EQ(Value("a", "k"), "real");
  EXPECT_EQ(Value("a", ";k"), "commented");
  EXPECT_EQ(Value("a", "#j"), "hash");
  EXPECT_EQ(Value("a", "j"), "DEF");
  Given("[a]\r\n;k=commented\r\n");
  EXPECT_EQ(Value("a", "k"), "DEF");
}

TEST_F(IniTest, LinesWithoutEqualsAreNeverMatched) {
  Given("[a]\r\nk\r\nk v\r\n");
  EXPECT_EQ(Value("a", "k"), "DEF");
  EXPECT_EQ(Value("a", "k v"), "DEF");
}

// ---------------------------------------------------------------------------
// Reading: names

TEST_F(IniTest, NamesMatchWithoutAsciiCaseAndOuterBlanks) {
  Given("[ Systeme\t]\r\n\t TailleEcranL  =800\r\n[3]\r\nType=image\r\n");
  EXPECT_EQ(Value("SYSTEME", "tailleecranl"), "800");
  EXPECT_EQ(Value(" systeme ", "\tTAILLEecranL "), "800");
  EXPECT_EQ(Value(" 3", "type"), "image");
  EXPECT_EQ(Value("3 ", "TYPE"), "image");
}

TEST_F(IniTest, BlanksInsideANameCount) {
  Given("[section 5]\r\ndelais secondes=10\r\n");
  EXPECT_EQ(Value("section 5", "delais secondes"), "10");
  EXPECT_EQ(Value("section5", "delais secondes"), "DEF");
  EXPECT_EQ(Value("section 5", "delais  secondes"), "DEF");
}

TEST_F(IniTest, OnlyAsciiLettersFoldCase) {
  // E acute in Windows-1252: 0xC9 upper, 0xE9 lower.
  Given("[\xC9t\xE9]\r\nk=1\r\n");
  EXPECT_EQ(Value("\xC9T\xE9", "k"), "1");
  EXPECT_EQ(Value("\xE9t\xE9", "k"), "DEF");
}

TEST_F(IniTest, FirstSectionAndFirstKeyWin) {
  Given("[a]\r\nx=1\r\nk=first\r\nK=second\r\n[A]\r\nk=third\r\nm=4\r\n");
  EXPECT_EQ(Value("a", "k"), "first");
  // The repeated section is not merged with the first one.
  EXPECT_EQ(Value("a", "m"), "DEF");
}

// ---------------------------------------------------------------------------
// Reading: values, defaults, counts

TEST_F(IniTest, ValueLosesOuterBlanksThenOnePairOfQuotes) {
  Given(
      "[a]\r\n"
      "plain =  v  w \t\r\n"
      "dq= \"  v  \" \r\n"
      "sq='x'\r\n"
      "twice=\"\"x\"\"\r\n"
      "mixed=\"x'\r\n"
      "lone=\"\r\n"
      "inner=a\"b\"\r\n"
      "eq=a=b\r\n");
  EXPECT_EQ(Value("a", "plain"), "v  w");
  EXPECT_EQ(Value("a", "dq"), "  v  ");
  EXPECT_EQ(Value("a", "sq"), "x");
  EXPECT_EQ(Value("a", "twice"), "\"x\"");
  EXPECT_EQ(Value("a", "mixed"), "\"x'");
  EXPECT_EQ(Value("a", "lone"), "\"");
  EXPECT_EQ(Value("a", "inner"), "a\"b\"");
  EXPECT_EQ(Value("a", "eq"), "a=b");
}

TEST_F(IniTest, EmptyValueCountsZeroAndIsNotTheDefault) {
  Given("[a]\r\ne=\r\nb=   \r\nq=\"\"\r\n");
  EXPECT_EQ(Get("a", "e"), std::make_pair(0u, ""s));
  EXPECT_EQ(Get("a", "b"), std::make_pair(0u, ""s));
  EXPECT_EQ(Get("a", "q"), std::make_pair(0u, ""s));
}

TEST_F(IniTest, ValueIsCutToSizeLessOne) {
  const std::string long700(700, 'x');
  Given("[a]\r\nk=" + long700 + "\r\nq=\"" + long700 + "\"\r\n");
  EXPECT_EQ(Get("a", "k"), std::make_pair(589u, std::string(589, 'x')));
  EXPECT_EQ(Get("a", "q"), std::make_pair(589u, std::string(589, 'x')));
  EXPECT_EQ(Get("a", "k", "DEF", 1), std::make_pair(0u, ""s));
  EXPECT_EQ(Get("a", "k", "DEF", 0), std::make_pair(0u, ""s));
}

TEST_F(IniTest, DefaultLosesTrailingSpacesAndOnePairOfQuotes) {
  Given("[a]\r\n");
  EXPECT_EQ(Get("a", "k", "768  "), std::make_pair(3u, "768"s));
  // Tabs stay; a default made only of spaces keeps one.
  EXPECT_EQ(Get("a", "k", "d\t"), std::make_pair(2u, "d\t"s));
  EXPECT_EQ(Get("a", "k", "768 \t "), std::make_pair(5u, "768 \t"s));
  EXPECT_EQ(Get("a", "k", "   "), std::make_pair(1u, " "s));
  EXPECT_EQ(Get("a", "k", " "), std::make_pair(1u, " "s));
  EXPECT_EQ(Get("a", "k", "  768"), std::make_pair(5u, "  768"s));
  EXPECT_EQ(Get("a", "k", "'x y'"), std::make_pair(3u, "x y"s));
  EXPECT_EQ(Get("a", "k", "\"x\"  "), std::make_pair(1u, "x"s));
  EXPECT_EQ(Get("a", "k", ""), std::make_pair(0u, ""s));
  EXPECT_EQ(Get("a", "k", nullptr), std::make_pair(0u, ""s));
  EXPECT_EQ(Get("a", "k", "abcdef", 4), std::make_pair(3u, "abc"s));
}

TEST_F(IniTest, MissingFileReadsTheDefaultAndIsNotCreated) {
  EXPECT_EQ(Get("a", "k", "768"), std::make_pair(3u, "768"s));
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(IniTest, FilesThatCannotBeReadGiveTheDefault) {
  file = dir.path();  // a folder
  EXPECT_EQ(Value("a", "k"), "DEF");
  file = dir.File("fifo.ini");  // a pipe nobody writes: must not hang
  ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
  EXPECT_EQ(Value("a", "k"), "DEF");
  file = "";
  EXPECT_EQ(Value("a", "k"), "DEF");
}

TEST_F(IniTest, OversizedFileIsTreatedAsUnreadable) {
  // Sparse: costs no disk.
  Given("[a]\r\nk=1\r\n");
  fs::resize_file(file, kMaxIniFileBytes + 1);
  EXPECT_EQ(Value("a", "k"), "DEF");
  EXPECT_FALSE(Put("a", "k", "2"));
  EXPECT_EQ(fs::file_size(file), kMaxIniFileBytes + 1);
}

// ---------------------------------------------------------------------------
// Writing: the file afterwards, byte for byte

TEST_F(IniTest, WriteCreatesFileSectionAndKeys) {
  ASSERT_TRUE(Put("Systeme", "TailleEcranL", "768"));
  ASSERT_TRUE(Put("Systeme", "TailleEcranW", "576"));
  ASSERT_TRUE(Put("section 1", "Type", "image"));
  ASSERT_TRUE(Put("Systeme", "marge", "2"));
  EXPECT_EQ(Bytes(),
            "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n"
            "[section 1]\r\nType=image\r\n");
  EXPECT_EQ(EntriesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(IniTest, ReplacingAValueKeepsEveryOtherLineByteForByte) {
  const std::string before =
      "; playlist of the hall\n"
      "[Systeme]\n"
      "  TailleEcranL = 800   \n"
      "\n"
      "# hand note\tkept\n"
      "marge=2\r"
      "[section 1]\r\n"
      "Type=image\n";
  Given(before);
  ASSERT_TRUE(Put("systeme", "tailleecranl", "1024"));
  EXPECT_EQ(Bytes(),
            "; playlist of the hall\n"
            "[Systeme]\n"
            "TailleEcranL=1024\r\n"  // the file's spelling of the name
            "\n"
            "# hand note\tkept\n"
            "marge=2\r"
            "[section 1]\r\n"
            "Type=image\n");
}

TEST_F(IniTest, NewKeyGoesAfterTheLastFilledLineOfItsSection) {
  Given("[a]\n k=1\n\n; note\n\n\n[b]\nm=2\n");
  ASSERT_TRUE(Put("a", "new", "x"));
  EXPECT_EQ(Bytes(), "[a]\n k=1\n\n; note\nnew=x\r\n\n\n[b]\nm=2\n");
  ASSERT_TRUE(Put("b", "n", "y"));
  EXPECT_EQ(Bytes(), "[a]\n k=1\n\n; note\nnew=x\r\n\n\n[b]\nm=2\nn=y\r\n");
}

TEST_F(IniTest, WriteWithoutFinalLineEnd) {
  Given("[a]\nk=1");
  ASSERT_TRUE(Put("a", "j", "2"));
  EXPECT_EQ(Bytes(), "[a]\nk=1\r\nj=2\r\n");
  Given("[a]\nk=1");
  ASSERT_TRUE(Put("a", "k", "3"));
  EXPECT_EQ(Bytes(), "[a]\nk=3\r\n");
  Given("[a]");
  ASSERT_TRUE(Put("a", "k", "4"));
  EXPECT_EQ(Bytes(), "[a]\r\nk=4\r\n");
  Given("x");
  ASSERT_TRUE(Put("b", "k", "5"));
  EXPECT_EQ(Bytes(), "x\r\n[b]\r\nk=5\r\n");
}

TEST_F(IniTest, WriteGoesToTheFirstOfRepeatedSectionsAndKeys) {
  Given("[a]\r\nk=1\r\nK=2\r\n[A]\r\nk=3\r\n");
  ASSERT_TRUE(Put("a", "k", "9"));
  ASSERT_TRUE(Put("a", "m", "8"));
  EXPECT_EQ(Bytes(), "[a]\r\nk=9\r\nK=2\r\nm=8\r\n[A]\r\nk=3\r\n");
}

TEST_F(IniTest, WriteIntoTheEmptyNamedSection) {
  Given("top=1\r\n\r\n[a]\r\nk=2\r\n");
  ASSERT_TRUE(Put("", "k", "0"));
  EXPECT_EQ(Bytes(), "top=1\r\nk=0\r\n\r\n[a]\r\nk=2\r\n");
  // Without keys before the first header, the key still goes above it: a
  // "[]" header would never read back.
  Given("; c\r\n\r\n[a]\r\n");
  ASSERT_TRUE(Put(" ", "k", "0"));
  EXPECT_EQ(Bytes(), "; c\r\nk=0\r\n\r\n[a]\r\n");
  EXPECT_EQ(Value("", "k"), "0");
  Given("[]\r\nk=1\r\n");
  ASSERT_TRUE(Put("", "k", "2"));
  EXPECT_EQ(Bytes(), "k=2\r\n[]\r\nk=1\r\n");
}

TEST_F(IniTest, WriteTrimsNamesAndKeepsTheValueAsGiven) {
  ASSERT_TRUE(Put(" S ", "\tK ", "  v \"q\" "));
  EXPECT_EQ(Bytes(), "[S]\r\nK=  v \"q\" \r\n");
  EXPECT_EQ(Value("s", "k"), "v \"q\"");
}

TEST_F(IniTest, WriteOfAnUnchangedValueLeavesTheFileAlone) {
  Given("[a]\r\nk=1\r\n");
  struct stat before, after;
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  ASSERT_TRUE(Put("A", "K", "1"));
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  // Different spacing is a change: the line is rewritten tidily.
  Given("[a]\r\nk = 1\r\n");
  ASSERT_TRUE(Put("a", "k", "1"));
  EXPECT_EQ(Bytes(), "[a]\r\nk=1\r\n");
}

TEST_F(IniTest, ReadBackWhatWasWritten) {
  const char* values[] = {
      "", "x", " padded ", "'q'", "\"dq\"", "a=b", "[not a header]", ";semi", "\xE9\xC3\xA9\x80"};
  for (const char* v : values) {
    ASSERT_TRUE(Put("s", "k", v)) << v;
    EXPECT_EQ(Value("s", "k"), CleanIniValue(v)) << v;
  }
  ASSERT_TRUE(Put("a]b", "[k", "1"));
  EXPECT_EQ(Value("a]b", "[k"), "1");
}

// ---------------------------------------------------------------------------
// Writing: refused writes change nothing

TEST_F(IniTest, WritesThatCouldNotBeReadBackAreRefused) {
  const std::string before = "[a]\r\nk=1\r\n[k=\r\n";
  Given(before);
  EXPECT_FALSE(Put("a", "k=x", "1"));
  EXPECT_FALSE(Put("a", "k", "1\r\n[b]"));
  EXPECT_FALSE(Put("a", "k", "1\nx"));
  EXPECT_FALSE(Put("a\r\nb", "k", "1"));
  EXPECT_FALSE(Put("a", "[k", "]"));  // "[k=]" would read as a header
  EXPECT_FALSE(Put(nullptr, "k", "1"));
  EXPECT_FALSE(Put("a", nullptr, "1"));
  EXPECT_FALSE(Put("a", "k", nullptr));
  EXPECT_EQ(Bytes(), before);
  EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(IniTest, WriteNeverCreatesAFolder) {
  file = dir.File("missing/play.ini");
  EXPECT_FALSE(Put("a", "k", "1"));
  EXPECT_FALSE(fs::exists(dir.File("missing")));
  file = dir.path();
  EXPECT_FALSE(Put("a", "k", "1"));
  EXPECT_TRUE(fs::is_directory(dir.path()));
  file = dir.File("play.ini/");
  EXPECT_FALSE(Put("a", "k", "1"));
  EXPECT_EQ(EntriesInFolder(), 0u);
}

TEST_F(IniTest, ReadOnlyFileIsRefusedEvenForRoot) {
  const std::string before = "[a]\r\nk=1\r\n";
  Given(before);
  ::chmod(file.c_str(), 0444);
  EXPECT_FALSE(Put("a", "k", "2"));
  EXPECT_EQ(Bytes(), before);
  EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(IniTest, PipeIsNeverWrittenOver) {
  ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
  EXPECT_FALSE(Put("a", "k", "1"));
  EXPECT_TRUE(fs::is_fifo(file));
}

TEST_F(IniTest, WriteKeepsPermissions) {
  Given("[a]\r\nk=1\r\n");
  ::chmod(file.c_str(), 0640);
  ASSERT_TRUE(Put("a", "k", "2"));
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A link in the file's place is written through, and stays a link. With a
// folder the writes are kept to (the player's content root), only while it
// leads inside: one that leads out is still read, never written, and the
// file it points at stays byte for byte as it was.
TEST_F(IniTest, WriteThroughASymbolicLinkKeepsTheLink) {
  const fs::path root = dir.path() / "root";
  const fs::path home = dir.path() / "home";
  struct Case {
    const char* what;
    const char* file;  // written, in the root
    const char* link;  // what the file is a link to (none: a plain file)
    fs::path real;     // the file that holds the keys
    bool confined;
    bool written;
  };
  const Case cases[] = {
      {"a plain file", "play.ini", nullptr, root / "play.ini", true, true},
      {"a link beside it", "play.ini", "real.ini", root / "real.ini", true, true},
      {"a link into a subfolder", "play.ini", "sub/real.ini", root / "sub/real.ini", true, true},
      {"a full path inside", "play.ini", nullptr, root / "sub/real.ini", true, true},
      {"a link to a file outside", "play.ini", nullptr, home / "real.ini", true, false},
      {"a link that climbs out", "play.ini", "../home/real.ini", home / "real.ini", true, false},
      {"a link to a link out", "play.ini", "hop.ini", home / "real.ini", true, false},
      {"a link through a folder link out", "play.ini", "away/real.ini", home / "real.ini", true,
       false},
      {"a plain file in a folder link out", "away/real.ini", nullptr, home / "real.ini", true,
       false},
      {"no root: a link to a file outside", "play.ini", nullptr, home / "real.ini", false, true},
  };
  const std::string before = "[a]\r\nk=1\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root);
    fs::remove_all(home);
    fs::create_directories(root / "sub");
    fs::create_directories(home);
    fs::create_directory_symlink(home, root / "away");
    fs::create_symlink(home / "real.ini", root / "hop.ini");
    WriteBytes(c.real, before);
    const fs::path path = root / c.file;
    const bool linked = c.real != path && c.file == std::string("play.ini");
    if (linked) fs::create_symlink(c.link ? fs::path(c.link) : c.real, path);
    IniProfile profile(c.confined ? root.string() : "");
    std::string out;
    EXPECT_EQ(profile.GetPrivateProfileStringA("a", "k", "", out, 64, path.c_str()), 1u);
    EXPECT_EQ(out, "1");  // read wherever it leads
    EXPECT_EQ(profile.WritePrivateProfileStringA("a", "k", "2", path.c_str()), c.written);
    EXPECT_EQ(profile.WriteBackDefaultA("a", "new", "d", path.c_str()), c.written);
    EXPECT_EQ(ReadBytes(c.real), c.written ? "[a]\r\nk=2\r\nnew=d\r\n" : before);
    EXPECT_EQ(fs::is_symlink(path), linked);
    // No temporary file left behind, on either side.
    for (const fs::path& folder : {root, root / "sub", home})
      for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().extension(), entry.is_directory() ? "" : ".ini") << entry.path();
  }
}

TEST_F(IniTest, WriteSeesAnEditMadeJustBefore) {
  ASSERT_TRUE(Put("a", "k", "1"));
  WriteBytes(file, ReadBytes(file) + "hand=made\r\n");
  ASSERT_TRUE(Put("a", "j", "2"));
  EXPECT_EQ(Bytes(), "[a]\r\nk=1\r\nhand=made\r\nj=2\r\n");
}

// ---------------------------------------------------------------------------
// The text rules alone

TEST(IniText, SectionExtentForWrites) {
  const std::string text = "x=0\r\n[a]\r\nk=1\r\n\r\n[b]\r\n";
  const auto a = FindIniSection(text, "A", "K");
  ASSERT_TRUE(a && a->key);
  EXPECT_EQ(text.substr(a->key->begin, a->key->end - a->key->begin), "k=1\r\n");
  EXPECT_EQ(a->end, text.find("[b]"));
  EXPECT_EQ(a->lastFilled, text.find("\r\n\r\n") + 2);
  EXPECT_FALSE(FindIniSection(text, "c", "k"));
  EXPECT_FALSE(FindIniSection("", "", "k"));
}

// The index gives exactly what a walk from the file's start gives, on the
// texts where the rules bite: repeated and case-folded sections, blanks
// around names, a "[" line without "]", keys before the first header,
// lone CRs and NULs, a key asked for in a section that lacks it.
TEST(IniText, SectionIndexAnswersAsTheWalkDoes) {
  const std::string texts[] = {
      "x=0\r\n[a]\r\nk=1\r\n\r\n[b]\r\n",
      "; note\r\n[S]\rk = one\r[s]\r\nk=two\r\n[ s ]\nj=3\n",
      "[a]\r\n[broken\r\nk=in a\r\n  [b] rest\r\nk=b\0tail\r\n[]\r\nk=e\r\n",
      std::string("[a]\r\nk\0=x\r\n=empty key\r\n[A B]\r\nK=ab\r\n", 36),
      std::string("[b\0x]\r\nk=1\r\n[ ]\r\nk=2\r\n[a\0]\r\nj=3\r\n", 33),
      "",
  };
  const char* const sections[] = {"a", "A", " a ", "b", "s", "S", "A B", "a b", "", "broken", "c"};
  const char* const keys[] = {"k", "K", " k ", "j", "", "x"};
  for (const std::string& text : texts) {
    const IniSectionIndex index(text);
    for (const char* section : sections)
      for (const char* key : keys) {
        SCOPED_TRACE(testing::Message()
                     << "[" << section << "] " << key << " in " << testing::PrintToString(text));
        const auto walked = FindIniSection(text, section, key);
        const auto indexed = index.Find(section, key);
        ASSERT_EQ(walked.has_value(), indexed.has_value());
        if (!walked) continue;
        EXPECT_EQ(walked->headerEnd, indexed->headerEnd);
        EXPECT_EQ(walked->end, indexed->end);
        EXPECT_EQ(walked->lastFilled, indexed->lastFilled);
        ASSERT_EQ(walked->key.has_value(), indexed->key.has_value());
        if (walked->key) {
          EXPECT_EQ(walked->key->value, indexed->key->value);
        }
      }
  }
}

}  // namespace
}  // namespace velane
