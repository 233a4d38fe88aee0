// The cursor watch: hides the cursor and the quit window after 50 still
// ticks, brings both back at the next movement.
#pragma once

#include <cstdint>

namespace velane {

class Program;

struct CursorWatchState {
  std::int32_t lastX = 0;
  std::int16_t lastY = 0;
  std::int32_t idleCounter = 0;  // never beyond 51
};

inline constexpr std::int32_t kIdleLimit = 50;

void CursorWatchTick(Program& program, CursorWatchState& state);

}  // namespace velane
