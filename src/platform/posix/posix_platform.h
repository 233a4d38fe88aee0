// The process and the clock on POSIX: starting a command found on PATH,
// the immediate exit, the program's own path and arguments, local time.
#pragma once

#include <optional>
#include <string>

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

}  // namespace velane::posix
