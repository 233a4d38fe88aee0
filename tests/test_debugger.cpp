#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "config/ansi.h"
#include "diagnostics/debugger.h"
#include "diagnostics/failure.h"
#include "fakes/fake_platform.h"
#include "test_files.h"
#include "windows/designs.h"

namespace velane {
namespace {

namespace fs = std::filesystem;

const std::u16string M(1, kTraceMarker);
const std::u16string kCaption = u"VELANE Tarvin 2004 - debugger";

// A label whose caption can be made to fail, like a control that is gone.
class BreakableLabel : public fakes::FakeControl {
 public:
  using FakeControl::FakeControl;
  void SetText(const std::u16string& t) override {
    if (broken) throw std::runtime_error("the label is gone");
    FakeControl::SetText(t);
  }
  std::u16string Text() const override {
    if (broken) throw std::runtime_error("the label is gone");
    return FakeControl::Text();
  }
  bool broken = false;
};

class DebuggerTest : public ::testing::Test {
 protected:
  fakes::FakeControl host{DebuggerDesign()};
  BreakableLabel traceur{DebuggerDesign().children.at(0)};
  fakes::FakeClock clock;
  DEBUGGER debugger{host, traceur, clock};
};

// Runs the test in a fresh temporary current directory and restores the
// old one afterwards: "debugger.log" lands in the current directory.
class DebuggerLogTest : public DebuggerTest {
 protected:
  std::string Log() { return testing_support::ReadBytes(dir_ / "debugger.log"); }

  testing_support::TempFolder folder_{"trace"};
  const fs::path dir_ = folder_.path();
  testing_support::CurrentDirectory cwd_{dir_};
};

TEST_F(DebuggerTest, StartsWithTheDesignCaption) { EXPECT_EQ(debugger.Text(), kCaption); }

TEST_F(DebuggerTest, DotsAreWrittenAtThePendingMarker) {
  debugger.ADDandWAIT(u"section : 3");
  EXPECT_EQ(debugger.Text(), u"section : 3" + M + u"\r\n" + kCaption);
  for (int i = 0; i < 3; ++i) debugger.ADDvalueWAIT(u"." + M);
  EXPECT_EQ(debugger.Text(), u"section : 3..." + M + u"\r\n" + kCaption);

  // The next slide: the line is closed, a new one starts above it.
  debugger.ADDvalueWAIT(u"");
  debugger.ADDandWAIT(u"section : 4");
  debugger.ADDvalueWAIT(u"." + M);
  EXPECT_EQ(debugger.Text(), u"section : 4." + M + u"\r\nsection : 3...\r\n" + kCaption);
}

TEST_F(DebuggerTest, ValueWithoutPendingMarkerChangesNothing) {
  debugger.ADDvalueWAIT(u".");
  EXPECT_EQ(debugger.Text(), kCaption);
}

TEST_F(DebuggerTest, TwoPendingMarkersBothTakeTheValue) {
  debugger.ADDandWAIT(u"a");
  debugger.ADDandWAIT(u"b");
  debugger.ADDvalueWAIT(u"." + M);
  EXPECT_EQ(debugger.Text(), u"b." + M + u"\r\na." + M + u"\r\n" + kCaption);
}

TEST_F(DebuggerTest, LongEntryCutsItsOwnMarkerAway) {
  debugger.ADDandWAIT(std::u16string(1000, u'x'));
  EXPECT_EQ(debugger.Text(), std::u16string(1000, u'x'));
  debugger.ADDvalueWAIT(u"." + M);
  EXPECT_EQ(debugger.Text(), std::u16string(1000, u'x'));
  // One short of the limit keeps the marker and loses the separator.
  debugger.ADDandWAIT(std::u16string(999, u'y'));
  EXPECT_EQ(debugger.Text(), std::u16string(999, u'y') + M);
}

TEST_F(DebuggerTest, EntriesCutTheTraceTo1000) {
  for (int i = 0; i < 200; ++i) debugger.ADDandWAIT(u"section : 12");
  EXPECT_EQ(debugger.Text().size(), kTraceLimit);
  EXPECT_EQ(debugger.Text().find(kCaption), std::u16string::npos);
  // The newest entry is on top.
  EXPECT_EQ(debugger.Text().substr(0, 14), u"section : 12" + M + u"\r");
}

TEST_F(DebuggerTest, ValuesAreNotCutUntilTheNextEntry) {
  debugger.ADDandWAIT(u"s");
  debugger.ADDvalueWAIT(std::u16string(700, u'.') + M);
  debugger.ADDvalueWAIT(std::u16string(700, u'.') + M);
  const std::u16string grown = u"s" + std::u16string(1400, u'.') + M + u"\r\n" + kCaption;
  EXPECT_EQ(debugger.Text(), grown);

  debugger.ADDandWAIT(u"t");
  EXPECT_EQ(debugger.Text(), (u"t" + M + u"\r\n" + grown).substr(0, 1000));
}

TEST_F(DebuggerTest, MarkerBeyond32767FailsAndKeepsTheText) {
  const std::u16string far = std::u16string(40000, u'.') + M;
  traceur.text = far;
  EXPECT_THROW(debugger.ADDvalueWAIT(u"." + M), Overflow);
  EXPECT_EQ(debugger.Text(), far);
  // A marker near the top of a long trace is still reached.
  traceur.text = u"s" + M + std::u16string(40000, u'.');
  debugger.ADDvalueWAIT(u".");
  EXPECT_EQ(debugger.Text(), u"s." + std::u16string(40000, u'.'));
}

TEST_F(DebuggerTest, NextEntryCutsAnUnreachableMarkerAway) {
  traceur.text = std::u16string(40000, u'.') + M;
  EXPECT_THROW(debugger.ADDvalueWAIT(u""), Overflow);
  debugger.ADDandWAIT(u"section : 5");
  const std::u16string top = u"section : 5" + M + u"\r\n";
  EXPECT_EQ(debugger.Text(), top + std::u16string(1000 - top.size(), u'.'));
  debugger.ADDvalueWAIT(u"!");
  EXPECT_EQ(debugger.Text().substr(0, 12), u"section : 5!");
}

TEST_F(DebuggerTest, TextAvancedHasNoSeparator) {
  debugger.ADDtextAvanced(u">> ");
  EXPECT_EQ(debugger.Text(), u">> " + kCaption);
  debugger.ADDtextAvanced(std::u16string(1200, u'z'));
  EXPECT_EQ(debugger.Text(), std::u16string(1000, u'z'));
}

TEST_F(DebuggerTest, WaitingOperationsPassFailuresOn) {
  traceur.broken = true;
  EXPECT_THROW(debugger.ADDandWAIT(u"a"), std::runtime_error);
  EXPECT_THROW(debugger.ADDvalueWAIT(u"a"), std::runtime_error);
  EXPECT_THROW(debugger.ADDtextAvanced(u"a"), std::runtime_error);
}

TEST_F(DebuggerTest, ResizeStretchesTheLabelOverTheControl) {
  // The label's design size (265 x 177) differs from its host's (529 x 113).
  debugger.UserControl_Resize();
  EXPECT_EQ(traceur.rect, (platform::PixelRect{0, 0, 529, 113}));
  host.OnResize([this](int, int) { debugger.UserControl_Resize(); });
  host.Place({20, 30, 300, 40});
  EXPECT_EQ(traceur.rect, (platform::PixelRect{0, 0, 300, 40}));
  host.Place({-5, 0, 800, 600});
  EXPECT_EQ(traceur.rect, (platform::PixelRect{0, 0, 800, 600}));
}

TEST_F(DebuggerLogTest, AddWithoutLoggerTouchesNoFile) {
  debugger.add(u"abc");
  debugger.add(u"def", false);
  EXPECT_EQ(debugger.Text(), u"def\r\nabc\r\n" + kCaption);
  EXPECT_FALSE(fs::exists(dir_ / "debugger.log"));
}

TEST_F(DebuggerLogTest, AddCutsTo1000) {
  debugger.add(std::u16string(1500, u'a'));
  EXPECT_EQ(debugger.Text(), std::u16string(1000, u'a'));
  debugger.add(u"");
  EXPECT_EQ(debugger.Text(), u"\r\n" + std::u16string(998, u'a'));
}

TEST_F(DebuggerLogTest, AddLogsOneStampedLinePerEntry) {
  debugger.ADDandWAIT(u"section : 3");
  debugger.add(u"abc", true);
  EXPECT_EQ(Log(), "07/12/2026 14:03:05 : abc\r\n");  // only the new entry

  clock.now = {2027, 1, 2, 3, 4, 9};
  debugger.add(u"", true);
  debugger.add(U16("\x80 \xE9t\xE9"), true);  // written in the code page
  EXPECT_EQ(Log(),
            "07/12/2026 14:03:05 : abc\r\n"
            "02/01/2027 03:04:09 : \r\n"
            "02/01/2027 03:04:09 : \x80 \xE9t\xE9\r\n");
  EXPECT_EQ(debugger.Text().substr(0, 12), U16("\x80 \xE9t\xE9\r\n\r\nabc"));
}

TEST_F(DebuggerLogTest, LogIsAppendedToAndFollowsTheCurrentDirectory) {
  std::ofstream(dir_ / "debugger.log", std::ios::binary) << "earlier\r\n";
  debugger.add(u"x", true);
  EXPECT_EQ(Log(), "earlier\r\n07/12/2026 14:03:05 : x\r\n");

  fs::create_directory(dir_ / "elsewhere");
  fs::current_path(dir_ / "elsewhere");
  debugger.add(u"y", true);
  std::ifstream in(dir_ / "elsewhere" / "debugger.log", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "07/12/2026 14:03:05 : y\r\n");
}

TEST_F(DebuggerLogTest, UnwritableLogStillUpdatesTheTrace) {
  // A folder in the log's place cannot be opened for appending, even by
  // root (for whom a read-only directory is no obstacle).
  fs::create_directory(dir_ / "debugger.log");
  EXPECT_NO_THROW(debugger.add(u"abc", true));
  EXPECT_EQ(debugger.Text(), u"abc\r\n" + kCaption);
}

TEST_F(DebuggerLogTest, ReadOnlyDirectoryStillUpdatesTheTrace) {
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  EXPECT_NO_THROW(debugger.add(u"abc", true));
  EXPECT_EQ(debugger.Text(), u"abc\r\n" + kCaption);
  fs::permissions(dir_, fs::perms::owner_all);
  if (::geteuid() != 0) {
    EXPECT_FALSE(fs::exists(dir_ / "debugger.log"));
  }
}

// Past 1 MB the log becomes debugger.log.1, replacing the older one, and
// the line starts a new log; up to the limit it is appended to.
TEST_F(DebuggerLogTest, LogPastOneMegabyteIsRotatedOnce) {
  const std::string line = "07/12/2026 14:03:05 : x\r\n";
  const std::string full(1024 * 1024 - line.size(), 'a');
  std::ofstream(dir_ / "debugger.log", std::ios::binary) << full;
  std::ofstream(dir_ / "debugger.log.1", std::ios::binary) << "older";
  debugger.add(u"x", true);  // exactly 1 MB now: still one file
  EXPECT_EQ(Log(), full + line);
  {  // closed again: Windows replaces no file that is open
    std::ifstream older(dir_ / "debugger.log.1", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(older), {}), "older");
  }

  debugger.add(u"x", true);
  debugger.add(u"x", true);
  EXPECT_EQ(Log(), line + line);
  EXPECT_EQ(fs::file_size(dir_ / "debugger.log.1"), full.size() + line.size());
  EXPECT_FALSE(fs::exists(dir_ / "debugger.log.2"));

  // A folder in the older log's place: the full log starts over all the
  // same, and the folder is left as it was.
  fs::remove(dir_ / "debugger.log.1");
  fs::create_directories(dir_ / "debugger.log.1" / "inside");
  std::ofstream(dir_ / "debugger.log", std::ios::binary | std::ios::trunc) << full;
  debugger.add(u"x", true);
  debugger.add(u"x", true);
  EXPECT_EQ(Log(), line);
  EXPECT_TRUE(fs::is_directory(dir_ / "debugger.log.1" / "inside"));
}

#ifndef _WIN32  // links as Linux has them
// A debugger.log that is a link is not followed (it could lead anywhere);
// the trace goes on, and the operator is told once.
TEST_F(DebuggerLogTest, LinkedLogIsNotFollowedAndReportedOnce) {
  std::ofstream(dir_ / "target", std::ios::binary) << "keep";
  fs::create_symlink(dir_ / "target", dir_ / "debugger.log");
  ::testing::internal::CaptureStderr();
  debugger.add(u"a", true);
  debugger.add(u"b", true);
  const std::string err = ::testing::internal::GetCapturedStderr();
  std::ifstream target(dir_ / "target", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(target), {}), "keep");
  EXPECT_EQ(debugger.Text(), u"b\r\na\r\n" + kCaption);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("debugger.log is a symbolic link"), std::string::npos) << err;

  // A dangling link creates nothing where it points either.
  fs::remove(dir_ / "target");
  debugger.add(u"c", true);
  EXPECT_FALSE(fs::exists(dir_ / "target"));
}
#endif

TEST_F(DebuggerLogTest, AFailingLabelDoesNotStopTheLog) {
  traceur.broken = true;
  EXPECT_NO_THROW(debugger.add(u"abc", true));
  EXPECT_EQ(Log(), "07/12/2026 14:03:05 : abc\r\n");
}

}  // namespace
}  // namespace velane
