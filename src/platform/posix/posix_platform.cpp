#include "platform/posix/posix_platform.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "config/ansi.h"

extern char** environ;

namespace velane::posix {

platform::LocalTime LocalClock::Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

PosixProcess::PosixProcess(int argc, char** argv) {
  // The arguments after the program name, joined by single blanks.
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments_ += u' ';
    arguments_ += FromAnsi(argv[i]);
  }
}

namespace {

// Starts the command line (words split at blanks, the program found on
// PATH); throws when it cannot be started.
pid_t Spawn(const std::u16string& commandLine) {
  std::string line = ToAnsi(commandLine);
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    std::size_t end = line.find(' ', pos);
    if (end == std::string::npos) end = line.size();
    if (end > pos) words.push_back(line.substr(pos, end - pos));
    pos = end + 1;
  }
  if (words.empty()) throw std::runtime_error("empty command line");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int err = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (err != 0) throw std::runtime_error("cannot start \"" + line + "\": " + std::strerror(err));
  return pid;
}

}  // namespace

void PosixProcess::Start(const std::u16string& commandLine, int /*showWindow*/) {
  Spawn(commandLine);
}

std::optional<int> PosixProcess::StartAndWait(const std::u16string& commandLine, int /*showWindow*/,
                                              int timeoutMs) {
  const pid_t pid = Spawn(commandLine);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0 && errno != EINTR) return std::nullopt;  // not ours to wait for
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void PosixProcess::End(int exitCode) {
  std::fflush(nullptr);
  _exit(exitCode);
}

std::u16string PosixProcess::ExecutablePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return FromAnsi(std::string_view(buf, std::size_t(n)));
}

}  // namespace velane::posix
