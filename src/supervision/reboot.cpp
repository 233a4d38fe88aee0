#include "supervision/reboot.h"

#include <cstdio>
#include <optional>
#include <string>

#include "config/ansi.h"
#include "windows/bindings.h"
#include "windows/program.h"

namespace velane {

void RebootTick(Program& program) {
  platform::Platform& p = program.platform;
  platform::LocalTime now = p.clock.Now();
  char hhnn[16];
  std::snprintf(hhnn, sizeof hhnn, "%02d:%02d", now.hour, now.minute);
  if (std::u16string(hhnn, hhnn + 5) != kRestartTime) return;

  // No failure is handled here: when the command cannot be started the
  // dispatcher reports it and the player keeps the screen alive. The
  // command is waited for (it only files the request, and returns), so
  // that the end of the player, after which a service manager removes
  // whatever the player started, cannot take the request down with it.
  const std::optional<int> status =
      p.process.StartAndWait(kRestartCommand, kSwShowMinimized, kRestartWaitMs);
  if (status != 0) {
    ReportProblem(&program, "the restart command \"" + ToAnsi(kRestartCommand) + "\" " +
                                (status ? "ended with status " + std::to_string(*status)
                                        : "had not ended after " +
                                              std::to_string(kRestartWaitMs / 1000) + " s") +
                                "; the player ends all the same");
  }
  p.cursor.ShowCursor(true);
  p.process.End(0);
}

}  // namespace velane
