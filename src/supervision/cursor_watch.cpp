#include "supervision/cursor_watch.h"

#include "diagnostics/failure.h"
#include "display/outils.h"
#include "supervision/quitter.h"
#include "windows/program.h"

namespace velane {

void CursorWatchTick(Program& program, CursorWatchState& state) {
  platform::Platform& p = program.platform;
  std::int32_t x = 0;
  std::int32_t y32 = 0;
  Step([&] { p.cursor.GetPos(x, y32); });
  // The last y is a 16-bit value: the read y is compared as it would be
  // stored, so a y that does not fit counts as a (failed) move each tick.
  const bool still = x == state.lastX && y32 == state.lastY;

  if (still) {
    if (state.idleCounter == kIdleLimit + 1) return;
    state.idleCounter += 1;
    if (state.idleCounter == kIdleLimit) {
      Step([&] { program.GetQuitter().Window().Hide(); });
      Step([&] { p.cursor.ShowCursor(false); });
    }
    return;
  }

  if (state.idleCounter >= kIdleLimit) {
    Step([&] { SetWindowTopmost(p.toolkit, program.GetQuitter().hWnd(), 1); });
    Step([&] { p.cursor.ShowCursor(true); });
  }
  state.idleCounter = 0;
  Step([&] { state.lastX = x; });
  Step([&] {
    if (y32 < INT16_MIN || y32 > INT16_MAX)
      throw Overflow("overflow: cursor y " + std::to_string(y32));
    state.lastY = static_cast<std::int16_t>(y32);
  });
}

}  // namespace velane
