// Writers in a child process, killed by the test at moments of its choosing,
// that report their progress through a pipe: what the kill and live-edit
// tests share.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace velane::testing_support {

// A forked child that is killed and reaped however the test leaves its
// scope, so no failed assertion leaves a writer running.
class ChildProcess {
 public:
  // Runs body in a new process, which ends when body returns (or earlier).
  // Returns a child that is not running when the fork failed.
  template <class Body>
  static ChildProcess Start(Body&& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      body();
      ::_exit(0);
    }
    return ChildProcess(pid);
  }
  ChildProcess(ChildProcess&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ~ChildProcess() {
    if (pid_ > 0) KillAndWait();
  }

  bool started() const { return pid_ > 0; }

  // SIGKILL, then the wait status.
  int KillAndWait() {
    int status = 0;
    if (pid_ <= 0) return status;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

  // Waits for the child to end on its own; the wait status.
  int Wait() {
    int status = 0;
    if (pid_ <= 0) return status;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  pid_t pid_;
};

// A pipe of 32-bit progress reports from a child to the test. The reading
// end does not block: the test takes what has arrived.
class ReportPipe {
 public:
  ReportPipe() {
    if (::pipe(fds_) == 0) ::fcntl(fds_[0], F_SETFL, O_NONBLOCK);
  }
  ~ReportPipe() {
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
  }
  ReportPipe(const ReportPipe&) = delete;
  ReportPipe& operator=(const ReportPipe&) = delete;

  bool ok() const { return fds_[0] >= 0 && fds_[1] >= 0; }

  // In the child: the reading end is the test's.
  void CloseReadEnd() {
    ::close(fds_[0]);
    fds_[0] = -1;
  }
  // In the child: false when the report could not be sent.
  bool Report(std::int32_t value) const {
    return ::write(fds_[1], &value, sizeof value) == sizeof value;
  }
  // In the test: every report that has arrived, oldest first.
  std::vector<std::int32_t> Take() const {
    std::vector<std::int32_t> values;
    std::int32_t value;
    while (::read(fds_[0], &value, sizeof value) == sizeof value) values.push_back(value);
    return values;
  }

 private:
  int fds_[2] = {-1, -1};
};

}  // namespace velane::testing_support
