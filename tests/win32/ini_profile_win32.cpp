// In the Windows unit test binary the shared tests' IniProfile is the
// system's profile functions, as the player uses them on Windows: the
// program and settings tests then run the core over the real thing.
#include "config/ini.h"
#include "platform/win32/win32_profile.h"

namespace velane {

std::uint32_t IniProfile::GetPrivateProfileStringA(const char* section,
                                                   const char* key,
                                                   const char* defaultValue,
                                                   std::string& out,
                                                   std::uint32_t size,
                                                   const char* file) {
  return win32::Win32Profile().GetPrivateProfileStringA(section, key, defaultValue,
                                                        out, size, file);
}

bool IniProfile::WritePrivateProfileStringA(const char* section, const char* key,
                                            const char* value, const char* file) {
  return win32::Win32Profile().WritePrivateProfileStringA(section, key, value, file);
}

// The system's functions cannot write only-if-unchanged: a plain write.
bool IniProfile::WriteBackDefaultA(const char* section, const char* key,
                                   const char* value, const char* file) {
  return WritePrivateProfileStringA(section, key, value, file);
}

}  // namespace velane
