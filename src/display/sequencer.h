// The slide sequencer: one tick a second walks the section chain.
#pragma once

#include <cstdint>
#include <set>

#include "display/schedule.h"

namespace velane {

class Program;

struct SequencerState {
  std::int16_t currentSection = 0;
  double secondsCounter = 0;  // 0 only before the first tick
  bool ticking = false;       // a tick is running (it may yield)

  // No slide of the chain holds its schedule: the screen shows black and
  // the chain is tried again at every tick.
  bool blank = false;
  // Within the screen-off hours: black, the display powered down.
  bool screenOff = false;
  bool poweredDown = false;               // the display accepted the power-down
  bool powerToldOnce = false;             // "cannot power the display down" told
  std::set<std::int16_t> toldPassedOver;  // told once until they play again
  Schedule shownSchedule;                 // of the slide on screen, as it arrived
  ScheduleClock clock;
};

// One Timer1 tick. A tick that arrives while an earlier one is still
// running (it yields while it reads a file) is suppressed.
void SequencerTick(Program& program, SequencerState& state);

}  // namespace velane
