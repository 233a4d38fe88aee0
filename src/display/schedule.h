// When a slide plays and when the screen is off: the optional schedule keys
// of a slide's section ("jours", "heures", "du", "au") and of [Systeme]
// ("ecran eteint", "jours eteint"), read by the player and the playlist
// checker alike. All of it is local wall-clock time: a window that starts
// at 07:00 starts when the clock reads 07:00, whatever the season.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/slide_rules.h"
#include "platform/platform.h"

namespace velane {

// A slide's schedule keys; none is ever written back.
inline constexpr PlaylistKey kDaysKey{u"jours", u""};
inline constexpr PlaylistKey kHoursKey{u"heures", u""};
inline constexpr PlaylistKey kFirstDayKey{u"du", u""};
inline constexpr PlaylistKey kLastDayKey{u"au", u""};
// The screen-off hours and days, in [Systeme].
inline constexpr PlaylistKey kScreenOffHoursKey{u"ecran eteint", u""};
inline constexpr PlaylistKey kScreenOffDaysKey{u"jours eteint", u""};
inline constexpr std::array<PlaylistKey, 4> kScheduleKeys = {kDaysKey, kHoursKey, kFirstDayKey,
                                                             kLastDayKey};
inline constexpr std::array<PlaylistKey, 2> kScreenOffKeys = {kScreenOffHoursKey,
                                                              kScreenOffDaysKey};

// Days of the week as bits, Monday bit 0 to Sunday bit 6.
using DaySet = std::uint8_t;
inline constexpr DaySet kEveryDay = 0x7f;

// The names of the days, Monday first: "lun" ... "dim".
std::u16string_view DayName(int weekday);

// A time window in minutes of the day: the start included, the end
// excluded, 1..1440. An end at or before the start crosses midnight, and
// the window belongs to the day it starts on.
struct TimeWindow {
  int start = 0;
  int end = 1440;
  bool CrossesMidnight() const { return end <= start; }
  bool operator==(const TimeWindow&) const = default;
};

// A civil date as the number of days since 1970-01-01 (negative before).
using DayNumber = std::int32_t;
DayNumber DayNumberOf(int year, int month, int day);
// Monday 0 .. Sunday 6.
int WeekdayOf(DayNumber day);
platform::LocalTime DateOf(DayNumber day);
// "2026-12-07".
std::u16string DateText(DayNumber day);

// The checker's code for a schedule value that does not parse.
inline constexpr char kBadScheduleCode[] = "bad-schedule";

// A value that does not parse: why, for the operator.
struct ScheduleError {
  std::u16string_view key;
  std::u16string value;
  std::u16string message;
};

// "lun-ven", "sam,dim", "ven-lun" (a range may wrap round the week).
std::optional<DaySet> ParseDays(std::u16string_view text, std::u16string& why);
// "07:00-11:00", "11:30-14:00,18:00-22:30", "22:00-02:00"; "24:00" or
// "00:00" as an end is midnight.
std::optional<std::vector<TimeWindow>> ParseWindows(std::u16string_view text, std::u16string& why);
// "2026-12-01": a real calendar day.
std::optional<DayNumber> ParseDate(std::u16string_view text, std::u16string& why);

// "07:00-11:00,18:00-22:30", "lun-ven" as the week view writes them.
std::u16string TimeText(int minutes);

// A slide's schedule; its missing keys mean "always".
struct Schedule {
  DaySet days = kEveryDay;
  std::vector<TimeWindow> windows;  // none: the whole day
  std::optional<DayNumber> firstDay;
  std::optional<DayNumber> lastDay;

  bool Always() const { return days == kEveryDay && windows.empty() && !firstDay && !lastDay; }
  // Whether the day is one of its days, within its dates (a window that
  // crosses midnight belongs to the day it starts on).
  bool OnDay(DayNumber day) const;
  // Whether the slide may play at this local time.
  bool Holds(const platform::LocalTime& at) const;
};

// The four values as read (absent and empty alike: ""); a malformed value
// is reported and counts as absent, so the slide plays as it would without
// it.
struct ScheduleValues {
  std::u16string days;
  std::u16string hours;
  std::u16string firstDay;
  std::u16string lastDay;
};
Schedule ParseSchedule(const ScheduleValues& values, std::vector<ScheduleError>& errors);

// The schedule in the keys' own words, for a label: "lun-ven, 11:30-14:00,
// du 2026-12-01 au 2026-12-24" ("" when it always holds).
std::u16string ScheduleText(const Schedule& schedule);

// The screen-off hours: every day within the windows, and the whole of the
// days named.
struct ScreenOff {
  std::vector<TimeWindow> windows;
  DaySet days = 0;

  bool Any() const { return !windows.empty() || days != 0; }
  bool Holds(const platform::LocalTime& at) const;
};
ScreenOff ParseScreenOff(std::u16string_view hours, std::u16string_view days,
                         std::vector<ScheduleError>& errors);

// How the player and the checker read the keys: read gives a key's value
// without ever writing it back.
using ScheduleKeyReader = std::function<std::u16string(PlaylistKey key)>;
Schedule ReadSchedule(const ScheduleKeyReader& read, std::vector<ScheduleError>& errors);
ScreenOff ReadScreenOff(const ScheduleKeyReader& read, std::vector<ScheduleError>& errors);

// The local time at which schedules are judged. It is the wall clock, but
// when the clock goes back by up to two hours (the autumn change, 03:00 to
// 02:00, or a small correction) the hour shown again is judged as the
// latest time already seen, so that no window starts or ends a second time
// in it. The spring change needs nothing: 02:00 to 03:00 is a jump forward,
// and a window that began at 02:30 holds from 03:00 like any window already
// open.
class ScheduleClock {
 public:
  platform::LocalTime Judge(const platform::LocalTime& now);

 private:
  std::optional<platform::LocalTime> latest_;
};

}  // namespace velane
