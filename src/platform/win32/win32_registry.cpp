#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <memory>

namespace velane::win32 {
namespace {

using platform::RegHandle;
using platform::RegStatus;

HKEY KeyOf(RegHandle handle) {
  return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(handle)));
}

// A handle the system gave back, as the 32-bit value the program keeps. One
// that would not survive the round trip is closed and reported as an
// invalid handle rather than handed out truncated.
RegStatus Keep(RegStatus status, HKEY key, RegHandle* result) {
  if (result != nullptr) *result = 0;
  if (status != ERROR_SUCCESS) return status;
  const auto wide = reinterpret_cast<std::intptr_t>(key);
  if (static_cast<std::intptr_t>(static_cast<std::int32_t>(wide)) != wide) {
    ::RegCloseKey(key);
    return ERROR_INVALID_HANDLE;
  }
  if (result != nullptr) *result = static_cast<RegHandle>(wide);
  return status;
}

// A DWORD argument that the system reads and writes, mirrored into the
// caller's 32-bit value (or none, for a null pointer).
class DwordArg {
 public:
  explicit DwordArg(std::uint32_t* target) : target_(target), value_(target ? *target : 0) {}
  ~DwordArg() {
    if (target_ != nullptr) *target_ = static_cast<std::uint32_t>(value_);
  }
  DwordArg(const DwordArg&) = delete;
  DwordArg& operator=(const DwordArg&) = delete;
  LPDWORD get() { return target_ ? &value_ : nullptr; }

 private:
  std::uint32_t* target_;
  DWORD value_;
};

}  // namespace

RegStatus Win32Registry::RegCreateKeyExA(RegHandle key, const char* subKey, std::uint32_t reserved,
                                         const char* keyClass, std::uint32_t options,
                                         std::uint32_t rights,
                                         const platform::SecurityAttributes* security,
                                         RegHandle* result, std::uint32_t* disposition) {
  SECURITY_ATTRIBUTES sa{};
  if (security != nullptr) {
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = const_cast<void*>(security->securityDescriptor);
    sa.bInheritHandle = security->inheritHandle ? TRUE : FALSE;
  }
  HKEY opened = nullptr;
  DwordArg how(disposition);
  const LONG status =
      ::RegCreateKeyExA(KeyOf(key), subKey, reserved, const_cast<char*>(keyClass), options, rights,
                        security != nullptr ? &sa : nullptr, &opened, how.get());
  return Keep(status, opened, result);
}

RegStatus Win32Registry::RegOpenKeyExA(RegHandle key, const char* subKey, std::uint32_t options,
                                       std::uint32_t rights, RegHandle* result) {
  HKEY opened = nullptr;
  const LONG status = ::RegOpenKeyExA(KeyOf(key), subKey, options, rights, &opened);
  return Keep(status, opened, result);
}

RegStatus Win32Registry::RegCloseKey(RegHandle key) { return ::RegCloseKey(KeyOf(key)); }

RegStatus Win32Registry::RegQueryValueExA(RegHandle key, const char* valueName,
                                          std::uint32_t* reserved, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* dataSize) {
  DwordArg reservedArg(reserved);
  DwordArg typeArg(type);
  DwordArg sizeArg(dataSize);
  return ::RegQueryValueExA(KeyOf(key), valueName, reservedArg.get(), typeArg.get(), data,
                            sizeArg.get());
}

RegStatus Win32Registry::RegSetValueExA(RegHandle key, const char* valueName,
                                        std::uint32_t reserved, std::uint32_t type,
                                        const std::uint8_t* data, std::uint32_t dataSize) {
  return ::RegSetValueExA(KeyOf(key), valueName, reserved, type, data, dataSize);
}

RegStatus Win32Registry::RegEnumValueA(RegHandle key, std::uint32_t index, char* name,
                                       std::uint32_t* nameSize, std::uint32_t* reserved,
                                       std::uint32_t* type, std::uint8_t* data,
                                       std::uint32_t* dataSize) {
  DwordArg nameArg(nameSize);
  DwordArg reservedArg(reserved);
  DwordArg typeArg(type);
  DwordArg sizeArg(dataSize);
  return ::RegEnumValueA(KeyOf(key), index, name, nameArg.get(), reservedArg.get(), typeArg.get(),
                         data, sizeArg.get());
}

RegStatus Win32Registry::RegEnumKeyA(RegHandle key, std::uint32_t index, char* name,
                                     std::uint32_t nameSize) {
  return ::RegEnumKeyA(KeyOf(key), index, name, nameSize);
}

RegStatus Win32Registry::RegDeleteKeyA(RegHandle key, const char* subKey) {
  return ::RegDeleteKeyA(KeyOf(key), subKey);
}

RegStatus Win32Registry::RegDeleteValueA(RegHandle key, const char* valueName) {
  return ::RegDeleteValueA(KeyOf(key), valueName);
}

}  // namespace velane::win32

namespace velane::platform {

// On Windows the user's registry is the system's.
std::unique_ptr<Registry> OpenUserRegistry() { return std::make_unique<win32::Win32Registry>(); }

// The system keeps the registry; there is no file of ours.
std::string UserRegistryPath() { return {}; }

}  // namespace velane::platform
