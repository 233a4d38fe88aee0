// Starts a command and measures how long it takes until one pixel of an
// Xvfb frame buffer (Xvfb -fbdir) shows a colour: process start to first
// slide. The frame buffer is read about a thousand times a second; the
// command is ended (SIGTERM) once the colour is seen or the time is out.
// Usage: fb_first FILE X Y RRGGBB TIMEOUT_MS COMMAND [ARGS...]
// Prints the milliseconds, or "timeout"; exit status 0 when seen.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

static std::uint32_t Be32(const unsigned char* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: fb_first FILE X Y RRGGBB TIMEOUT_MS COMMAND [ARGS...]\n");
    return 2;
  }
  int fd = open(argv[1], O_RDONLY);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 100) return 2;
  auto* d = static_cast<const unsigned char*>(
      mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0));
  if (d == MAP_FAILED) return 2;
  std::size_t o = Be32(d) + std::size_t(Be32(d + 76)) * 12 +
                  std::size_t(std::atol(argv[3])) * Be32(d + 48) + std::size_t(std::atol(argv[2])) * 4;
  if (Be32(d + 44) != 32 || o + 4 > std::size_t(st.st_size)) return 2;
  const std::uint32_t want = std::uint32_t(std::strtoul(argv[4], nullptr, 16));
  const long timeoutMs = std::atol(argv[5]);

  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[6], argv + 6);
    _exit(127);
  }
  long ms = -1;
  for (;;) {
    const volatile unsigned char* p = d + o;
    std::uint32_t px = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
    long elapsed = long(std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - t0)
                            .count());
    if (px == want) {
      ms = elapsed;
      break;
    }
    if (elapsed > timeoutMs) break;
    std::this_thread::sleep_for(std::chrono::microseconds(1000));
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  if (ms < 0) {
    std::printf("timeout\n");
    return 1;
  }
  std::printf("%ld\n", ms);
  return 0;
}
