#include "config/registry_path.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace velane {
namespace {

struct RootName {
  std::u16string_view name;
  std::uint32_t handle;
};

// Compared in this order, exactly, with the upper-cased root name. Short
// forms (HKCU, HKLM) are not roots.
constexpr std::array<RootName, 7> kRoots = {{
    {u"HKEY_CLASSES_ROOT", platform::kHkeyClassesRoot},
    {u"HKEY_CURRENT_CONFIG", platform::kHkeyCurrentConfig},
    {u"HKEY_CURRENT_USER", platform::kHkeyCurrentUser},
    {u"HKEY_DYN_DATA", platform::kHkeyDynData},
    {u"HKEY_LOCAL_MACHINE", platform::kHkeyLocalMachine},
    {u"HKEY_PERFORMANCE_DATA", platform::kHkeyPerformanceData},
    {u"HKEY_USERS", platform::kHkeyUsers},
}};

std::u16string UpperAscii(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return text;
}

// A key path split into its root key and subkey path. Without a backslash
// there is no root name: the root stays 0, which the platform refuses, so
// nothing is read or written; the subkey path is then the whole key path.
struct SplitKeyPath {
  std::uint32_t root = 0;
  std::u16string subkey;
};

SplitKeyPath Split(const std::u16string& keyPath) {
  SplitKeyPath out;
  const std::size_t slash = keyPath.find(u'\\');
  if (slash == std::u16string::npos) {
    out.subkey = keyPath;
    return out;
  }
  const std::u16string root = UpperAscii(keyPath.substr(0, slash));
  for (const RootName& r : kRoots) {
    if (root == r.name) {
      out.root = r.handle;
      break;
    }
  }
  out.subkey = keyPath.substr(slash + 1);
  return out;
}

}  // namespace

std::u16string ReadRegistryPath(platform::Registry& registry, std::u16string keyPath,
                                std::u16string valueName) {
  const SplitKeyPath path = Split(keyPath);
  std::u16string result;
  // The key is closed when `key` goes, at the end of the call.
  RegistryKey key(registry);
  Step([&] { key.OpenKey(path.root, path.subkey, platform::kKeyRead); });
  Step([&] { result = key.value(valueName); });
  return result;
}

void WriteRegistryPath(platform::Registry& registry, std::u16string keyPath,
                       std::u16string valueName, RegistryValue value) {
  const SplitKeyPath path = Split(keyPath);
  RegistryKey key(registry);
  Step([&] { key.OpenKey(path.root, path.subkey, platform::kKeyWrite); });
  Step([&] { key.value(valueName, value); });
}

}  // namespace velane
