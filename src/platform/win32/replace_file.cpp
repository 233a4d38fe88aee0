#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/files.h"

namespace velane::platform {
namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { Close(); }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle);
  }

 private:
  HANDLE handle_;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

FileWrite WriteInPlace(const std::string& path, std::string_view bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.ok() && WriteAll(file.get(), bytes) && file.Close() ? FileWrite::kWritten
                                                                  : FileWrite::kFailed;
}

}  // namespace

FileWrite ReplaceFileWhole(const std::string& path, std::string_view bytes) {
  if (path.empty() || path.find('\0') != std::string::npos) return FileWrite::kFailed;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes &
                 (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
    return FileWrite::kNotPlainFile;
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return FileWrite::kFailed;

  const std::size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string temp = folder + "\\~" +
                           path.substr(slash == std::string::npos ? 0 : slash + 1) + "." +
                           std::to_string(GetCurrentProcessId()) + ".tmp";
  FileHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) {
    return exists && GetLastError() == ERROR_ACCESS_DENIED ? WriteInPlace(path, bytes)
                                                           : FileWrite::kFailed;
  }
  const bool written = WriteAll(file.get(), bytes) && file.Close();
  if (written && MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
    return FileWrite::kWritten;
  DeleteFileA(temp.c_str());
  // A reader holding the page open without sharing its deletion stops the
  // replacement; the page is then written in place as before.
  return written && exists ? WriteInPlace(path, bytes) : FileWrite::kFailed;
}

}  // namespace velane::platform
