// What the player refuses the WebBrowser control and the passer-by, as
// small rules the host applies (web_browser.cpp) and the unit tests read:
// the keys that would open a window, the commands the control hands its
// host, the dialogs it would open, the URL actions it asks about; and the
// control's feature settings the player writes for itself before creating
// it.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace velane::win32 {

// ---- keys -------------------------------------------------------------------

struct KeyModifiers {
  bool control = false;
  bool shift = false;
  bool alt = false;
};

// True when a key message bound for the control is dropped: the shortcuts
// that open a window, a dialog or a pane (print, find, open, new window,
// address, save, full screen, help, developer tools, caret browsing, the
// context menu), zoom the page or go through history. Typing, editing,
// arrows and key releases pass.
bool SwallowsKey(UINT message, WPARAM virtualKey, KeyModifiers modifiers);

// ---- commands the control hands its host ---------------------------------------

enum class HostCommand {
  NotOurs,            // the control does what it does by itself
  Refused,            // answered as done, and nothing is done
  KeepScriptRunning,  // a script error: no dialog, the page's scripts go on
};

// group null is the standard group.
HostCommand HostCommandFor(const GUID* group, DWORD id);

// Whether group is one the host answers in (the standard group or the
// document host's); the others are not ours.
bool HostKnowsCommandGroup(const GUID* group);

// ---- dialogs ----------------------------------------------------------------------

// True when a window about to be created is a dialog (the system's dialog
// class, not a child) that the browser would open over the display: the
// file chooser, the print, find and colour dialogs, prompt(), message
// boxes, showModalDialog(). ownedByDisplay: its owner is the display
// window or inside it.
bool RefusesDialog(const std::string& className, LONG_PTR style, bool ownedByDisplay);

// ---- URL actions ----------------------------------------------------------------

// The local path a file: address names (UTF-8, ASCII letters in lower
// case, backslashes, without query or fragment), or nothing for another
// scheme, a malformed escape or a ".." step.
std::optional<std::string> LocalPathOfFileUrl(std::string_view url);

// The policy the host gives for a URL action the control asks about for
// url (UTF-8), or nothing for the control's own answer. contentRoot: the
// player's content folder (UTF-8; empty when unknown).
std::optional<DWORD> UrlActionPolicy(DWORD action, std::string_view url,
                                     std::string_view contentRoot);

// ---- feature settings -----------------------------------------------------------

struct BrowserFeature {
  const char* name;
  DWORD value;
};

// IE11's own rendering (edge mode, whatever the page's doctype) instead of
// the control's default IE7 mode, and the Local Machine zone lockdown.
inline constexpr std::array<BrowserFeature, 2> kBrowserFeatures{{
    {"FEATURE_BROWSER_EMULATION", 11001},
    {"FEATURE_LOCALMACHINE_LOCKDOWN", 1},
}};

// Where the features are read, under HKEY_CURRENT_USER.
inline constexpr char kFeatureControlKey[] =
    "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl";

// The file name a path ends with (after its last \ or /).
std::string ExecutableBaseName(const std::string& modulePath);

// Writes every feature's value for executable under
// root\featureControl\<feature>; the other programs' values stay as they
// are. Returns what failed, or an empty text.
std::string WriteBrowserFeatures(HKEY root, const std::string& featureControl,
                                 const std::string& executable);

// The features for the running executable, per user; a failure is said on
// stderr, and the player goes on with the control's defaults.
void SetBrowserFeaturesForThisProgram();

}  // namespace velane::win32
