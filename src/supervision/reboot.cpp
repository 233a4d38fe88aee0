#include "supervision/reboot.h"

#include <cstdio>

#include "windows/program.h"

namespace velane {

void RebootTick(Program& program) {
  platform::Platform& p = program.platform;
  platform::LocalTime now = p.clock.Now();
  char hhnn[16];
  std::snprintf(hhnn, sizeof hhnn, "%02d:%02d", now.hour, now.minute);
  if (std::u16string(hhnn, hhnn + 5) != kRestartTime) return;

  // No failure is handled here: when the command cannot be started the
  // dispatcher reports it and the player keeps the screen alive.
  p.process.Start(kRestartCommand, kSwShowMinimized);
  p.cursor.ShowCursor(true);
  p.process.End(0);
}

}  // namespace velane
