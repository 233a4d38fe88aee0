#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "config/ansi.h"
#include "display/outils.h"
#include "fakes/fake_platform.h"
#include "test_files.h"

namespace velane {
namespace {

namespace fs = std::filesystem;

// Descriptors the process holds open: a file left open shows up here.
int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

class ReadWholeFileTest : public ::testing::Test {
 protected:
  // Writes the bytes to a file of that name and gives its path.
  std::u16string Write(const std::string& name, const std::string& bytes) {
    testing_support::WriteBytes(dir_ / name, bytes);
    return Path(name);
  }
  std::u16string Path(const std::string& name) { return FromAnsi((dir_ / name).string()); }
  std::u16string Read(const std::string& bytes) {
    return ReadWholeFile(Write("f.txt", bytes), pump_);
  }

  testing_support::TempFolder folder_{"outils"};
  const fs::path dir_ = folder_.path();
  fakes::FakePump pump_;
};

TEST_F(ReadWholeFileTest, EveryLineEndComesBackAsCrLf) {
  EXPECT_EQ(Read("a\r\nb"), u"a\r\nb\r\n");
  EXPECT_EQ(Read("a\r\n"), u"a\r\n");
  EXPECT_EQ(Read("a\rb"), u"a\r\nb\r\n");
  EXPECT_EQ(Read("a\r"), u"a\r\n");
  EXPECT_EQ(Read("a"), u"a\r\n");
  EXPECT_EQ(Read("a\r\r\nb\r\n"), u"a\r\n\r\nb\r\n");
  EXPECT_EQ(Read("\r\n\r\n"), u"\r\n\r\n");
  EXPECT_EQ(Read("\r\r"), u"\r\n\r\n");
}

TEST_F(ReadWholeFileTest, LoneLfIsAnOrdinaryCharacter) {
  EXPECT_EQ(Read("a\nb"), u"a\nb\r\n");
  EXPECT_EQ(Read("a\n"), u"a\n\r\n");
  EXPECT_EQ(Read("a\n\rb"), u"a\n\r\nb\r\n");
}

TEST_F(ReadWholeFileTest, BytesAreReadInTheCodePage) {
  EXPECT_EQ(Read("\x80 \xE9t\xE9"), u"\u20AC \u00E9t\u00E9\r\n");
  // UTF-8 content passes through byte for byte.
  EXPECT_EQ(ToAnsi(Read("caf\xC3\xA9\r\n")), "caf\xC3\xA9\r\n");
  // A NUL byte inside a line is kept.
  EXPECT_EQ(Read(std::string("a\0b", 3)), std::u16string(u"a\0b\r\n", 5));
}

TEST_F(ReadWholeFileTest, PathIsGivenToTheFileSystemInTheCodePage) {
  // A file named in UTF-8, as Linux names them, reached through the
  // byte-transparent path.
  Write("\xC3\xA9t\xC3\xA9.html", "x");
  EXPECT_EQ(ReadWholeFile(Path("\xC3\xA9t\xC3\xA9.html"), pump_), u"x\r\n");
}

TEST_F(ReadWholeFileTest, FailuresGiveTheEmptyText) {
  EXPECT_EQ(Read(""), u"");
  EXPECT_EQ(ReadWholeFile(Path("missing.html"), pump_), u"");
  fs::create_directory(dir_ / "folder");
  EXPECT_EQ(ReadWholeFile(Path("folder"), pump_), u"");
  EXPECT_EQ(ReadWholeFile(u"", pump_), u"");
  // A NUL in the path must not open the shorter name in front of it.
  Write("f.txt", "x");
  EXPECT_EQ(ReadWholeFile(Path("f.txt") + std::u16string(1, u'\0') + u"junk", pump_), u"");
  // A pipe in place of a page is never opened (that would wait for a
  // writer for ever); a link to a plain file still reads.
  ASSERT_EQ(::mkfifo((dir_ / "pipe.html").c_str(), 0600), 0);
  EXPECT_EQ(ReadWholeFile(Path("pipe.html"), pump_), u"");
  fs::create_symlink(dir_ / "f.txt", dir_ / "link.html");
  EXPECT_EQ(ReadWholeFile(Path("link.html"), pump_), u"x\r\n");
}

TEST_F(ReadWholeFileTest, YieldsOnceBeforeEachLine) {
  Read("a\r\nb\rc\nd");
  EXPECT_EQ(pump_.count, 3);
  pump_.count = 0;
  Read("");
  EXPECT_EQ(pump_.count, 0);
  pump_.count = 0;
  Read("a\r\n");
  EXPECT_EQ(pump_.count, 1);
}

TEST_F(ReadWholeFileTest, EventsDuringTheReadDoNotDisturbIt) {
  const std::u16string path = Write("f.txt", "a\r\nb\r\nc");
  // Another handler removes the file while it is being read: the open
  // handle still reads it to its end.
  pump_.hook = [&] { fs::remove(dir_ / "f.txt"); };
  EXPECT_EQ(ReadWholeFile(path, pump_), u"a\r\nb\r\nc\r\n");
}

TEST_F(ReadWholeFileTest, AFailureWhileYieldingGivesTheEmptyText) {
  const std::u16string path = Write("f.txt", "a\r\nb\r\nc");
  int calls = 0;
  pump_.hook = [&] {
    if (++calls == 2) throw std::runtime_error("message loop failed");
  };
  const int before = OpenDescriptors();
  EXPECT_EQ(ReadWholeFile(path, pump_), u"");
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(ReadWholeFileTest, TheFileIsAlwaysClosed) {
  const std::u16string path = Write("f.txt", "a\r\nb");
  fs::create_directory(dir_ / "folder");
  const int before = OpenDescriptors();
  ReadWholeFile(path, pump_);
  ReadWholeFile(Path("folder"), pump_);
  ReadWholeFile(Path("missing"), pump_);
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(ReadWholeFileTest, TheProgramEndingPassesThrough) {
  const std::u16string path = Write("f.txt", "a\r\nb");
  pump_.hook = [] { throw fakes::ProgramEnded{0}; };
  const int before = OpenDescriptors();
  EXPECT_THROW(ReadWholeFile(path, pump_), fakes::ProgramEnded);
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace velane
