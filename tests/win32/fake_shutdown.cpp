// shutdown.exe stand-in for tests: records its command line in
// "shutdown.called" beside itself and restarts nothing.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string file(path, n);
  file = file.substr(0, file.find_last_of("\\/") + 1) + "shutdown.called";
  if (std::FILE* f = std::fopen(file.c_str(), "ab")) {
    std::fprintf(f, "%s\r\n", GetCommandLineA());
    std::fclose(f);
  }
  return 0;
}
