// The platform layer on Windows: Win32 windows and controls, SetTimer
// timers, the message pump, the cursor, the local clock and processes. Text
// crosses every system call in the ANSI code page.
#pragma once

#include <windows.h>
// The platform interfaces have a method of that name.
#undef CreateWindow

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace velane::win32 {

class Win32Timer;

// The window classes of the player and the hidden window that receives the
// timers' ticks. One per process, created before any window.
class Win32Toolkit : public platform::Toolkit, public platform::MessagePump {
 public:
  Win32Toolkit();
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  std::unique_ptr<platform::Window> CreateWindow(const WindowDesign& design) override;
  std::unique_ptr<platform::Timer> CreateTimer(int intervalMs, std::function<void()> tick) override;
  platform::PixelSize ScreenSize() override;
  void SetWindowPos(std::uint32_t handle, std::int32_t insertAfter, std::uint32_t flags) override;
  void DoEvents() override;

  // The message loop of the program; returns the exit code of WM_QUIT.
  int Run();

  // Where the browser control reports that it cannot work.
  void SetBrowserReporter(std::function<void(const std::string&)> report) {
    browserReporter_ = std::move(report);
  }
  void ReportBrowser(const std::string& line);

  // Used by the timers.
  UINT_PTR AddTimer(Win32Timer* timer, UINT intervalMs);
  void RemoveTimer(UINT_PTR id);

 private:
  static LRESULT CALLBACK TimerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static bool Dispatch(MSG& msg);

  HWND timerWindow_ = nullptr;
  UINT_PTR nextTimerId_ = 1;
  std::map<UINT_PTR, Win32Timer*> timers_;
  std::function<void(const std::string&)> browserReporter_;
};

// A window timer: a tick every interval, on the user-interface thread. A
// tick that arrives while the previous one still runs (its handler let the
// message loop run) is dropped, so a handler never runs inside itself.
class Win32Timer : public platform::Timer {
 public:
  Win32Timer(Win32Toolkit& kit, int intervalMs, std::function<void()> tick);
  ~Win32Timer() override;
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;
  void Fire();
  // A window timer keeps ticking: the handlers are cheap when idle.
  void Pause() override {}
  void Resume() override {}

 private:
  Win32Toolkit& kit_;
  std::function<void()> tick_;
  UINT_PTR id_ = 0;
  bool running_ = false;
};

// GetCursorPos and the display count of ShowCursor, as the system keeps it.
class Win32Cursor : public platform::Cursor {
 public:
  bool GetPos(std::int32_t& x, std::int32_t& y) override;
  int ShowCursor(bool show) override;
  // No motion events here: the cursor watch polls.
  bool WatchMotion(std::function<void()>) override { return false; }
};

class LocalClock : public platform::Clock {
 public:
  platform::LocalTime Now() override;
};

class Win32Process : public platform::Process {
 public:
  // Starts the command line with CreateProcess (searched like any bare
  // command: the program's folder, the current folder, the system folders,
  // then PATH), shown as asked, without waiting for it.
  void Start(const std::u16string& commandLine, int showWindow) override;
  std::optional<int> StartAndWait(const std::u16string& commandLine, int showWindow,
                                  int timeoutMs) override;
  [[noreturn]] void End(int exitCode) override;
  std::u16string ExecutablePath() override;
  std::u16string ArgumentText() override;
  std::u16string MachineName() override;
  // Not measured on Windows: nothing known.
  platform::ResourceUse Usage() override { return {}; }
};

// The text after the program's own name on a command line (quoted or
// not), without the blanks that follow the name.
std::string ArgumentsOf(const std::string& commandLine);

// The running executable's full path, in the code page; empty when the
// system cannot tell.
std::string ModulePath();

// COM and OLE for the user-interface thread, for the life of the object.
class OleSession {
 public:
  OleSession();
  ~OleSession();
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// Keeps the display on and the machine awake while the player runs.
class KeepDisplayOn {
 public:
  KeepDisplayOn();
  ~KeepDisplayOn();
  KeepDisplayOn(const KeepDisplayOn&) = delete;
  KeepDisplayOn& operator=(const KeepDisplayOn&) = delete;
};

// The screen on Windows: the monitors' power through the system command
// broadcast to the top-level windows (SC_MONITORPOWER), and the hold of
// KeepDisplayOn, taken at start.
class Win32Screen : public platform::Screen {
 public:
  Win32Screen();
  bool SetDisplayPower(bool on, std::string& why) override;
  void HoldAwake(bool hold) override;

 private:
  std::unique_ptr<KeepDisplayOn> hold_;
};

}  // namespace velane::win32
