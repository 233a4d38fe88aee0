// One pixel of an Xvfb frame buffer kept as an XWD file (Xvfb -fbdir), read
// live through a shared mapping while the server draws into it.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

class XwdPixel {
 public:
  // False from ok() when the file is not a 32-bit XWD holding (x, y).
  XwdPixel(const char* file, long x, long y) {
    int fd = open(file, O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 100) return;
    void* m = mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (m == MAP_FAILED) return;
    data_ = static_cast<const unsigned char*>(m);
    std::size_t o =
        Be32(0) + std::size_t(Be32(76)) * 12 + std::size_t(y) * Be32(48) + std::size_t(x) * 4;
    if (Be32(44) == 32 && o + 4 <= std::size_t(st.st_size)) offset_ = o;
  }
  bool ok() const { return offset_ != 0; }
  // RRGGBB.
  std::uint32_t Read() const {
    const volatile unsigned char* p = data_ + offset_;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
  }

 private:
  std::uint32_t Be32(std::size_t at) const {
    const unsigned char* p = data_ + at;
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
  }
  const unsigned char* data_ = nullptr;
  std::size_t offset_ = 0;
};
