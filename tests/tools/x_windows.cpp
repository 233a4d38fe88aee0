// What a person (or another program) can do to the player's windows, and
// what is on the screen, for the end-to-end tests.
// Usage: x_windows list            mapped top-level windows: ID WxH+X+Y
//        x_windows close ID        a close request (WM_DELETE_WINDOW), as
//                                  Alt+F4 through a window manager sends it
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr || argc < 2) {
    std::fprintf(stderr, "usage: x_windows list | close ID (needs DISPLAY)\n");
    return 2;
  }
  Window root = DefaultRootWindow(d);
  if (std::strcmp(argv[1], "list") == 0) {
    Window r, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, root, &r, &parent, &children, &n)) return 1;
    for (unsigned i = 0; i < n; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
        std::printf("0x%lx %dx%d+%d+%d\n", children[i], a.width, a.height, a.x, a.y);
    }
    if (children) XFree(children);
  } else if (std::strcmp(argv[1], "close") == 0 && argc == 3) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = Window(std::strtoul(argv[2], nullptr, 0));
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
  } else {
    return 2;
  }
  XCloseDisplay(d);
  return 0;
}
