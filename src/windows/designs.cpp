#include "windows/designs.h"

namespace velane {

const char16_t kMakerNotice[] = u"\u00A9 VELANE Tarvin 2004 - tous droits r\u00E9serv\u00E9s";

namespace {
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kLightYellow{255, 255, 128};

ControlDesign Make(std::string name, ControlKind kind, int tab, TwipsRect r) {
  ControlDesign c;
  c.name = std::move(name);
  c.kind = kind;
  c.tabIndex = tab;
  c.rect = ToPixels(r);
  return c;
}
}  // namespace

const WindowDesign& AfficheurDesign() {
  static const WindowDesign design = [] {
    WindowDesign w;
    w.name = "Afficheur";
    w.frame = false;
    w.taskbar = false;
    w.background = kBlack;
    w.rect = ToPixels({3345, 1890, 6555, 6210});
    w.keepOnScreen = true;
    // The browser control's own design place; the load handler replaces it.
    // Children of the display window are placed in pixels.
    ControlDesign webcam;
    webcam.name = "Webcam";
    webcam.kind = ControlKind::Browser;
    webcam.tabIndex = 0;
    webcam.rect = ToPixels({600, 840, 2895, 2535});
    w.children.push_back(webcam);
    return w;
  }();
  return design;
}

const WindowDesign& QuitterDesign() {
  static const WindowDesign design = [] {
    WindowDesign w;
    w.name = "Quitter";
    w.frame = false;
    w.taskbar = false;
    w.background = kLightYellow;
    w.rect = ToPixels({2430, 2310, 6555, 810});
    w.noActivate = true;

    ControlDesign button = Make("Command1", ControlKind::Button, 1, {5040, 120, 1455, 375});
    button.caption = u"Quitter";
    ControlDesign notice = Make("erreur", ControlKind::Label, 2, {720, 480, 3855, 255});
    notice.caption = kMakerNotice;
    notice.font = {"MS Sans Serif", "Sans", 7.5, 400};  // one line in 257 px
    ControlDesign title = Make("Label1", ControlKind::Label, 0, {0, 0, 5295, 735});
    title.caption = u"VELANE Tarvin";
    title.font = {"MS Sans Serif", "Sans", 24, 700};
    // Creation order: a later child lies above an earlier one.
    w.children = {button, notice, title};
    return w;
  }();
  return design;
}

const ControlDesign& DebuggerDesign() {
  static const ControlDesign design = [] {
    ControlDesign c = Make("DEBUGGER1", ControlKind::Composite, 1, {120, 2160, 7935, 1695});
    ControlDesign traceur = Make("traceur", ControlKind::Label, 0, {0, 0, 3975, 2655});
    traceur.caption = u"VELANE Tarvin 2004 - debugger";
    traceur.background = kBlack;
    traceur.foreground = kGreen;
    traceur.font = {"System", "Sans", 9.75, 700};
    c.children = {traceur};
    return c;
  }();
  return design;
}

const WindowDesign& PrincipalDesign() {
  static const WindowDesign design = [] {
    WindowDesign w;
    w.name = "principal";
    w.caption = u"VELANE Afficheur";
    w.frame = true;
    w.taskbar = true;
    w.rect = ToPixels({11745, 4230, 8190, 5835});
    w.children = {Make("List1", ControlKind::ListBox, 0, {120, 120, 2295, 1815}), DebuggerDesign()};
    return w;
  }();
  return design;
}

}  // namespace velane
