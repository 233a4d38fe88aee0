// The Windows platform layer against the system it stands on: the profile
// and registry functions as the settings store and the registry key object
// rely on them, the command line, and the windows made from the designs.
#include <docobj.h>
#include <gtest/gtest.h>
#include <urlmon.h>
#include <windows.h>
// The platform interfaces have a method of that name.
#undef CreateWindow

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/ansi.h"
#include "config/registry_key.h"
#include "config/registry_path.h"
#include "config/settings.h"
#include "platform/host.h"
#include "platform/win32/browser_lockdown.h"
#include "platform/win32/web_browser.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_profile.h"
#include "platform/win32/win32_registry.h"
#include "test_files.h"
#include "windows/designs.h"

namespace velane::win32 {
namespace {

namespace fs = std::filesystem;
using namespace platform;

HWND HwndOf(std::uint32_t handle) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(handle)));
}

using testing_support::ReadBytes;

// ---- profile functions ------------------------------------------------------

TEST(Win32Profile, MissingFileSectionOrKeyGiveTheDefaultAndItsLength) {
  testing_support::TempFolder dir{"velane-win32"};
  Win32Profile profile;
  std::string out;
  const std::string file = dir.File("p.ini");
  EXPECT_EQ(profile.GetPrivateProfileStringA("s", "k", "768", out, 590, file.c_str()), 3u);
  EXPECT_EQ(out, "768");
  EXPECT_FALSE(fs::exists(file));  // reading creates nothing
  ASSERT_TRUE(profile.WritePrivateProfileStringA("s", "other", "1", file.c_str()));
  EXPECT_EQ(profile.GetPrivateProfileStringA("s", "k", "d", out, 590, file.c_str()), 1u);
  EXPECT_EQ(out, "d");
  EXPECT_EQ(profile.GetPrivateProfileStringA("t", "k", "", out, 590, file.c_str()), 0u);
  EXPECT_EQ(out, "");
}

TEST(Win32Profile, NamesMatchWithoutCaseAndSurroundingBlanks) {
  testing_support::TempFolder dir{"velane-win32"};
  const std::string file = dir.File("p.ini");
  std::ofstream(file, std::ios::binary) << "[3]\r\nHTML=<b>\r\n[ 2]\r\nx=y\r\n";
  Win32Profile profile;
  std::string out;
  for (const char* section : {"3", " 3", "3 "}) {
    EXPECT_EQ(profile.GetPrivateProfileStringA(section, "html", "", out, 590, file.c_str()), 3u)
        << section;
    EXPECT_EQ(out, "<b>");
  }
  EXPECT_EQ(profile.GetPrivateProfileStringA("2", "X", "", out, 590, file.c_str()), 1u);
}

TEST(Win32Profile, AnEmptyValueReadsAsNoCharacters) {
  testing_support::TempFolder dir{"velane-win32"};
  const std::string file = dir.File("p.ini");
  std::ofstream(file, std::ios::binary) << "[s]\r\nk=\r\n";
  Win32Profile profile;
  std::string out = "junk";
  EXPECT_EQ(profile.GetPrivateProfileStringA("s", "k", "2", out, 590, file.c_str()), 0u);
  EXPECT_EQ(out, "");
}

TEST(Win32Profile, TheSettingsStoreFillsTheFileAndCutsLongValues) {
  testing_support::TempFolder dir{"velane-win32"};
  const std::string file = dir.File("VELANE_Afficheur.ini");
  Win32Profile profile;
  SettingsStore store(profile, nullptr, FromAnsi(file));
  EXPECT_EQ(store.ReadSetting(u"Systeme", u"TailleEcranL", u"768", u"", 2), u"768");
  EXPECT_EQ(store.ReadSetting(u"Systeme", u"marge", u"", u"", 2), u"");
  const std::string bytes = ReadBytes(file);
  EXPECT_NE(bytes.find("[Systeme]"), std::string::npos);
  EXPECT_NE(bytes.find("TailleEcranL=768"), std::string::npos);
  EXPECT_NE(bytes.find("marge="), std::string::npos);
  // Mode 1 neither creates nor changes.
  EXPECT_EQ(store.ReadSetting(u"s", u"k", u"x", FromAnsi(dir.File("none.ini")), 1), u"x");
  EXPECT_FALSE(fs::exists(dir.File("none.ini")));
  // A stored value of 700 characters comes back as its first 589.
  const std::u16string longValue(700, u'a');
  store.ReadSetting(u"s", u"long", longValue, u"", 0);
  EXPECT_EQ(store.ReadSetting(u"s", u"long", u"", u"", 1), std::u16string(589, u'a'));
  // Text crosses in the code page: the trace marker is byte 128.
  store.ReadSetting(u"s", u"t", std::u16string(1, u'\u20AC') + u"\u00E9", u"", 0);
  EXPECT_NE(ReadBytes(file).find("t=\x80\xE9"), std::string::npos);
  EXPECT_EQ(store.ReadSetting(u"s", u"t", u"", u"", 1), u"\u20AC\u00E9");
}

// ---- registry -----------------------------------------------------------------

// A private key under HKEY_CURRENT_USER, deleted with everything in it.
class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = "Software\\VelaneUnitTests\\" + std::to_string(GetCurrentProcessId());
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VelaneUnitTests");
  }
  std::string Sub(const std::string& rest) const { return base_ + "\\" + rest; }

  Win32Registry reg_;
  std::string base_;
};

TEST_F(Win32RegistryTest, HandlesCrossAs32BitValuesAndWorkAfterwards) {
  RegHandle h = 0;
  std::uint32_t disposition = 0;
  SecurityAttributes sa;
  ASSERT_EQ(reg_.RegCreateKeyExA(kHkeyCurrentUser, Sub("A\\B").c_str(), 0, "", 0, kKeyAllAccess,
                                 &sa, &h, &disposition),
            kRegSuccess);
  EXPECT_NE(h, 0u);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  const char data[] = "hello";
  EXPECT_EQ(reg_.RegSetValueExA(h, "v", 0, kRegSz, reinterpret_cast<const std::uint8_t*>(data),
                                sizeof data),
            kRegSuccess);
  EXPECT_EQ(reg_.RegCloseKey(h), kRegSuccess);

  RegHandle again = 0;
  ASSERT_EQ(reg_.RegCreateKeyExA(kHkeyCurrentUser, Sub("A\\B").c_str(), 0, "", 0, kKeyAllAccess,
                                 nullptr, &again, &disposition),
            kRegSuccess);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  reg_.RegCloseKey(again);
}

TEST_F(Win32RegistryTest, QueriesReportSizesTypesAndShortBuffers) {
  RegHandle h = 0;
  ASSERT_EQ(reg_.RegCreateKeyExA(kHkeyCurrentUser, base_.c_str(), 0, "", 0, kKeyAllAccess, nullptr,
                                 &h, nullptr),
            kRegSuccess);
  const char data[] = "abcdef";
  reg_.RegSetValueExA(h, "v", 0, kRegSz, reinterpret_cast<const std::uint8_t*>(data), 7);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(reg_.RegQueryValueExA(h, "v", nullptr, &type, nullptr, &size), kRegSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 7u);
  std::uint8_t small[3];
  size = sizeof small;
  EXPECT_EQ(reg_.RegQueryValueExA(h, "v", nullptr, nullptr, small, &size), kRegMoreData);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(reg_.RegQueryValueExA(h, "missing", nullptr, nullptr, nullptr, &size), kRegNotFound);
  EXPECT_EQ(reg_.RegDeleteValueA(h, "missing"), kRegNotFound);
  reg_.RegCloseKey(h);
}

TEST_F(Win32RegistryTest, EnumerationsEndWithNoMoreItems) {
  RegHandle h = 0;
  ASSERT_EQ(reg_.RegCreateKeyExA(kHkeyCurrentUser, base_.c_str(), 0, "", 0, kKeyAllAccess, nullptr,
                                 &h, nullptr),
            kRegSuccess);
  RegHandle child = 0;
  reg_.RegCreateKeyExA(h, "child", 0, "", 0, kKeyAllAccess, nullptr, &child, nullptr);
  reg_.RegCloseKey(child);
  reg_.RegSetValueExA(h, "n", 0, kRegSz, reinterpret_cast<const std::uint8_t*>("1"), 2);

  char name[4096];
  std::uint32_t nameSize = sizeof name;
  EXPECT_EQ(reg_.RegEnumValueA(h, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            kRegSuccess);
  EXPECT_EQ(std::string(name, nameSize), "n");
  nameSize = sizeof name;
  EXPECT_EQ(reg_.RegEnumValueA(h, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            kRegNoMoreItems);
  EXPECT_EQ(reg_.RegEnumKeyA(h, 0, name, 512), kRegSuccess);
  EXPECT_STREQ(name, "child");
  EXPECT_EQ(reg_.RegEnumKeyA(h, 1, name, 512), kRegNoMoreItems);
  EXPECT_EQ(reg_.RegDeleteKeyA(h, "child"), kRegSuccess);
  reg_.RegCloseKey(h);
}

TEST_F(Win32RegistryTest, MissingKeysAndBadHandlesFail) {
  RegHandle h = 123;
  EXPECT_EQ(reg_.RegOpenKeyExA(kHkeyCurrentUser, Sub("none").c_str(), 0, kKeyRead, &h),
            kRegNotFound);
  EXPECT_EQ(h, 0u);
  EXPECT_NE(reg_.RegCloseKey(0x12345678), kRegSuccess);
}

TEST_F(Win32RegistryTest, TheRegistryKeyObjectAndPathsWorkOverIt) {
  const std::u16string path = FromAnsi("HKEY_CURRENT_USER\\" + Sub("Player"));
  WriteRegistryPath(reg_, path, u"n", 5);
  EXPECT_EQ(ReadRegistryPath(reg_, path, u"n"), u"5");
  RegistryKey key(reg_);
  key.OpenKey(kHkeyCurrentUser, FromAnsi(Sub("Player")), kKeyRead);
  ASSERT_NE(key.handle(), 0u);
  EXPECT_EQ(key.ValueNames(), NameList{u"n"});
  key.CloseKey();
  // OpenKey with exactly the write rights creates the key.
  key.OpenKey(kHkeyCurrentUser, FromAnsi(Sub("New\\Key")), kKeyWrite);
  EXPECT_NE(key.handle(), 0u);
  key.value(u"t", std::u16string(u"\u00E9t\u00E9"));
  key.CloseKey();
  EXPECT_EQ(ReadRegistryPath(reg_, FromAnsi("HKEY_CURRENT_USER\\" + Sub("New\\Key")), u"t"),
            u"\u00E9t\u00E9");
}

TEST_F(Win32RegistryTest, TheSettingsStoreRegistryFormKeepsSectionsAsSubkeys) {
  testing_support::TempFolder dir{"velane-win32"};
  Win32Profile profile;
  SettingsStore store(profile, &reg_, FromAnsi(dir.File("x.ini")));
  const std::u16string file = FromAnsi("$HKEY_CURRENT_USER\\" + base_);
  EXPECT_EQ(store.ReadSetting(u"Systeme", u"marge", u"2", file, 2), u"2");
  EXPECT_EQ(store.ReadSetting(u"Systeme", u"marge", u"9", file, 1), u"2");
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Sub("Systeme").c_str(), 0, KEY_READ, &k),
            ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_FALSE(fs::exists(dir.File("x.ini")));
}

// ---- command line and paths ------------------------------------------------------

TEST(Win32Process, ArgumentsFollowTheProgramNameQuotedOrNot) {
  EXPECT_EQ(ArgumentsOf("player.exe RUNTIME"), "RUNTIME");
  EXPECT_EQ(ArgumentsOf("\"C:\\Program Files\\V\\player.exe\"   RUNTIME"), "RUNTIME");
  EXPECT_EQ(ArgumentsOf("\"C:\\a b\"\\player.exe x y"), "x y");
  EXPECT_EQ(ArgumentsOf("player.exe"), "");
  EXPECT_EQ(ArgumentsOf("\"player.exe\""), "");
  EXPECT_EQ(ArgumentsOf(""), "");
}

TEST(Win32Process, StartsWithoutWaitingAndReportsWhatCannotStart) {
  Win32Process process;
  EXPECT_NO_THROW(process.Start(u"cmd.exe /c exit 0", 2));
  EXPECT_THROW(process.Start(u"velane-no-such-program.exe -r", 2), std::runtime_error);
}

TEST(Win32Process, ThePlaylistSitsBesideTheExecutable) {
  EXPECT_EQ(PlayerPlaylistBeside(u"D:\\x\\afficheur-settings.exe"), u"D:\\x\\VELANE_Afficheur.ini");
  const auto self = RunningExecutablePath();
  ASSERT_TRUE(self.has_value());
  EXPECT_NE(self->find("unit_tests"), std::string::npos);
}

// ---- windows --------------------------------------------------------------------

TEST(Win32Windows, TheTraceWindowIsBuiltAsDesigned) {
  Win32Toolkit kit;
  auto window = kit.CreateWindow(PrincipalDesign());
  HWND hwnd = HwndOf(window->Handle());
  ASSERT_TRUE(IsWindow(hwnd));
  char caption[64] = {};
  GetWindowTextA(hwnd, caption, sizeof caption);
  EXPECT_STREQ(caption, "VELANE Afficheur");
  EXPECT_FALSE(window->IsVisible());  // created hidden
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 546);
  EXPECT_EQ(client.bottom, 389);
  EXPECT_NE(FindWindowExA(hwnd, nullptr, "LISTBOX", nullptr), nullptr);
  ASSERT_NE(window->Child("traceur"), nullptr);
  EXPECT_EQ(window->Child("traceur")->Text(), u"VELANE Tarvin 2004 - debugger");
  EXPECT_EQ(window->Child("nothing"), nullptr);

  // The composite control tells its size once someone listens, and again
  // when it is resized.
  Control* host = window->Child("DEBUGGER1");
  ASSERT_NE(host, nullptr);
  int width = -1, height = -1;
  host->OnResize([&](int w, int h) { width = w, height = h; });
  kit.DoEvents();
  EXPECT_EQ(width, 529);
  EXPECT_EQ(height, 113);
  host->Place({8, 144, 300, 100});
  EXPECT_EQ(width, 300);
  EXPECT_EQ(height, 100);
}

TEST(Win32Windows, OnlyAFramedWindowClosesAndThenOnlyHides) {
  Win32Toolkit kit;
  auto trace = kit.CreateWindow(PrincipalDesign());
  auto display = kit.CreateWindow(AfficheurDesign());
  int closes = 0;
  trace->OnCloseRequest([&] { ++closes; });
  display->OnCloseRequest([&] { ++closes; });
  trace->Show();
  display->Show();
  SendMessageA(HwndOf(trace->Handle()), WM_CLOSE, 0, 0);
  SendMessageA(HwndOf(display->Handle()), WM_CLOSE, 0, 0);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(trace->IsVisible());
  EXPECT_TRUE(IsWindow(HwndOf(trace->Handle())));
  EXPECT_TRUE(display->IsVisible());
}

TEST(Win32Windows, TheQuitWindowFloatsAndItsButtonClicks) {
  Win32Toolkit kit;
  auto quit = kit.CreateWindow(QuitterDesign());
  HWND hwnd = HwndOf(quit->Handle());
  const LONG_PTR ex = GetWindowLongPtrA(hwnd, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_NOACTIVATE);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CAPTION);
  int clicks = 0;
  quit->Child("Command1")->OnClick([&] { ++clicks; });
  HWND button = FindWindowExA(hwnd, nullptr, "BUTTON", "Quitter");
  ASSERT_NE(button, nullptr);
  SendMessageA(button, BM_CLICK, 0, 0);
  kit.DoEvents();
  EXPECT_EQ(clicks, 1);
  // Raised above everything and shown, as the cursor watch does it.
  kit.SetWindowPos(quit->Handle(), kHwndTopmost,
                   kSwpNoMove | kSwpNoSize | kSwpNoActivate | kSwpShowWindow);
  EXPECT_TRUE(quit->IsVisible());
  EXPECT_TRUE(GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  quit->Hide();
  EXPECT_FALSE(quit->IsVisible());
}

TEST(Win32Windows, TheBrowserIsPlacedInPixelsEvenAtNegativePositions) {
  Win32Toolkit kit;
  auto display = kit.CreateWindow(AfficheurDesign());
  Control* webcam = display->Child("Webcam");
  ASSERT_NE(webcam, nullptr);
  display->Move({0, 0, 800, 600});
  webcam->SetVisible(false);
  webcam->Place({-2, -2, 772, 580});
  EXPECT_FALSE(webcam->IsVisible());
  HWND container = FindWindowExA(HwndOf(display->Handle()), nullptr, "VelaneBrowserHost", nullptr);
  ASSERT_NE(container, nullptr);
  RECT r{};
  GetWindowRect(container, &r);
  POINT origin{0, 0};
  ClientToScreen(HwndOf(display->Handle()), &origin);
  EXPECT_EQ(r.left - origin.x, -2);
  EXPECT_EQ(r.top - origin.y, -2);
  EXPECT_EQ(r.right - r.left, 772);
  EXPECT_EQ(r.bottom - r.top, 580);
  webcam->SetVisible(true);
  EXPECT_TRUE(webcam->IsVisible());
  // With or without a working control, navigating never fails the caller.
  webcam->Navigate(u"C:\\nowhere\\temporaire.html");
}

TEST(Win32Windows, TimersTickThroughTheMessageLoopAndNeverInsideThemselves) {
  Win32Toolkit kit;
  int ticks = 0;
  int depth = 0;
  int deepest = 0;
  auto timer = kit.CreateTimer(10, [&] {
    ++ticks;
    ++depth;
    deepest = std::max(deepest, depth);
    // A handler that yields to the message loop, as the page reader does.
    for (int i = 0; i < 5; ++i) {
      Sleep(15);
      kit.DoEvents();
    }
    --depth;
  });
  for (int i = 0; i < 500 && ticks < 3; ++i) {
    Sleep(5);
    kit.DoEvents();
  }
  EXPECT_GE(ticks, 3);
  EXPECT_EQ(deepest, 1);
  timer.reset();
  const int before = ticks;
  for (int i = 0; i < 5; ++i) {
    Sleep(15);
    kit.DoEvents();
  }
  EXPECT_EQ(ticks, before);
}

// ---- what the browser control and the passer-by are refused ----------------------

TEST(Win32Lockdown, ShortcutsThatOpenWindowsAreSwallowedTypingPasses) {
  const KeyModifiers none{};
  const KeyModifiers ctrl{true, false, false};
  const KeyModifiers ctrlShift{true, true, false};
  const KeyModifiers shift{false, true, false};
  const KeyModifiers alt{false, false, true};
  const KeyModifiers altGr{true, false, true};
  struct Row {
    UINT message;
    WPARAM key;
    KeyModifiers modifiers;
    bool swallowed;
    const char* what;
  };
  const Row rows[] = {
      {WM_KEYDOWN, 'P', ctrl, true, "Ctrl+P print"},
      {WM_KEYDOWN, 'F', ctrl, true, "Ctrl+F find"},
      {WM_KEYDOWN, 'O', ctrl, true, "Ctrl+O open"},
      {WM_KEYDOWN, 'N', ctrl, true, "Ctrl+N new window"},
      {WM_KEYDOWN, 'L', ctrl, true, "Ctrl+L open location"},
      {WM_KEYDOWN, 'S', ctrl, true, "Ctrl+S save as"},
      {WM_KEYDOWN, 'P', ctrlShift, true, "Ctrl+Shift+P private window"},
      {WM_KEYDOWN, VK_F11, none, true, "F11 full screen"},
      {WM_KEYDOWN, VK_F1, none, true, "F1 help"},
      {WM_KEYDOWN, VK_F7, none, true, "F7 caret browsing"},
      {WM_KEYDOWN, VK_F12, none, true, "F12 developer tools"},
      {WM_KEYDOWN, VK_APPS, none, true, "the menu key"},
      {WM_SYSKEYDOWN, VK_F10, shift, true, "Shift+F10 context menu"},
      {WM_SYSKEYDOWN, VK_LEFT, alt, true, "Alt+Left back"},
      {WM_SYSKEYDOWN, VK_HOME, alt, true, "Alt+Home home page"},
      {WM_KEYDOWN, VK_OEM_PLUS, ctrl, true, "Ctrl++ zoom"},
      {WM_KEYDOWN, '0', ctrl, true, "Ctrl+0 zoom"},
      {WM_KEYDOWN, VK_DELETE, ctrlShift, true, "Ctrl+Shift+Del history dialog"},
      {WM_KEYDOWN, VK_BROWSER_BACK, none, true, "the keyboard's back key"},
      {WM_KEYDOWN, 'P', none, false, "plain P"},
      {WM_KEYDOWN, 'F', shift, false, "capital F"},
      {WM_KEYDOWN, 'A', none, false, "plain A"},
      {WM_KEYDOWN, VK_LEFT, none, false, "left arrow"},
      {WM_KEYDOWN, VK_DOWN, none, false, "down arrow"},
      {WM_KEYDOWN, VK_RETURN, none, false, "Enter"},
      {WM_KEYDOWN, VK_TAB, none, false, "Tab"},
      {WM_KEYDOWN, VK_BACK, none, false, "Backspace in a field"},
      {WM_KEYDOWN, VK_SPACE, none, false, "space"},
      {WM_KEYDOWN, VK_F5, none, false, "F5 reloads the slide"},
      {WM_KEYDOWN, 'C', ctrl, false, "Ctrl+C copy"},
      {WM_KEYDOWN, 'V', ctrl, false, "Ctrl+V paste"},
      {WM_KEYDOWN, 'A', ctrl, false, "Ctrl+A select all"},
      {WM_KEYDOWN, 'O', altGr, false, "AltGr+O types a letter"},
      {WM_KEYDOWN, 'E', altGr, false, "AltGr+E types the euro sign"},
      {WM_SYSKEYDOWN, VK_F4, alt, false, "Alt+F4, which the display window ignores"},
      {WM_KEYUP, 'P', ctrl, false, "the release of Ctrl+P"},
      {WM_CHAR, 'p', none, false, "a typed character"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(SwallowsKey(row.message, row.key, row.modifiers), row.swallowed) << row.what;
}

TEST(Win32Lockdown, TheHostRefusesPrintingAndKeepsScriptsRunning) {
  // {F38BC242-B950-11D1-8918-00C04FC2C836}
  const GUID docHost = {
      0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};
  const GUID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_TRUE(HostKnowsCommandGroup(nullptr));
  EXPECT_TRUE(HostKnowsCommandGroup(&docHost));
  EXPECT_FALSE(HostKnowsCommandGroup(&other));
  EXPECT_EQ(HostCommandFor(&docHost, OLECMDID_SHOWSCRIPTERROR), HostCommand::KeepScriptRunning);
  for (const DWORD id : {OLECMDID_SHOWPRINT, OLECMDID_SHOWPAGESETUP, OLECMDID_SHOWFIND,
                         OLECMDID_PRINT, OLECMDID_PRINT2, OLECMDID_PRINTPREVIEW2}) {
    EXPECT_EQ(HostCommandFor(&docHost, id), HostCommand::Refused) << id;
  }
  for (const DWORD id : {OLECMDID_PRINT, OLECMDID_PRINTPREVIEW, OLECMDID_PAGESETUP, OLECMDID_SAVEAS,
                         OLECMDID_OPEN, OLECMDID_NEW}) {
    EXPECT_EQ(HostCommandFor(nullptr, id), HostCommand::Refused) << id;
  }
  // The control's own business: its message boxes go to IDocHostShowUI,
  // copy and refresh are its own.
  EXPECT_EQ(HostCommandFor(&docHost, OLECMDID_SHOWMESSAGE), HostCommand::NotOurs);
  EXPECT_EQ(HostCommandFor(nullptr, OLECMDID_COPY), HostCommand::NotOurs);
  EXPECT_EQ(HostCommandFor(nullptr, OLECMDID_REFRESH), HostCommand::NotOurs);
  EXPECT_EQ(HostCommandFor(nullptr, OLECMDID_SHOWSCRIPTERROR), HostCommand::NotOurs);
  EXPECT_EQ(HostCommandFor(&other, OLECMDID_PRINT), HostCommand::NotOurs);
  // The folder of a file field's file stays on the machine; the rest is the
  // zones' answer.
  EXPECT_EQ(UrlActionPolicy(URLACTION_HTML_INCLUDE_FILE_PATH, "https://x.test/", ""),
            DWORD(URLPOLICY_DISALLOW));
  EXPECT_EQ(UrlActionPolicy(URLACTION_SHELL_FILE_DOWNLOAD, "https://x.test/", "C:\\v"),
            std::nullopt);
}

TEST(Win32Lockdown, UnderTheMachineLockdownOnlyTheContentRootsPagesRunScript) {
  struct Row {
    const char* url;
    std::optional<std::string> path;
  };
  const Row rows[] = {
      {"file:///C:/Velane/flashs/00001/temporaire.html",
       "c:\\velane\\flashs\\00001\\temporaire.html"},
      {"file://C:\\Velane\\a.html", "c:\\velane\\a.html"},
      {"FILE:c:/velane/a.html?x=1#top", "c:\\velane\\a.html"},
      {"file:///C:/Program%20Files/V/a.html", "c:\\program files\\v\\a.html"},
      {"file://server/share/a.html", "\\\\server\\share\\a.html"},
      {"file:///C:/Velane/../Users/a.html", std::nullopt},
      {"file:///C:/Velane/%2e%2e/Users/a.html", std::nullopt},
      {"file:///C:/Velane/.../a.html", std::nullopt},
      {"file:///C:/Velane/%zz/a.html", std::nullopt},
      {"file:///C:/Velane/a%00.html", std::nullopt},
      {"file:///C:/Velane/a%2", std::nullopt},
      {"file:////server/share/a.html", std::nullopt},
      {"file:relative.html", std::nullopt},
      {"http://C:/Velane/a.html", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(LocalPathOfFileUrl(row.url), row.path) << row.url;

  const auto policy = [](const char* url, const char* root) {
    return UrlActionPolicy(URLACTION_SCRIPT_RUN, url, root);
  };
  const std::optional<DWORD> allow = DWORD(URLPOLICY_ALLOW);
  EXPECT_EQ(policy("file:///C:/Velane/flashs/00003/horloge.html", "C:\\Velane"), allow);
  EXPECT_EQ(policy("file:///c:/velane/modeles/video.html", "C:\\Velane\\"), allow);
  EXPECT_EQ(policy("file://server/share/v/a.html", "\\\\server\\share\\v"), allow);
  // The lockdown decides for everything else.
  EXPECT_EQ(policy("file:///C:/Velane2/a.html", "C:\\Velane"), std::nullopt);
  EXPECT_EQ(policy("file:///C:/Users/x/a.html", "C:\\Velane"), std::nullopt);
  EXPECT_EQ(policy("file:///C:/Velane/../Users/a.html", "C:\\Velane"), std::nullopt);
  EXPECT_EQ(policy("https://example.test/C:/Velane/a.html", "C:\\Velane"), std::nullopt);
  EXPECT_EQ(policy("file:///C:/Velane/a.html", ""), std::nullopt);
  EXPECT_EQ(UrlActionPolicy(URLACTION_ACTIVEX_RUN, "file:///C:/Velane/a.html", "C:\\Velane"),
            std::nullopt);
}

TEST(Win32Lockdown, OnlyTheBrowsersDialogsAreRefused) {
  EXPECT_TRUE(RefusesDialog("#32770", WS_POPUP | WS_CAPTION, true));
  EXPECT_FALSE(RefusesDialog("#32770", WS_POPUP | WS_CAPTION, false));
  EXPECT_FALSE(RefusesDialog("#32770", WS_CHILD, true));
  EXPECT_TRUE(RefusesDialog("Internet Explorer_TridentDlgFrame", WS_POPUP, true));
  EXPECT_FALSE(RefusesDialog("VelaneWindow", WS_POPUP, true));

  // Dialog windows as the control makes them, owned by the display window
  // or by the browser's own windows: not created. The player's own windows
  // are made as ever.
  Win32Toolkit kit;
  auto display = kit.CreateWindow(AfficheurDesign());
  auto trace = kit.CreateWindow(PrincipalDesign());
  const HWND displayHwnd = HwndOf(display->Handle());
  const HWND container = FindWindowExA(displayHwnd, nullptr, "VelaneBrowserHost", nullptr);
  ASSERT_NE(container, nullptr);
  const auto dialogOwnedBy = [](HWND owner, DWORD style) {
    return CreateWindowExA(0, "#32770", "dialog", style, 0, 0, 100, 100, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  };
  EXPECT_EQ(dialogOwnedBy(displayHwnd, WS_POPUP | WS_CAPTION), nullptr);
  EXPECT_EQ(dialogOwnedBy(container, WS_POPUP | WS_CAPTION), nullptr);
  const HWND ownedByTrace = dialogOwnedBy(HwndOf(trace->Handle()), WS_POPUP | WS_CAPTION);
  EXPECT_NE(ownedByTrace, nullptr);
  DestroyWindow(ownedByTrace);
  const HWND childPage = dialogOwnedBy(displayHwnd, WS_CHILD);
  EXPECT_NE(childPage, nullptr);
  DestroyWindow(childPage);
  auto quit = kit.CreateWindow(QuitterDesign());
  EXPECT_TRUE(IsWindow(HwndOf(quit->Handle())));
  // With the display window, the hold goes.
  display.reset();
  const HWND later = dialogOwnedBy(HwndOf(trace->Handle()), WS_POPUP);
  EXPECT_NE(later, nullptr);
  DestroyWindow(later);
}

TEST(Win32Lockdown, TheSiteAnswersTheControlAndSaysOncePerSlideWhatItRefused) {
  const GUID docHost = {
      0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};
  const GUID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  OleSession ole;  // as the player's main thread
  ASSERT_TRUE(ole.ok());
  Win32Toolkit kit;
  const HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(parent, nullptr);
  std::vector<std::string> lines;
  const auto told = [&lines](const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
  };
  {
    WebBrowserHost host(parent, RECT{0, 0, 200, 200},
                        [&lines](const std::string& line) { lines.push_back(line); });
    ASSERT_NE(host.Site(), nullptr) << "no WebBrowser control here";

    // What MSHTML hands its host, as the control asks it.
    IOleCommandTarget* target = nullptr;
    ASSERT_EQ(host.Site()->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&target)),
              S_OK);
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(target->Exec(&docHost, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BOOL);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);  // the page's scripts go on
    EXPECT_EQ(target->Exec(&docHost, OLECMDID_SHOWPRINT, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(target->Exec(nullptr, OLECMDID_PRINT, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(target->Exec(&docHost, OLECMDID_SHOWMESSAGE, 0, nullptr, nullptr),
              OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(target->Exec(&other, OLECMDID_PRINT, 0, nullptr, nullptr), OLECMDERR_E_UNKNOWNGROUP);
    OLECMD commands[2] = {{OLECMDID_PRINT, 0}, {OLECMDID_COPY, 0}};
    EXPECT_EQ(target->QueryStatus(nullptr, 2, commands, nullptr), S_OK);
    EXPECT_EQ(commands[0].cmdf, DWORD(OLECMDF_SUPPORTED));  // known, never enabled
    EXPECT_EQ(commands[1].cmdf, 0u);
    target->Release();
    EXPECT_EQ(told("refused: printing"), 1);

    // The security manager, found as the control looks for it.
    IServiceProvider* services = nullptr;
    ASSERT_EQ(
        host.Site()->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services)),
        S_OK);
    IInternetSecurityManager* manager = nullptr;
    ASSERT_EQ(services->QueryService(SID_SInternetSecurityManager, IID_IInternetSecurityManager,
                                     reinterpret_cast<void**>(&manager)),
              S_OK);
    services->Release();
    const auto policyFor = [manager](const wchar_t* url, DWORD action, DWORD& policy) {
      policy = 99;
      return manager->ProcessUrlAction(url, action, reinterpret_cast<BYTE*>(&policy), sizeof policy,
                                       nullptr, 0, 0, 0);
    };
    DWORD policy = 0;
    EXPECT_EQ(policyFor(L"https://x.test/", URLACTION_HTML_INCLUDE_FILE_PATH, policy), S_FALSE);
    EXPECT_EQ(policy, DWORD(URLPOLICY_DISALLOW));
    WebBrowserHost::SetContentRoot("C:\\Velane");
    EXPECT_EQ(
        policyFor(L"file:///C:/Velane/flashs/00001/temporaire.html", URLACTION_SCRIPT_RUN, policy),
        S_OK);
    EXPECT_EQ(policy, DWORD(URLPOLICY_ALLOW));
    EXPECT_EQ(policyFor(L"file:///C:/Users/a.html", URLACTION_SCRIPT_RUN, policy),
              INET_E_DEFAULT_ACTION);
    WebBrowserHost::SetContentRoot("");
    EXPECT_EQ(policyFor(L"file:///C:/Velane/a.html", URLACTION_SCRIPT_RUN, policy),
              INET_E_DEFAULT_ACTION);
    manager->Release();

    // A page that keeps opening dialogs is told once per slide.
    const auto dialog = [parent] {
      return CreateWindowExA(0, "#32770", "", WS_POPUP, 0, 0, 50, 50, parent, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    };
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_EQ(told("refused: a dialog"), 1);
    host.Navigate(L"C:\\nowhere\\next.html");
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_EQ(told("refused: a dialog"), 2);
    EXPECT_EQ(told("refused: printing"), 1);
  }
  DestroyWindow(parent);
}

// Counts the key presses that reach the browser's container.
int keysAtContainer = 0;
WNDPROC containerProc = nullptr;
LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) ++keysAtContainer;
  return CallWindowProcA(containerProc, hwnd, message, wParam, lParam);
}

TEST(Win32Lockdown, TheMessageLoopDropsTheBrowsersShortcuts) {
  Win32Toolkit kit;
  auto display = kit.CreateWindow(AfficheurDesign());
  auto trace = kit.CreateWindow(PrincipalDesign());
  const HWND container =
      FindWindowExA(HwndOf(display->Handle()), nullptr, "VelaneBrowserHost", nullptr);
  ASSERT_NE(container, nullptr);
  const auto message = [](HWND to, UINT what, WPARAM key) {
    MSG msg{};
    msg.hwnd = to;
    msg.message = what;
    msg.wParam = key;
    return msg;
  };
  EXPECT_TRUE(WebBrowserHost::DropsKey(message(container, WM_KEYDOWN, VK_F11)));
  EXPECT_FALSE(WebBrowserHost::DropsKey(message(container, WM_KEYDOWN, 'A')));
  EXPECT_FALSE(WebBrowserHost::DropsKey(message(container, WM_KEYUP, VK_F11)));
  // Outside the browser, keys are not its business.
  EXPECT_FALSE(WebBrowserHost::DropsKey(message(HwndOf(trace->Handle()), WM_KEYDOWN, VK_F11)));
  EXPECT_FALSE(WebBrowserHost::DropsKey(message(HwndOf(display->Handle()), WM_KEYDOWN, VK_F11)));

  // The modifiers as the thread's keyboard state holds them.
  BYTE saved[256];
  ASSERT_TRUE(GetKeyboardState(saved));
  BYTE held[256];
  std::copy(std::begin(saved), std::end(saved), std::begin(held));
  held[VK_CONTROL] = held[VK_LCONTROL] = 0x80;
  ASSERT_TRUE(SetKeyboardState(held));
  EXPECT_TRUE(WebBrowserHost::DropsKey(message(container, WM_KEYDOWN, 'P')));
  EXPECT_FALSE(WebBrowserHost::DropsKey(message(container, WM_KEYDOWN, 'C')));
  held[VK_MENU] = held[VK_RMENU] = 0x80;  // AltGr
  ASSERT_TRUE(SetKeyboardState(held));
  EXPECT_FALSE(WebBrowserHost::DropsKey(message(container, WM_KEYDOWN, 'P')));
  SetKeyboardState(saved);

  // Through the loop: of F11, F1 and A, only A arrives.
  containerProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(container, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc)));
  keysAtContainer = 0;
  PostMessageA(container, WM_KEYDOWN, VK_F11, 0);
  PostMessageA(container, WM_KEYDOWN, VK_F1, 0);
  PostMessageA(container, WM_KEYDOWN, 'A', 0);
  kit.DoEvents();
  SetWindowLongPtrA(container, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(containerProc));
  EXPECT_EQ(keysAtContainer, 1);
}

class Win32BrowserFeatures : public Win32RegistryTest {};

TEST_F(Win32BrowserFeatures, AreWrittenForThisProgramAloneAndFailuresAreTold) {
  EXPECT_EQ(ExecutableBaseName("C:\\Program Files\\VELANE\\VELANE_Afficheur.exe"),
            "VELANE_Afficheur.exe");
  EXPECT_EQ(ExecutableBaseName("Z:/tmp/x/player.exe"), "player.exe");
  EXPECT_EQ(ExecutableBaseName("player.exe"), "player.exe");
  EXPECT_EQ(ExecutableBaseName(""), "");

  // Another program's settings, and a stale value of ours.
  const std::string emulation = Sub("FEATURE_BROWSER_EMULATION");
  const DWORD theirs = 7000;
  const DWORD stale = 7000;
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, emulation.c_str(), "other.exe", REG_DWORD, &theirs,
                            sizeof theirs),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, emulation.c_str(), "VELANE_Afficheur.exe", REG_DWORD,
                            &stale, sizeof stale),
            ERROR_SUCCESS);
  EXPECT_EQ(WriteBrowserFeatures(HKEY_CURRENT_USER, base_, "VELANE_Afficheur.exe"), "");
  const auto read = [](const std::string& key, const char* name) -> std::optional<DWORD> {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY, &type, &value, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
      return std::nullopt;
    return value;
  };
  EXPECT_EQ(read(emulation, "VELANE_Afficheur.exe"), DWORD(11001));
  EXPECT_EQ(read(Sub("FEATURE_LOCALMACHINE_LOCKDOWN"), "VELANE_Afficheur.exe"), DWORD(1));
  EXPECT_EQ(read(emulation, "other.exe"), theirs);
  EXPECT_EQ(read(Sub("FEATURE_LOCALMACHINE_LOCKDOWN"), "other.exe"), std::nullopt);

  // What cannot be written is named, never thrown.
  const std::string failed =
      WriteBrowserFeatures(reinterpret_cast<HKEY>(std::intptr_t{0x7654}), base_, "x.exe");
  EXPECT_NE(failed.find("FEATURE_BROWSER_EMULATION"), std::string::npos) << failed;
  EXPECT_NE(failed.find("FEATURE_LOCALMACHINE_LOCKDOWN"), std::string::npos) << failed;
  EXPECT_NE(WriteBrowserFeatures(HKEY_CURRENT_USER, base_, ""), "");
}

}  // namespace
}  // namespace velane::win32
