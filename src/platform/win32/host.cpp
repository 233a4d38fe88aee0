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

std::u16string PlayerPlaylistBeside(const std::u16string& executablePath) {
  return win32::WindowsFolderOf(executablePath) + u"\\VELANE_Afficheur.ini";
}

std::unique_ptr<ProfileStrings> MachineProfile() {
  return std::make_unique<win32::Win32Profile>();
}

bool MachineProfileIsOurEngine() { return false; }

// A read-only file refuses writing even to an administrator; opening an
// existing file for writing changes nothing in it.
bool MayOpenForWriting(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// Folder rights are not read here (that would take the security API): a
// folder that exists is taken as open; the write itself tells otherwise.
bool MayCreateIn(const std::string& folder) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::unique_ptr<Registry> SettingsRegistry() { return OpenUserRegistry(); }

}  // namespace velane::platform
