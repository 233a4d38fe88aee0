// The services the player needs from the machine it runs on. The handlers
// (load, ticks, clicks) are written against these interfaces only, so each
// one can be driven headless by the fakes under tests/fakes, and a second
// platform (GTK/WebKit on X11 today) only has to fill them in.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velane {
struct WindowDesign;  // src/windows/designs.h
}

namespace velane::platform {

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PixelRect&) const = default;
};

struct PixelSize {
  int width = 0;
  int height = 0;
};

// A child control of a window. Every control can be shown, hidden and placed
// in its parent's pixels; the kind-specific operations below only do
// something on controls of that kind (the design decides the kind).
class Control {
 public:
  virtual ~Control() = default;
  virtual void SetVisible(bool visible) = 0;
  virtual bool IsVisible() const = 0;
  // Position and size in pixels of the parent; negative positions allowed,
  // the part outside the parent is cut off.
  virtual void Place(PixelRect rect) = 0;
  virtual PixelRect Placement() const = 0;

  // Labels.
  virtual void SetText(const std::u16string& text) = 0;
  virtual std::u16string Text() const = 0;

  // Browser control: show the local file at this full path.
  virtual void Navigate(const std::u16string& path) = 0;
  // Browser control: what the engine rendered of its page, scaled down to
  // at most maxWidth pixels wide, as a PNG file replaced whole at this
  // path, once the page has loaded. Later, in the message loop; nothing
  // where the platform cannot take such a picture.
  virtual void SaveSnapshot(const std::u16string& path, int maxWidth) = 0;
  // Browser control: whether the process that runs its pages is shut in a
  // sandbox (a file system of its own); none when not known (no page
  // process yet, or a platform that cannot tell).
  virtual std::optional<bool> PageProcessSandboxed() = 0;

  // Buttons: the click; composite controls: a size change.
  virtual void OnClick(std::function<void()> handler) = 0;
  virtual void OnResize(std::function<void(int width, int height)> handler) = 0;
};

// A top-level window created from its design, with all its child controls.
class Window {
 public:
  virtual ~Window() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool IsVisible() const = 0;
  // Place and size of the window on the screen, in pixels.
  virtual void Move(PixelRect rect) = 0;
  virtual PixelRect Placement() const = 0;
  // A 32-bit handle that names the window for z-order changes.
  virtual std::uint32_t Handle() const = 0;
  // The child control of that design name; nullptr when there is none.
  virtual Control* Child(std::string_view name) = 0;
  // The user closed the window through its frame (the trace window has a
  // close box). The window has already been hidden, not destroyed.
  virtual void OnCloseRequest(std::function<void()> handler) = 0;
};

// A running window timer; destroying it stops it. Ticks arrive on the user
// interface thread through the message loop.
class Timer {
 public:
  virtual ~Timer() = default;
  // A resting timer may deliver no ticks (or only a rare safety beat) until
  // it is resumed; its next tick then comes one interval later. A timer
  // that cannot rest keeps ticking.
  virtual void Pause() = 0;
  virtual void Resume() = 0;
};

struct LocalTime {
  int year = 2000;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

// z-order requests, as SetWindowPos takes them.
inline constexpr std::int32_t kHwndTopmost = -1;
inline constexpr std::int32_t kHwndNoTopmost = -2;
inline constexpr std::uint32_t kSwpNoSize = 0x0001;
inline constexpr std::uint32_t kSwpNoMove = 0x0002;
inline constexpr std::uint32_t kSwpNoActivate = 0x0010;
inline constexpr std::uint32_t kSwpShowWindow = 0x0040;

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  virtual std::unique_ptr<Window> CreateWindow(const WindowDesign& design) = 0;
  virtual std::unique_ptr<Timer> CreateTimer(int intervalMs, std::function<void()> tick) = 0;
  virtual PixelSize ScreenSize() = 0;
  // SetWindowPos with place and size left alone: z-order, show, activation.
  virtual void SetWindowPos(std::uint32_t handle, std::int32_t insertAfter,
                            std::uint32_t flags) = 0;
};

// "Let the message loop handle all pending messages" (yield point).
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void DoEvents() = 0;
};

class Cursor {
 public:
  virtual ~Cursor() = default;
  // Position in screen pixels; false when it cannot be read.
  virtual bool GetPos(std::int32_t& x, std::int32_t& y) = 0;
  // Raises (true) or lowers (false) the display count and returns the new
  // count; the pointer is visible while the count is 0 or more.
  virtual int ShowCursor(bool show) = 0;
  // Calls onMotion whenever the pointer moves, where the platform can tell
  // (so a watcher need not poll while the pointer rests); false where it
  // cannot.
  virtual bool WatchMotion(std::function<void()> onMotion) = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
};

// The screen itself, outside the windows: its power, and the player's hold
// on the screen saver and on the system's idleness.
class Screen {
 public:
  virtual ~Screen() = default;
  // Asks the display to power down (false) or back up (true). False, with
  // the reason in why, where the platform offers no way to: the screen
  // then stays powered, black.
  virtual bool SetDisplayPower(bool on, std::string& why) = 0;
  // Keeps the screen saver and idle power-down away (true, as at start), or
  // lets go of them (false).
  virtual void HoldAwake(bool hold) = 0;
};

// The system's restart command line ("shutdown.exe -r" on Windows).
extern const char16_t kRestartCommand[];

// What the program and the processes it started use, as far as the
// platform can tell.
struct ResourceUse {
  std::optional<std::uint64_t> memoryKb;  // proportional set size, summed
  std::optional<double> cpuSeconds;       // user and system time so far
  double elapsedSeconds = 0;              // of a steady clock, for differences
};

// Process control: start a command line without waiting, and the two
// immediate exits.
class Process {
 public:
  virtual ~Process() = default;
  // Starts the command line (the program found on PATH like any bare
  // command name); throws std::runtime_error when it cannot be started.
  virtual void Start(const std::u16string& commandLine, int showWindow) = 0;
  // Starts the command line as Start does, then waits up to timeoutMs for
  // it to end, handling nothing else meanwhile: a command that only files
  // a request (the restart command schedules the restart and returns) has
  // then had it accepted before this program goes. Returns its exit
  // status, or nothing when it was still running at the timeout.
  virtual std::optional<int> StartAndWait(const std::u16string& commandLine, int showWindow,
                                          int timeoutMs) = 0;
  // Ends the program at once; no handler runs after it.
  [[noreturn]] virtual void End(int exitCode) = 0;
  // Full path of the running executable.
  virtual std::u16string ExecutablePath() = 0;
  // The command line without the program's own path and the blanks after it.
  virtual std::u16string ArgumentText() = 0;
  // The machine's name on the network (the host name); empty when unknown.
  virtual std::u16string MachineName() = 0;
  // This program and every process below it.
  virtual ResourceUse Usage() = 0;
};

// All services together, handed to the program at start.
struct Platform {
  Toolkit& toolkit;
  MessagePump& pump;
  Cursor& cursor;
  Clock& clock;
  Process& process;
  Screen& screen;
};

}  // namespace velane::platform
