// VELANE_Afficheur: the player on Linux (GTK 3, WebKitGTK, X11 or Wayland).
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "config/ansi.h"
#include "diagnostics/command_line.h"
#include "platform/gtk/gtk_platform.h"
#include "platform/gtk/notify.h"
#include "platform/gtk/preview.h"
#include "platform/host.h"
#include "platform/posix/posix_platform.h"
#include "velane_version.h"
#include "windows/player.h"

int main(int argc, char** argv) {
  using namespace velane;
  // The argument text is taken before the toolkit removes its own options.
  posix::PosixProcess process(argc, argv);
  // "--help" and "--version" answer on the terminal, without a display.
  if (const auto information = PlayerInformation(process.ArgumentText())) {
    std::fputs(information->c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // "--preview OUT.png [ROOT]": the chain drawn into one picture, off screen.
  std::string previewError;
  const auto preview = gtk::PreviewArguments(argc, argv, previewError);
  if (!previewError.empty()) {
    std::fprintf(stderr, "%s\n", previewError.c_str());
    return 2;
  }
  gdk_set_allowed_backends(gtk::ChooseBackend());
  // Nothing of ours draws with OpenGL (the web view renders in software):
  // without this, GDK loads and probes the GL driver as it opens the
  // display, a tenth of a second of a start that counts. An operator's own
  // GDK_GL stays.
  g_setenv("GDK_GL", "disable", FALSE);
  // The web engine then says it "failed" to get GL from GTK, a warning at
  // every start that would read as a fault in the journal: the view renders
  // in software whatever GDK offers. Every other warning is kept.
  g_log_set_handler(
      nullptr, G_LOG_LEVEL_WARNING,
      [](const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
        if (!g_str_has_prefix(message, "Disabled hardware acceleration because GTK failed"))
          g_log_default_handler(domain, level, message, nullptr);
      },
      nullptr);
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, preview ? VELANE_PLAYER_NAME
                             ": --preview renders with the web engine, which needs a display "
                             "connection (DISPLAY or WAYLAND_DISPLAY): cannot open the display\n"
                                 : VELANE_PLAYER_NAME ": cannot open the display\n");
    return 1;
  }

  gtk::GtkToolkit toolkit;
  if (preview) return gtk::RunPreview(toolkit, *preview);
  gtk::X11Cursor cursor(toolkit);
  posix::LocalClock clock;
  gtk::GtkScreen screen;
  platform::Platform platform{toolkit, toolkit, cursor, clock, process, screen};
  const std::unique_ptr<platform::Registry> registry = platform::SettingsRegistry();

  return RunPlayer(
      platform, {&platform::MachineProfile, registry.get(),
                 [&toolkit](auto report) { toolkit.SetBrowserReporter(std::move(report)); },
                 [] {
                   // A stop from the service manager (or Ctrl+C) ends the loop between
                   // two handlers, so no write of the playlist or a page is cut in half.
                   for (const int stop : {SIGTERM, SIGINT, SIGHUP}) {
                     g_unix_signal_add(
                         stop,
                         [](gpointer) -> gboolean {
                           gtk_main_quit();
                           return G_SOURCE_REMOVE;
                         },
                         nullptr);
                   }
                   gtk::NotifyServiceManager();
                   gtk_main();
                   return 0;
                 },
                 [&toolkit](const std::u16string& root) { toolkit.SetContentRoot(ToAnsi(root)); }});
}
