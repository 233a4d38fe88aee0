// Small file helpers shared by the tests: a temporary folder removed with
// everything in it, the current directory changed for a while, and whole
// files read and written as bytes.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace velane::testing_support {

namespace fs = std::filesystem;

// A new empty folder in the system's temporary folder, removed with
// everything in it at the end.
class TempFolder {
 public:
  explicit TempFolder(const char* prefix = "velane-test") {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    // A test may have taken its own write right away.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }
  // The path of an entry of the folder, as text.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// Makes a folder the current directory for the guard's life.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~CurrentDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
  }
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  fs::path previous_;
};

inline std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::size_t CountLines(const std::string& text) {
  std::size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

}  // namespace velane::testing_support
