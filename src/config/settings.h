// The settings store: ReadSetting reads or writes one named text setting of
// an INI file (or, with a file argument "$" + key path, of the registry).
#pragma once

#include <cstdint>
#include <string>

#include "platform/profile.h"

namespace velane {
namespace platform {
class Registry;
}

class SettingsStore {
 public:
  // registry may be null where no registry store is available: the
  // registry form then returns the default and writes nothing.
  SettingsStore(platform::ProfileStrings& ini, platform::Registry* registry,
                std::u16string playlistPath);

  // Modes: 0 write the default, 1 read, 2 read and write the default back
  // when the key is missing, empty or equal to it; any other value reads.
  // An empty file argument is the playlist settings file. Never fails.
  std::u16string ReadSetting(std::u16string section, std::u16string key,
                             std::u16string defaultValue, std::u16string file,
                             std::int16_t mode) const;

  const std::u16string& PlaylistPath() const { return playlistPath_; }

  // How the writes of the playlist settings file went since the last call
  // (refused if any was), so that the player can tell the operator of a
  // playlist it cannot fill in; the store itself goes on either way.
  enum class PlaylistWrites { kNone, kWritten, kRefused };
  PlaylistWrites TakePlaylistWrites() const;

 private:
  platform::ProfileStrings& ini_;
  platform::Registry* registry_;
  std::u16string playlistPath_;
  mutable PlaylistWrites playlistWrites_ = PlaylistWrites::kNone;
};

// The playlist settings file of an executable: its folder, a separator, its
// base name (without extension) and ".ini".
std::u16string PlaylistPathFor(const std::u16string& executablePath);

// A file argument of "$" and at least one more character names a registry
// key path (after the "$"), not a file; "$" alone is a file name.
bool IsRegistryFileArgument(const std::u16string& file);

// The executable's folder without a trailing separator (the content root):
// "" for a file in the root folder, "." for a bare name. The separator is
// "/"; a backslash is part of a name here.
std::u16string FolderOf(const std::u16string& path);

}  // namespace velane
