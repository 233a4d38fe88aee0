// The settings store's profile functions on Windows: the system's own
// GetPrivateProfileStringA and WritePrivateProfileStringA.
#pragma once

#include "platform/profile.h"

namespace velane::win32 {

class Win32Profile : public platform::ProfileStrings {
 public:
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, std::string& out,
                                         std::uint32_t size, const char* file) override;
  bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                  const char* file) override;
  // The system's functions cannot write only while the key stays unset: a
  // plain write.
  bool WriteBackDefaultA(const char* section, const char* key, const char* value,
                         const char* file) override;
};

}  // namespace velane::win32
