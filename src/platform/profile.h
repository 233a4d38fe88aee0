// The profile (INI) functions the settings store stands on, with the
// semantics of the platform's GetPrivateProfileStringA and
// WritePrivateProfileStringA. Every text here is ANSI bytes (Windows-1252);
// names are taken up to their first NUL, as the platform reads its buffers.
#pragma once

#include <cstdint>
#include <string>

namespace velane::platform {

class ProfileStrings {
 public:
  virtual ~ProfileStrings() = default;
  // Copies at most size - 1 bytes of the value (or of the default, when the
  // file, section or key is missing) into out and returns how many.
  virtual std::uint32_t GetPrivateProfileStringA(const char* section,
                                                 const char* key,
                                                 const char* defaultValue,
                                                 std::string& out,
                                                 std::uint32_t size,
                                                 const char* file) = 0;
  // Creates the file, section and key as needed and sets the key's value;
  // false when the write was refused.
  virtual bool WritePrivateProfileStringA(const char* section, const char* key,
                                          const char* value,
                                          const char* file) = 0;
};

}  // namespace velane::platform
