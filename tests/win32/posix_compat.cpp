#include "posix_compat.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

extern "C" char* mkdtemp(char* pattern) {
  const std::size_t n = pattern ? std::strlen(pattern) : 0;
  if (n < 6 || std::strcmp(pattern + n - 6, "XXXXXX") != 0) return nullptr;
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    for (std::size_t i = n - 6; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      pattern[i] = kDigits[(seed >> 16) % 36];
    }
    std::error_code error;
    if (std::filesystem::create_directory(pattern, error)) return pattern;
    if (error) return nullptr;  // not a name clash: give up
  }
  return nullptr;
}

extern "C" int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

// An empty value removes the variable on Windows.
extern "C" int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

extern "C" unsigned geteuid(void) { return 0; }
