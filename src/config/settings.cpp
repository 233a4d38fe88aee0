#include "config/settings.h"

// PLACEHOLDER: replaced by the settings store.
namespace velane {
SettingsStore::SettingsStore(platform::ProfileStrings& ini,
                             platform::Registry* registry,
                             std::u16string playlistPath)
    : ini_(ini), registry_(registry), playlistPath_(std::move(playlistPath)) {}
std::u16string SettingsStore::ReadSetting(std::u16string, std::u16string,
                                          std::u16string d, std::u16string,
                                          std::int16_t) const {
  return d;
}
std::u16string FolderOf(const std::u16string& path) {
  auto p = path.find_last_of(u"/\\");
  return p == std::u16string::npos ? std::u16string() : path.substr(0, p);
}
std::u16string PlaylistPathFor(const std::u16string& exe) {
  auto p = exe.find_last_of(u"/\\");
  std::u16string base = p == std::u16string::npos ? exe : exe.substr(p + 1);
  auto dot = base.rfind(u'.');
  if (dot != std::u16string::npos) base.resize(dot);
  return FolderOf(exe) + u"/" + base + u".ini";
}
}  // namespace velane
