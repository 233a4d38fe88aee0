// What keeps the browser control of a public screen in the kiosk, whatever
// the page in it does: which top-level navigations are the player's own, and
// how often a page whose process keeps dying or hanging is brought back.
// Each platform's browser control applies these with its own means.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace velane {

// True when a top-level navigation goes to the page the player last asked
// for (loaded again, or moved to one of its anchors). Anything else (a link,
// top.location from a framed site, a drop, a form post, history) would keep
// the screen away from the slide until the next advance.
bool IsPlayersPage(std::string_view target, std::string_view playerPage);

// At most kMaxRecoveries page recoveries within kWindowMs. Once spent, the
// page is given up until the player shows another one (Reset).
class RecoveryBudget {
 public:
  static constexpr int kMaxRecoveries = 5;
  static constexpr std::int64_t kWindowMs = 60000;

  // Counts one recovery at nowMs and says whether it may go ahead; false
  // once the budget is spent, for as long as the same page stays.
  bool TryRecover(std::int64_t nowMs);
  bool GaveUp() const { return gaveUp_; }
  void Reset();

 private:
  std::deque<std::int64_t> recent_;
  bool gaveUp_ = false;
};

// Memory allowed to the page process before the engine ends it: a quarter
// of the machine's memory, never below 256 MB (physical memory in bytes;
// 0 when unknown).
unsigned PageMemoryLimitMb(std::uint64_t physicalBytes);

// The memory a process holds of its own, in bytes: its resident pages less
// those it shares with files (Linux: the text of /proc/PID/statm). Cheap to
// read, unlike the engine's own measure, which walks every mapping.
std::optional<std::uint64_t> OwnResidentBytes(std::string_view statm, std::uint64_t pageSize);

// How often the page process's memory is looked at.
inline constexpr int kPageMemoryCheckMs = 2000;

// How long a page process may stay unanswering before it is ended.
inline constexpr int kUnresponsivePageMs = 5000;

}  // namespace velane
