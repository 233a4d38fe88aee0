// Test support for the registry: a private user data folder per test, a
// sandbox key that the portable tests work in on both platforms, and a
// registry that passes every call on to another one while keeping count of
// the handles left open and of the writes.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/ansi.h"
#include "platform/registry.h"
#include "test_files.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace velane::testing {

// XDG_DATA_HOME points at a fresh temporary folder while the object lives;
// the previous value comes back and the folder goes afterwards.
class TempDataHome {
 public:
  TempDataHome() {
    if (const char* old = std::getenv("XDG_DATA_HOME")) previous_ = old;
    ::setenv("XDG_DATA_HOME", path_.c_str(), 1);
  }
  ~TempDataHome() {
    if (previous_) {
      ::setenv("XDG_DATA_HOME", previous_->c_str(), 1);
    } else {
      ::unsetenv("XDG_DATA_HOME");
    }
  }
  TempDataHome(const TempDataHome&) = delete;
  TempDataHome& operator=(const TempDataHome&) = delete;

  const std::string& Path() const { return path_; }
  std::string ProductFolder() const { return path_ + "/velane-afficheur"; }
  std::string DatabasePath() const { return ProductFolder() + "/registry.sqlite"; }
  bool DatabaseExists() const { return std::filesystem::exists(DatabasePath()); }

 private:
  testing_support::TempFolder folder_{"velane-registry"};
  std::string path_ = folder_.path().string();
  std::optional<std::string> previous_;
};

// Deletes a key with everything under it, through the platform functions.
inline void DeleteTree(platform::Registry& registry, platform::RegHandle root,
                       const std::string& path) {
  platform::RegHandle h = 0;
  if (registry.RegOpenKeyExA(root, path.c_str(), 0, platform::kKeyAllAccess, &h) != 0) return;
  char name[256];
  while (registry.RegEnumKeyA(h, 0, name, sizeof name) == 0)
    DeleteTree(registry, root, path + "\\" + name);
  registry.RegCloseKey(h);
  registry.RegDeleteKeyA(root, path.c_str());
}

// The user's registry and a key of the test's own under
// HKEY_CURRENT_USER\Software, so that the same tests hold both stores to the
// same answers. On Linux the store is a fresh database in a private data
// folder; on Windows it is the system's registry, and the key goes with
// everything under it when the sandbox does.
class RegistrySandbox {
 public:
  RegistrySandbox() {
#ifdef _WIN32
    const int pid = ::_getpid();
#else
    const int pid = ::getpid();
#endif
    static int counter = 0;
    base_ = "Software\\VelaneUnitTests\\" + std::to_string(pid) + "-" + std::to_string(counter++);
  }
  ~RegistrySandbox() {
#ifdef _WIN32
    DeleteTree(*store_, platform::kHkeyCurrentUser, base_);
    platform::RegHandle parent = 0;
    // The shared parent goes too once the last test has left it empty.
    if (store_->RegOpenKeyExA(platform::kHkeyCurrentUser, "Software\\VelaneUnitTests", 0,
                              platform::kKeyRead, &parent) == 0) {
      char name[256];
      const bool empty = store_->RegEnumKeyA(parent, 0, name, sizeof name) != 0;
      store_->RegCloseKey(parent);
      if (empty) store_->RegDeleteKeyA(platform::kHkeyCurrentUser, "Software\\VelaneUnitTests");
    }
#endif
  }
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  platform::Registry& Store() { return *store_; }
  // The path from HKEY_CURRENT_USER of a key in the sandbox; "" is the
  // sandbox key itself.
  std::string Key(std::string_view rest = "") const {
    return rest.empty() ? base_ : base_ + "\\" + std::string(rest);
  }
  std::u16string Key16(std::string_view rest = "") const { return FromAnsi(Key(rest)); }
  // The full key path, as the registry path operations take it.
  std::u16string FullPath(std::string_view rest = "") const {
    return u"HKEY_CURRENT_USER\\" + Key16(rest);
  }
  // Whether nothing at all was written: on Linux not even the database file
  // exists, on Windows the sandbox key does not.
  bool Untouched() {
#ifdef _WIN32
    platform::RegHandle h = 0;
    if (store_->RegOpenKeyExA(platform::kHkeyCurrentUser, base_.c_str(), 0, platform::kKeyRead,
                              &h) != 0)
      return true;
    store_->RegCloseKey(h);
    return false;
#else
    return !home_.DatabaseExists();
#endif
  }

 private:
#ifndef _WIN32
  TempDataHome home_;
#endif
  std::unique_ptr<platform::Registry> store_ = platform::OpenUserRegistry();
  std::string base_;
};

class RecordingRegistry : public platform::Registry {
 public:
  explicit RecordingRegistry(platform::Registry& inner) : inner_(inner) {}

  int openHandles = 0;               // handles given out and not yet closed
  int opens = 0;                     // successful opens and creates
  int valueWrites = 0;               // RegSetValueExA calls
  platform::RegHandle lastFrom = 0;  // the key the last open or create started at

  platform::RegStatus RegCreateKeyExA(platform::RegHandle key, const char* subKey,
                                      std::uint32_t reserved, const char* keyClass,
                                      std::uint32_t options, std::uint32_t rights,
                                      const platform::SecurityAttributes* security,
                                      platform::RegHandle* result,
                                      std::uint32_t* disposition) override {
    lastFrom = key;
    return Opened(inner_.RegCreateKeyExA(key, subKey, reserved, keyClass, options, rights, security,
                                         result, disposition));
  }
  platform::RegStatus RegOpenKeyExA(platform::RegHandle key, const char* subKey,
                                    std::uint32_t options, std::uint32_t rights,
                                    platform::RegHandle* result) override {
    lastFrom = key;
    return Opened(inner_.RegOpenKeyExA(key, subKey, options, rights, result));
  }
  platform::RegStatus RegCloseKey(platform::RegHandle key) override {
    const platform::RegStatus status = inner_.RegCloseKey(key);
    if (status == platform::kRegSuccess) --openHandles;
    return status;
  }
  platform::RegStatus RegQueryValueExA(platform::RegHandle key, const char* name,
                                       std::uint32_t* reserved, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* dataSize) override {
    return inner_.RegQueryValueExA(key, name, reserved, type, data, dataSize);
  }
  platform::RegStatus RegSetValueExA(platform::RegHandle key, const char* name,
                                     std::uint32_t reserved, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t dataSize) override {
    ++valueWrites;
    return inner_.RegSetValueExA(key, name, reserved, type, data, dataSize);
  }
  platform::RegStatus RegEnumValueA(platform::RegHandle key, std::uint32_t index, char* name,
                                    std::uint32_t* nameSize, std::uint32_t* reserved,
                                    std::uint32_t* type, std::uint8_t* data,
                                    std::uint32_t* dataSize) override {
    return inner_.RegEnumValueA(key, index, name, nameSize, reserved, type, data, dataSize);
  }
  platform::RegStatus RegEnumKeyA(platform::RegHandle key, std::uint32_t index, char* name,
                                  std::uint32_t nameSize) override {
    return inner_.RegEnumKeyA(key, index, name, nameSize);
  }
  platform::RegStatus RegDeleteKeyA(platform::RegHandle key, const char* subKey) override {
    return inner_.RegDeleteKeyA(key, subKey);
  }
  platform::RegStatus RegDeleteValueA(platform::RegHandle key, const char* name) override {
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
inline std::optional<std::string> RawValue(platform::Registry& registry, platform::RegHandle key,
                                           const char* name, std::uint32_t* type = nullptr) {
  std::uint32_t size = 0;
  if (registry.RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != 0)
    return std::nullopt;
  std::string data(size, '\0');
  std::uint32_t t = 0;
  if (registry.RegQueryValueExA(key, name, nullptr, &t,
                                reinterpret_cast<std::uint8_t*>(data.data()), &size) != 0)
    return std::nullopt;
  if (type != nullptr) *type = t;
  data.resize(size);
  return data;
}

// Opens a key path under a root with the given rights; 0 when it fails.
inline platform::RegHandle OpenRaw(platform::Registry& registry, platform::RegHandle root,
                                   const char* subKey, std::uint32_t rights = platform::kKeyRead) {
  platform::RegHandle h = 0;
  registry.RegOpenKeyExA(root, subKey, 0, rights, &h);
  return h;
}

}  // namespace velane::testing
