#include "config/ini.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace velane {
namespace {

// ---------------------------------------------------------------------------
// Files

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports a failed close (a late write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

// A temporary file that is removed unless it has been renamed into place.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  void Own(std::string path) { path_ = std::move(path); }
  const std::string& path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

int OpenForReading(const char* path) {
  // O_NONBLOCK: a pipe named as settings file must not hang the player.
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
    if (!S_ISREG(st.st_mode) || std::size_t(st.st_size) > kMaxIniFileBytes)
      return std::nullopt;
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
      const ssize_t n = ::read(fd, bytes.data_.get() + bytes.size_,
                               capacity - bytes.size_);
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

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool Unchanged(const struct stat& a, const struct stat& b) {
  return SameFile(a, b) && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Another writer of ours holds the file for the few milliseconds of its
// write; wait for it, but never hang the player on a stuck one.
bool LockFile(int fd) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + seconds(1);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
}

void SyncFolder(const std::string& folder) {
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
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

// Creates an exclusive temporary file beside the target. New files get the
// usual 0666 less the umask, as any file the program creates.
int CreateTemp(const Target& t, TempFile& temp) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string path = t.folder + "/." + t.base.substr(0, 64) + "." +
                       std::to_string(::getpid()) + "." +
                       std::to_string((stamp + attempt) & 0xFFFFFF) + ".tmp";
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                          0666);
    if (fd >= 0) {
      temp.Own(std::move(path));
      return fd;
    }
    if (errno != EEXIST && errno != EINTR) return -1;
  }
  return -1;
}

enum class WriteOutcome { kDone, kRefused, kRetry };

// Whether a default written back now would replace a value: the key is
// there and reads as neither empty nor the default itself. The reader
// decided on the write-back from an older file, before that value came.
bool HoldsAnotherValue(std::string_view text, std::string_view section,
                       std::string_view key, std::string_view value) {
  const auto found = FindIniKey(text, section, key);
  if (!found || !found->key) return false;
  const std::string_view now = CleanIniValue(found->key->value);
  return !now.empty() && now != value;
}

enum class WriteKind { kSet, kDefaultBack };

WriteOutcome TryWrite(const char* file, std::string_view section,
                      std::string_view key, std::string_view value,
                      WriteKind kind) {
  // Re-read the file now, under our lock, so that an edit made just before
  // is kept.
  UniqueFd original(OpenForReading(file));
  const bool exists = original.get() >= 0;
  if (!exists && errno != ENOENT) return WriteOutcome::kRefused;

  const Target target = TargetOf(file, exists);
  if (target.base.empty()) return WriteOutcome::kRefused;

  struct stat st {};
  std::optional<FileBytes> current;
  if (exists) {
    if (::fstat(original.get(), &st) != 0 || !S_ISREG(st.st_mode))
      return WriteOutcome::kRefused;
    // A file without any write permission is read-only, even for root.
    if ((st.st_mode & 0222) == 0 ||
        ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0)
      return WriteOutcome::kRefused;
    if (!LockFile(original.get())) return WriteOutcome::kRefused;
    // The lock may have been won on a file another writer has just
    // replaced: start again on the new one.
    struct stat now;
    if (::stat(target.path.c_str(), &now) != 0 || !SameFile(now, st))
      return WriteOutcome::kRetry;
    current = FileBytes::Read(original.get(), st);
    if (!current) return WriteOutcome::kRefused;
  }
  const std::string_view text = current ? current->view() : std::string_view();
  if (kind == WriteKind::kDefaultBack &&
      HoldsAnotherValue(text, section, key, value))
    return WriteOutcome::kDone;

  auto updated = WithIniValue(text, section, key, value);
  if (!updated) return WriteOutcome::kRefused;
  if (exists && *updated == text) return WriteOutcome::kDone;

  TempFile temp;
  UniqueFd out(CreateTemp(target, temp));
  if (out.get() < 0) return WriteOutcome::kRefused;
  if (exists) {
    // Keeps the owner when we may (root); otherwise the file becomes ours,
    // as it would with any editor that saves by renaming. The permissions
    // come after, since a change of owner may clear some of them.
    [[maybe_unused]] const int ignored =
        ::fchown(out.get(), st.st_uid, st.st_gid);
    ::fchmod(out.get(), st.st_mode & 07777);
  }
  if (!WriteAll(out.get(), *updated) || ::fsync(out.get()) != 0 || !out.Close())
    return WriteOutcome::kRefused;

  // Last look before replacing: an edit that came in while we wrote wins,
  // and we start again from it.
  struct stat now;
  if (exists) {
    struct stat held;
    if (::fstat(original.get(), &held) != 0 || !Unchanged(held, st) ||
        ::stat(target.path.c_str(), &now) != 0 || !SameFile(now, st))
      return WriteOutcome::kRetry;
  } else if (::lstat(target.path.c_str(), &now) == 0) {
    return WriteOutcome::kRetry;
  }

  if (::rename(temp.path().c_str(), target.path.c_str()) != 0)
    return WriteOutcome::kRefused;
  temp.Release();
  SyncFolder(target.folder);
  return WriteOutcome::kDone;
}

}  // namespace

std::uint32_t IniProfile::GetPrivateProfileStringA(const char* section,
                                                   const char* key,
                                                   const char* defaultValue,
                                                   std::string& out,
                                                   std::uint32_t size,
                                                   const char* file) {
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

bool Write(const char* section, const char* key, const char* value,
           const char* file, WriteKind kind) {
  if (!section || !key || !value || !file || !*file) return false;
  const std::size_t fileLength = std::strlen(file);
  if (file[fileLength - 1] == '/') return false;
  try {
    for (int attempt = 0; attempt < 4; ++attempt) {
      switch (TryWrite(file, section, key, value, kind)) {
        case WriteOutcome::kDone: return true;
        case WriteOutcome::kRefused: return false;
        case WriteOutcome::kRetry: break;
      }
    }
  } catch (...) {
  }
  return false;
}

}  // namespace

bool IniProfile::WritePrivateProfileStringA(const char* section,
                                            const char* key, const char* value,
                                            const char* file) {
  return Write(section, key, value, file, WriteKind::kSet);
}

bool IniProfile::WriteBackDefaultA(const char* section, const char* key,
                                   const char* value, const char* file) {
  return Write(section, key, value, file, WriteKind::kDefaultBack);
}

}  // namespace velane
