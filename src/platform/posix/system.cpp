// What the portable core takes from a POSIX system: path names, the restart
// command, the trace log opened for appending and the user's write rights.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files.h"
#include "platform/platform.h"

namespace velane::platform {

const char16_t kPathSeparator = u'/';
const char16_t kPathSeparators[] = u"/";
const char16_t kRestartCommand[] = u"shutdown -r";

AppendOpen OpenForAppending(const char* path, UniqueFile& file) {
  const int fd = ::open(
      path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return errno == ELOOP ? AppendOpen::kLink : AppendOpen::kFailed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return AppendOpen::kNotPlainFile;
  }
  file.reset(::fdopen(fd, "ab"));
  if (!file) {
    ::close(fd);
    return AppendOpen::kFailed;
  }
  return AppendOpen::kOpened;
}

bool MayOpenForWriting(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

bool MayCreateIn(const std::string& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

std::optional<std::string> ResolvedPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return std::nullopt;
  std::string resolved = real;
  std::free(real);
  return resolved;
}

}  // namespace velane::platform
