// The display window's load: geometry from section "Systeme", the window
// over the whole screen, the browser control hidden over the display area.
#include <gtest/gtest.h>

#include "diagnostics/principal.h"
#include "display/afficheur.h"
#include "display/page_guard.h"
#include "program_fixture.h"

namespace velane {
namespace {

using platform::PixelRect;
using testing_support::CountLines;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

// Where the design puts them before any handler runs.
constexpr PixelRect kDesignWindow{223, 126, 437, 414};
constexpr PixelRect kDesignWebcam{40, 56, 193, 169};

class DisplayLoad : public testing_support::ProgramFixture {
 protected:
  // Starts the program over a playlist file holding exactly these bytes.
  void StartWithPlaylist(const std::string& bytes) {
    WriteBytes(PlaylistFile(), bytes);
    StartWith(u"RUNTIME");
  }
  void ExpectWebcamAt(PixelRect rect) {
    EXPECT_EQ(Webcam().Placement(), rect);
    EXPECT_FALSE(Webcam().IsVisible());
  }
};

TEST_F(DisplayLoad, MissingSectionIsWrittenWithDefaultsAndGivesDefaultPlace) {
  StartWith(u"");

  EXPECT_EQ(ReadBytes(PlaylistFile()),
            "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n");
  EXPECT_EQ(program.geometry.width, 768);
  EXPECT_EQ(program.geometry.height, 576);
  EXPECT_EQ(program.geometry.margin, 2);
  EXPECT_EQ(AfficheurWindow().Placement(), (PixelRect{0, 0, 1280, 720}));
  EXPECT_TRUE(AfficheurWindow().IsVisible());
  ExpectWebcamAt({-2, -2, 772, 580});
}

TEST_F(DisplayLoad, MissingKeysAreAddedToAnExistingSectionOthersKept) {
  const std::string other = "; borne du hall\r\n[section 1]\r\nType=image\r\n";
  StartWithPlaylist(other + "[Systeme]\r\nmarge=5\r\n");

  EXPECT_EQ(ReadBytes(PlaylistFile()), other +
                                           "[Systeme]\r\nmarge=5\r\nTailleEcranL=768\r\n"
                                           "TailleEcranW=576\r\n");
  ExpectWebcamAt({-5, -5, 778, 586});
}

TEST_F(DisplayLoad, EmptyValuesAreReplacedByTheDefaults) {
  StartWithPlaylist("[Systeme]\r\nTailleEcranL=\r\nTailleEcranW=  \r\nmarge=\r\n");

  EXPECT_EQ(ReadBytes(PlaylistFile()),
            "[Systeme]\r\nTailleEcranL=768\r\nTailleEcranW=576\r\nmarge=2\r\n");
  ExpectWebcamAt({-2, -2, 772, 580});
}

TEST_F(DisplayLoad, ExistingValuesAreKeptByteForByte) {
  const std::string playlist =
      "[Systeme]\r\nTailleEcranL = 1024\r\nTailleEcranW=768\r\nmarge=2\r\n";
  StartWithPlaylist(playlist);

  EXPECT_EQ(ReadBytes(PlaylistFile()), playlist);
  ExpectWebcamAt({-2, -2, 1028, 772});
}

TEST_F(DisplayLoad, MarginCases) {
  struct Case {
    const char* marge;
    PixelRect webcam;
  };
  const Case cases[] = {
      {"0", {0, 0, 768, 576}},   {"abc", {0, 0, 768, 576}},    // not a number: no margin
      {"5", {-5, -5, 778, 586}}, {"5px", {-5, -5, 778, 586}},  // the number it begins with
      {"-3", {3, 3, 762, 570}},                                // applied unchanged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marge);
    testing_support::TempFolder folder;
    fakes::FakePlatform platform;
    testing_support::MachineIni profile;
    const auto ini = folder.path() / "VELANE_Afficheur.ini";
    WriteBytes(ini, std::string("[Systeme]\r\nmarge=") + c.marge + "\r\n");
    SettingsStore store(profile, nullptr, FromAnsi(ini.string()));
    Program p(platform.platform, store, FromAnsi(folder.path().string()));
    platform.process.arguments = u"RUNTIME";
    p.Start();

    fakes::FakeControl& webcam = platform.toolkit.window("Afficheur")->control("Webcam");
    EXPECT_EQ(webcam.Placement(), c.webcam);
    EXPECT_FALSE(webcam.IsVisible());
  }
}

TEST_F(DisplayLoad, DisplayAreaDoesNotFollowTheScreen) {
  fakes.toolkit.screen = {1920, 1080};
  StartWithPlaylist("[Systeme]\r\nTailleEcranL=1024\r\nTailleEcranW=768\r\n");

  EXPECT_EQ(AfficheurWindow().Placement(), (PixelRect{0, 0, 1920, 1080}));
  ExpectWebcamAt({-2, -2, 1028, 772});
}

TEST_F(DisplayLoad, ZeroSizeIsAppliedUnchanged) {
  StartWithPlaylist("[Systeme]\r\nTailleEcranL=0\r\nTailleEcranW=0\r\n");
  ExpectWebcamAt({-2, -2, 4, 4});
}

// A width that is not a number stops the load at that step: the window
// keeps its design place, the browser control is never placed, one line on
// stderr says which handler, setting and value, and the player keeps going.
TEST_F(DisplayLoad, WidthThatIsNotANumberStopsTheLoadAndIsReported) {
  WriteBytes(PlaylistFile(), "[Systeme]\r\nTailleEcranL=768px\r\n");
  ::testing::internal::CaptureStderr();
  StartWith(u"RUNTIME");
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(CountLines(err), 1u) << err;
  EXPECT_NE(err.find("Afficheur.Form_Load"), std::string::npos) << err;
  EXPECT_NE(err.find("TailleEcranL"), std::string::npos) << err;
  EXPECT_NE(err.find("768px"), std::string::npos) << err;

  EXPECT_EQ(AfficheurWindow().Placement(), kDesignWindow);
  EXPECT_EQ(Webcam().Placement(), kDesignWebcam);
  EXPECT_EQ(Webcam().placeCount, 0);
  // The steps after the failing one never ran: height and margin unread.
  EXPECT_EQ(ReadBytes(PlaylistFile()), "[Systeme]\r\nTailleEcranL=768px\r\n");

  // The timers still tick: the cursor watch hides the cursor as usual.
  for (int i = 0; i < 51; ++i) fakes.toolkit.Fire(kSourisbougeIntervalMs);
  EXPECT_EQ(fakes.cursor.calls, std::vector<bool>{false});
}

TEST_F(DisplayLoad, HeightThatIsNotANumberIsReportedTheSameWay) {
  WriteBytes(PlaylistFile(), "[Systeme]\r\nTailleEcranW=abc\r\n");
  ::testing::internal::CaptureStderr();
  StartWith(u"RUNTIME");
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(CountLines(err), 1u) << err;
  EXPECT_NE(err.find("TailleEcranW"), std::string::npos) << err;
  EXPECT_NE(err.find("abc"), std::string::npos) << err;
  EXPECT_EQ(AfficheurWindow().Placement(), kDesignWindow);
  EXPECT_EQ(Webcam().placeCount, 0);
}

// A size no window can take is reported, never undefined behaviour.
TEST_F(DisplayLoad, SizeBeyondAnyPixelRangeIsReportedNotApplied) {
  WriteBytes(PlaylistFile(), "[Systeme]\r\nTailleEcranL=1E+300\r\n");
  ::testing::internal::CaptureStderr();
  StartWith(u"RUNTIME");
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(CountLines(err), 1u) << err;
  EXPECT_NE(err.find("Afficheur.Form_Load"), std::string::npos) << err;
  EXPECT_EQ(Webcam().placeCount, 0);
  EXPECT_TRUE(AfficheurWindow().IsVisible());
}

// The report also reaches the trace, so an operator finds it in the log.
TEST_F(DisplayLoad, FailureReportReachesTheTrace) {
  WriteBytes(PlaylistFile(), "[Systeme]\r\nTailleEcranL=768px\r\n");
  ::testing::internal::CaptureStderr();
  StartWith(u"");
  ::testing::internal::GetCapturedStderr();

  EXPECT_NE(program.GetPrincipal().DEBUGGER1().Text().find(u"768px"), std::u16string::npos);
}

// The browser control of a public screen: only the player's page at the top,
// and a bounded number of recoveries of a page that keeps failing.
TEST(PageGuard, OnlyThePlayersPageIsShownAtTheTop) {
  const std::string page = "file:///srv/root/flashs/00001/temporaire.html";
  struct Case {
    std::string target;
    bool allowed;
  } cases[] = {
      {page, true},
      {page + "#part2", true},                                    // an anchor of the page
      {"file:///srv/root/flashs/00001/temporaire%2Ehtml", true},  // another spelling
      {"file:///srv/root/flashs/00001/", false},                  // a folder listing
      {"file:///srv/root/flashs/00002/temporaire.html", false},   // another slide's page
      {"file:///etc/passwd", false},
      {"https://example.invalid/", false},  // top.location
      {"about:blank", false},
      {page + "?x=1", false},                                     // a form sent by GET
      {"file:///srv/root/flashs/00001/temporaire.html%", false},  // a cut escape is kept
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPlayersPage(c.target, page), c.allowed) << c.target;
  EXPECT_FALSE(IsPlayersPage(page, "")) << "before the first slide nothing is the player's";
}

TEST(PageGuard, RecoveriesAreBoundedUntilTheNextSlide) {
  RecoveryBudget budget;
  for (int i = 0; i < RecoveryBudget::kMaxRecoveries; ++i)
    EXPECT_TRUE(budget.TryRecover(1000 * i)) << i;
  EXPECT_FALSE(budget.TryRecover(5000));
  EXPECT_TRUE(budget.GaveUp());
  // Given up stays given up, even once the minute has passed...
  EXPECT_FALSE(budget.TryRecover(120000));
  // ...until the player shows a page again.
  budget.Reset();
  EXPECT_FALSE(budget.GaveUp());
  EXPECT_TRUE(budget.TryRecover(120000));

  // Recoveries spread over more than a minute never run out.
  RecoveryBudget slow;
  for (int i = 0; i < 50; ++i) EXPECT_TRUE(slow.TryRecover(std::int64_t(i) * 13000)) << i;

  EXPECT_EQ(PageMemoryLimitMb(0), 256u);
  EXPECT_EQ(PageMemoryLimitMb(std::uint64_t(512) << 20), 256u);
  EXPECT_EQ(PageMemoryLimitMb(std::uint64_t(4) << 30), 1024u);
}

TEST(PageGuard, ReadsThePageProcesssOwnMemory) {
  // Resident less shared, in pages of 4 KB.
  EXPECT_EQ(OwnResidentBytes("50000 30000 10000 5 0 20000 0\n", 4096), 20000u * 4096);
  EXPECT_EQ(OwnResidentBytes("50000 30000 10000", 4096), 20000u * 4096);
  EXPECT_EQ(OwnResidentBytes("50000 100 400 5 0 1 0", 4096), 0u);
  EXPECT_EQ(OwnResidentBytes("", 4096), std::nullopt);
  EXPECT_EQ(OwnResidentBytes("50000 30000", 4096), std::nullopt);
  EXPECT_EQ(OwnResidentBytes("x 1 2", 4096), std::nullopt);
}

}  // namespace
}  // namespace velane
