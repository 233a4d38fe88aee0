// One registry value named by a full key path (a root name, a backslash and
// a subkey path, as in HKEY_CURRENT_USER\Software\Player) and a value
// name. Each call opens the key, reads or writes once, and closes it again.
// Neither operation fails towards its caller.
#pragma once

#include <string>

#include "config/registry_key.h"
#include "platform/registry.h"

namespace velane {

// The stored text, or an empty text when nothing could be read (unknown
// root name, missing key or value, no access). Creates nothing.
std::u16string ReadRegistryPath(platform::Registry& registry, std::u16string keyPath,
                                std::u16string valueName);

// Stores the value's text form as a string value, creating the key and its
// missing parents first. A refused write is not noticed.
void WriteRegistryPath(platform::Registry& registry, std::u16string keyPath,
                       std::u16string valueName, RegistryValue value);

}  // namespace velane
