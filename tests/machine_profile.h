// The machine's own profile functions as a plain object, the ones the player
// is given: our INI engine on POSIX, the system's functions on Windows, so
// that the shared tests run the core over the real thing on both.
#pragma once

#ifdef _WIN32
#include "platform/win32/win32_profile.h"
#else
#include "platform/posix/ini_profile.h"
#endif

namespace velane::testing_support {

#ifdef _WIN32
using MachineIni = win32::Win32Profile;
#else
using MachineIni = IniProfile;
#endif

}  // namespace velane::testing_support
