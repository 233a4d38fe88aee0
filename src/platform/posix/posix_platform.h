// The process and the clock on POSIX: starting a command found on PATH,
// the immediate exit, the program's own path and arguments, local time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace velane::posix {

class LocalClock : public platform::Clock {
 public:
  platform::LocalTime Now() override;
};

class PosixProcess : public platform::Process {
 public:
  PosixProcess(int argc, char** argv);
  void Start(const std::u16string& commandLine, int showWindow) override;
  std::optional<int> StartAndWait(const std::u16string& commandLine, int showWindow,
                                  int timeoutMs) override;
  [[noreturn]] void End(int exitCode) override;
  std::u16string ExecutablePath() override;
  std::u16string ArgumentText() override { return arguments_; }
  std::u16string MachineName() override;
  platform::ResourceUse Usage() override;

 private:
  std::u16string arguments_;
};

// A process below this one, told apart from a later one that gets its
// number: its start, in clock ticks after boot.
struct ChildProcess {
  int pid = 0;
  unsigned long long startTicks = 0;
  bool operator==(const ChildProcess&) const = default;
};

// The first process below this one whose command name (as the system
// keeps it: at most 15 bytes) is `name`; none when there is none.
std::optional<ChildProcess> DescendantNamed(std::string_view name);

// The memory that process holds of its own (resident, less what it shares
// with files), in bytes; none when it cannot be read.
std::optional<std::uint64_t> OwnResidentBytesOf(const ChildProcess& process);

// Whether that process still runs (its number not given to another).
bool StillRunning(const ChildProcess& process);

// Whether the process sees the file system through the same mounts as
// this one (the same mount namespace); none when that cannot be read.
std::optional<bool> SharesOurMounts(int pid);

}  // namespace velane::posix
