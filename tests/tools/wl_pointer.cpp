// A mouse for a headless wlroots compositor (sway), which has no input
// device of its own: a virtual pointer that lives as long as this program.
// Usage: wl_pointer WIDTH HEIGHT   then lines "X Y" on stdin move it to that
//                                  point of the WIDTH x HEIGHT output
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wlr-virtual-pointer-client.h"

namespace {
zwlr_virtual_pointer_manager_v1* manager = nullptr;

void Global(void*, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t) {
  if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}
void GlobalRemoved(void*, wl_registry*, std::uint32_t) {}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wl_pointer WIDTH HEIGHT (needs WAYLAND_DISPLAY)\n");
    return 2;
  }
  unsigned width = unsigned(std::atoi(argv[1]));
  unsigned height = unsigned(std::atoi(argv[2]));
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "wl_pointer: no Wayland compositor\n");
    return 1;
  }
  static const wl_registry_listener listener = {&Global, &GlobalRemoved};
  wl_registry_add_listener(wl_display_get_registry(display), &listener, nullptr);
  wl_display_roundtrip(display);
  if (manager == nullptr) {
    std::fprintf(stderr, "wl_pointer: the compositor offers no virtual pointer\n");
    return 1;
  }
  zwlr_virtual_pointer_v1* pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
  wl_display_roundtrip(display);
  std::printf("ready\n");
  std::fflush(stdout);
  unsigned x = 0, y = 0, time = 0;
  while (std::scanf("%u %u", &x, &y) == 2) {
    zwlr_virtual_pointer_v1_motion_absolute(pointer, time += 10, x, y, width, height);
    zwlr_virtual_pointer_v1_frame(pointer);
    if (wl_display_roundtrip(display) < 0) return 1;
  }
  wl_display_disconnect(display);
  return 0;
}
