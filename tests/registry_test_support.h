// Test support for the registry: a private user data folder per test, and a
// registry that passes every call on to another one while keeping count of
// the handles left open and of the writes.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace velane::testing {

// XDG_DATA_HOME points at a fresh temporary folder while the object lives;
// the previous value comes back and the folder goes afterwards.
class TempDataHome {
 public:
  TempDataHome() {
    if (const char* old = std::getenv("XDG_DATA_HOME")) previous_ = old;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velane-registry-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    path_ = made != nullptr ? made : "";
    ::setenv("XDG_DATA_HOME", path_.c_str(), 1);
  }
  ~TempDataHome() {
    if (previous_) {
      ::setenv("XDG_DATA_HOME", previous_->c_str(), 1);
    } else {
      ::unsetenv("XDG_DATA_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDataHome(const TempDataHome&) = delete;
  TempDataHome& operator=(const TempDataHome&) = delete;

  const std::string& Path() const { return path_; }
  std::string ProductFolder() const { return path_ + "/velane-afficheur"; }
  std::string DatabasePath() const { return ProductFolder() + "/registry.sqlite"; }
  bool DatabaseExists() const { return std::filesystem::exists(DatabasePath()); }

 private:
  std::string path_;
  std::optional<std::string> previous_;
};

class RecordingRegistry : public platform::Registry {
 public:
  explicit RecordingRegistry(platform::Registry& inner) : inner_(inner) {}

  int openHandles = 0;  // handles given out and not yet closed
  int opens = 0;        // successful opens and creates
  int valueWrites = 0;  // RegSetValueExA calls

  platform::RegStatus RegCreateKeyExA(platform::RegHandle key, const char* subKey,
                                      std::uint32_t reserved, const char* keyClass,
                                      std::uint32_t options, std::uint32_t rights,
                                      const platform::SecurityAttributes* security,
                                      platform::RegHandle* result,
                                      std::uint32_t* disposition) override {
    return Opened(inner_.RegCreateKeyExA(key, subKey, reserved, keyClass, options,
                                         rights, security, result, disposition));
  }
  platform::RegStatus RegOpenKeyExA(platform::RegHandle key, const char* subKey,
                                    std::uint32_t options, std::uint32_t rights,
                                    platform::RegHandle* result) override {
    return Opened(inner_.RegOpenKeyExA(key, subKey, options, rights, result));
  }
  platform::RegStatus RegCloseKey(platform::RegHandle key) override {
    const platform::RegStatus status = inner_.RegCloseKey(key);
    if (status == platform::kRegSuccess) --openHandles;
    return status;
  }
  platform::RegStatus RegQueryValueExA(platform::RegHandle key, const char* name,
                                       std::uint32_t* reserved, std::uint32_t* type,
                                       std::uint8_t* data,
                                       std::uint32_t* dataSize) override {
    return inner_.RegQueryValueExA(key, name, reserved, type, data, dataSize);
  }
  platform::RegStatus RegSetValueExA(platform::RegHandle key, const char* name,
                                     std::uint32_t reserved, std::uint32_t type,
                                     const std::uint8_t* data,
                                     std::uint32_t dataSize) override {
    ++valueWrites;
    return inner_.RegSetValueExA(key, name, reserved, type, data, dataSize);
  }
  platform::RegStatus RegEnumValueA(platform::RegHandle key, std::uint32_t index,
                                    char* name, std::uint32_t* nameSize,
                                    std::uint32_t* reserved, std::uint32_t* type,
                                    std::uint8_t* data,
                                    std::uint32_t* dataSize) override {
    return inner_.RegEnumValueA(key, index, name, nameSize, reserved, type, data,
                                dataSize);
  }
  platform::RegStatus RegEnumKeyA(platform::RegHandle key, std::uint32_t index,
                                  char* name, std::uint32_t nameSize) override {
    return inner_.RegEnumKeyA(key, index, name, nameSize);
  }
  platform::RegStatus RegDeleteKeyA(platform::RegHandle key,
                                    const char* subKey) override {
    return inner_.RegDeleteKeyA(key, subKey);
  }
  platform::RegStatus RegDeleteValueA(platform::RegHandle key,
                                      const char* name) override {
    return inner_.RegDeleteValueA(key, name);
  }

 private:
  platform::RegStatus Opened(platform::RegStatus status) {
    if (status == platform::kRegSuccess) {
      ++openHandles;
      ++opens;
    }
    return status;
  }
  platform::Registry& inner_;
};

// The raw bytes of a value through the platform functions; nullopt when the
// value cannot be read.
inline std::optional<std::string> RawValue(platform::Registry& registry,
                                           platform::RegHandle key,
                                           const char* name,
                                           std::uint32_t* type = nullptr) {
  std::uint32_t size = 0;
  if (registry.RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != 0)
    return std::nullopt;
  std::string data(size, '\0');
  std::uint32_t t = 0;
  if (registry.RegQueryValueExA(key, name, nullptr, &t,
                                reinterpret_cast<std::uint8_t*>(data.data()),
                                &size) != 0)
    return std::nullopt;
  if (type != nullptr) *type = t;
  data.resize(size);
  return data;
}

// Opens a key path under a root with the given rights; 0 when it fails.
inline platform::RegHandle OpenRaw(platform::Registry& registry,
                                   platform::RegHandle root, const char* subKey,
                                   std::uint32_t rights = platform::kKeyRead) {
  platform::RegHandle h = 0;
  registry.RegOpenKeyExA(root, subKey, 0, rights, &h);
  return h;
}

}  // namespace velane::testing
