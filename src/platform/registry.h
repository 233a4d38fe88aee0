// The registry functions the registry key object stands on, with the
// semantics of the platform's ANSI registry API (RegCreateKeyExA and its
// kin). Handles are 32-bit values, statuses are the platform's error
// numbers, names and data are ANSI bytes (Windows-1252). Names are taken up
// to their first NUL, as the platform reads them, and compare without regard
// to case for every letter of the code page (FoldAnsiCase); a null name is
// the empty name (the key itself, or the unnamed default value), except for
// RegDeleteKeyA. In a key path, a run of backslashes separates two names and
// trailing ones are ignored; a path that begins with one is refused.
//
// On Linux the functions are provided over a SQLite store (sqlite/); on
// Windows they call the real registry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velane::platform {

using RegHandle = std::uint32_t;
using RegStatus = std::int32_t;

// The predefined root keys. They are always open and never need closing.
inline constexpr RegHandle kHkeyClassesRoot = 0x80000000;
inline constexpr RegHandle kHkeyCurrentUser = 0x80000001;
inline constexpr RegHandle kHkeyLocalMachine = 0x80000002;
inline constexpr RegHandle kHkeyUsers = 0x80000003;
inline constexpr RegHandle kHkeyPerformanceData = 0x80000004;
inline constexpr RegHandle kHkeyCurrentConfig = 0x80000005;
inline constexpr RegHandle kHkeyDynData = 0x80000006;

// Statuses.
inline constexpr RegStatus kRegSuccess = 0;
inline constexpr RegStatus kRegNotFound = 2;
inline constexpr RegStatus kRegAccessDenied = 5;
inline constexpr RegStatus kRegInvalidHandle = 6;
inline constexpr RegStatus kRegInvalidParameter = 87;
inline constexpr RegStatus kRegBadPathName = 161;  // a key path beginning with "\\"
inline constexpr RegStatus kRegMoreData = 234;     // name or data buffer too small
inline constexpr RegStatus kRegNoMoreItems = 259;
inline constexpr RegStatus kRegBadDatabase = 1009;  // the store is unreadable
inline constexpr RegStatus kRegIoFailed = 1016;     // the store could not be reached
inline constexpr RegStatus kRegKeyDeleted = 1018;   // the open key was deleted

// Access rights.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Dispositions of RegCreateKeyExA.
inline constexpr std::uint32_t kRegCreatedNewKey = 1;
inline constexpr std::uint32_t kRegOpenedExistingKey = 2;

// The platform's SECURITY_ATTRIBUTES (length 12 on the 32-bit platform).
struct SecurityAttributes {
  std::uint32_t length = 12;
  const void* securityDescriptor = nullptr;
  bool inheritHandle = false;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // Creates subKey (with any missing parents) under key, or opens it when it
  // exists; *disposition tells which. An empty subKey opens key itself.
  virtual RegStatus RegCreateKeyExA(RegHandle key, const char* subKey, std::uint32_t reserved,
                                    const char* keyClass, std::uint32_t options,
                                    std::uint32_t rights, const SecurityAttributes* security,
                                    RegHandle* result, std::uint32_t* disposition) = 0;
  // Opens an existing key; creates nothing. *result is 0 on failure.
  virtual RegStatus RegOpenKeyExA(RegHandle key, const char* subKey, std::uint32_t options,
                                  std::uint32_t rights, RegHandle* result) = 0;
  virtual RegStatus RegCloseKey(RegHandle key) = 0;
  // Without data, only the size (and type) is reported. With data, *dataSize
  // is the buffer size in and the data size out; a buffer too small gives
  // kRegMoreData with the size needed.
  virtual RegStatus RegQueryValueExA(RegHandle key, const char* valueName, std::uint32_t* reserved,
                                     std::uint32_t* type, std::uint8_t* data,
                                     std::uint32_t* dataSize) = 0;
  virtual RegStatus RegSetValueExA(RegHandle key, const char* valueName, std::uint32_t reserved,
                                   std::uint32_t type, const std::uint8_t* data,
                                   std::uint32_t dataSize) = 0;
  // *nameSize is the name buffer's capacity in characters (its NUL included)
  // in, the name's length out. type, data and dataSize may be null.
  virtual RegStatus RegEnumValueA(RegHandle key, std::uint32_t index, char* name,
                                  std::uint32_t* nameSize, std::uint32_t* reserved,
                                  std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* dataSize) = 0;
  // Copies the subkey's name and its NUL into a buffer of nameSize chars.
  virtual RegStatus RegEnumKeyA(RegHandle key, std::uint32_t index, char* name,
                                std::uint32_t nameSize) = 0;
  // Deletes subKey of key, which must have no subkeys; an empty subKey is
  // key itself, a null one is refused (kRegInvalidParameter).
  virtual RegStatus RegDeleteKeyA(RegHandle key, const char* subKey) = 0;
  virtual RegStatus RegDeleteValueA(RegHandle key, const char* valueName) = 0;
};

// The registry store of the current user: on Linux one database file,
// $XDG_DATA_HOME (else ~/.local/share) + "/velane-afficheur/registry.sqlite",
// created on the first write. Handles are private to the returned object.
std::unique_ptr<Registry> OpenUserRegistry();

// The database file OpenUserRegistry uses now; empty when there is no
// user data folder at all (no XDG_DATA_HOME and no home folder).
std::string UserRegistryPath();

}  // namespace velane::platform
