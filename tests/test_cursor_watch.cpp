// The cursor watch: after 50 still ticks the cursor and the quit window go
// away; the next movement brings both back; the quit button ends the program.
#include <gtest/gtest.h>

#include "display/afficheur.h"
#include "program_fixture.h"
#include "supervision/cursor_watch.h"

namespace velane {
namespace {

constexpr std::uint32_t kRaiseFlags = 0x53;  // no size, no move, no activate, show

class CursorWatch : public testing_support::ProgramFixture {
 protected:
  void SetUp() override { StartWith(u"RUNTIME"); }

  // One tick of sourisbouge, the way its timer delivers it.
  void Tick(int times = 1) {
    for (int i = 0; i < times; ++i) fakes.toolkit.Fire(kSourisbougeIntervalMs);
  }
  void MoveBy(int dx, int dy) {
    fakes.cursor.x += dx;
    fakes.cursor.y += dy;
  }
  const CursorWatchState& State() { return program.GetAfficheur().cursorWatch; }
  const std::vector<bool>& ShowCursorCalls() { return fakes.cursor.calls; }

  // The first tick always sees a movement (the cursor is not at 0,0); then
  // 50 still ticks hide cursor and quit window.
  void GoIdle() {
    Tick();
    Tick(50);
  }
};

TEST_F(CursorWatch, NeverMovedHidesTheCursorOnTheFiftiethStillTick) {
  Tick();  // from the start position (0, 0): a movement
  EXPECT_EQ(State().idleCounter, 0);
  EXPECT_EQ(State().lastX, 640);
  EXPECT_EQ(State().lastY, 360);

  Tick(49);
  EXPECT_TRUE(ShowCursorCalls().empty());
  EXPECT_EQ(QuitterWindow(), nullptr);

  Tick();
  EXPECT_EQ(ShowCursorCalls(), std::vector<bool>{false});
  EXPECT_EQ(fakes.cursor.count, -1);
  ASSERT_NE(QuitterWindow(), nullptr);  // created, hidden
  EXPECT_FALSE(QuitterWindow()->IsVisible());
  EXPECT_EQ(QuitterWindow()->zOrder, 0) << "the quit window was shown";
  EXPECT_TRUE(fakes.toolkit.windowPosCalls.empty());
}

TEST_F(CursorWatch, CursorRestingAtTheOriginCountsAsStillFromTheStart) {
  fakes.cursor.x = 0;
  fakes.cursor.y = 0;
  Tick(49);
  EXPECT_TRUE(ShowCursorCalls().empty());
  Tick();
  EXPECT_EQ(ShowCursorCalls(), std::vector<bool>{false});
}

TEST_F(CursorWatch, MovingAfterIdleRaisesTheQuitWindowWithoutActivatingIt) {
  GoIdle();
  MoveBy(25, -10);
  Tick();

  fakes::FakeWindow& quit = *QuitterWindow();
  ASSERT_EQ(fakes.toolkit.windowPosCalls.size(), 1u);
  const auto& call = fakes.toolkit.windowPosCalls[0];
  EXPECT_EQ(call.handle, quit.Handle());
  EXPECT_EQ(call.insertAfter, -1);
  EXPECT_EQ(call.flags, kRaiseFlags);

  EXPECT_TRUE(quit.IsVisible());
  EXPECT_TRUE(quit.topmost);
  EXPECT_FALSE(quit.activated);
  EXPECT_GT(quit.zOrder, AfficheurWindow().zOrder);
  // Shown where it was created: nothing moves it.
  EXPECT_EQ(quit.Placement(), (platform::PixelRect{162, 154, 437, 54}));

  EXPECT_EQ(ShowCursorCalls(), (std::vector<bool>{false, true}));
  EXPECT_EQ(fakes.cursor.count, 0);
  EXPECT_EQ(State().idleCounter, 0);
  EXPECT_EQ(State().lastX, 665);
  EXPECT_EQ(State().lastY, 350);
}

TEST_F(CursorWatch, StoppingAgainHidesTheQuitWindowAfterFiftyStillTicks) {
  GoIdle();
  MoveBy(1, 0);
  Tick();
  ASSERT_TRUE(QuitterWindow()->IsVisible());

  Tick(49);
  EXPECT_TRUE(QuitterWindow()->IsVisible());
  Tick();
  EXPECT_FALSE(QuitterWindow()->IsVisible());
  EXPECT_EQ(ShowCursorCalls(), (std::vector<bool>{false, true, false}));
}

TEST_F(CursorWatch, MovingAfterFortyNineStillTicksOnlyRestartsTheCount) {
  Tick();
  Tick(49);
  MoveBy(3, 3);
  Tick();

  EXPECT_EQ(State().idleCounter, 0);
  EXPECT_TRUE(ShowCursorCalls().empty());
  EXPECT_EQ(QuitterWindow(), nullptr);
  EXPECT_TRUE(fakes.toolkit.windowPosCalls.empty());

  Tick(49);  // the count started again from 0
  EXPECT_TRUE(ShowCursorCalls().empty());
  Tick();
  EXPECT_EQ(ShowCursorCalls(), std::vector<bool>{false});
}

TEST_F(CursorWatch, HeldStillForALongTimeHidesOnceAndTheCounterRestsAt51) {
  Tick();
  Tick(10000);
  EXPECT_EQ(ShowCursorCalls(), std::vector<bool>{false});
  EXPECT_EQ(State().idleCounter, 51);
  EXPECT_FALSE(QuitterWindow()->IsVisible());
  EXPECT_TRUE(fakes.toolkit.windowPosCalls.empty());
}

// Between two ticks the mouse goes away and comes back to the same pixel:
// the watch sees only where it is at each tick.
TEST_F(CursorWatch, BackToTheSamePixelBetweenTicksCountsAsStill) {
  Tick();
  Tick(49);
  MoveBy(200, 100);
  MoveBy(-200, -100);
  Tick();
  EXPECT_EQ(ShowCursorCalls(), std::vector<bool>{false});
}

TEST_F(CursorWatch, OnePixelInEitherDirectionIsAMovement) {
  struct Move {
    int dx, dy;
  };
  for (Move m : {Move{1, 0}, Move{0, 1}, Move{-1, 0}, Move{0, -1}}) {
    SCOPED_TRACE(::testing::Message() << m.dx << "," << m.dy);
    // Restarts a count in progress...
    Tick(49);
    const std::size_t calls = ShowCursorCalls().size();
    MoveBy(m.dx, m.dy);
    Tick();
    EXPECT_EQ(State().idleCounter, 0);
    EXPECT_EQ(ShowCursorCalls().size(), calls);
    // ...and wakes the watch from idle.
    Tick(50);
    ASSERT_EQ(ShowCursorCalls().back(), false);
    MoveBy(m.dx, m.dy);
    Tick();
    EXPECT_EQ(ShowCursorCalls().back(), true);
    EXPECT_TRUE(QuitterWindow()->IsVisible());
  }
}

// Hide and show strictly alternate, so the display count never drifts.
TEST_F(CursorWatch, CountNeverDriftsOverThousandsOfAlternations) {
  Tick();
  for (int round = 0; round < 3000; ++round) {
    Tick(50 + round % 7);  // idle, sometimes beyond the limit
    ASSERT_EQ(fakes.cursor.count, -1) << "round " << round;
    MoveBy(round % 2 ? 1 : -1, 0);
    Tick();
    ASSERT_EQ(fakes.cursor.count, 0) << "round " << round;
    ASSERT_TRUE(QuitterWindow()->IsVisible());
  }
  ASSERT_EQ(ShowCursorCalls().size(), 6000u);
  for (std::size_t i = 0; i < ShowCursorCalls().size(); ++i)
    ASSERT_EQ(ShowCursorCalls()[i], i % 2 == 1) << "call " << i;
  EXPECT_EQ(fakes.toolkit.windowPosCalls.size(), 3000u);
}

// The quit window is created once and kept.
TEST_F(CursorWatch, QuitWindowIsCreatedOnceAndKept) {
  for (int round = 0; round < 3; ++round) {
    Tick(51);
    MoveBy(5, 5);
    Tick();
  }
  int quitWindows = 0;
  for (const fakes::FakeWindow* w : fakes.toolkit.windows) quitWindows += w->name == "Quitter";
  EXPECT_EQ(quitWindows, 1);
  for (const auto& call : fakes.toolkit.windowPosCalls)
    EXPECT_EQ(call.handle, QuitterWindow()->Handle());
}

// An unreadable cursor position is not a failure of the tick.
TEST_F(CursorWatch, UnreadablePositionNeverStopsTheWatch) {
  fakes.cursor.readable = false;
  ::testing::internal::CaptureStderr();
  Tick(60);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(CursorWatch, QuitButtonEndsTheProgramWithCodeZero) {
  GoIdle();
  MoveBy(10, 10);
  Tick();
  ASSERT_TRUE(QuitterWindow()->IsVisible());
  EXPECT_EQ(fakes.cursor.count, 0) << "cursor visible when the button is";

  fakes::FakeControl& button = QuitterWindow()->control("Command1");
  EXPECT_EQ(button.Text(), u"Quitter");
  ASSERT_TRUE(button.onClick);
  try {
    button.onClick();
    FAIL() << "the program did not end";
  } catch (const fakes::ProgramEnded& ended) {
    EXPECT_EQ(ended.exitCode, 0);
  }
  EXPECT_EQ(fakes.process.endCode, 0);
}

// Where the platform reports pointer motion, the 10 ms timer rests once the
// idle counter tops out, and the first motion wakes it: the watch behaves as
// if it had ticked all along.
class CursorWatchWithMotionEvents : public CursorWatch {
 protected:
  void SetUp() override {
    fakes.cursor.motionReported = true;
    CursorWatch::SetUp();
  }
  bool TimerResting() {
    for (const fakes::FakeTimer* t : fakes.toolkit.timers)
      if (t->interval == kSourisbougeIntervalMs) return t->paused;
    return false;
  }
};

TEST_F(CursorWatchWithMotionEvents, RestsOnlyWhenNothingCanHappenAndWakesOnMotion) {
  GoIdle();  // counter at 50: cursor hidden, one more still tick to go
  EXPECT_FALSE(TimerResting());
  Tick();
  EXPECT_EQ(State().idleCounter, 51);
  EXPECT_TRUE(TimerResting());
  Tick(1000);  // the resting timer delivers nothing
  EXPECT_EQ(ShowCursorCalls(), std::vector<bool>{false});

  fakes.cursor.MoveTo(fakes.cursor.x + 3, fakes.cursor.y);
  EXPECT_FALSE(TimerResting());
  Tick();
  EXPECT_EQ(ShowCursorCalls(), (std::vector<bool>{false, true}));
  EXPECT_EQ(fakes.cursor.count, 0);
  EXPECT_TRUE(QuitterWindow()->IsVisible());
  EXPECT_EQ(State().idleCounter, 0);

  // And the next still period hides everything again, as before.
  Tick(51);
  EXPECT_EQ(fakes.cursor.count, -1);
  EXPECT_FALSE(QuitterWindow()->IsVisible());
  EXPECT_TRUE(TimerResting());
}

}  // namespace
}  // namespace velane
