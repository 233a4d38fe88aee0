// Watches one pixel of an Xvfb frame buffer (Xvfb -fbdir keeps it as an XWD
// file that the server draws into) about a thousand times a second, and
// counts how often it changes between the expected colours and how many
// samples show any other colour: a flash between two slides.
// Usage: fb_sampler FILE X Y SECONDS RRGGBB RRGGBB
// Prints: samples=N switches=S foreign=F [first foreign colours]
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

static std::uint32_t Be32(const unsigned char* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: fb_sampler FILE X Y SECONDS RRGGBB RRGGBB\n");
    return 2;
  }
  int fd = open(argv[1], O_RDONLY);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 100) return 2;
  auto* d = static_cast<const unsigned char*>(
      mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0));
  if (d == MAP_FAILED) return 2;
  std::uint32_t headerSize = Be32(d), bpp = Be32(d + 44), bytesPerLine = Be32(d + 48);
  std::uint32_t colours = Be32(d + 76);
  if (bpp != 32) return 2;
  std::size_t o = headerSize + std::size_t(colours) * 12 +
                  std::size_t(std::atol(argv[3])) * bytesPerLine + std::size_t(std::atol(argv[2])) * 4;
  if (o + 4 > std::size_t(st.st_size)) return 2;
  const std::uint32_t a = std::uint32_t(std::strtoul(argv[5], nullptr, 16));
  const std::uint32_t b = std::uint32_t(std::strtoul(argv[6], nullptr, 16));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atol(argv[4]));
  long samples = 0, switches = 0, foreign = 0;
  std::uint32_t last = 0xFFFFFFFF;
  std::set<std::uint32_t> others;
  while (std::chrono::steady_clock::now() < end) {
    const volatile unsigned char* p = d + o;
    std::uint32_t px = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
    ++samples;
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
