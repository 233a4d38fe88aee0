// Writing a file whole, for the composed page: the file-system side is the
// platform layer's (POSIX in platform/posix, Windows in platform/win32).
#pragma once

#include <string>
#include <string_view>

namespace velane::platform {

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
