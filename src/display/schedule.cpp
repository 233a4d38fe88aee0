#include "display/schedule.h"

#include <array>
#include <cstdio>

namespace velane {
namespace {

constexpr std::array<std::u16string_view, 7> kDayNames = {u"lun", u"mar", u"mer", u"jeu",
                                                          u"ven", u"sam", u"dim"};

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

// The comma-separated items of a value, blanks around each removed.
std::vector<std::u16string_view> Items(std::u16string_view text) {
  std::vector<std::u16string_view> items;
  for (;;) {
    const std::size_t comma = text.find(u',');
    items.push_back(Trimmed(text.substr(0, comma)));
    if (comma == std::u16string_view::npos) return items;
    text.remove_prefix(comma + 1);
  }
}

std::optional<int> DayIndex(std::u16string_view name) {
  std::u16string lowered(name);
  for (char16_t& c : lowered)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  for (std::size_t i = 0; i < kDayNames.size(); ++i)
    if (kDayNames[i] == lowered) return int(i);
  return std::nullopt;
}

// Digits only, at most `most` of them.
std::optional<int> Number(std::u16string_view text, std::size_t least, std::size_t most) {
  if (text.size() < least || text.size() > most) return std::nullopt;
  int value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return value;
}

// "7:05" or "07:05" in minutes of the day; 24:00 allowed only where an end
// is read.
std::optional<int> ClockTime(std::u16string_view text, bool end) {
  const std::size_t colon = text.find(u':');
  if (colon == std::u16string_view::npos) return std::nullopt;
  const auto hour = Number(text.substr(0, colon), 1, 2);
  const auto minute = Number(text.substr(colon + 1), 2, 2);
  if (!hour || !minute || *minute > 59) return std::nullopt;
  const int minutes = *hour * 60 + *minute;
  if (minutes > 1440 || (minutes == 1440 && !end)) return std::nullopt;
  return minutes;
}

std::u16string Quote(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

bool DayIn(DaySet days, DayNumber day) { return (days >> WeekdayOf(day)) & 1; }

DayNumber DayOfTime(const platform::LocalTime& at) {
  return DayNumberOf(at.year, at.month, at.day);
}

int MinuteOf(const platform::LocalTime& at) { return at.hour * 60 + at.minute; }

std::int64_t SecondsOf(const platform::LocalTime& at) {
  return std::int64_t(DayOfTime(at)) * 86400 + at.hour * 3600 + at.minute * 60 + at.second;
}

}  // namespace

std::u16string_view DayName(int weekday) { return kDayNames.at(std::size_t(weekday)); }

// Days from civil (proleptic Gregorian), after H. Hinnant's algorithm.
DayNumber DayNumberOf(int year, int month, int day) {
  year -= month <= 2;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const int yoe = year - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int WeekdayOf(DayNumber day) {
  // 1970-01-01 was a Thursday (3).
  return int(((std::int64_t(day) + 3) % 7 + 7) % 7);
}

platform::LocalTime DateOf(DayNumber day) {
  const DayNumber z = day + 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = z - era * 146097;
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  const int d = doy - (153 * mp + 2) / 5 + 1;
  const int m = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (m <= 2), m, d, 0, 0, 0};
}

std::u16string DateText(DayNumber day) {
  const platform::LocalTime date = DateOf(day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::optional<DaySet> ParseDays(std::u16string_view text, std::u16string& why) {
  DaySet days = 0;
  for (std::u16string_view item : Items(text)) {
    const std::size_t dash = item.find(u'-');
    const auto first = DayIndex(Trimmed(item.substr(0, dash)));
    const auto last =
        dash == std::u16string_view::npos ? first : DayIndex(Trimmed(item.substr(dash + 1)));
    if (!first || !last) {
      why = Quote(item) + u" is not a day nor a range of days (lun mar mer jeu ven sam dim, " +
            u"as in lun-ven or sam,dim)";
      return std::nullopt;
    }
    // A range may wrap round the week: ven-lun is Friday to Monday.
    for (int d = *first;; d = (d + 1) % 7) {
      days |= DaySet(1u << d);
      if (d == *last) break;
    }
  }
  return days;
}

std::optional<std::vector<TimeWindow>> ParseWindows(std::u16string_view text, std::u16string& why) {
  std::vector<TimeWindow> windows;
  for (std::u16string_view item : Items(text)) {
    const std::size_t dash = item.find(u'-');
    const auto start = dash == std::u16string_view::npos
                           ? std::nullopt
                           : ClockTime(Trimmed(item.substr(0, dash)), false);
    auto end = dash == std::u16string_view::npos ? std::nullopt
                                                 : ClockTime(Trimmed(item.substr(dash + 1)), true);
    if (!start || !end) {
      why = Quote(item) + u" is not a time window (start-end in hours and minutes, as in " +
            u"07:00-11:00 or 22:00-02:00)";
      return std::nullopt;
    }
    if (*end == 0) end = 1440;  // 00:00 as an end: midnight
    if (*end == *start) {
      why = Quote(item) + u" ends where it starts: a window of no length";
      return std::nullopt;
    }
    windows.push_back({*start, *end});
  }
  return windows;
}

std::optional<DayNumber> ParseDate(std::u16string_view text, std::u16string& why) {
  text = Trimmed(text);
  const auto year = text.size() == 10 && text[4] == u'-' && text[7] == u'-'
                        ? Number(text.substr(0, 4), 4, 4)
                        : std::nullopt;
  const auto month = year ? Number(text.substr(5, 2), 2, 2) : std::nullopt;
  const auto day = month ? Number(text.substr(8, 2), 2, 2) : std::nullopt;
  if (day && *month >= 1 && *month <= 12 && *day >= 1) {
    const DayNumber n = DayNumberOf(*year, *month, *day);
    // A day beyond the month's end comes back as another date.
    const platform::LocalTime back = DateOf(n);
    if (back.month == *month && back.day == *day) return n;
  }
  why = Quote(text) + u" is not a calendar day written year-month-day, as in 2026-12-01";
  return std::nullopt;
}

std::u16string TimeText(int minutes) {
  const char16_t text[] = {char16_t(u'0' + minutes / 600), char16_t(u'0' + minutes / 60 % 10), u':',
                           char16_t(u'0' + minutes % 60 / 10), char16_t(u'0' + minutes % 10)};
  return std::u16string(text, 5);
}

std::u16string ScheduleText(const Schedule& schedule) {
  std::vector<std::u16string> parts;
  if (schedule.days != kEveryDay) {
    // Runs of days from one the set lacks, so that a run may wrap round
    // the week as the key allows ("ven-lun").
    int lacking = 0;
    while (lacking < 7 && (schedule.days >> lacking & 1) != 0) ++lacking;
    std::u16string days;
    for (int i = 1; i <= 7; ++i) {
      const int day = (lacking + i) % 7;
      if ((schedule.days >> day & 1) == 0) continue;
      int length = 1;
      while (i + length <= 7 && (schedule.days >> ((lacking + i + length) % 7) & 1) != 0) ++length;
      const int last = (day + length - 1) % 7;
      if (!days.empty()) days += u",";
      days += DayName(day);
      if (length > 1)
        days += std::u16string(length == 2 ? u"," : u"-") + std::u16string(DayName(last));
      i += length - 1;
    }
    parts.push_back(days.empty() ? u"aucun jour" : days);
  }
  std::u16string hours;
  for (const TimeWindow& w : schedule.windows)
    hours += (hours.empty() ? u"" : u",") + TimeText(w.start) + u"-" + TimeText(w.end);
  if (!hours.empty()) parts.push_back(hours);
  if (schedule.firstDay) parts.push_back(u"du " + DateText(*schedule.firstDay));
  if (schedule.lastDay) parts.push_back(u"au " + DateText(*schedule.lastDay));
  std::u16string text;
  for (const std::u16string& part : parts) text += (text.empty() ? u"" : u", ") + part;
  return text;
}

bool Schedule::OnDay(DayNumber day) const {
  return DayIn(days, day) && (!firstDay || day >= *firstDay) && (!lastDay || day <= *lastDay);
}

bool Schedule::Holds(const platform::LocalTime& at) const {
  const DayNumber today = DayOfTime(at);
  const auto dayHolds = [&](DayNumber day) { return OnDay(day); };
  if (windows.empty()) return dayHolds(today);
  const int minute = MinuteOf(at);
  for (const TimeWindow& w : windows) {
    if (!w.CrossesMidnight()) {
      if (minute >= w.start && minute < w.end && dayHolds(today)) return true;
    } else {
      // After midnight the window still belongs to the day it started on.
      if (minute >= w.start && dayHolds(today)) return true;
      if (minute < w.end && dayHolds(today - 1)) return true;
    }
  }
  return false;
}

Schedule ParseSchedule(const ScheduleValues& values, std::vector<ScheduleError>& errors) {
  Schedule schedule;
  std::u16string why;
  const auto fail = [&](PlaylistKey key, const std::u16string& value) {
    errors.push_back({key.name, value, why});
  };
  if (!Trimmed(values.days).empty()) {
    if (const auto days = ParseDays(values.days, why))
      schedule.days = *days;
    else
      fail(kDaysKey, values.days);
  }
  if (!Trimmed(values.hours).empty()) {
    if (auto windows = ParseWindows(values.hours, why))
      schedule.windows = std::move(*windows);
    else
      fail(kHoursKey, values.hours);
  }
  if (!Trimmed(values.firstDay).empty()) {
    if (const auto day = ParseDate(values.firstDay, why))
      schedule.firstDay = day;
    else
      fail(kFirstDayKey, values.firstDay);
  }
  if (!Trimmed(values.lastDay).empty()) {
    if (const auto day = ParseDate(values.lastDay, why))
      schedule.lastDay = day;
    else
      fail(kLastDayKey, values.lastDay);
  }
  return schedule;
}

bool ScreenOff::Holds(const platform::LocalTime& at) const {
  if (DayIn(days, DayOfTime(at))) return true;
  const int minute = MinuteOf(at);
  for (const TimeWindow& w : windows) {
    if (w.CrossesMidnight() ? minute >= w.start || minute < w.end
                            : minute >= w.start && minute < w.end)
      return true;
  }
  return false;
}

ScreenOff ParseScreenOff(std::u16string_view hours, std::u16string_view days,
                         std::vector<ScheduleError>& errors) {
  ScreenOff off;
  std::u16string why;
  if (!Trimmed(hours).empty()) {
    if (auto windows = ParseWindows(hours, why))
      off.windows = std::move(*windows);
    else
      errors.push_back({kScreenOffHoursKey.name, std::u16string(hours), why});
  }
  if (!Trimmed(days).empty()) {
    if (const auto set = ParseDays(days, why))
      off.days = *set;
    else
      errors.push_back({kScreenOffDaysKey.name, std::u16string(days), why});
  }
  return off;
}

Schedule ReadSchedule(const ScheduleKeyReader& read, std::vector<ScheduleError>& errors) {
  return ParseSchedule({read(kDaysKey), read(kHoursKey), read(kFirstDayKey), read(kLastDayKey)},
                       errors);
}

ScreenOff ReadScreenOff(const ScheduleKeyReader& read, std::vector<ScheduleError>& errors) {
  return ParseScreenOff(read(kScreenOffHoursKey), read(kScreenOffDaysKey), errors);
}

platform::LocalTime ScheduleClock::Judge(const platform::LocalTime& now) {
  constexpr std::int64_t kLongestReplay = 2 * 3600;
  if (latest_) {
    const std::int64_t back = SecondsOf(*latest_) - SecondsOf(now);
    if (back > 0 && back <= kLongestReplay) return *latest_;
  }
  latest_ = now;
  return now;
}

}  // namespace velane
