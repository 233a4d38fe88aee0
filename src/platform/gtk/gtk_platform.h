// The platform layer on Linux: GTK 3 windows, WebKitGTK as the browser
// control, GLib timers, X11 (XFixes) for the pointer (processes and the
// clock are POSIX's, in platform/posix).
// The only code that includes toolkit headers.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gtk/web_view.h"
#include "platform/platform.h"

typedef struct _GtkWidget GtkWidget;

namespace velane::gtk {

class GtkWindowImpl;

class GtkToolkit : public platform::Toolkit, public platform::MessagePump {
 public:
  GtkToolkit();
  ~GtkToolkit() override;

  std::unique_ptr<platform::Window> CreateWindow(const WindowDesign& design) override;
  std::unique_ptr<platform::Timer> CreateTimer(int intervalMs, std::function<void()> tick) override;
  platform::PixelSize ScreenSize() override;
  void SetWindowPos(std::uint32_t handle, std::int32_t insertAfter, std::uint32_t flags) override;
  void DoEvents() override;

  // Pointer visibility, applied to every window of ours (and the screen).
  void ApplyPointerHidden(bool hidden);
  // Where the web view reports a crash of its page process.
  void SetBrowserReporter(std::function<void(const std::string&)> report) {
    browserReporter_ = std::move(report);
  }
  // The folder whose files the web views may show (the content root).
  void SetContentRoot(std::string folder) { contentRoot_ = std::move(folder); }
  void ReportBrowser(const std::string& line);
  // A web view from the engine's module, loaded at the first call; nullptr
  // (told through ReportBrowser) when the module cannot be loaded.
  std::unique_ptr<WebView> CreateWebView();

  void Forget(GtkWindowImpl* window);
  // A Wayland compositor owns the screen (through XWayland or not): it
  // places windows by its own rules unless they are full screen or tied to
  // the display window.
  bool waylandSession() const { return waylandSession_; }
  // The window that stays on screen (the display window), when created.
  GtkWindowImpl* DisplayWindow() const;

 private:
  bool waylandSession_ = false;
  std::map<std::uint32_t, GtkWindowImpl*> windows_;
  std::uint32_t nextHandle_ = 1;
  bool pointerHidden_ = false;
  std::function<void(const std::string&)> browserReporter_;
  std::string contentRoot_;
  WebViewFactory webViewFactory_ = nullptr;  // from the engine's module, once loaded
  bool webModuleTried_ = false;
};

// The platform's cursor display count, kept here as Windows keeps it: the
// pointer is hidden for real while the count is negative.
//
// Reading the position costs a round trip to the X server, and the cursor
// watch reads it every 10 ms: the position is kept here and read again only
// after the server reported a pointer motion (or once a second, in case an
// event was missed).
class X11Cursor : public platform::Cursor {
 public:
  explicit X11Cursor(GtkToolkit& toolkit);
  ~X11Cursor() override;
  bool GetPos(std::int32_t& x, std::int32_t& y) override;
  int ShowCursor(bool show) override;

  bool WatchMotion(std::function<void()> onMotion) override;
  void NoteMotion() {
    moved_ = true;
    if (onMotion_) onMotion_();
  }
  int xiOpcode() const { return xiOpcode_; }

 private:
  GtkToolkit& toolkit_;
  int count_ = 0;
  int xiOpcode_ = -1;  // -1: no motion events, query every time
  bool moved_ = true;
  std::int32_t x_ = 0;
  std::int32_t y_ = 0;
  std::int64_t lastQueryMs_ = 0;
  std::function<void()> onMotion_;
};

// The GDK backend to allow, from the session and the operator's override
// VELANE_BACKEND (x11 or wayland): X11 wherever an X server answers,
// XWayland included, since fixed window places and the quit window floating
// above the display window only work there; Wayland when there is no X.
const char* ChooseBackend();

struct WaylandIdleInhibitor;

// Keeps the screen saver and display power-down away while the player runs:
// the X server's screen saver, and in a Wayland session the compositor's
// idle inhibitor (XWayland clients cannot reach the compositor's idleness).
// Both are lifted by the server when the process ends, however it ends.
class ScreenSaverInhibit {
 public:
  ScreenSaverInhibit();
  ~ScreenSaverInhibit();
  ScreenSaverInhibit(const ScreenSaverInhibit&) = delete;
  ScreenSaverInhibit& operator=(const ScreenSaverInhibit&) = delete;

 private:
  bool active_ = false;
  std::unique_ptr<WaylandIdleInhibitor> wayland_;
};

// The screen: the display's power through the X server's DPMS extension,
// or in a Wayland session through the compositor's output power management
// (wlroots compositors), and the hold of ScreenSaverInhibit, taken at
// start.
class GtkScreen : public platform::Screen {
 public:
  GtkScreen();
  bool SetDisplayPower(bool on, std::string& why) override;
  void HoldAwake(bool hold) override;

 private:
  std::unique_ptr<ScreenSaverInhibit> hold_;
  bool dpmsWasEnabled_ = true;  // as the server had it before a power-down
};

}  // namespace velane::gtk
