// Starts a command and measures how long it takes until one pixel of an
// Xvfb frame buffer (Xvfb -fbdir) shows a colour: process start to first
// slide. The frame buffer is read about a thousand times a second; the
// command is ended (SIGTERM) once the colour is seen or the time is out.
// Usage: fb_first FILE X Y RRGGBB TIMEOUT_MS COMMAND [ARGS...]
// Prints the milliseconds, or "timeout"; exit status 0 when seen.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "xwd_pixel.h"

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: fb_first FILE X Y RRGGBB TIMEOUT_MS COMMAND [ARGS...]\n");
    return 2;
  }
  XwdPixel pixel(argv[1], std::atol(argv[2]), std::atol(argv[3]));
  if (!pixel.ok()) return 2;
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
    std::uint32_t px = pixel.Read();
    long elapsed = long(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
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
