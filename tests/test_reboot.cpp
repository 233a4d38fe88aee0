// The nightly restart: in the minute 03:00 local time the restart command is
// started, the cursor shown and the program ended. The fake process starter
// records the command; nothing here can restart the machine.
#include <gtest/gtest.h>

#include "display/afficheur.h"
#include "program_fixture.h"
#include "supervision/reboot.h"

namespace velane {
namespace {

using testing_support::CountLines;
using testing_support::ReadBytes;

// The platform's own restart tool, found like any bare command name.
TEST(RestartCommand, IsThePlatformsOwnTool) {
#ifdef _WIN32
  EXPECT_EQ(std::u16string(kRestartCommand), u"shutdown.exe -r");
#else
  EXPECT_EQ(std::u16string(kRestartCommand), u"shutdown -r");
#endif
  EXPECT_EQ(std::u16string(kRestartTime), u"03:00");
}

class Reboot : public testing_support::ProgramFixture {
 protected:
  void SetUp() override { StartWith(u"RUNTIME"); }

  void SetTime(int hour, int minute, int second) {
    fakes.clock.now = {2026, 3, 14, hour, minute, second};
  }
  // One tick of the reboot timer, through the dispatcher as its timer does;
  // true when the program ended.
  bool Tick() {
    try {
      Raise(program, Event::Afficheur_reboot_Timer);
    } catch (const fakes::ProgramEnded&) {
      return true;
    }
    return false;
  }
  void ExpectNothingHappened() {
    EXPECT_TRUE(fakes.process.started.empty());
    EXPECT_TRUE(fakes.cursor.calls.empty());
    EXPECT_EQ(fakes.process.endCode, -1);
  }
  void ExpectRestartRequested() {
    ASSERT_EQ(fakes.process.started.size(), 1u);
    EXPECT_EQ(fakes.process.started[0].commandLine, kRestartCommand);
    EXPECT_EQ(fakes.process.started[0].showWindow, 2);
    // Waited for: the request is filed before the player ends.
    EXPECT_EQ(fakes.process.started[0].waitedMs, kRestartWaitMs);
    EXPECT_EQ(fakes.cursor.calls, std::vector<bool>{true});
  }
};

TEST_F(Reboot, OtherTimesDoNothing) {
  struct Time {
    int h, m, s;
  };
  for (Time t : {Time{2, 59, 59}, Time{15, 0, 0}, Time{13, 0, 0}, Time{3, 1, 0}, Time{0, 3, 0},
                 Time{23, 59, 59}, Time{0, 0, 0}}) {
    SCOPED_TRACE(::testing::Message() << t.h << ":" << t.m << ":" << t.s);
    SetTime(t.h, t.m, t.s);
    EXPECT_FALSE(Tick());
  }
  ExpectNothingHappened();
}

TEST_F(Reboot, FirstSecondOfTheMinuteRestarts) {
  SetTime(3, 0, 0);
  EXPECT_TRUE(Tick());
  ExpectRestartRequested();
  EXPECT_EQ(fakes.process.endCode, 0);
}

TEST_F(Reboot, LastSecondOfTheMinuteRestarts) {
  SetTime(3, 0, 59);
  EXPECT_TRUE(Tick());
  ExpectRestartRequested();
}

TEST_F(Reboot, TheMinuteArrivingWhileRunningRestartsOnItsFirstTick) {
  SetTime(2, 59, 59);
  EXPECT_FALSE(Tick());
  ExpectNothingHappened();
  SetTime(3, 0, 0);
  EXPECT_TRUE(Tick());
  ExpectRestartRequested();
}

// A restart command that cannot be started is reported; the player keeps
// the screen alive and tries again at the next tick.
TEST_F(Reboot, CommandThatCannotStartIsReportedAndRetried) {
  SetTime(3, 0, 10);
  fakes.process.failStart = true;
  ::testing::internal::CaptureStderr();
  const bool ended = Tick();
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_FALSE(ended);
  EXPECT_EQ(CountLines(err), 1u) << err;
  EXPECT_NE(err.find("Afficheur.reboot_Timer"), std::string::npos) << err;
  EXPECT_TRUE(fakes.cursor.calls.empty()) << "cursor raised without a restart";
  EXPECT_EQ(fakes.process.endCode, -1);
  // The report also lands in the trace log of the current directory.
  EXPECT_NE(ReadBytes("debugger.log").find("Afficheur.reboot_Timer"), std::string::npos);

  fakes.process.failStart = false;
  SetTime(3, 0, 11);
  EXPECT_TRUE(Tick());
  ExpectRestartRequested();
}

// A restart command that refuses (or does not return in time) is reported;
// the player ends as after any restart request.
TEST_F(Reboot, RefusedOrSlowRestartIsReportedAndThePlayerEnds) {
  struct Case {
    std::optional<int> status;
    const char* report;
  };
  for (const Case& c :
       {Case{1, "ended with status 1"}, Case{std::nullopt, "had not ended after 10 s"}}) {
    SCOPED_TRACE(c.report);
    fakes.process.started.clear();
    fakes.cursor.calls.clear();
    fakes.process.exitStatus = c.status;
    SetTime(3, 0, 5);
    ::testing::internal::CaptureStderr();
    const bool ended = Tick();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ended);
    ExpectRestartRequested();
    EXPECT_EQ(CountLines(err), 1u) << err;
    EXPECT_NE(err.find(c.report), std::string::npos) << err;
  }
}

// Cursor hidden by the cursor watch: raised once, back to visible.
TEST_F(Reboot, HiddenCursorIsShownOnceBeforeTheEnd) {
  for (int i = 0; i < 51; ++i) fakes.toolkit.Fire(kSourisbougeIntervalMs);
  ASSERT_EQ(fakes.cursor.count, -1);

  SetTime(3, 0, 30);
  EXPECT_TRUE(Tick());
  EXPECT_EQ(fakes.cursor.count, 0);
  EXPECT_EQ(fakes.cursor.calls, (std::vector<bool>{false, true}));
}

// Started inside the minute (brought back quickly after a restart): the
// very first tick of the reboot timer requests the restart again.
TEST(RebootAtStart, StartedInsideTheMinuteRestartsOnTheFirstTick) {
  testing_support::TempFolder folder;
  testing_support::CurrentDirectory cwd(folder.path());
  fakes::FakePlatform fakes;
  fakes.clock.now = {2026, 3, 15, 3, 0, 40};
  testing_support::MachineIni ini;
  SettingsStore settings(ini, nullptr, FromAnsi((folder.path() / "VELANE_Afficheur.ini").string()));
  Program program(fakes.platform, settings, FromAnsi(folder.path().string()));
  fakes.process.arguments = u"RUNTIME";
  program.Start();
  EXPECT_TRUE(fakes.process.started.empty()) << "restart before any tick";

  // The 1000 ms timers tick together; the reboot check is one of them.
  EXPECT_THROW(fakes.toolkit.Fire(kRebootIntervalMs), fakes::ProgramEnded);
  ASSERT_EQ(fakes.process.started.size(), 1u);
  EXPECT_EQ(fakes.process.started[0].commandLine, kRestartCommand);
  EXPECT_EQ(fakes.cursor.calls, std::vector<bool>{true});
}

}  // namespace
}  // namespace velane
