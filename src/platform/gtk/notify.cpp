#include "platform/gtk/notify.h"

#include <gtk/gtk.h>
#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace velane::gtk {
namespace {

// The display window, as the platform layer names its widget.
constexpr char kDisplayWindowName[] = "velane-Afficheur";

void SendReady() { sd_notify(0, "READY=1"); }

gboolean OnMapped(GtkWidget* window, GdkEvent*, gpointer) {
  g_signal_handlers_disconnect_by_func(window, reinterpret_cast<gpointer>(&OnMapped), nullptr);
  SendReady();
  return FALSE;
}

// Runs on the main loop like every handler: if the loop is stuck, the pings
// stop and systemd restarts the player.
gboolean FeedWatchdog(gpointer) {
  sd_notify(0, "WATCHDOG=1");
  return G_SOURCE_CONTINUE;
}

GtkWidget* ShownDisplayWindow() {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = windows; w != nullptr; w = w->next) {
    GtkWidget* widget = GTK_WIDGET(w->data);
    if (std::strcmp(gtk_widget_get_name(widget), kDisplayWindowName) == 0 &&
        gtk_widget_get_visible(widget)) {
      found = widget;
      break;
    }
  }
  g_list_free(windows);
  return found;
}

// Whether the X server has reported the window mapped (GDK clears the
// withdrawn state on MapNotify, not on the map request).
bool MappedOnScreen(GtkWidget* window) {
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  return gdkWindow != nullptr &&
         (gdk_window_get_state(gdkWindow) & GDK_WINDOW_STATE_WITHDRAWN) == 0;
}

}  // namespace

void NotifyServiceManager() {
  if (std::getenv("NOTIFY_SOCKET") == nullptr) return;

  std::uint64_t watchdogUs = 0;
  if (sd_watchdog_enabled(0, &watchdogUs) > 0 && watchdogUs > 0) {
    const auto halfMs = std::max<std::uint64_t>(watchdogUs / 2000, 1);
    g_timeout_add(guint(std::min<std::uint64_t>(halfMs, G_MAXUINT)), &FeedWatchdog, nullptr);
  }

  GtkWidget* display = ShownDisplayWindow();
  if (display == nullptr || MappedOnScreen(display)) {
    SendReady();
    return;
  }
  g_signal_connect(display, "map-event", G_CALLBACK(&OnMapped), nullptr);
}

}  // namespace velane::gtk
