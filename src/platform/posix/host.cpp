#include "platform/host.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "config/ansi.h"
#include "platform/posix/ini_profile.h"
#include "platform/posix/posix_platform.h"

namespace velane::platform {

std::optional<std::string> RunningExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (std::size_t(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::unique_ptr<ProfileStrings> MachineProfile(const std::u16string& writesStayIn) {
  return std::make_unique<IniProfile>(ToAnsi(writesStayIn));
}

bool MachineProfileIsOurEngine() { return true; }

std::unique_ptr<Registry> SettingsRegistry() { return OpenUserRegistry(); }

LocalTime LocalNow() { return posix::LocalClock().Now(); }

}  // namespace velane::platform
