#include "platform/posix/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/files.h"

namespace velane::posix {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

bool UniqueFd::Close() {
  const int fd = fd_;
  fd_ = -1;
  return fd < 0 || ::close(fd) == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(std::size_t(n));
  }
  return true;
}

int OpenFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_PATH
  // A folder this user may enter and write but not list.
  if (fd < 0 && errno == EACCES) fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
  return fd;
}

FileReplacement::~FileReplacement() {
  fd_.Close();
  if (!name_.empty()) ::unlinkat(folder_.get(), name_.c_str(), 0);
}

bool FileReplacement::Create(const std::string& folder, const std::string& base) {
  const UniqueFd dir(OpenFolder(folder));
  return dir.get() >= 0 && CreateIn(dir.get(), base);
}

bool FileReplacement::CreateIn(int folderFd, const std::string& base) {
  folder_.Reset(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
  if (folder_.get() < 0) return false;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = "." + base.substr(0, 64) + "." + std::to_string(::getpid()) + "." +
                       std::to_string((stamp + attempt) & 0xFFFFFF) + ".tmp";
    const int fd = ::openat(folder_.get(), name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0666);
    if (fd >= 0) {
      fd_.Reset(fd);
      name_ = std::move(name);
      return true;
    }
    if (errno != EEXIST && errno != EINTR) return false;
  }
  return false;
}

void FileReplacement::KeepAttributesOf(const struct stat& old) {
  // The permissions come after the owner, since a change of owner may clear
  // some of them.
  if (::fchown(fd_.get(), old.st_uid, old.st_gid) != 0) {
    [[maybe_unused]] const int ignored = ::fchown(fd_.get(), uid_t(-1), old.st_gid);
  }
  ::fchmod(fd_.get(), old.st_mode & 07777);
}

bool FileReplacement::WriteAndClose(std::string_view bytes, bool durable) {
  if (fd_.get() < 0 || !WriteAll(fd_.get(), bytes)) return false;
  if (durable && ::fsync(fd_.get()) != 0) return false;
  return fd_.Close();
}

bool FileReplacement::RenameOver(const std::string& base, bool durable) {
  if (name_.empty() || fd_.get() >= 0) return false;
  if (::renameat(folder_.get(), name_.c_str(), folder_.get(), base.c_str()) != 0) return false;
  name_.clear();
  // Fails on a folder open only by path: the rename stands all the same.
  if (durable) ::fsync(folder_.get());
  return true;
}

}  // namespace velane::posix

namespace velane::platform {

using posix::FileReplacement;
using posix::UniqueFd;
using posix::WriteAll;

FileWrite ReplaceFileWhole(const std::string& path, std::string_view bytes) {
  // A NUL would silently name a shorter path.
  if (path.empty() || path.back() == '/' || path.find('\0') != std::string::npos)
    return FileWrite::kFailed;
  struct stat old;
  const bool exists = ::lstat(path.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return FileWrite::kFailed;
  // A link could carry the write out of its folder, a pipe block for good.
  if (exists && !S_ISREG(old.st_mode)) return FileWrite::kNotPlainFile;
  // A file this user may not write stays as it is, as a write in place
  // would find it, even though the folder would take its replacement.
  if (exists && ::access(path.c_str(), W_OK) != 0) return FileWrite::kFailed;

  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);

  // The page is written again at the next advance: no flush to the disk,
  // the rename alone keeps readers from a part.
  FileReplacement next;
  if (next.Create(folder, base)) {
    if (exists) next.KeepAttributesOf(old);
    return next.WriteAndClose(bytes, false) && next.RenameOver(base, false) ? FileWrite::kWritten
                                                                            : FileWrite::kFailed;
  }
  if (!exists || (errno != EACCES && errno != EPERM)) return FileWrite::kFailed;
  // A folder closed to this user holding a page open to it: written in
  // place, as the only way left (a reader may then meet a part).
  UniqueFd in(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat now;
  if (in.get() < 0 || ::fstat(in.get(), &now) != 0 || !S_ISREG(now.st_mode))
    return FileWrite::kFailed;
  return ::ftruncate(in.get(), 0) == 0 && WriteAll(in.get(), bytes) && in.Close()
             ? FileWrite::kWritten
             : FileWrite::kFailed;
}

}  // namespace velane::platform
