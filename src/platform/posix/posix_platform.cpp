#include "platform/posix/posix_platform.h"

#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "config/ansi.h"
#include "display/page_guard.h"

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

namespace velane::posix {
namespace {

// The fields of /proc/PID/stat after the command name (the third field of
// the file comes first); empty when the process has gone.
std::vector<std::string> StatFields(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(in, line)) return {};
  const std::size_t end = line.rfind(") ");
  if (end == std::string::npos) return {};
  std::istringstream rest(line.substr(end + 2));
  std::vector<std::string> fields;
  for (std::string f; rest >> f;) fields.push_back(f);
  return fields;
}

// Every process below the given one, from each process's parent.
std::vector<std::string> Descendants(const std::string& root) {
  std::multimap<std::string, std::string> children;
  if (DIR* proc = ::opendir("/proc")) {
    while (const dirent* entry = ::readdir(proc)) {
      const std::string pid = entry->d_name;
      if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::vector<std::string> fields = StatFields(pid);
      if (fields.size() > 1) children.emplace(fields[1], pid);
    }
    ::closedir(proc);
  }
  std::vector<std::string> found;
  std::vector<std::string> todo{root};
  while (!todo.empty() && found.size() < 4096) {
    const std::string parent = todo.back();
    todo.pop_back();
    const auto [first, last] = children.equal_range(parent);
    for (auto it = first; it != last; ++it) {
      found.push_back(it->second);
      todo.push_back(it->second);
    }
  }
  return found;
}

// The process's proportional set size, in kB, from its memory map summary.
std::optional<std::uint64_t> PssKb(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/smaps_rollup");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Pss:", 0) == 0) return std::strtoull(line.c_str() + 4, nullptr, 10);
  return std::nullopt;
}

// The process's start, in clock ticks after boot (field 22 of its stat).
std::optional<unsigned long long> StartTicks(const std::string& pid) {
  const std::vector<std::string> f = StatFields(pid);
  if (f.size() <= 19) return std::nullopt;
  return std::strtoull(f[19].c_str(), nullptr, 10);
}

std::string CommandName(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

std::optional<std::string> MountNamespace(const std::string& pid) {
  char link[128];
  const ssize_t n = ::readlink(("/proc/" + pid + "/ns/mnt").c_str(), link, sizeof link);
  if (n <= 0 || std::size_t(n) >= sizeof link) return std::nullopt;
  return std::string(link, std::size_t(n));
}

}  // namespace

std::optional<ChildProcess> DescendantNamed(std::string_view name) {
  for (const std::string& pid : Descendants(std::to_string(::getpid()))) {
    if (CommandName(pid) != name) continue;
    if (const auto start = StartTicks(pid)) return ChildProcess{std::stoi(pid), *start};
  }
  return std::nullopt;
}

std::optional<std::uint64_t> OwnResidentBytesOf(const ChildProcess& process) {
  std::ifstream in("/proc/" + std::to_string(process.pid) + "/statm");
  std::string statm;
  if (!std::getline(in, statm)) return std::nullopt;
  return OwnResidentBytes(statm, std::uint64_t(::sysconf(_SC_PAGESIZE)));
}

bool StillRunning(const ChildProcess& process) {
  return StartTicks(std::to_string(process.pid)) == process.startTicks;
}

std::optional<bool> SharesOurMounts(int pid) {
  const auto ours = MountNamespace("self");
  const auto theirs = MountNamespace(std::to_string(pid));
  if (!ours || !theirs) return std::nullopt;
  return *ours == *theirs;
}

std::u16string PosixProcess::MachineName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return FromAnsi(name);
}

// The player and its children (the web engine's page and network
// processes): memory from each one's smaps_rollup, CPU from its stat (the
// player's own counts its children that have ended).
platform::ResourceUse PosixProcess::Usage() {
  platform::ResourceUse use;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  use.elapsedSeconds = double(now.tv_sec) + double(now.tv_nsec) / 1e9;
  const double hz = double(::sysconf(_SC_CLK_TCK));
  const std::string self = std::to_string(::getpid());
  std::vector<std::string> processes = Descendants(self);
  processes.insert(processes.begin(), self);
  std::uint64_t kb = 0;
  double ticks = 0;
  bool memoryKnown = false, cpuKnown = false;
  for (const std::string& pid : processes) {
    if (const auto pss = PssKb(pid)) {
      kb += *pss;
      memoryKnown = true;
    }
    const std::vector<std::string> f = StatFields(pid);
    // utime, stime, cutime, cstime: fields 14 to 17 of the file.
    if (f.size() > 14) {
      ticks += std::strtod(f[11].c_str(), nullptr) + std::strtod(f[12].c_str(), nullptr);
      if (pid == self)
        ticks += std::strtod(f[13].c_str(), nullptr) + std::strtod(f[14].c_str(), nullptr);
      cpuKnown = true;
    }
  }
  if (memoryKnown) use.memoryKb = kb;
  if (cpuKnown && hz > 0) use.cpuSeconds = ticks / hz;
  return use;
}

}  // namespace velane::posix
