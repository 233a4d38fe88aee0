// The platform layer on Linux: GTK 3 windows, WebKitGTK as the browser
// control, GLib timers, X11 (XFixes) for the pointer, POSIX for processes.
// The only code that includes toolkit headers.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

typedef struct _GtkWidget GtkWidget;

namespace velane::gtk {

class GtkWindowImpl;

class GtkToolkit : public platform::Toolkit, public platform::MessagePump {
 public:
  GtkToolkit();
  ~GtkToolkit() override;

  std::unique_ptr<platform::Window> CreateWindow(
      const WindowDesign& design) override;
  std::unique_ptr<platform::Timer> CreateTimer(
      int intervalMs, std::function<void()> tick) override;
  platform::PixelSize ScreenSize() override;
  void SetWindowPos(std::uint32_t handle, std::int32_t insertAfter,
                    std::uint32_t flags) override;
  void DoEvents() override;

  // Pointer visibility, applied to every window of ours (and the screen).
  void ApplyPointerHidden(bool hidden);
  // Where the web view reports a crash of its page process.
  void SetBrowserReporter(std::function<void(const std::string&)> report) {
    browserReporter_ = std::move(report);
  }
  void ReportBrowser(const std::string& line);

  void Forget(GtkWindowImpl* window);

 private:
  std::map<std::uint32_t, GtkWindowImpl*> windows_;
  std::uint32_t nextHandle_ = 1;
  bool pointerHidden_ = false;
  std::function<void(const std::string&)> browserReporter_;
};

// The platform's cursor display count, kept here as Windows keeps it: the
// pointer is hidden for real while the count is negative.
class X11Cursor : public platform::Cursor {
 public:
  explicit X11Cursor(GtkToolkit& toolkit);
  ~X11Cursor() override;
  bool GetPos(std::int32_t& x, std::int32_t& y) override;
  int ShowCursor(bool show) override;

 private:
  GtkToolkit& toolkit_;
  int count_ = 0;
};

class LocalClock : public platform::Clock {
 public:
  platform::LocalTime Now() override;
};

class PosixProcess : public platform::Process {
 public:
  PosixProcess(int argc, char** argv);
  void Start(const std::u16string& commandLine, int showWindow) override;
  [[noreturn]] void End(int exitCode) override;
  std::u16string ExecutablePath() override;
  std::u16string ArgumentText() override { return arguments_; }

 private:
  std::u16string arguments_;
};

}  // namespace velane::gtk
