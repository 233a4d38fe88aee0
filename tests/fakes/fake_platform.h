// Fakes of the platform layer: everything a handler can touch, recorded and
// driven by the test. Timers fire only when the test says so.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "windows/designs.h"

namespace velane::fakes {

// Thrown by FakeProcess::End so a test sees the program end; deliberately
// not a std::exception, so no handler's failure guard swallows it.
struct ProgramEnded {
  int exitCode;
};

class FakeControl : public platform::Control {
 public:
  explicit FakeControl(const ControlDesign& d)
      : name(d.name), kind(d.kind), rect(d.rect), text(d.caption) {}
  void SetVisible(bool v) override { visible = v; }
  bool IsVisible() const override { return visible; }
  void Place(platform::PixelRect r) override {
    bool resized = r.width != rect.width || r.height != rect.height;
    rect = r;
    ++placeCount;
    if (resized && onResize) onResize(r.width, r.height);
  }
  platform::PixelRect Placement() const override { return rect; }
  void SetText(const std::u16string& t) override { text = t; }
  std::u16string Text() const override { return text; }
  void Navigate(const std::u16string& path) override { navigations.push_back(path); }
  void SaveSnapshot(const std::u16string& path, int maxWidth) override {
    snapshots.push_back({path, maxWidth});
  }
  std::optional<bool> PageProcessSandboxed() override {
    ++sandboxAsked;
    return sandboxed;
  }
  void OnClick(std::function<void()> h) override { onClick = std::move(h); }
  void OnResize(std::function<void(int, int)> h) override { onResize = std::move(h); }

  std::string name;
  ControlKind kind;
  platform::PixelRect rect;
  std::u16string text;
  bool visible = true;
  int placeCount = 0;
  std::vector<std::u16string> navigations;
  struct Snapshot {
    std::u16string path;
    int maxWidth;
  };
  std::vector<Snapshot> snapshots;
  std::optional<bool> sandboxed;
  int sandboxAsked = 0;
  std::function<void()> onClick;
  std::function<void(int, int)> onResize;
};

class FakeWindow : public platform::Window {
 public:
  FakeWindow(const WindowDesign& d, std::uint32_t handle, std::vector<FakeWindow*>& registry)
      : name(d.name), caption(d.caption), rect(d.rect), handle_(handle), registry_(registry) {
    for (const ControlDesign& c : d.children) AddControl(c);
    registry_.push_back(this);
  }
  ~FakeWindow() override { std::erase(registry_, this); }
  void Show() override {
    visible = true;
    zOrder = ++*zCounter;
  }
  void Hide() override { visible = false; }
  bool IsVisible() const override { return visible; }
  void Move(platform::PixelRect r) override { rect = r; }
  platform::PixelRect Placement() const override { return rect; }
  std::uint32_t Handle() const override { return handle_; }
  platform::Control* Child(std::string_view n) override {
    auto it = controls.find(std::string(n));
    return it == controls.end() ? nullptr : it->second.get();
  }
  void OnCloseRequest(std::function<void()> h) override { onClose = std::move(h); }
  FakeControl& control(const std::string& n) { return *controls.at(n); }
  // The user closes the window through its frame.
  void UserClose() {
    visible = false;
    if (onClose) onClose();
  }

  std::string name;
  std::u16string caption;
  platform::PixelRect rect;
  bool visible = false;
  bool topmost = false;
  bool activated = false;
  int zOrder = 0;  // larger is above
  int* zCounter = nullptr;
  std::map<std::string, std::unique_ptr<FakeControl>> controls;
  std::function<void()> onClose;

 private:
  void AddControl(const ControlDesign& c) {
    controls[c.name] = std::make_unique<FakeControl>(c);
    for (const ControlDesign& child : c.children) AddControl(child);
  }
  std::uint32_t handle_;
  std::vector<FakeWindow*>& registry_;
};

class FakeTimer;

class FakeToolkit : public platform::Toolkit {
 public:
  std::unique_ptr<platform::Window> CreateWindow(const WindowDesign& design) override;
  std::unique_ptr<platform::Timer> CreateTimer(int intervalMs, std::function<void()> tick) override;
  platform::PixelSize ScreenSize() override { return screen; }
  void SetWindowPos(std::uint32_t handle, std::int32_t insertAfter, std::uint32_t flags) override {
    windowPosCalls.push_back({handle, insertAfter, flags});
    for (FakeWindow* w : windows) {
      if (w->Handle() != handle) continue;
      w->topmost = insertAfter == platform::kHwndTopmost;
      if (flags & platform::kSwpShowWindow) w->Show();
      if (!(flags & platform::kSwpNoActivate)) w->activated = true;
    }
  }

  // The window of that design name, or nullptr before its creation.
  FakeWindow* window(const std::string& name) {
    for (FakeWindow* w : windows)
      if (w->name == name) return w;
    return nullptr;
  }
  // Fires every live timer of that interval once, in creation order.
  void Fire(int intervalMs);

  struct WindowPosCall {
    std::uint32_t handle;
    std::int32_t insertAfter;
    std::uint32_t flags;
  };
  platform::PixelSize screen{1280, 720};
  std::vector<FakeWindow*> windows;  // owned by the program
  std::vector<FakeTimer*> timers;
  std::vector<WindowPosCall> windowPosCalls;
  int zCounter = 0;
  std::uint32_t nextHandle = 0x1000;
};

class FakeTimer : public platform::Timer {
 public:
  FakeTimer(FakeToolkit& kit, int interval, std::function<void()> tick)
      : kit_(kit), interval(interval), tick(std::move(tick)) {
    kit_.timers.push_back(this);
  }
  ~FakeTimer() override { std::erase(kit_.timers, this); }
  void Pause() override { paused = true; }
  void Resume() override { paused = false; }
  FakeToolkit& kit_;
  int interval;
  bool paused = false;
  std::function<void()> tick;
};

inline std::unique_ptr<platform::Window> FakeToolkit::CreateWindow(const WindowDesign& design) {
  auto w = std::make_unique<FakeWindow>(design, nextHandle++, windows);
  w->zCounter = &zCounter;
  return w;
}

inline std::unique_ptr<platform::Timer> FakeToolkit::CreateTimer(int intervalMs,
                                                                 std::function<void()> tick) {
  return std::make_unique<FakeTimer>(*this, intervalMs, std::move(tick));
}

inline void FakeToolkit::Fire(int intervalMs) {
  std::vector<FakeTimer*> due;
  for (FakeTimer* t : timers)
    if (t->interval == intervalMs && !t->paused) due.push_back(t);
  for (FakeTimer* t : due) t->tick();
}

class FakePump : public platform::MessagePump {
 public:
  void DoEvents() override {
    ++count;
    if (hook) hook();
  }
  int count = 0;
  std::function<void()> hook;  // what the message loop delivers meanwhile
};

class FakeCursor : public platform::Cursor {
 public:
  bool GetPos(std::int32_t& px, std::int32_t& py) override {
    px = x;
    py = y;
    return readable;
  }
  int ShowCursor(bool show) override {
    count += show ? 1 : -1;
    calls.push_back(show);
    return count;
  }
  bool WatchMotion(std::function<void()> onMotion) override {
    if (!motionReported) return false;
    this->onMotion = std::move(onMotion);
    return true;
  }
  // The user moves the pointer.
  void MoveTo(std::int32_t nx, std::int32_t ny) {
    x = nx;
    y = ny;
    if (onMotion) onMotion();
  }
  std::int32_t x = 640;
  std::int32_t y = 360;
  bool readable = true;
  bool motionReported = false;  // the platform tells when the pointer moves
  std::function<void()> onMotion;
  int count = 0;
  std::vector<bool> calls;
};

class FakeClock : public platform::Clock {
 public:
  platform::LocalTime Now() override { return now; }
  platform::LocalTime now{2026, 12, 7, 14, 3, 5};
};

class FakeProcess : public platform::Process {
 public:
  void Start(const std::u16string& commandLine, int showWindow) override {
    if (failStart) throw std::runtime_error("cannot start the command");
    started.push_back({commandLine, showWindow});
  }
  std::optional<int> StartAndWait(const std::u16string& commandLine, int showWindow,
                                  int timeoutMs) override {
    Start(commandLine, showWindow);
    started.back().waitedMs = timeoutMs;
    return exitStatus;
  }
  [[noreturn]] void End(int exitCode) override {
    endCode = exitCode;
    throw ProgramEnded{exitCode};
  }
  std::u16string ExecutablePath() override { return executable; }
  std::u16string ArgumentText() override { return arguments; }
  std::u16string MachineName() override { return machineName; }
  platform::ResourceUse Usage() override { return usage; }

  struct Started {
    std::u16string commandLine;
    int showWindow;
    int waitedMs = 0;  // how long StartAndWait would wait; 0: not waited for
  };
  std::vector<Started> started;
  bool failStart = false;
  std::optional<int> exitStatus = 0;  // what StartAndWait finds
  int endCode = -1;
  std::u16string executable = u"/opt/velane/VELANE_Afficheur";
  std::u16string arguments;
  std::u16string machineName = u"ecran-hall";
  platform::ResourceUse usage;
};

class FakeScreen : public platform::Screen {
 public:
  bool SetDisplayPower(bool on, std::string& why) override {
    if (!canPowerDown) {
      why = "no display power management here";
      return false;
    }
    powered = on;
    powerCalls.push_back(on);
    return true;
  }
  void HoldAwake(bool hold) override {
    held = hold;
    holdCalls.push_back(hold);
  }
  bool canPowerDown = true;
  bool powered = true;
  bool held = true;  // as the platform holds it from the start
  std::vector<bool> powerCalls;
  std::vector<bool> holdCalls;
};

// All fakes together, as a platform.
struct FakePlatform {
  FakeToolkit toolkit;
  FakePump pump;
  FakeCursor cursor;
  FakeClock clock;
  FakeProcess process;
  FakeScreen screen;
  platform::Platform platform{toolkit, pump, cursor, clock, process, screen};
};

}  // namespace velane::fakes
