#include "platform/posix/ini_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/files.h"
#include "platform/posix/replace_file.h"

namespace velane {
namespace {

using posix::FileReplacement;
using posix::UniqueFd;

// ---------------------------------------------------------------------------
// Files

// `access`: O_RDONLY, or O_RDWR for a write (a record lock for writing
// needs a descriptor open for writing).
int OpenForReading(const char* path, int access = O_RDONLY) {
  // O_NONBLOCK: a pipe named as settings file must not hang the player.
  int fd;
  do {
    fd = ::open(path, access | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// A whole file's bytes, in a buffer that is not cleared first (a playlist
// can be megabytes, read on every timer tick).
class FileBytes {
 public:
  std::string_view view() const { return {data_.get(), size_}; }

  // Reads a regular file whole; nullopt when it is not one, is too large
  // or cannot be read.
  static std::optional<FileBytes> Read(int fd, const struct stat& st) {
    if (!S_ISREG(st.st_mode) || std::size_t(st.st_size) > kMaxIniFileBytes) return std::nullopt;
    FileBytes bytes;
    std::size_t capacity = std::size_t(st.st_size) + 1;
    bytes.data_ = std::make_unique_for_overwrite<char[]>(capacity);
    for (;;) {
      if (bytes.size_ == capacity) {
        // The file grew while we read it (or tells no size, as /proc does).
        if (bytes.size_ > kMaxIniFileBytes) return std::nullopt;
        capacity = std::min(capacity * 2, kMaxIniFileBytes + 1);
        auto larger = std::make_unique_for_overwrite<char[]>(capacity);
        std::memcpy(larger.get(), bytes.data_.get(), bytes.size_);
        bytes.data_ = std::move(larger);
      }
      const ssize_t n = ::read(fd, bytes.data_.get() + bytes.size_, capacity - bytes.size_);
      if (n < 0) {
        if (errno == EINTR) continue;
        return std::nullopt;
      }
      if (n == 0) return bytes;
      bytes.size_ += std::size_t(n);
    }
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

// The file as a read sees it; nullopt when it cannot be read. Every read
// goes through here: this is the one place where a cache keyed on the
// file's (device, inode, size, modification time) would sit.
std::optional<FileBytes> LoadIniText(const char* path) {
  UniqueFd fd(OpenForReading(path));
  if (fd.get() < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return std::nullopt;
  return FileBytes::Read(fd.get(), st);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool Unchanged(const struct stat& a, const struct stat& b) {
  return SameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Whether the last write gave up waiting for the lock: the next ones then
// try once without waiting, until the lock is taken again, so that a lock
// left by a screen that died (held by the server until its lease ends)
// costs one wait, not one per write; and it is reported once.
std::atomic<bool> lockGivenUp{false};

// Another writer (this player on another screen, an operator tool) holds
// the file for the few milliseconds of its write; wait for it, but never
// hang the player on a stuck one. Record locks, which network file systems
// pass on to their server (NFS through its lock manager, SMB as byte-range
// locks), on the open file where the system has them: a lock of the whole
// process would go with the first descriptor of the file it closes.
bool LockFile(int fd, const char* file) {
  using namespace std::chrono;
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
  int command = F_OFD_SETLK;
#else
  int command = F_SETLK;
#endif
  const bool wait = !lockGivenUp.load();
  const auto deadline = steady_clock::now() + seconds(1);
  for (;;) {
    if (::fcntl(fd, command, &whole) == 0) {
      lockGivenUp = false;
      return true;
    }
#ifdef F_OFD_SETLK
    if (errno == EINVAL && command == F_OFD_SETLK) {  // an older system
      command = F_SETLK;
      continue;
    }
#endif
    const bool busy = errno == EACCES || errno == EAGAIN || errno == EINTR;
    if (!busy || !wait || steady_clock::now() > deadline) {
      const std::string why = busy ? "locked by another writer for over 1 s"
                                   : std::string("cannot be locked: ") + std::strerror(errno);
      if (!lockGivenUp.exchange(true)) {
        std::fprintf(stderr,
                     "%s: %s: %s; this write and the next ones are given up "
                     "until the lock is free again (the screen goes on)\n",
                     program_invocation_short_name, file, why.c_str());
        std::fflush(stderr);
      }
      return false;
    }
    std::this_thread::sleep_for(milliseconds(1));
  }
}

struct Target {
  std::string path;    // where the file is (symbolic links followed)
  std::string folder;  // its folder, for the temporary file
  std::string base;
};

Target TargetOf(const char* file, bool exists) {
  Target t{file, ".", file};
  // Renaming over a symbolic link would replace the link by a plain file;
  // write where it points instead.
  struct stat lst;
  if (exists && ::lstat(file, &lst) == 0 && S_ISLNK(lst.st_mode)) {
    if (char* real = ::realpath(file, nullptr)) {
      t.path = real;
      std::free(real);
    }
  }
  const std::size_t slash = t.path.rfind('/');
  if (slash != std::string::npos) {
    t.folder = slash == 0 ? "/" : t.path.substr(0, slash);
    t.base = t.path.substr(slash + 1);
  } else {
    t.base = t.path;
  }
  return t;
}

// The target's folder, opened for the write. With a root, only a folder
// inside it: reached from the root one name at a time, following no link,
// so that a folder swapped for a link after the look cannot carry the
// write out of the root. -1 when it is elsewhere or cannot be opened.
int OpenTargetFolder(const Target& target, const std::string& root) {
  if (root.empty()) return posix::OpenFolder(target.folder);
  const auto base = platform::ResolvedPath(root);
  const auto folder = platform::ResolvedPath(target.folder);
  if (!base || !folder) return -1;
  std::string_view rest = *folder;
  if (*base != "/") {
    if (!rest.starts_with(*base) || (rest.size() > base->size() && rest[base->size()] != '/'))
      return -1;
    rest.remove_prefix(base->size());
  }
  UniqueFd at(posix::OpenFolder(*base));
  while (at.get() >= 0 && !rest.empty()) {
    const std::size_t start = rest.find_first_not_of('/');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const std::string name(rest.substr(0, rest.find('/')));
    rest.remove_prefix(name.size());
    int next = ::openat(at.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
#ifdef O_PATH
    if (next < 0 && errno == EACCES)
      next = ::openat(at.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
#endif
    at.Reset(next);
  }
  const int fd = at.get();
  at.Release();
  return fd;
}

enum class WriteOutcome { kDone, kRefused, kRetry };

// Whether a default written back now would replace a value: the key is
// there and reads as neither empty nor the default itself. The reader
// decided on the write-back from an older file, before that value came.
bool HoldsAnotherValue(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value) {
  const auto found = FindIniKey(text, section, key);
  if (!found || !found->key) return false;
  const std::string_view now = CleanIniValue(found->key->value);
  return !now.empty() && now != value;
}

enum class WriteKind { kSet, kDefaultBack };

WriteOutcome TryWrite(const char* file, std::string_view section, std::string_view key,
                      std::string_view value, WriteKind kind, const std::string& root) {
  // Re-read the file now, under our lock, so that an edit made just before
  // is kept.
  UniqueFd original(OpenForReading(file, O_RDWR));
  const bool exists = original.get() >= 0;
  if (!exists && errno != ENOENT) return WriteOutcome::kRefused;

  const Target target = TargetOf(file, exists);
  if (target.base.empty()) return WriteOutcome::kRefused;
  // Every look and the rename below go through this folder, not the path.
  const UniqueFd folder(OpenTargetFolder(target, root));
  if (folder.get() < 0) return WriteOutcome::kRefused;
  const char* base = target.base.c_str();

  struct stat st {};
  std::optional<FileBytes> current;
  if (exists) {
    if (::fstat(original.get(), &st) != 0 || !S_ISREG(st.st_mode)) return WriteOutcome::kRefused;
    // A file without any write permission is read-only, even for root.
    if ((st.st_mode & 0222) == 0 || ::faccessat(folder.get(), base, W_OK, AT_EACCESS) != 0)
      return WriteOutcome::kRefused;
    if (!LockFile(original.get(), file)) return WriteOutcome::kRefused;
    // The lock may have been won on a file another writer has just
    // replaced: start again on the new one.
    struct stat now;
    if (::fstatat(folder.get(), base, &now, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(now, st))
      return WriteOutcome::kRetry;
    current = FileBytes::Read(original.get(), st);
    if (!current) return WriteOutcome::kRefused;
  }
  const std::string_view text = current ? current->view() : std::string_view();
  if (kind == WriteKind::kDefaultBack && HoldsAnotherValue(text, section, key, value))
    return WriteOutcome::kDone;

  auto updated = WithIniValue(text, section, key, value);
  if (!updated) return WriteOutcome::kRefused;
  if (exists && *updated == text) return WriteOutcome::kDone;

  FileReplacement out;
  if (!out.CreateIn(folder.get(), target.base)) return WriteOutcome::kRefused;
  // Keeps the owner when we may (root); otherwise the file becomes ours,
  // as it would with any editor that saves by renaming.
  if (exists) out.KeepAttributesOf(st);
  if (!out.WriteAndClose(*updated, true)) return WriteOutcome::kRefused;

  // Last look before replacing: an edit that came in while we wrote wins,
  // and we start again from it.
  struct stat now;
  if (exists) {
    struct stat held;
    if (::fstat(original.get(), &held) != 0 || !Unchanged(held, st) ||
        ::fstatat(folder.get(), base, &now, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(now, st))
      return WriteOutcome::kRetry;
  } else if (::fstatat(folder.get(), base, &now, AT_SYMLINK_NOFOLLOW) == 0) {
    return WriteOutcome::kRetry;
  }

  if (!out.RenameOver(target.base, true)) return WriteOutcome::kRefused;
  return WriteOutcome::kDone;
}

}  // namespace

std::uint32_t IniProfile::GetPrivateProfileStringA(const char* section, const char* key,
                                                   const char* defaultValue, std::string& out,
                                                   std::uint32_t size, const char* file) {
  try {
    out.clear();
    if (size == 0) return 0;
    auto copy = [&](std::string_view v) {
      out.assign(v.substr(0, size - 1));
      return std::uint32_t(out.size());
    };
    if (section && key && file) {
      if (auto text = LoadIniText(file)) {
        auto found = FindIniKey(text->view(), section, key);
        if (found && found->key) return copy(CleanIniValue(found->key->value));
      }
    }
    return copy(CleanIniDefault(defaultValue ? defaultValue : ""));
  } catch (...) {
    // Out of memory on a hostile file: report nothing rather than fail.
    out.clear();
    return 0;
  }
}

namespace {

bool Write(const char* section, const char* key, const char* value, const char* file,
           WriteKind kind, const std::string& root) {
  if (!section || !key || !value || !file || !*file) return false;
  const std::size_t fileLength = std::strlen(file);
  if (file[fileLength - 1] == '/') return false;
  try {
    for (int attempt = 0; attempt < 4; ++attempt) {
      switch (TryWrite(file, section, key, value, kind, root)) {
        case WriteOutcome::kDone:
          return true;
        case WriteOutcome::kRefused:
          return false;
        case WriteOutcome::kRetry:
          break;
      }
    }
  } catch (...) {
  }
  return false;
}

}  // namespace

bool IniProfile::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                            const char* file) {
  return Write(section, key, value, file, WriteKind::kSet, writeRoot_);
}

bool IniProfile::WriteBackDefaultA(const char* section, const char* key, const char* value,
                                   const char* file) {
  return Write(section, key, value, file, WriteKind::kDefaultBack, writeRoot_);
}

}  // namespace velane
