// The registry key object's functions on Windows: the system registry,
// through its ANSI functions. Handles cross as 32-bit values: the system
// keeps registry handles 32-bit significant, and the predefined root keys
// are the sign-extended values of the 32-bit platform.
#pragma once

#include "platform/registry.h"

namespace velane::win32 {

class Win32Registry : public platform::Registry {
 public:
  platform::RegStatus RegCreateKeyExA(platform::RegHandle key, const char* subKey,
                                      std::uint32_t reserved, const char* keyClass,
                                      std::uint32_t options, std::uint32_t rights,
                                      const platform::SecurityAttributes* security,
                                      platform::RegHandle* result,
                                      std::uint32_t* disposition) override;
  platform::RegStatus RegOpenKeyExA(platform::RegHandle key, const char* subKey,
                                    std::uint32_t options, std::uint32_t rights,
                                    platform::RegHandle* result) override;
  platform::RegStatus RegCloseKey(platform::RegHandle key) override;
  platform::RegStatus RegQueryValueExA(platform::RegHandle key, const char* valueName,
                                       std::uint32_t* reserved, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* dataSize) override;
  platform::RegStatus RegSetValueExA(platform::RegHandle key, const char* valueName,
                                     std::uint32_t reserved, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t dataSize) override;
  platform::RegStatus RegEnumValueA(platform::RegHandle key, std::uint32_t index, char* name,
                                    std::uint32_t* nameSize, std::uint32_t* reserved,
                                    std::uint32_t* type, std::uint8_t* data,
                                    std::uint32_t* dataSize) override;
  platform::RegStatus RegEnumKeyA(platform::RegHandle key, std::uint32_t index, char* name,
                                  std::uint32_t nameSize) override;
  platform::RegStatus RegDeleteKeyA(platform::RegHandle key, const char* subKey) override;
  platform::RegStatus RegDeleteValueA(platform::RegHandle key, const char* valueName) override;
};

}  // namespace velane::win32
