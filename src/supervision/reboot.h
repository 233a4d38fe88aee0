// The nightly restart check, once a second.
#pragma once

#include "platform/platform.h"

namespace velane {

class Program;

using platform::kRestartCommand;
inline constexpr char16_t kRestartTime[] = u"03:00";
inline constexpr int kSwShowMinimized = 2;
// How long the restart command may take to file its request.
inline constexpr int kRestartWaitMs = 10000;

// Handles no failure itself: a restart command that cannot be started
// reaches the dispatcher, which reports it; the player keeps running.
void RebootTick(Program& program);

}  // namespace velane
