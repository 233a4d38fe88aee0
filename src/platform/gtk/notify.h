// Started by systemd as a notify service (the packaged user unit), the
// player says when its display window is on screen and then keeps the
// service's watchdog fed from its main loop, so that a user-interface thread
// that stops answering is restarted. Started any other way, nothing here
// does anything.
#pragma once

namespace velane::gtk {

// Call once start-up has shown its windows, before the main loop runs:
// READY=1 goes out when the display window is mapped on the screen (at once
// when start-up showed none), WATCHDOG=1 every half of the watchdog interval.
void NotifyServiceManager();

}  // namespace velane::gtk
