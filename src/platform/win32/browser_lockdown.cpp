#include "platform/win32/browser_lockdown.h"

#include <docobj.h>
#include <urlmon.h>

#include <algorithm>
#include <cstdio>

#include "platform/win32/win32_platform.h"
#include "velane_version.h"

namespace velane::win32 {
namespace {

// {F38BC242-B950-11D1-8918-00C04FC2C836}: the commands MSHTML hands the
// host to show its own user interface (script errors, print, find).
constexpr GUID kDocHostCommandHandler = {
    0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};

bool IsLetter(WPARAM key, char letter) { return key == WPARAM(letter); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A folder as LocalPathOfFileUrl spells paths, ending in one backslash.
std::string FolderKey(std::string_view folder) {
  std::string key;
  for (const char c : folder) key += c == '/' ? '\\' : Lower(c);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key + '\\';
}

}  // namespace

bool SwallowsKey(UINT message, WPARAM key, KeyModifiers m) {
  if (message != WM_KEYDOWN && message != WM_SYSKEYDOWN) return false;
  // The browser keys of a multimedia keyboard (back, forward, refresh,
  // stop, search, favourites, home) and the zoom key.
  if ((key >= VK_BROWSER_BACK && key <= VK_BROWSER_HOME) || key == VK_ZOOM) return true;
  if (m.control && m.alt) {
    // AltGr reaches programs as Ctrl+Alt: it types characters on many
    // layouts (AltGr+O is "ó" in Polish), and no shortcut of the control
    // is bound to it.
    return false;
  }
  if (m.control) {
    for (const char letter : {'P', 'F', 'O', 'N', 'L', 'S', 'K', 'W', 'H', 'I', 'J', 'D', 'E'})
      if (IsLetter(key, letter)) return true;  // with Shift too: Ctrl+Shift+P is a new window
    // Zoom in, out and back to 100 %.
    if (key == VK_OEM_PLUS || key == VK_OEM_MINUS || key == VK_ADD || key == VK_SUBTRACT ||
        key == '0' || key == VK_NUMPAD0)
      return true;
    // The dialog that deletes the browsing history.
    if (m.shift && key == VK_DELETE) return true;
    return false;
  }
  if (m.alt) {
    // Back, forward, the home page.
    return key == VK_LEFT || key == VK_RIGHT || key == VK_HOME;
  }
  switch (key) {
    case VK_F1:   // help
    case VK_F3:   // find
    case VK_F7:   // asks whether to turn caret browsing on
    case VK_F11:  // full screen
    case VK_F12:  // developer tools
    case VK_APPS:
      return true;
    case VK_F10:  // with Shift: the context menu
      return m.shift;
    default:
      return false;
  }
}

bool HostKnowsCommandGroup(const GUID* group) {
  return group == nullptr || IsEqualGUID(*group, kDocHostCommandHandler);
}

HostCommand HostCommandFor(const GUID* group, DWORD id) {
  if (!HostKnowsCommandGroup(group)) return HostCommand::NotOurs;
  switch (id) {
    case OLECMDID_SHOWSCRIPTERROR:
      // The standard group has no script error; only MSHTML's asks.
      return group == nullptr ? HostCommand::NotOurs : HostCommand::KeepScriptRunning;
    case OLECMDID_PRINT:
    case OLECMDID_PRINTPREVIEW:
    case OLECMDID_PAGESETUP:
    case OLECMDID_PRINT2:
    case OLECMDID_PRINTPREVIEW2:
    case OLECMDID_SHOWPRINT:
    case OLECMDID_SHOWPAGESETUP:
    case OLECMDID_SHOWFIND:
    case OLECMDID_FIND:
    case OLECMDID_OPEN:
    case OLECMDID_NEW:
    case OLECMDID_SAVEAS:
    case OLECMDID_PROPERTIES:
      return HostCommand::Refused;
    default:
      return HostCommand::NotOurs;
  }
}

bool RefusesDialog(const std::string& className, LONG_PTR style, bool ownedByDisplay) {
  // A dialog inside another window (a page of a property sheet, the body
  // of the file chooser) goes with its parent. MSHTML's own dialog frame
  // is what showModalDialog() opens.
  return ownedByDisplay && (style & WS_CHILD) == 0 &&
         (className == "#32770" || className == "Internet Explorer_TridentDlgFrame");
}

std::optional<std::string> LocalPathOfFileUrl(std::string_view url) {
  constexpr std::string_view kScheme = "file:";
  if (url.size() < kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i)
    if (Lower(url[i]) != kScheme[i]) return std::nullopt;
  url.remove_prefix(kScheme.size());
  url = url.substr(0, url.find_first_of("?#"));
  std::string path;
  for (std::size_t i = 0; i < url.size(); ++i) {
    char c = url[i];
    if (c == '%') {
      const int high = i + 2 < url.size() ? HexDigit(url[i + 1]) : -1;
      const int low = high >= 0 ? HexDigit(url[i + 2]) : -1;
      if (low < 0) return std::nullopt;
      c = char(high * 16 + low);
      i += 2;
    }
    if (c == '\0') return std::nullopt;
    path += c == '/' ? '\\' : Lower(c);
  }
  const std::size_t slashes = path.find_first_not_of('\\');
  if (slashes == std::string::npos) return std::nullopt;
  const bool drive = path.size() >= slashes + 2 && path[slashes + 1] == ':' &&
                     path[slashes] >= 'a' && path[slashes] <= 'z';
  if (drive) {
    path.erase(0, slashes);  // file:///c:/x, file://c:/x, file:c:/x
  } else if (slashes != 2) {
    return std::nullopt;  // file://server/share/x, a network path, keeps its two
  }
  // A step up could climb out of any folder this path is compared with;
  // Windows drops a name's trailing dots and blanks, so ". ." and "..." are
  // steps up too.
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view name = std::string_view(path).substr(start, end - start);
    const std::size_t dots = std::count(name.begin(), name.end(), '.');
    if (dots >= 2 && name.find_first_not_of(". ") == std::string_view::npos) return std::nullopt;
    start = end + 1;
  }
  return path;
}

std::optional<DWORD> UrlActionPolicy(DWORD action, std::string_view url,
                                     std::string_view contentRoot) {
  // Should a file name reach a file field after all (typed in an old
  // document mode), its folder is not sent with it.
  if (action == URLACTION_HTML_INCLUDE_FILE_PATH) return DWORD(URLPOLICY_DISALLOW);
  // The machine lockdown stops script in every page from the disk; the
  // content root's pages are the operator's slides (the video slide's
  // hand-over, a clock), so they keep it. ActiveX stays locked for them too.
  if (action == URLACTION_SCRIPT_RUN && !contentRoot.empty()) {
    const std::optional<std::string> path = LocalPathOfFileUrl(url);
    const std::string root = FolderKey(contentRoot);
    if (path && root.size() > 1 && path->compare(0, root.size(), root) == 0)
      return DWORD(URLPOLICY_ALLOW);
  }
  return std::nullopt;
}

std::string ExecutableBaseName(const std::string& modulePath) {
  const std::size_t slash = modulePath.find_last_of("\\/");
  return slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
}

std::string WriteBrowserFeatures(HKEY root, const std::string& featureControl,
                                 const std::string& executable) {
  if (executable.empty()) return "the program's file name is unknown";
  std::string failed;
  for (const BrowserFeature& feature : kBrowserFeatures) {
    const std::string path = featureControl + "\\" + feature.name;
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
      const DWORD value = feature.value;
      status = RegSetValueExA(key, executable.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&value), sizeof value);
      RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
      if (!failed.empty()) failed += ", ";
      failed += std::string(feature.name) + " (error " + std::to_string(status) + ")";
    }
  }
  return failed;
}

void SetBrowserFeaturesForThisProgram() {
  const std::string failed =
      WriteBrowserFeatures(HKEY_CURRENT_USER, kFeatureControlKey, ExecutableBaseName(ModulePath()));
  if (!failed.empty()) {
    std::fprintf(stderr,
                 VELANE_PLAYER_NAME
                 ": the browser's settings cannot be written (%s); the control keeps its own\n",
                 failed.c_str());
    std::fflush(stderr);
  }
}

}  // namespace velane::win32
