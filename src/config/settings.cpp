#include "config/settings.h"

#include <utility>

#include "config/ansi.h"
#include "config/registry_settings.h"
#include "diagnostics/failure.h"
#include "platform/files.h"

namespace velane {
namespace {

// The INI functions receive each name in a buffer of this many characters.
constexpr std::size_t kNameBufferSize = 600;
// The size the read is told; a value comes back at most one shorter.
constexpr std::uint32_t kValueBufferSize = 590;

// The name as it sits in its buffer: the name, a NUL, then blanks to the
// end. The INI functions read up to the NUL; a name that fills the whole
// buffer has lost its terminator and is cut to the buffer's size.
std::string NameBuffer(const std::u16string& name) {
  std::string buffer = ToAnsi(std::u16string_view(name).substr(0, kNameBufferSize));
  if (buffer.size() < kNameBufferSize) {
    buffer.push_back('\0');
    buffer.resize(kNameBufferSize, ' ');
  }
  return buffer;
}

}  // namespace

SettingsStore::SettingsStore(platform::ProfileStrings& ini, platform::Registry* registry,
                             std::u16string playlistPath)
    : ini_(ini), registry_(registry), playlistPath_(std::move(playlistPath)) {}

// Every step runs on its own: one that fails is skipped and the next one
// goes on, so the caller always gets a text.
std::u16string SettingsStore::ReadSetting(std::u16string section, std::u16string key,
                                          std::u16string defaultValue, std::u16string file,
                                          std::int16_t mode) const {
  if (file.empty()) file = playlistPath_;

  std::string sectionBuffer;
  std::string keyBuffer;
  Step([&] {
    sectionBuffer = NameBuffer(section);
    keyBuffer = NameBuffer(key);
  });

  if (IsRegistryFileArgument(file)) {
    std::u16string result;
    Step([&] {
      result = ReadSettingRegistry(registry_, section, key, defaultValue, file.substr(1), mode);
    });
    return result;
  }

  std::string path;
  std::string defaultBytes;
  Step([&] {
    path = ToAnsi(file);
    defaultBytes = ToAnsi(defaultValue);
  });
  // A refused write changes nothing for the caller (the default is the
  // answer anyway); for the playlist it is noted for the operator.
  auto noteWrite = [&](bool written) {
    if (file == playlistPath_)
      playlistWrites_ = written && playlistWrites_ != PlaylistWrites::kRefused
                            ? PlaylistWrites::kWritten
                            : PlaylistWrites::kRefused;
  };
  auto writeDefault = [&] {
    Step([&] {
      noteWrite(ini_.WritePrivateProfileStringA(sectionBuffer.c_str(), keyBuffer.c_str(),
                                                defaultBytes.c_str(), path.c_str()));
    });
  };

  if (mode == 0) {
    writeDefault();
    return defaultValue;
  }
  // Mode 2's write-back: the same write, except that an edit made by
  // another process since the read below is kept, never overwritten by
  // the default.
  auto writeBack = [&] {
    Step([&] {
      noteWrite(ini_.WriteBackDefaultA(sectionBuffer.c_str(), keyBuffer.c_str(),
                                       defaultBytes.c_str(), path.c_str()));
    });
  };

  std::uint32_t n = 0;
  std::string value;
  Step([&] {
    n = ini_.GetPrivateProfileStringA(sectionBuffer.c_str(), keyBuffer.c_str(),
                                      defaultBytes.c_str(), value, kValueBufferSize, path.c_str());
  });
  if (n != 0) {
    std::u16string v;
    Step([&] { v = FromAnsi(std::string_view(value).substr(0, n)); });
    // A missing key comes back as the default itself: mode 2 then writes
    // it, and writes again a stored value equal to it (the result is the
    // default, as a write in mode 0 gives).
    if (mode == 2 && v == defaultValue) {
      writeBack();
      return defaultValue;
    }
    return v;
  }
  // An empty value, or a missing key with an empty default.
  if (mode == 2) writeBack();
  return defaultValue;
}

SettingsStore::PlaylistWrites SettingsStore::TakePlaylistWrites() const {
  const PlaylistWrites writes = playlistWrites_;
  playlistWrites_ = PlaylistWrites::kNone;
  return writes;
}

std::u16string FolderOf(const std::u16string& path) {
  const auto slash = path.find_last_of(platform::kPathSeparators);
  if (slash == std::u16string::npos) return u".";
  return path.substr(0, slash);
}

bool IsRegistryFileArgument(const std::u16string& file) {
  return file.size() > 1 && file[0] == u'$';
}

std::u16string PlaylistPathFor(const std::u16string& executablePath) {
  const auto slash = executablePath.find_last_of(platform::kPathSeparators);
  std::u16string base =
      slash == std::u16string::npos ? executablePath : executablePath.substr(slash + 1);
  // The extension goes; a leading dot names a hidden file, not one.
  const auto dot = base.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) base.resize(dot);
  return FolderOf(executablePath) + platform::kPathSeparator + base + u".ini";
}

}  // namespace velane
