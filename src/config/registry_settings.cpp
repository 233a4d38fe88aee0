#include "config/registry_settings.h"

#include "config/registry_path.h"

namespace velane {

// Each section is a subkey of the prefix and each key a value name of that
// subkey. Only a missing or empty value counts as absent: unlike the INI
// form, a stored value equal to the default is left alone in mode 2.
std::u16string ReadSettingRegistry(platform::Registry* registry, std::u16string section,
                                   std::u16string key, std::u16string defaultValue,
                                   std::u16string prefix, std::int16_t mode) {
  if (registry == nullptr) return defaultValue;
  const std::u16string keyPath = prefix + u"\\" + section;
  if (mode == 0) {
    WriteRegistryPath(*registry, keyPath, key, defaultValue);
    return defaultValue;
  }
  std::u16string stored = ReadRegistryPath(*registry, keyPath, key);
  if (!stored.empty()) return stored;
  if (mode == 2) WriteRegistryPath(*registry, keyPath, key, defaultValue);
  return defaultValue;
}

}  // namespace velane
