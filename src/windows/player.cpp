#include "windows/player.h"

#include <exception>
#include <memory>

#include "config/settings.h"
#include "platform/content_root.h"
#include "windows/bindings.h"
#include "windows/program.h"

namespace velane {

int RunPlayer(platform::Platform& platform, const PlayerHost& host) {
  const std::u16string exe = platform.process.ExecutablePath();
  const platform::ContentRoot root =
      platform::ChooseContentRoot(FolderOf(exe), PlaylistPathFor(exe));
  const std::unique_ptr<platform::ProfileStrings> profile = host.openProfile(root.folder);
  SettingsStore settings(*profile, host.registry, root.playlist);
  Program program(platform, settings, root.folder);
  // A root the player cannot use is told; the screen runs all the same.
  for (const std::string& note : root.notes) ReportProblem(&program, note);
  // The browser control's own troubles (a page process that ended, a
  // control that cannot be created) are told as they are; no handler was
  // abandoned for them.
  host.reportBrowserTo(
      [&program](const std::string& line) { ReportProblem(&program, "Webcam: " + line); });
  if (host.confineBrowserTo) host.confineBrowserTo(root.folder);

  try {
    program.Start();
  } catch (const std::exception& e) {
    ReportFailure(&program, "start-up", e.what());
  }
  const int status = host.runMessageLoop();
  // The windows go with the program: nothing may report to it after.
  host.reportBrowserTo(nullptr);
  return status;
}

}  // namespace velane
