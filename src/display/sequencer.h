// The slide sequencer: one tick a second walks the section chain.
#pragma once

#include <cstdint>

namespace velane {

class Program;

struct SequencerState {
  std::int16_t currentSection = 0;
  double secondsCounter = 0;  // 0 only before the first tick
  bool ticking = false;       // a tick is running (it may yield)
};

// One Timer1 tick. A tick that arrives while an earlier one is still
// running (it yields while it reads a file) is suppressed.
void SequencerTick(Program& program, SequencerState& state);

}  // namespace velane
