// The screen's own status in the status folder (diagnostics/screen_status.h
// says what): the JSON rewritten at each advance and at least once a
// minute, the picture of the slide a second after it is shown and once a
// minute. Both are replaced whole, so a reader (a sync tool, the fleet
// page) never meets half a file. A folder that cannot be written is told
// once; the slides go on regardless.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "diagnostics/screen_status.h"

namespace velane {

class Program;

struct StatusState {
  bool begun = false;
  ScreenStatus status;
  std::u16string jsonPath;
  std::u16string picturePath;
  int ticksSinceWrite = 0;
  int ticksSinceSample = 0;
  int ticksSinceShown = -1;  // -1: no slide shown yet
  bool writeFailed = false;  // told, until a write works again
  // The usage sample the CPU of the last minute is measured from.
  std::optional<double> cpuSeconds;
  double elapsedSeconds = 0;
};

// Sources the status shows that other parts of the player own: the
// schedule's state (none when no schedule plays a part), and whether the
// browser control's page process runs in a sandbox (none: not known).
std::optional<std::string> ScheduleStateOf(Program& program);
std::optional<bool> PageProcessSandboxed(Program& program);

// An advance put this slide on screen (its type and value as read).
void StatusSlideShown(Program& program, std::int16_t section, const std::u16string& type,
                      const std::u16string& value);

// At the end of every Timer1 tick: writes what is due.
void StatusTick(Program& program, bool advanced);

}  // namespace velane
