// The file system as the core uses it: path names, the composed page written
// whole, the trace log opened for appending, and what this user may write.
// Each platform fills it in (POSIX in platform/posix, Windows in
// platform/win32).
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velane::platform {

// The separator this platform puts between the names of a path, and every
// character it takes as one (Windows also takes "/").
extern const char16_t kPathSeparator;
extern const char16_t kPathSeparators[];

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

enum class AppendOpen {
  kOpened,
  kLink,          // never followed: it could lead anywhere
  kNotPlainFile,  // a pipe or a device, which could block the program
  kFailed,
};

// Opens the file at `path` (in the code page) for appending bytes, creating
// it when missing; `file` holds it when kOpened comes back.
AppendOpen OpenForAppending(const char* path, UniqueFile& file);

// Whether this user could open the existing file at the path (in the code
// page) for writing, as the sequencer does with a composed page. Nothing is
// written.
bool MayOpenForWriting(const std::string& path);

// The path (in the code page) with every ".", ".." and link followed, as
// the system opens it; none when it does not exist.
std::optional<std::string> ResolvedPath(const std::string& path);

// Whether this user could create a file in the folder.
bool MayCreateIn(const std::string& folder);

enum class FileWrite {
  kWritten,
  kNotPlainFile,  // a link, a pipe, a folder or a device is in its place
  kFailed,        // read-only file, missing folder, full disk...
};

// Replaces the content of the file at `path` (in the code page) by `bytes`,
// creating it when absent, so that a reader sees the old content or the new
// one whole, never a part: the bytes go to a temporary file beside it that
// is then renamed over it. Only a plain file is replaced, and only one this
// user may write. Where the folder takes no new file but the file may be
// written, it is written in place. Never creates a folder.
FileWrite ReplaceFileWhole(const std::string& path, std::string_view bytes);

}  // namespace velane::platform
