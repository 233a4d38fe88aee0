// VELANE_Afficheur.exe: the player on Windows (Win32 windows, the
// WebBrowser control, the system's profile and registry functions).
#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <windows.h>
// The platform interfaces have a method of that name.
#undef CreateWindow

#include "config/ansi.h"
#include "diagnostics/command_line.h"
#include "platform/host.h"
#include "platform/win32/browser_lockdown.h"
#include "platform/win32/web_browser.h"
#include "platform/win32/win32_platform.h"
#include "velane_version.h"
#include "windows/player.h"

namespace {

// A windowed program has no console of its own: unless its output is
// redirected, it writes to the console it was started from.
int PrintOnConsole(const std::string& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
    std::freopen("CONOUT$", "w", stdout);
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main() {
  using namespace velane;
  // The user's locale, as the player on Linux and the playlist checker take
  // it: the display sizes are read with its decimal separator.
  std::setlocale(LC_ALL, "");
  // "--help" and "--version" answer before any window opens.
  if (const auto information = PlayerInformation(win32::Win32Process().ArgumentText()))
    return PrintOnConsole(*information);
  // Read by the control when it is first created: before any window.
  win32::SetBrowserFeaturesForThisProgram();
  // The browser control is an OLE control of this thread.
  win32::OleSession ole;
  if (!ole.ok()) std::fprintf(stderr, VELANE_PLAYER_NAME ": OLE cannot be initialised\n");

  std::unique_ptr<win32::Win32Toolkit> toolkit;
  try {
    toolkit = std::make_unique<win32::Win32Toolkit>();
  } catch (const std::exception& e) {
    std::fprintf(stderr, VELANE_PLAYER_NAME ": %s\n", e.what());
    return 1;
  }
  win32::Win32Cursor cursor;
  win32::LocalClock clock;
  win32::Win32Process process;
  win32::Win32Screen screen;
  platform::Platform platform{*toolkit, *toolkit, cursor, clock, process, screen};
  const std::unique_ptr<platform::Registry> registry = platform::SettingsRegistry();

  return RunPlayer(
      platform,
      {&platform::MachineProfile, registry.get(),
       [&toolkit](auto report) { toolkit->SetBrowserReporter(std::move(report)); },
       [&toolkit] { return toolkit->Run(); },
       // Not a confinement here: the root's pages keep their
       // script under the machine lockdown.
       [](const std::u16string& root) { win32::WebBrowserHost::SetContentRoot(ToUtf8(root)); }});
}
