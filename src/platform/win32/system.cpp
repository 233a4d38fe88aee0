// What the portable core takes from Windows: path names, the restart
// command, the trace log opened for appending and the user's write rights.
#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "platform/platform.h"

// After our headers: its macros (CreateWindow) would rename their members.
#include <windows.h>

namespace velane::platform {

const char16_t kPathSeparator = u'\\';
const char16_t kPathSeparators[] = u"\\/";
const char16_t kRestartCommand[] = u"shutdown.exe -r";

AppendOpen OpenForAppending(const char* path, UniqueFile& file) {
  std::error_code error;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)))
    return AppendOpen::kLink;
  file.reset(std::fopen(path, "ab"));
  return file ? AppendOpen::kOpened : AppendOpen::kFailed;
}

// A read-only file refuses writing even to an administrator; opening an
// existing file for writing changes nothing in it.
bool MayOpenForWriting(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::optional<std::string> ResolvedPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  if (error) return std::nullopt;
  return real.string();
}

// Folder rights are not read here (that would take the security API): a
// folder that exists is taken as open; the write itself tells otherwise.
bool MayCreateIn(const std::string& folder) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace velane::platform
