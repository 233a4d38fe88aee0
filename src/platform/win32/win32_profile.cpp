#include "platform/win32/win32_profile.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace velane::win32 {

std::uint32_t Win32Profile::GetPrivateProfileStringA(const char* section, const char* key,
                                                     const char* defaultValue, std::string& out,
                                                     std::uint32_t size, const char* file) {
  out.clear();
  if (size == 0) return 0;
  std::vector<char> buffer(size, '\0');
  const DWORD n = ::GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), size, file);
  out.assign(buffer.data(), std::min<DWORD>(n, size - 1));
  return static_cast<std::uint32_t>(out.size());
}

bool Win32Profile::WritePrivateProfileStringA(const char* section, const char* key,
                                              const char* value, const char* file) {
  return ::WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

bool Win32Profile::WriteBackDefaultA(const char* section, const char* key, const char* value,
                                     const char* file) {
  return WritePrivateProfileStringA(section, key, value, file);
}

}  // namespace velane::win32
