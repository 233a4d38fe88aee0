// What the operator tools need from the machine they run on, chosen by the
// platform layer: where the running program lives, where the player beside
// it keeps its settings, and the machine's profile and registry functions.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/content_root.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace velane::platform {

// Full path of the running executable, in the code page; nullopt when the
// system cannot tell.
std::optional<std::string> RunningExecutablePath();

// The profile (INI) functions of this machine: the system's own on
// Windows, our INI engine elsewhere. With a folder, our engine's writes
// stay in it: a file that is a link leading out of it is read, never
// written (links are rare on Windows, whose functions write through them).
std::unique_ptr<ProfileStrings> MachineProfile(const std::u16string& writesStayIn = u"");

// Whether MachineProfile() is our own INI engine: the playlist checker can
// then read a playlist once and apply the same rules from memory, instead
// of asking the functions again for every key.
bool MachineProfileIsOurEngine();

// The registry the settings store's registry form uses, as the player does:
// the system registry on Windows, our SQLite store of the user's keys on
// Linux.
std::unique_ptr<Registry> SettingsRegistry();

// The local time now, from the same clock as the player's: the playlist
// checker's "today" (faketime moves it in the tests).
LocalTime LocalNow();

}  // namespace velane::platform
