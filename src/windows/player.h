// The player over a given platform, the same on every one: each main()
// builds its platform's services and hands them here.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace velane {

// What a platform hands the player besides its services.
struct PlayerHost {
  // Opens the machine's profile functions on the content root once it is
  // chosen (the player's writes stay in it); the settings registry (none:
  // the registry form of the settings gives the default).
  std::function<std::unique_ptr<platform::ProfileStrings>(const std::u16string& contentRoot)>
      openProfile;
  platform::Registry* registry = nullptr;
  // Sends what the browser control reports to the given function.
  std::function<void(std::function<void(const std::string&)>)> reportBrowserTo;
  // Runs the message loop until the program ends; the exit status.
  std::function<int()> runMessageLoop;
  // Tells the browser control the content root, the only folder whose
  // files its pages may load (none: the platform confines it otherwise).
  std::function<void(const std::u16string&)> confineBrowserTo;
};

// Chooses the content root (the executable's folder, or the one
// VELANE_CONTENT_ROOT names) and tells what is wrong with it, opens the
// settings store on its playlist, starts the program and runs the message
// loop. Whatever start-up cannot do is reported, and the screen runs all the
// same. Returns the message loop's exit status.
int RunPlayer(platform::Platform& platform, const PlayerHost& host);

}  // namespace velane
