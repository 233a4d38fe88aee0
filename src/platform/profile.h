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
  virtual std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                                 const char* defaultValue, std::string& out,
                                                 std::uint32_t size, const char* file) = 0;
  // Creates the file, section and key as needed and sets the key's value;
  // false when the write was refused.
  virtual bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                          const char* file) = 0;
  // The default written back after a read found the key missing, empty or
  // equal to the default: the same write, but made only while the key still
  // reads that way in the file as it is when written. A value that another
  // writer put in after the read (an operator's edit) is kept. Where the
  // functions cannot tell, a plain write. No default body: a wrapper that
  // forgot to pass it on would turn it into a plain write unnoticed.
  virtual bool WriteBackDefaultA(const char* section, const char* key, const char* value,
                                 const char* file) = 0;
};

}  // namespace velane::platform
