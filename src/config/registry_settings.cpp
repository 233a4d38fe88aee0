#include "config/registry_settings.h"

namespace velane {

// NOT YET BUILT: the registry store comes with the registry key object.
// Until then the registry form returns the default and writes nothing.
std::u16string ReadSettingRegistry(platform::Registry*, std::u16string,
                                   std::u16string, std::u16string defaultValue,
                                   std::u16string, std::int16_t) {
  return defaultValue;
}

}  // namespace velane
