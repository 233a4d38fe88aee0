// Counts the pixels of a region of an XWD frame buffer (as Xvfb -fbdir
// keeps it, pointer included) that differ from a colour.
// Usage: xwd_count FILE X Y WIDTH HEIGHT RRGGBB
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

static std::uint32_t Be32(const unsigned char* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: xwd_count FILE X Y WIDTH HEIGHT RRGGBB\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), {});
  if (d.size() < 100) return 2;
  std::uint32_t headerSize = Be32(&d[0]), width = Be32(&d[16]), height = Be32(&d[20]);
  std::uint32_t bpp = Be32(&d[44]), bytesPerLine = Be32(&d[48]), colours = Be32(&d[76]);
  if (bpp != 32) return 2;
  std::size_t offset = headerSize + std::size_t(colours) * 12;
  long x0 = std::atol(argv[2]), y0 = std::atol(argv[3]);
  long w = std::atol(argv[4]), h = std::atol(argv[5]);
  std::uint32_t colour = std::uint32_t(std::strtoul(argv[6], nullptr, 16));
  long count = 0;
  for (long y = y0; y < y0 + h && y < long(height); ++y)
    for (long x = x0; x < x0 + w && x < long(width); ++x) {
      std::size_t o = offset + std::size_t(y) * bytesPerLine + std::size_t(x) * 4;
      if (o + 4 > d.size()) continue;
      std::uint32_t px =
          std::uint32_t(d[o]) | std::uint32_t(d[o + 1]) << 8 | std::uint32_t(d[o + 2]) << 16;
      if ((px & 0xFFFFFF) != colour) ++count;
    }
  std::printf("%ld\n", count);
  return 0;
}
