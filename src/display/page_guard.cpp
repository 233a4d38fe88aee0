#include "display/page_guard.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace velane {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The address without its fragment and with every %XX escape decoded, so
// that two spellings of one file compare equal.
std::string Normalised(std::string_view uri) {
  uri = uri.substr(0, std::min(uri.find('#'), uri.size()));
  std::string out;
  out.reserve(uri.size());
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && HexDigit(uri[i + 1]) >= 0 &&
        HexDigit(uri[i + 2]) >= 0) {
      out += char(HexDigit(uri[i + 1]) * 16 + HexDigit(uri[i + 2]));
      i += 2;
    } else {
      out += uri[i];
    }
  }
  return out;
}

}  // namespace

bool IsPlayersPage(std::string_view target, std::string_view playerPage) {
  if (playerPage.empty()) return false;
  return Normalised(target) == Normalised(playerPage);
}

bool RecoveryBudget::TryRecover(std::int64_t nowMs) {
  if (gaveUp_) return false;
  while (!recent_.empty() && nowMs - recent_.front() >= kWindowMs) recent_.pop_front();
  if (int(recent_.size()) >= kMaxRecoveries) {
    gaveUp_ = true;
    return false;
  }
  recent_.push_back(nowMs);
  return true;
}

void RecoveryBudget::Reset() {
  recent_.clear();
  gaveUp_ = false;
}

unsigned PageMemoryLimitMb(std::uint64_t physicalBytes) {
  constexpr std::uint64_t kFloorMb = 256;
  const std::uint64_t quarterMb = physicalBytes / 4 / (1024 * 1024);
  return unsigned(std::min<std::uint64_t>(std::max(quarterMb, kFloorMb), 1u << 30));
}

std::optional<std::uint64_t> OwnResidentBytes(std::string_view statm, std::uint64_t pageSize) {
  // "size resident shared text lib data dt", in pages.
  std::uint64_t fields[3] = {};
  const char* at = statm.data();
  const char* const end = statm.data() + statm.size();
  for (std::uint64_t& field : fields) {
    while (at < end && *at == ' ') ++at;
    const auto [next, error] = std::from_chars(at, end, field);
    if (error != std::errc()) return std::nullopt;
    at = next;
  }
  const std::uint64_t resident = fields[1], shared = fields[2];
  return (resident > shared ? resident - shared : 0) * pageSize;
}

}  // namespace velane
