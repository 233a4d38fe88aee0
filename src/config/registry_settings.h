// The registry form of ReadSetting: file argument "$" + registry prefix.
#pragma once

#include <cstdint>
#include <string>

namespace velane {
namespace platform {
class Registry;
}

// prefix is the file argument without its "$".
std::u16string ReadSettingRegistry(platform::Registry* registry, std::u16string section,
                                   std::u16string key, std::u16string defaultValue,
                                   std::u16string prefix, std::int16_t mode);

}  // namespace velane
