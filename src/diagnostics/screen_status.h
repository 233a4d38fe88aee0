// What each screen tells about itself in the status folder (etat/ under the
// content root unless VELANE_STATUS_DIR names another): <screen>.json, its
// state, and <screen>.png, the slide on screen. The player writes both; the
// checker (afficheur-check --status) reads every screen's JSON back. The
// rules both share live here; nothing here touches a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace velane {

// The version of the JSON's layout, its "format" field.
inline constexpr int kStatusFormat = 1;
inline constexpr char kStatusFolderVariable[] = "VELANE_STATUS_DIR";
inline constexpr char kScreenNameVariable[] = "VELANE_SCREEN_NAME";
inline constexpr char16_t kStatusFolderName[] = u"etat";
// The picture of the slide is scaled down to at most this width.
inline constexpr int kStatusPictureWidth = 480;
// A screen whose JSON has not been rewritten for longer is silent: the
// player rewrites it at least once a minute.
inline constexpr long long kSilentAfterSeconds = 180;
// Starts this close together, the last of them this recent, are a player
// restarting over and over.
inline constexpr int kRestartsOverAndOver = 3;
inline constexpr long long kRestartWindowSeconds = 600;
// How many recent starts the JSON keeps.
inline constexpr std::size_t kStartsKept = 5;

// A content problem as the checker words it; texts in UTF-8.
struct StatusProblem {
  std::string code;
  std::string place;
  std::string message;
  bool operator==(const StatusProblem&) const = default;
};

// The slide on screen. Texts in UTF-8.
struct StatusSlide {
  std::int16_t section = 0;
  std::string type;   // "Type" as read ("" when empty)
  std::string value;  // its file or address, by the type's key
  platform::LocalTime since;
};

struct ScreenStatus {
  std::string screen;   // the file name's stem
  std::string version;  // the player's
  platform::LocalTime startedAt;
  std::vector<platform::LocalTime> starts;  // recent starts, oldest first
  std::optional<StatusSlide> slide;         // none before the first tick
  std::optional<std::int16_t> nextSection;
  std::optional<platform::LocalTime> lastTick;
  // "shown", "passed over", "screen off"; none where there is no schedule.
  std::optional<std::string> schedule;
  std::vector<StatusProblem> problems;
  std::optional<bool> sandboxed;  // none: not known
  std::optional<std::uint64_t> memoryKb;
  std::optional<double> cpuPercent;  // of one core, over the last minute
};

// "2026-12-07T14:03:05", local time.
std::string TimeText(const platform::LocalTime& time);
std::optional<platform::LocalTime> ParseTimeText(std::string_view text);
// Seconds from 1970-01-01 00:00:00 of that calendar time, for differences.
long long SecondsOf(const platform::LocalTime& time);

// A text of the program (UTF-16 units that hold the files' bytes) as UTF-8:
// its bytes when they are UTF-8, else its Windows-1252 characters.
std::string StatusText(std::u16string_view text);

// A JSON string of UTF-8 text (bytes that are not UTF-8 become U+FFFD).
std::string JsonQuoted(std::string_view utf8);

// The JSON, one field a line; its layout is the README's.
std::string FormatStatusJson(const ScreenStatus& status);
// A JSON written by FormatStatusJson (any format 1 object with a "screen");
// nothing when it is not one.
std::optional<ScreenStatus> ParseStatusJson(std::string_view json);

// The screen's name made a safe file name: letters, digits, ".", "-" and
// "_" kept, every other character "_", no leading ".", at most 64
// characters, "screen" when nothing is left.
std::string SafeScreenName(std::string_view name);

// The status folder of a content root (without trailing separator):
// VELANE_STATUS_DIR when set and absolute, else the root's etat folder.
std::u16string StatusFolderOf(const std::u16string& contentRoot);

// The starts to keep after a start at `now`: the previous ones that are
// not later than it, then this one, at most kStartsKept.
std::vector<platform::LocalTime> StartsAfter(const std::vector<platform::LocalTime>& previous,
                                             const platform::LocalTime& now);

// Whether a JSON written ageSeconds ago belongs to a silent screen.
bool IsSilent(long long ageSeconds);
// Whether the player keeps restarting: kRestartsOverAndOver starts within
// kRestartWindowSeconds, the last of them less than that before its last
// tick (all by the player's own clock).
bool IsRestartingOverAndOver(const ScreenStatus& status);

}  // namespace velane
