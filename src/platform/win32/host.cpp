#include "platform/host.h"

#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_profile.h"

namespace velane::platform {

std::optional<std::string> RunningExecutablePath() {
  std::string path = win32::ModulePath();
  if (path.empty()) return std::nullopt;
  return path;
}

std::unique_ptr<ProfileStrings> MachineProfile(const std::u16string&) {
  return std::make_unique<win32::Win32Profile>();
}

bool MachineProfileIsOurEngine() { return false; }

std::unique_ptr<Registry> SettingsRegistry() { return OpenUserRegistry(); }

LocalTime LocalNow() { return win32::LocalClock().Now(); }

}  // namespace velane::platform
