// Watches one pixel of an Xvfb frame buffer (Xvfb -fbdir keeps it as an XWD
// file that the server draws into) about a thousand times a second, and
// counts how often it changes between the expected colours and how many
// samples show any other colour: a flash between two slides.
// Usage: fb_sampler FILE X Y SECONDS RRGGBB RRGGBB [TOLERANCE] (SECONDS may
// have decimals)
// A tolerance lets each channel differ by that much (a decoded video's
// colours wander a little from frame to frame).
// Prints: samples=N switches=S foreign=F [first foreign colours]
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

#include "xwd_pixel.h"

int main(int argc, char** argv) {
  if (argc != 7 && argc != 8) {
    std::fprintf(stderr, "usage: fb_sampler FILE X Y SECONDS RRGGBB RRGGBB [TOLERANCE]\n");
    return 2;
  }
  XwdPixel pixel(argv[1], std::atol(argv[2]), std::atol(argv[3]));
  if (!pixel.ok()) return 2;
  const std::uint32_t a = std::uint32_t(std::strtoul(argv[5], nullptr, 16));
  const std::uint32_t b = std::uint32_t(std::strtoul(argv[6], nullptr, 16));
  const int tolerance = argc == 8 ? std::atoi(argv[7]) : 0;
  const auto near = [tolerance](std::uint32_t px, std::uint32_t want) {
    for (int shift = 0; shift <= 16; shift += 8) {
      const int d = int((px >> shift) & 0xFF) - int((want >> shift) & 0xFF);
      if (d > tolerance || d < -tolerance) return false;
    }
    return true;
  };
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(std::llround(std::atof(argv[4]) * 1000));
  long samples = 0, switches = 0, foreign = 0;
  std::uint32_t last = 0xFFFFFFFF;
  std::set<std::uint32_t> others;
  while (std::chrono::steady_clock::now() < end) {
    std::uint32_t px = pixel.Read();
    ++samples;
    if (near(px, a)) px = a;
    if (near(px, b)) px = b;
    if (px == a || px == b) {
      if ((last == a || last == b) && px != last) ++switches;
      last = px;
    } else if (last != 0xFFFFFFFF) {  // before the first slide anything goes
      ++foreign;
      if (others.size() < 8) others.insert(px);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(1000));
  }
  std::printf("samples=%ld switches=%ld foreign=%ld", samples, switches, foreign);
  for (std::uint32_t c : others) std::printf(" %06X", c);
  std::printf("\n");
  return 0;
}
