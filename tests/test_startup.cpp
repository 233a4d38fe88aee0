// Start-up: the trace window comes first, decides from the argument text
// whether it is ever shown, and shows the display window.
#include <gtest/gtest.h>

#include "diagnostics/command_line.h"
#include "diagnostics/principal.h"
#include "display/afficheur.h"
#include "program_fixture.h"
#include "velane_version.h"

namespace velane {
namespace {

using testing_support::CountLines;
using testing_support::WriteBytes;

class Startup : public testing_support::ProgramFixture {};

TEST_F(Startup, RuntimeSwitchKeepsTheTraceWindowHidden) {
  StartWith(u"RUNTIME");

  EXPECT_TRUE(program.runtimeMode);
  EXPECT_FALSE(PrincipalWindow().IsVisible());
  EXPECT_EQ(PrincipalWindow().zOrder, 0) << "shown at some point";
  EXPECT_TRUE(AfficheurWindow().IsVisible());
  // The display window was loaded before it was shown.
  EXPECT_EQ(AfficheurWindow().Placement(), (platform::PixelRect{0, 0, 1280, 720}));
}

TEST_F(Startup, RuntimeTraceCallsChangeTheHiddenText) {
  StartWith(u"RUNTIME");
  DEBUGGER& trace = program.GetPrincipal().DEBUGGER1();
  const std::u16string before = trace.Text();

  trace.ADDandWAIT(u"section : 1");

  EXPECT_NE(trace.Text(), before);
  EXPECT_NE(trace.Text().find(u"section : 1"), std::u16string::npos);
  EXPECT_FALSE(PrincipalWindow().IsVisible());
}

// Only the exact text is the switch: case, quotes, a trailing blank or a
// further argument make it an ordinary (ignored) argument text.
TEST_F(Startup, AnythingButTheExactSwitchShowsTheTraceWindowAboveTheDisplay) {
  const std::u16string texts[] = {u"",          u"runtime",     u"Runtime",  u"RUNTIME ",
                                  u"RUNTIME x", u"\"RUNTIME\"", u" RUNTIME", u"RUNTIMEX",
                                  u"--help ",   u"--Help",      u"-h",       u"--version RUNTIME"};
  for (const std::u16string& text : texts) {
    SCOPED_TRACE(ToAnsi(text));
    // Only the exact informative switches stop before start-up.
    EXPECT_FALSE(PlayerInformation(text).has_value());
    testing_support::TempFolder folder;
    fakes::FakePlatform platform;
    testing_support::MachineIni profile;
    SettingsStore store(profile, nullptr,
                        FromAnsi((folder.path() / "VELANE_Afficheur.ini").string()));
    Program p(platform.platform, store, FromAnsi(folder.path().string()));
    platform.process.arguments = text;
    p.Start();

    fakes::FakeWindow& trace = *platform.toolkit.window("principal");
    fakes::FakeWindow& display = *platform.toolkit.window("Afficheur");
    EXPECT_FALSE(p.runtimeMode);
    EXPECT_TRUE(trace.IsVisible());
    EXPECT_TRUE(display.IsVisible());
    EXPECT_GT(trace.zOrder, display.zOrder);
  }
}

TEST(PlayerInformation, HelpAndVersionAreAnsweredForExactlyThoseArguments) {
  const auto help = PlayerInformation(u"--help");
  ASSERT_TRUE(help.has_value());
  for (const char* part : {"usage: VELANE_Afficheur [RUNTIME]", "RUNTIME ", "VELANE_CONTENT_ROOT",
                           "Exit status: ", "Example:"})
    EXPECT_NE(help->find(part), std::string::npos) << part;
  EXPECT_EQ(PlayerInformation(u"--version"), "VELANE_Afficheur " VELANE_VERSION "\n");
}

TEST_F(Startup, TraceWindowIsCreatedFirstAndTheQuitWindowNotAtAll) {
  StartWith(u"");
  ASSERT_EQ(fakes.toolkit.windows.size(), 2u);
  EXPECT_EQ(fakes.toolkit.windows[0]->name, "principal");
  EXPECT_EQ(fakes.toolkit.windows[1]->name, "Afficheur");
  EXPECT_EQ(PrincipalWindow().caption, u"VELANE Afficheur");
  EXPECT_EQ(QuitterWindow(), nullptr);
}

TEST_F(Startup, TheThreeTimersRunFromTheDisplayWindow) {
  StartWith(u"");
  int ten = 0;
  int thousand = 0;
  for (const fakes::FakeTimer* t : fakes.toolkit.timers) {
    ten += t->interval == 10;
    thousand += t->interval == 1000;
  }
  EXPECT_EQ(ten, 1);
  EXPECT_EQ(thousand, 2);
}

// The user closes the trace window: the display keeps running and the
// sequencer's trace calls keep landing in the (now hidden) trace control.
TEST_F(Startup, ClosingTheTraceWindowKeepsTraceAndDisplayRunning) {
  StartWith(u"");
  PrincipalWindow().UserClose();

  DEBUGGER& trace = program.GetPrincipal().DEBUGGER1();
  const std::u16string before = trace.Text();
  trace.ADDandWAIT(u"section : 2");
  trace.ADDvalueWAIT(u".");
  EXPECT_NE(trace.Text(), before);
  EXPECT_NE(trace.Text().find(u"section : 2"), std::u16string::npos);

  EXPECT_TRUE(AfficheurWindow().IsVisible());
  EXPECT_FALSE(PrincipalWindow().IsVisible());
  for (int i = 0; i < 51; ++i) fakes.toolkit.Fire(kSourisbougeIntervalMs);
  EXPECT_EQ(fakes.cursor.calls, std::vector<bool>{false});
}

// A display load that fails is reported once and ends that handler only:
// start-up still shows both windows, so the screen does not stay dark.
TEST_F(Startup, FailingDisplayLoadIsReportedAndStartupGoesOn) {
  WriteBytes(PlaylistFile(), "[Systeme]\r\nTailleEcranL=768px\r\n");
  ::testing::internal::CaptureStderr();
  StartWith(u"");
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(CountLines(err), 1u) << err;
  EXPECT_TRUE(AfficheurWindow().IsVisible());
  EXPECT_TRUE(PrincipalWindow().IsVisible());
  EXPECT_GT(PrincipalWindow().zOrder, AfficheurWindow().zOrder);
}

}  // namespace
}  // namespace velane
