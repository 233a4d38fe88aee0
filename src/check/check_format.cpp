// The checker's report as text lines and as JSON.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "check/playlist_check.h"
#include "config/ansi.h"
#include "config/conversions.h"
#include "display/slide_rules.h"

namespace velane {
namespace {

std::string SecondsText(double seconds) {
  char buffer[64];
  if (seconds < 1e15) {
    std::snprintf(buffer, sizeof buffer, "%.0f", seconds);
    return buffer;
  }
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, seconds);
  return ec == std::errc() ? std::string(buffer, end) : "for ever";
}

std::string TypeText(const std::u16string& type) {
  if (type.empty()) return "no type";
  if (FindSlideType(type)) return ToAnsi(type);
  return "\"" + ToAnsi(type) + "\"";
}

// "1 -> 2 -> 3 -> 1"; a long loop shows its first and last sections.
std::string LoopText(const std::vector<std::int16_t>& loop, std::int16_t back) {
  constexpr std::size_t kHead = 5, kTail = 2;
  std::string text;
  for (std::size_t i = 0; i < loop.size(); ++i) {
    if (loop.size() > kHead + kTail + 1 && i == kHead) {
      text += "... (" + std::to_string(loop.size()) + " sections) -> ";
      i = loop.size() - kTail;
    }
    text += std::to_string(loop[i]) + " -> ";
  }
  return text + std::to_string(back);
}

// Where a problem sits: "section 2, \"Type\"", "Systeme", or nothing.
std::string PlaceText(const CheckProblem& problem) {
  std::string place;
  if (problem.section) place = ToAnsi(*problem.section);
  if (problem.key) {
    if (!place.empty()) place += ", ";
    place += "\"" + ToAnsi(*problem.key) + "\"";
  }
  return place;
}

void AppendUtf8(std::string& out, char16_t c) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

// A JSON string of the text's bytes when they are UTF-8 (most content
// files today), else of its Windows-1252 characters.
std::string JsonString(const std::u16string& text) {
  const std::string bytes = ToAnsi(text);
  std::string utf8;
  if (IsUtf8(bytes)) {
    utf8 = bytes;
  } else {
    for (char16_t c : text) AppendUtf8(utf8, c);
  }
  std::string out = "\"";
  for (char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20 || u == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out.push_back(c);
    }
  }
  return out + "\"";
}

std::string JsonOptional(const std::optional<std::u16string>& text) {
  return text ? JsonString(*text) : "null";
}

std::string JsonNumber(double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : "null";
}

std::string CountText(std::size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      break;
  }
  return "note";
}

std::size_t CheckReport::Count(Severity severity) const {
  std::size_t n = 0;
  for (const CheckProblem& problem : problems)
    if (problem.severity == severity) ++n;
  return n;
}

std::string FormatCheckText(const CheckReport& report) {
  std::string out = "Content root: " + ToAnsi(report.root) + "\n";
  out += "Playlist: " + ToAnsi(report.playlist) + "\n";
  out += "Chain from section 0, as the screen shows it:\n";
  std::vector<std::int16_t> loop;
  for (const ChainSlide& slide : report.chain) {
    // What the screen does: d seconds show for d + 1 ticks of one second.
    out += "  section " + std::to_string(slide.section) + ": " + TypeText(slide.type) + ", " +
           SecondsText(slide.dwellSeconds) +
           " s on screen (delais secondes=" + ToAnsi(slide.dwellValue) + ")\n";
    if (slide.section == report.loopsTo || !loop.empty()) loop.push_back(slide.section);
  }
  out += "  then section " + std::to_string(report.loopsTo) + " again: the chain loops (" +
         LoopText(loop, report.loopsTo) + ")\n";
  if (report.problems.empty()) {
    out += "No problem found.\n";
    return out;
  }
  out += CountText(report.Count(Severity::kError), "error") + ", " +
         CountText(report.Count(Severity::kWarning), "warning") + ", " +
         CountText(report.Count(Severity::kNote), "note") +
         ", in the order the player meets them:\n";
  for (const CheckProblem& problem : report.problems) {
    const std::string place = PlaceText(problem);
    out += "  " + std::string(SeverityName(problem.severity)) + " [" + problem.code + "] " +
           (place.empty() ? "" : place + ": ") + ToAnsi(problem.message) + "\n";
  }
  if (!report.NeedsAttention())
    out +=
        "Only notes: keys the player fills in with their defaults; the "
        "screen shows what the playlist says.\n";
  return out;
}

std::string FormatCheckJson(const CheckReport& report) {
  std::string out = "{\n  \"root\": " + JsonString(report.root) + ",\n";
  out += "  \"playlist\": " + JsonString(report.playlist) + ",\n";
  out += "  \"chain\": [";
  for (std::size_t i = 0; i < report.chain.size(); ++i) {
    const ChainSlide& slide = report.chain[i];
    out += i ? ",\n    " : "\n    ";
    out += "{\"section\": " + std::to_string(slide.section) +
           ", \"type\": " + JsonString(slide.type) +
           ", \"dwell_seconds\": " + JsonNumber(slide.dwellSeconds) +
           ", \"delais_secondes\": " + JsonString(slide.dwellValue) + "}";
  }
  out += report.chain.empty() ? "],\n" : "\n  ],\n";
  out += "  \"loops_to\": " + std::to_string(report.loopsTo) + ",\n";
  out += "  \"errors\": " + std::to_string(report.Count(Severity::kError)) +
         ", \"warnings\": " + std::to_string(report.Count(Severity::kWarning)) +
         ", \"notes\": " + std::to_string(report.Count(Severity::kNote)) + ",\n";
  out += "  \"problems\": [";
  for (std::size_t i = 0; i < report.problems.size(); ++i) {
    const CheckProblem& problem = report.problems[i];
    out += i ? ",\n    " : "\n    ";
    out += "{\"severity\": \"" + std::string(SeverityName(problem.severity)) +
           "\", \"section\": " + JsonOptional(problem.section) +
           ", \"key\": " + JsonOptional(problem.key) +
           ", \"code\": " + JsonString(FromAnsi(problem.code)) +
           ", \"message\": " + JsonString(problem.message) + "}";
  }
  out += report.problems.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

namespace {

std::string SectionsText(const std::vector<std::int16_t>& sections) {
  std::string text;
  for (std::int16_t section : sections) {
    if (!text.empty()) text += ", ";
    text += std::to_string(section);
  }
  return text;
}

std::string DayText(DayNumber day) {
  return ToAnsi(std::u16string(DayName(WeekdayOf(day))) + u" " + DateText(day));
}

std::string FindingsLine(const CheckReport& report) {
  return CountText(report.Count(Severity::kError), "error") + ", " +
         CountText(report.Count(Severity::kWarning), "warning") + ", " +
         CountText(report.Count(Severity::kNote), "note");
}

}  // namespace

std::string FormatWeekText(const CheckReport& report) {
  std::string out = "Playlist: " + ToAnsi(report.playlist) + "\n";
  out += "The week from " + DayText(report.today) + ", sections in chain order:\n";
  for (const WeekDay& day : WeekAhead(report)) {
    out += "  " + DayText(day.day) + "\n";
    for (const WeekBand& band : day.bands) {
      out += "    " + ToAnsi(TimeText(band.start)) + "-" + ToAnsi(TimeText(band.end)) + "  ";
      if (band.screenOff)
        out += "screen off\n";
      else if (band.sections.empty())
        out += "nothing plays: black\n";
      else
        out += (band.sections.size() == 1 ? "section " : "sections ") +
               SectionsText(band.sections) + "\n";
    }
  }
  out += FindingsLine(report);
  out += report.NeedsAttention() ? " (afficheur-check without --week lists them)\n" : "\n";
  return out;
}

std::string FormatWeekJson(const CheckReport& report) {
  std::string out = "{\n  \"playlist\": " + JsonString(report.playlist) + ",\n";
  out += "  \"today\": " + JsonString(DateText(report.today)) + ",\n";
  out += "  \"week\": [";
  const std::vector<WeekDay> week = WeekAhead(report);
  for (std::size_t i = 0; i < week.size(); ++i) {
    out += i ? ",\n    " : "\n    ";
    out += "{\"date\": " + JsonString(DateText(week[i].day)) +
           ", \"day\": " + JsonString(std::u16string(DayName(WeekdayOf(week[i].day)))) +
           ", \"bands\": [";
    for (std::size_t j = 0; j < week[i].bands.size(); ++j) {
      const WeekBand& band = week[i].bands[j];
      out += j ? ", " : "";
      out += "{\"from\": " + JsonString(TimeText(band.start)) +
             ", \"to\": " + JsonString(TimeText(band.end)) +
             ", \"screen_off\": " + (band.screenOff ? "true" : "false") + ", \"sections\": [" +
             SectionsText(band.sections) + "]}";
    }
    out += "]}";
  }
  out += "\n  ],\n";
  out += "  \"errors\": " + std::to_string(report.Count(Severity::kError)) +
         ", \"warnings\": " + std::to_string(report.Count(Severity::kWarning)) +
         ", \"notes\": " + std::to_string(report.Count(Severity::kNote)) + "\n}\n";
  return out;
}

}  // namespace velane
