// Small file helpers shared by the tests: a temporary folder removed with
// everything in it, and whole files read and written as bytes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace velane::testing_support {

class TempDir {
 public:
  explicit TempDir(const char* prefix = "velane-test") {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (const char* made = ::mkdtemp(pattern.data())) path_ = made;
  }
  ~TempDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    // A test may have taken its own write right away.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace velane::testing_support
