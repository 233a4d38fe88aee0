#include "display/outils.h"

#include <filesystem>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "config/ansi.h"
#include "platform/files.h"

namespace velane {
namespace {

using File = platform::UniqueFile;

// Reads one line of bytes without its line end: CR LF or a lone CR ends a
// line, a lone LF is kept as an ordinary character, and the end of the file
// ends the last line. False on a read error.
bool ReadLine(std::FILE* f, std::string& line) {
  line.clear();
  for (;;) {
    const int c = std::getc(f);
    if (c == EOF) return !std::ferror(f);
    if (c != '\r') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    const int next = std::getc(f);
    if (next == EOF) return !std::ferror(f);
    if (next != '\n') std::ungetc(next, f);
    return true;
  }
}

// True at the end of the file; a read error counts as a failure.
bool AtEnd(std::FILE* f, bool& failed) {
  const int c = std::getc(f);
  if (c == EOF) {
    failed = std::ferror(f) != 0;
    return true;
  }
  std::ungetc(c, f);
  return false;
}

}  // namespace

std::u16string ReadWholeFile(const std::u16string& path, platform::MessagePump& pump) {
  try {
    const std::string name = ToAnsi(path);
    // A NUL inside the path would silently open a shorter name.
    if (name.empty() || name.find('\0') != std::string::npos) return {};
    // Only a plain file: opening a pipe or a device could block the player
    // for good.
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(name), error)) return {};
    File file(std::fopen(name.c_str(), "rb"));
    if (!file) return {};

    std::u16string whole;
    std::string line;
    bool failed = false;
    while (!AtEnd(file.get(), failed)) {
      pump.DoEvents();  // other window events run while a long file is read
      if (!ReadLine(file.get(), line)) return {};
      whole += FromAnsi(line);
      whole += u"\r\n";
    }
    // A folder opens but cannot be read: that shows up here.
    if (failed) return {};
    return whole;
  } catch (const std::exception&) {
    // Nothing reaches the caller; the file is closed by its owner.
    return {};
  }
}

void SetWindowTopmost(platform::Toolkit& toolkit, std::uint32_t hwnd, std::int16_t topmost) {
  toolkit.SetWindowPos(hwnd, topmost ? platform::kHwndTopmost : platform::kHwndNoTopmost,
                       platform::kSwpNoSize | platform::kSwpNoMove | platform::kSwpNoActivate |
                           platform::kSwpShowWindow);
}

}  // namespace velane
