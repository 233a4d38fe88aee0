#include "platform/host.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "config/ini.h"
#include "config/settings.h"

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

std::u16string PlayerPlaylistBeside(const std::u16string& executablePath) {
  return PlaylistPathFor(FolderOf(executablePath) + u"/VELANE_Afficheur");
}

std::unique_ptr<ProfileStrings> MachineProfile() {
  return std::make_unique<IniProfile>();
}

bool MachineProfileIsOurEngine() { return true; }

bool MayOpenForWriting(const std::string& path) {
  return ::access(path.c_str(), W_OK) == 0;
}

bool MayCreateIn(const std::string& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::unique_ptr<Registry> SettingsRegistry() { return OpenUserRegistry(); }

}  // namespace velane::platform
