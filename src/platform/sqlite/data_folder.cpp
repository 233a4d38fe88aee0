#include "platform/sqlite/data_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace velane::platform::sqlite {
namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir) return pw->pw_dir;
  return {};
}

}  // namespace

std::string UserDataHome() {
  // A relative XDG_DATA_HOME is invalid and must be ignored.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') return xdg;
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.local/share";
}

bool MakePrivateFolders(const std::string& path) {
  if (path.empty()) return false;
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    // The mode is applied through the umask, which may only take bits away.
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return IsFolder(path);
}

}  // namespace velane::platform::sqlite
