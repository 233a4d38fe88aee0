// The static design of every window and control: the state each one is in
// when it is created, before any handler runs. Sizes are kept in twips as
// designed (15 twips = 1 pixel at 96 dpi) and converted once, here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace velane {

struct Rgb {
  int red = 0;
  int green = 0;
  int blue = 0;
};

struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

inline constexpr int kTwipsPerPixel = 15;

inline platform::PixelRect ToPixels(TwipsRect r) {
  return {r.left / kTwipsPerPixel, r.top / kTwipsPerPixel, r.width / kTwipsPerPixel,
          r.height / kTwipsPerPixel};
}

struct FontDesign {
  std::string face;      // as designed ("System", "MS Sans Serif")
  std::string fallback;  // what a Linux machine has instead
  double points = 0;     // 0: the toolkit's default font
  int weight = 400;
};

enum class ControlKind { Label, Button, ListBox, Browser, Composite };

struct ControlDesign {
  std::string name;
  ControlKind kind = ControlKind::Label;
  int tabIndex = 0;
  platform::PixelRect rect;  // in the parent's pixels
  std::u16string caption;
  std::optional<Rgb> background;  // none: transparent or system default
  std::optional<Rgb> foreground;
  FontDesign font;
  std::vector<ControlDesign> children;  // composite controls only
};

struct WindowDesign {
  std::string name;
  std::u16string caption;
  bool frame = false;                   // standard resizable frame, title bar, system boxes
  bool taskbar = false;                 // shown in the task bar
  std::optional<Rgb> background;        // none: the system's window colour
  platform::PixelRect rect;             // client area on the screen, in pixels
  std::vector<ControlDesign> children;  // in creation order
  // A window that floats above the others without ever taking the focus.
  bool noActivate = false;
  // A kiosk surface: a close request does nothing, and if anyone but the
  // program unmaps or minimises it, it comes back.
  bool keepOnScreen = false;
};

const WindowDesign& AfficheurDesign();
const WindowDesign& QuitterDesign();
const WindowDesign& PrincipalDesign();
// The trace control as it is hosted on principal (DEBUGGER1).
const ControlDesign& DebuggerDesign();

// Timer intervals of the display window, in milliseconds.
inline constexpr int kTimer1IntervalMs = 1000;
inline constexpr int kSourisbougeIntervalMs = 10;
inline constexpr int kRebootIntervalMs = 1000;

// Text of the quit window's notice line.
extern const char16_t kMakerNotice[];

}  // namespace velane
