#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

#include "config/ansi.h"
#include "platform/win32/web_browser.h"
#include "velane_version.h"
#include "windows/designs.h"

namespace velane::win32 {
namespace {

constexpr char kWindowClass[] = "VelaneWindow";
constexpr char kCompositeClass[] = "VelaneComposite";
constexpr char kTimerClass[] = "VelaneTimers";
// A composite control tells its host its size once it has a handler.
constexpr UINT kNotifyResize = WM_APP + 1;
// The program's icon in the resources.
constexpr WORD kIconId = 1;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// Window handles are 32-bit values everywhere in the program; the system
// keeps them 32-bit significant and sign-extends them on 64-bit Windows.
std::uint32_t HandleOf(HWND hwnd) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd));
}
HWND HwndOf(std::int32_t handle) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle));
}

COLORREF ColourOf(const Rgb& c) { return RGB(c.red, c.green, c.blue); }

RECT RectOf(const platform::PixelRect& r) {
  return {r.x, r.y, r.x + std::max(0, r.width), r.y + std::max(0, r.height)};
}

// A GDI object (font, brush) that is deleted with its holder; stock
// objects are held without being owned.
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(HGDIOBJ object, bool owned = true) : object_(object), owned_(owned) {}
  ~GdiObject() {
    if (owned_ && object_ != nullptr) DeleteObject(object_);
  }
  GdiObject(GdiObject&& o) noexcept
      : object_(std::exchange(o.object_, nullptr)), owned_(o.owned_) {}
  GdiObject& operator=(GdiObject&& o) noexcept {
    std::swap(object_, o.object_);
    std::swap(owned_, o.owned_);
    return *this;
  }
  HGDIOBJ get() const { return object_; }
  HBRUSH brush() const { return static_cast<HBRUSH>(object_); }
  HFONT font() const { return static_cast<HFONT>(object_); }

 private:
  HGDIOBJ object_ = nullptr;
  bool owned_ = false;
};

GdiObject BackgroundBrush(const std::optional<Rgb>& colour) {
  if (colour) return GdiObject(CreateSolidBrush(ColourOf(*colour)));
  // Not set: the system's face colour of windows and controls.
  return GdiObject(GetSysColorBrush(COLOR_BTNFACE), false);
}

GdiObject FontOf(const FontDesign& f) {
  if (f.points <= 0) return GdiObject(GetStockObject(DEFAULT_GUI_FONT), false);
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  const int height = -static_cast<int>(f.points * dpi / 72.0 + 0.5);
  HFONT font = CreateFontA(height, 0, 0, 0, f.weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, f.face.c_str());
  if (font == nullptr) return GdiObject(GetStockObject(DEFAULT_GUI_FONT), false);
  return GdiObject(font);
}

// Where a window or a composite control forwards its messages.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

LRESULT CALLBACK TargetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* target = reinterpret_cast<MessageTarget*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (target != nullptr) return target->Handle(hwnd, message, wParam, lParam);
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

class Win32Control;

// Labels have no window of their own: the window or composite control that
// holds them draws them, in creation order, over its background, so a
// transparent label shows what lies beneath it.
struct Surface {
  HWND hwnd = nullptr;
  GdiObject background;
  std::vector<Win32Control*> labels;

  void Paint();
  void Invalidate(const platform::PixelRect& r) const {
    RECT rect = RectOf(r);
    if (hwnd != nullptr) InvalidateRect(hwnd, &rect, FALSE);
  }
};

class Win32Control : public platform::Control, public MessageTarget {
 public:
  Win32Control(Win32Toolkit& kit, const ControlDesign& d, Surface& parent)
      : design_(d), parent_(parent), rect_(d.rect), text_(d.caption) {
    const RECT r = RectOf(rect_);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    switch (d.kind) {
      case ControlKind::Label:
        font_ = FontOf(d.font);
        if (d.background) labelBrush_ = GdiObject(CreateSolidBrush(ColourOf(*d.background)));
        parent_.labels.push_back(this);
        break;
      case ControlKind::Button:
        hwnd_ = CreateWindowExA(0, "BUTTON", ToAnsi(d.caption).c_str(),
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, r.left, r.top,
                                w, h, parent_.hwnd, nullptr, Instance(), nullptr);
        break;
      case ControlKind::ListBox:
        hwnd_ =
            CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT,
                            r.left, r.top, w, h, parent_.hwnd, nullptr, Instance(), nullptr);
        break;
      case ControlKind::Browser:
        browser_ = std::make_unique<WebBrowserHost>(
            parent_.hwnd, r, [&kit](const std::string& line) { kit.ReportBrowser(line); });
        hwnd_ = browser_->container();
        // A new control is visible, as every other one.
        if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_SHOWNA);
        break;
      case ControlKind::Composite:
        surface_.background = BackgroundBrush(d.background);
        hwnd_ =
            CreateWindowExA(WS_EX_CONTROLPARENT, kCompositeClass, "",
                            WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, r.left, r.top, w, h,
                            parent_.hwnd, nullptr, Instance(), static_cast<MessageTarget*>(this));
        surface_.hwnd = hwnd_;
        break;
    }
    if (hwnd_ != nullptr && d.kind != ControlKind::Composite && d.kind != ControlKind::Browser) {
      // Buttons report their clicks to whoever holds them through this.
      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
    }
  }

  ~Win32Control() override {
    auto& labels = parent_.labels;
    labels.erase(std::remove(labels.begin(), labels.end(), this), labels.end());
    browser_.reset();
    if (hwnd_ != nullptr && design_.kind != ControlKind::Browser) {
      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
    }
  }

  Surface& surface() { return surface_; }

  void SetVisible(bool v) override {
    if (design_.kind == ControlKind::Label) {
      if (hidden_ == !v) return;
      hidden_ = !v;
      parent_.Invalidate(rect_);
    } else if (hwnd_ != nullptr) {
      ShowWindow(hwnd_, v ? SW_SHOWNA : SW_HIDE);
    }
  }
  bool IsVisible() const override {
    if (hwnd_ == nullptr) return !hidden_;
    return (GetWindowLongPtrA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
  }

  // Negative positions are fine: the parent clips what lies outside it.
  void Place(platform::PixelRect r) override {
    if (design_.kind == ControlKind::Label) parent_.Invalidate(rect_);
    rect_ = r;
    if (design_.kind == ControlKind::Label) {
      parent_.Invalidate(rect_);
    } else if (hwnd_ != nullptr) {
      MoveWindow(hwnd_, r.x, r.y, std::max(0, r.width), std::max(0, r.height), TRUE);
    }
  }
  platform::PixelRect Placement() const override { return rect_; }

  void SetText(const std::u16string& t) override {
    text_ = t;
    if (design_.kind == ControlKind::Label) {
      parent_.Invalidate(rect_);
    } else if (design_.kind == ControlKind::Button && hwnd_ != nullptr) {
      SetWindowTextA(hwnd_, ToAnsi(t).c_str());
    }
  }
  std::u16string Text() const override { return text_; }

  void Navigate(const std::u16string& path) override {
    if (browser_) browser_->Navigate(std::wstring(path.begin(), path.end()));
  }
  // The WebBrowser control gives no picture of its page: no snapshot here.
  void SaveSnapshot(const std::u16string&, int) override {}
  // The control's pages run in its own process: nothing to tell.
  std::optional<bool> PageProcessSandboxed() override { return std::nullopt; }

  void OnClick(std::function<void()> h) override { onClick_ = std::move(h); }
  void OnResize(std::function<void(int, int)> h) override {
    onResize_ = std::move(h);
    // The host sizes a new instance before anyone listens: tell the
    // handler the size it got, once the message loop runs.
    if (design_.kind == ControlKind::Composite && hwnd_ != nullptr)
      PostMessageA(hwnd_, kNotifyResize, 0, 0);
  }

  void Click() {
    if (onClick_) onClick_();
  }

  void PaintLabel(HDC dc) const {
    if (hidden_) return;
    RECT r = RectOf(rect_);
    if (labelBrush_.get() != nullptr) FillRect(dc, &r, labelBrush_.brush());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc,
                 design_.foreground ? ColourOf(*design_.foreground) : GetSysColor(COLOR_BTNTEXT));
    HGDIOBJ old = SelectObject(dc, font_.get());
    const std::string text = ToAnsi(text_);
    // A new line at each CR LF, word wrap at the width, cut at the bottom.
    DrawTextA(dc, text.data(), static_cast<int>(text.size()), &r,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
  }

  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void NotifyResize(bool always) {
    RECT r{};
    GetClientRect(hwnd_, &r);
    if (!always && r.right == lastWidth_ && r.bottom == lastHeight_) return;
    lastWidth_ = r.right;
    lastHeight_ = r.bottom;
    if (onResize_) onResize_(r.right, r.bottom);
  }

  ControlDesign design_;
  Surface& parent_;
  Surface surface_;  // composite controls: their own labels
  platform::PixelRect rect_;
  std::u16string text_;
  HWND hwnd_ = nullptr;
  bool hidden_ = false;
  GdiObject font_;
  GdiObject labelBrush_;
  std::unique_ptr<WebBrowserHost> browser_;
  int lastWidth_ = -1;
  int lastHeight_ = -1;
  std::function<void()> onClick_;
  std::function<void(int, int)> onResize_;
};

void Surface::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  const RECT& area = ps.rcPaint;
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  if (dc != nullptr && w > 0 && h > 0) {
    // Drawn off screen first, so the trace label does not flicker at each
    // second's update.
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
    if (mem != nullptr && bitmap != nullptr) {
      HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
      SetViewportOrgEx(mem, -area.left, -area.top, nullptr);
      FillRect(mem, &area, background.brush());
      for (const Win32Control* label : labels) label->PaintLabel(mem);
      SetViewportOrgEx(mem, 0, 0, nullptr);
      BitBlt(dc, area.left, area.top, w, h, mem, 0, 0, SRCCOPY);
      SelectObject(mem, oldBitmap);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (mem != nullptr) DeleteDC(mem);
  }
  EndPaint(hwnd, &ps);
}

// A click of a button held by this window or composite.
bool ForwardClick(WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) != BN_CLICKED || lParam == 0) return false;
  auto* control = reinterpret_cast<Win32Control*>(
      GetWindowLongPtrA(reinterpret_cast<HWND>(lParam), GWLP_USERDATA));
  if (control == nullptr) return false;
  control->Click();
  return true;
}

LRESULT Win32Control::Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // painted with the labels
    case WM_PAINT:
      surface_.Paint();
      return 0;
    case WM_SIZE:
      if (hwnd_ != nullptr) NotifyResize(false);
      return 0;
    case kNotifyResize:
      NotifyResize(true);
      return 0;
    case WM_COMMAND:
      if (ForwardClick(wParam, lParam)) return 0;
      break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

class Win32Window : public platform::Window, public MessageTarget {
 public:
  Win32Window(Win32Toolkit& kit, const WindowDesign& d)
      : kit_(kit),
        rect_(d.rect),
        frame_(d.frame),
        noActivate_(d.noActivate),
        keepOnScreen_(d.keepOnScreen) {
    DWORD style = WS_CLIPCHILDREN | (d.frame ? WS_OVERLAPPEDWINDOW : WS_POPUP);
    DWORD exStyle = d.taskbar ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
    if (d.noActivate) exStyle |= WS_EX_TOPMOST | WS_EX_NOACTIVATE;
    exStyle |= WS_EX_CONTROLPARENT;
    // The design gives the client area; the frame goes around it.
    RECT outer = RectOf(d.rect);
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    surface_.background = BackgroundBrush(d.background);
    surface_.hwnd =
        CreateWindowExA(exStyle, kWindowClass, ToAnsi(d.caption).c_str(), style, outer.left,
                        outer.top, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                        nullptr, Instance(), static_cast<MessageTarget*>(this));
    if (surface_.hwnd == nullptr) throw std::runtime_error("cannot create the window " + d.name);
    for (const ControlDesign& c : d.children) AddControl(c, surface_);
  }

  ~Win32Window() override {
    HWND hwnd = surface_.hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    names_.clear();
    // Children before the composite controls that hold them.
    while (!controls_.empty()) controls_.pop_back();
    DestroyWindow(hwnd);
  }

  void Show() override {
    wanted_ = true;
    ShowWindow(surface_.hwnd, noActivate_ ? SW_SHOWNA : SW_SHOW);
  }
  void Hide() override {
    wanted_ = false;
    ShowWindow(surface_.hwnd, SW_HIDE);
  }
  bool IsVisible() const override { return IsWindowVisible(surface_.hwnd) != FALSE; }

  void Move(platform::PixelRect r) override {
    rect_ = r;
    MoveWindow(surface_.hwnd, r.x, r.y, std::max(0, r.width), std::max(0, r.height), TRUE);
  }
  platform::PixelRect Placement() const override { return rect_; }
  std::uint32_t Handle() const override { return HandleOf(surface_.hwnd); }

  platform::Control* Child(std::string_view n) override {
    auto it = names_.find(std::string(n));
    return it == names_.end() ? nullptr : it->second;
  }
  void OnCloseRequest(std::function<void()> h) override { onClose_ = std::move(h); }

  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_CLOSE:
        // A framed window's close box only hides it; a window without a
        // frame has no close box, and a stray Alt+F4 leaves it in place.
        if (frame_) {
          ShowWindow(hwnd, SW_HIDE);
          if (onClose_) onClose_();
        }
        return 0;
      case WM_MOUSEACTIVATE:
        if (noActivate_) return MA_NOACTIVATE;
        break;
      case WM_SYSCOMMAND:
        // Nobody minimises the screen of a kiosk (Win+Down, the task bar).
        if (keepOnScreen_ && (wParam & 0xFFF0) == SC_MINIMIZE) return 0;
        break;
      case WM_WINDOWPOSCHANGED:
        // Hidden or minimised by another program: back on screen, at its place.
        if (keepOnScreen_ && wanted_ &&
            ((reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW) ||
             IsIconic(hwnd)))
          ShowWindowAsync(hwnd, IsIconic(hwnd) ? SW_SHOWNOACTIVATE : SW_SHOWNA);
        break;
      case WM_ERASEBKGND:
        return 1;  // painted with the labels
      case WM_PAINT:
        surface_.Paint();
        return 0;
      case WM_COMMAND:
        if (ForwardClick(wParam, lParam)) return 0;
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }

 private:
  void AddControl(const ControlDesign& c, Surface& parent) {
    auto control = std::make_unique<Win32Control>(kit_, c, parent);
    Win32Control* raw = control.get();
    names_[c.name] = raw;
    controls_.push_back(std::move(control));
    for (const ControlDesign& child : c.children) AddControl(child, raw->surface());
  }

  Win32Toolkit& kit_;
  Surface surface_;
  platform::PixelRect rect_;
  bool frame_;
  bool noActivate_;
  bool keepOnScreen_;
  bool wanted_ = false;  // shown by the program, and so to stay on screen
  std::vector<std::unique_ptr<Win32Control>> controls_;  // creation order
  std::map<std::string, Win32Control*> names_;
  std::function<void()> onClose_;
};

void RegisterTargetClass(const char* name, HICON icon, HICON smallIcon) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TargetProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = icon;
  wc.hIconSm = smallIcon;
  wc.lpszClassName = name;
  RegisterClassExA(&wc);
}

}  // namespace

Win32Toolkit::Win32Toolkit() {
  HINSTANCE instance = Instance();
  HICON icon =
      static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconId), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  HICON smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconId), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON),
                                                  GetSystemMetrics(SM_CYSMICON), 0));
  RegisterTargetClass(kWindowClass, icon, smallIcon);
  RegisterTargetClass(kCompositeClass, nullptr, nullptr);
  WebBrowserHost::RegisterContainerClass(instance);

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Win32Toolkit::TimerWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kTimerClass;
  RegisterClassExA(&wc);
  // A message-only window: it receives the ticks and is never shown.
  timerWindow_ =
      CreateWindowExA(0, kTimerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (timerWindow_ == nullptr) throw std::runtime_error("cannot create the timer window");
  SetWindowLongPtrA(timerWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Toolkit::~Win32Toolkit() {
  SetWindowLongPtrA(timerWindow_, GWLP_USERDATA, 0);
  DestroyWindow(timerWindow_);
}

std::unique_ptr<platform::Window> Win32Toolkit::CreateWindow(const WindowDesign& design) {
  return std::make_unique<Win32Window>(*this, design);
}

std::unique_ptr<platform::Timer> Win32Toolkit::CreateTimer(int intervalMs,
                                                           std::function<void()> tick) {
  return std::make_unique<Win32Timer>(*this, intervalMs, std::move(tick));
}

UINT_PTR Win32Toolkit::AddTimer(Win32Timer* timer, UINT intervalMs) {
  const UINT_PTR id = nextTimerId_++;
  if (SetTimer(timerWindow_, id, intervalMs, nullptr) == 0)
    throw std::runtime_error("cannot start a timer");
  timers_[id] = timer;
  return id;
}

void Win32Toolkit::RemoveTimer(UINT_PTR id) {
  KillTimer(timerWindow_, id);
  timers_.erase(id);
}

LRESULT CALLBACK Win32Toolkit::TimerWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_TIMER) {
    auto* kit = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (kit != nullptr) {
      auto it = kit->timers_.find(wParam);
      if (it != kit->timers_.end()) it->second->Fire();
    }
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

platform::PixelSize Win32Toolkit::ScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void Win32Toolkit::SetWindowPos(std::uint32_t handle, std::int32_t insertAfter,
                                std::uint32_t flags) {
  ::SetWindowPos(HwndOf(static_cast<std::int32_t>(handle)), HwndOf(insertAfter), 0, 0, 0, 0,
                 flags | SWP_NOMOVE | SWP_NOSIZE);
}

// false at WM_QUIT, which is left in the queue for the main loop.
bool Win32Toolkit::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  if (WebBrowserHost::DropsKey(msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void Win32Toolkit::DoEvents() {
  // Bounded, so a flood of messages cannot keep a yielding reader here.
  MSG msg;
  for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (!Dispatch(msg)) return;
  }
}

int Win32Toolkit::Run() {
  MSG msg;
  for (;;) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
      if (WebBrowserHost::DropsKey(msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    WaitMessage();
  }
}

void Win32Toolkit::ReportBrowser(const std::string& line) {
  if (browserReporter_) {
    browserReporter_(line);
  } else {
    std::fprintf(stderr, VELANE_PLAYER_NAME ": %s\n", line.c_str());
    std::fflush(stderr);
  }
}

Win32Timer::Win32Timer(Win32Toolkit& kit, int intervalMs, std::function<void()> tick)
    : kit_(kit), tick_(std::move(tick)) {
  id_ = kit_.AddTimer(this, static_cast<UINT>(std::max(intervalMs, 1)));
}

Win32Timer::~Win32Timer() { kit_.RemoveTimer(id_); }

void Win32Timer::Fire() {
  if (running_) return;
  running_ = true;
  tick_();
  running_ = false;
}

bool Win32Cursor::GetPos(std::int32_t& x, std::int32_t& y) {
  POINT p{};
  if (!GetCursorPos(&p)) return false;
  x = p.x;
  y = p.y;
  return true;
}

int Win32Cursor::ShowCursor(bool show) { return ::ShowCursor(show ? TRUE : FALSE); }

platform::LocalTime LocalClock::Now() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

namespace {

// Starts the command line shown as asked; the caller owns the process
// handle it returns.
HANDLE StartProcess(const std::u16string& commandLine, int showWindow) {
  const std::string line = ToAnsi(commandLine);
  // CreateProcess may write into the command line it is given.
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(showWindow);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    throw std::runtime_error("cannot start \"" + line + "\": error " +
                             std::to_string(GetLastError()));
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

}  // namespace

void Win32Process::Start(const std::u16string& commandLine, int showWindow) {
  // Not waited for.
  CloseHandle(StartProcess(commandLine, showWindow));
}

std::optional<int> Win32Process::StartAndWait(const std::u16string& commandLine, int showWindow,
                                              int timeoutMs) {
  const HANDLE process = StartProcess(commandLine, showWindow);
  std::optional<int> status;
  DWORD code = 0;
  if (WaitForSingleObject(process, DWORD(timeoutMs)) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(process, &code))
    status = int(code);
  CloseHandle(process);
  return status;
}

void Win32Process::End(int exitCode) {
  std::fflush(nullptr);
  // At once: no window procedure, destructor or DLL detach runs after it.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
  ExitProcess(static_cast<UINT>(exitCode));
}

std::string ModulePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string Win32Process::ExecutablePath() { return FromAnsi(ModulePath()); }

std::u16string Win32Process::ArgumentText() {
  const char* line = GetCommandLineA();
  return FromAnsi(ArgumentsOf(line != nullptr ? line : ""));
}

std::u16string Win32Process::MachineName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? FromAnsi(std::string(name, size)) : std::u16string();
}

std::string ArgumentsOf(const std::string& commandLine) {
  // The program's name runs to the first blank outside double quotes.
  std::size_t i = 0;
  bool quoted = false;
  for (; i < commandLine.size(); ++i) {
    const char c = commandLine[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      break;
    }
  }
  while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
  return commandLine.substr(i);
}

OleSession::OleSession() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}

OleSession::~OleSession() {
  if (ok_) OleUninitialize();
}

KeepDisplayOn::KeepDisplayOn() {
  SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED);
}

KeepDisplayOn::~KeepDisplayOn() { SetThreadExecutionState(ES_CONTINUOUS); }

Win32Screen::Win32Screen() : hold_(std::make_unique<KeepDisplayOn>()) {}

void Win32Screen::HoldAwake(bool hold) {
  if (!hold) {
    hold_.reset();
  } else if (!hold_) {
    hold_ = std::make_unique<KeepDisplayOn>();
  }
}

bool Win32Screen::SetDisplayPower(bool on, std::string& why) {
  // 2: off; -1: on. A window that does not answer cannot hold the player:
  // the broadcast gives up on it after two seconds.
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, on ? -1 : 2,
                           SMTO_ABORTIFHUNG, 2000, &result)) {
    why = "the monitor power message could not be sent (error " + std::to_string(GetLastError()) +
          ")";
    return false;
  }
  return true;
}

}  // namespace velane::win32
