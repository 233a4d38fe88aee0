// The Windows WebBrowser control ("SHDocVwCtl.WebBrowser") hosted as an OLE
// control inside a container child window of the display window. Showing,
// hiding and placing act on the container; the control always fills it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace velane::win32 {

class BrowserSite;

class WebBrowserHost {
 public:
  // Creates the container (hidden) at rect in parent's pixels and the
  // control inside it. When the control cannot be created, report is told
  // why and the container stays as a black area: the rest of the player
  // goes on without it.
  WebBrowserHost(HWND parent, RECT rect, const std::function<void(const std::string&)>& report);
  ~WebBrowserHost();
  WebBrowserHost(const WebBrowserHost&) = delete;
  WebBrowserHost& operator=(const WebBrowserHost&) = delete;

  HWND container() const { return container_; }
  bool HasControl() const;
  // Shows the local file (or address) in the control; nothing without one.
  void Navigate(const std::wstring& target);
  // Says once per slide that a dialog of the control was held back.
  void NoteRefusedDialog();

  // The client site the control talks to (no reference added); null
  // without a control.
  IUnknown* Site() const;

  // True when the message loop drops msg instead of dispatching it: a
  // shortcut key, bound for a control of this thread, that would open a
  // window or a pane over the display (see SwallowsKey).
  static bool DropsKey(const MSG& msg);

  // The content root (UTF-8): its pages keep their script under the
  // machine lockdown, for every host of the thread.
  static void SetContentRoot(const std::string& folder);

  static void RegisterContainerClass(HINSTANCE instance);

 private:
  static LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void FitControl();

  HWND container_ = nullptr;
  std::unique_ptr<BrowserSite> site_;
  std::function<void(const std::string&)> report_;
  bool navigationReported_ = false;
};

}  // namespace velane::win32
