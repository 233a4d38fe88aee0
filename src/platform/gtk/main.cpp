// VELANE_Afficheur: the player on Linux (GTK 3, WebKitGTK, X11).
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>

#include <clocale>
#include <cstdio>
#include <exception>

#include "config/ansi.h"
#include "config/settings.h"
#include "diagnostics/command_line.h"
#include "platform/content_root.h"
#include "platform/gtk/gtk_platform.h"
#include "platform/gtk/notify.h"
#include "platform/host.h"
#include "platform/posix/ini_profile.h"
#include "platform/posix/posix_platform.h"
#include "windows/bindings.h"
#include "windows/program.h"

int main(int argc, char** argv) {
  using namespace velane;
  // The argument text is taken before the toolkit removes its own options.
  posix::PosixProcess process(argc, argv);
  // "--help" and "--version" answer on the terminal, without a display.
  if (const auto information = PlayerInformation(process.ArgumentText())) {
    std::fputs(information->c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // Our pointer control and z-order handling speak X11 (XWayland included).
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "VELANE_Afficheur: cannot open the display\n");
    return 1;
  }

  gtk::GtkToolkit toolkit;
  gtk::X11Cursor cursor(toolkit);
  posix::LocalClock clock;
  gtk::ScreenSaverInhibit keepScreenOn;
  platform::Platform platform{toolkit, toolkit, cursor, clock, process};

  IniProfile ini;
  const std::unique_ptr<platform::Registry> registry = platform::SettingsRegistry();
  const std::u16string exe = process.ExecutablePath();
  const platform::ContentRoot root =
      platform::ChooseContentRoot(FolderOf(exe), PlaylistPathFor(exe));
  SettingsStore settings(ini, registry.get(), root.playlist);
  Program program(platform, settings, root.folder);
  // A root the player cannot use is told; the screen runs all the same.
  for (const std::string& note : root.notes) ReportProblem(&program, note);
  toolkit.SetBrowserReporter([&program](const std::string& line) {
    ReportProblem(&program, "Webcam: " + line);
  });

  try {
    program.Start();
  } catch (const std::exception& e) {
    // Whatever start-up could not do, the screen keeps running.
    ReportFailure(&program, "start-up", e.what());
  }
  // A stop from the service manager (or Ctrl+C) ends the loop between two
  // handlers, so no write of the playlist or a page is cut in half.
  for (const int stop : {SIGTERM, SIGINT, SIGHUP}) {
    g_unix_signal_add(stop, [](gpointer) -> gboolean {
      gtk_main_quit();
      return G_SOURCE_REMOVE;
    }, nullptr);
  }
  gtk::NotifyServiceManager();
  gtk_main();
  return 0;
}
