// The playlist checker: walks a content root the way the player would and
// lists every misconfiguration that the player would otherwise pass over in
// silence. It reads with the player's own settings store (read mode only),
// INI engine, conversions and text helpers, so its verdicts are the
// player's; it never writes a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display/schedule.h"
#include "platform/platform.h"

namespace velane {

// One slide of the chain, as the screen shows it.
struct ChainSlide {
  std::int16_t section = 0;
  std::u16string type;        // the "Type" value as the player reads it
  double dwellSeconds = 1;    // whole ticks on screen: floor(d) + 1, at least 1
  std::u16string dwellValue;  // "delais secondes" (d) as the player reads it
  bool blank = false;         // its composed page is empty: a blank screen
  Schedule schedule;          // when it plays (its keys that parse)
  std::u16string value{};     // the type's own key ("image", "html", "url", "video") as read
  std::u16string page{};      // the composed page, as the player writes it (without CR LF)
};

// How much a finding matters to what the screen shows.
enum class Severity {
  kError,    // the screen shows something other than intended (a blank
             // page, a missing folder, geometry that stops the load)
  kWarning,  // it works, but probably not as meant (sections skipped or
             // never reached, a slide shown 1 s)
  kNote,     // a key the player fills in with its default, by design
};

// "error", "warning", "note".
const char* SeverityName(Severity severity);

struct CheckProblem {
  std::optional<std::u16string> section;  // INI section name, if any
  std::optional<std::u16string> key;      // key name, if any
  std::string code;                       // stable identifier ("missing-key")
  std::u16string message;                 // for the operator
  Severity severity = Severity::kError;
};

struct CheckReport {
  std::u16string root;
  std::u16string playlist;
  // The sections shown from start-up on, each once, in screen order; the
  // chain then returns to loopsTo, one of them.
  std::vector<ChainSlide> chain;
  std::int16_t loopsTo = 0;
  // In the order the player meets them; layout problems of the playlist
  // (sections never reached, repeated, unknown) come last.
  std::vector<CheckProblem> problems;
  // The screen-off hours of [Systeme], and the first day of the week view.
  ScreenOff screenOff;
  DayNumber today = 0;

  bool Clean() const { return problems.empty(); }
  std::size_t Count(Severity severity) const;
  // Errors or warnings: what the tool's exit status 1 stands for; notes
  // alone leave it 0.
  bool NeedsAttention() const { return Count(Severity::kError) + Count(Severity::kWarning) > 0; }
};

// The playlist settings file of a content root.
std::u16string PlaylistOfRoot(const std::u16string& root);

// Checks the content root (a folder, without trailing separator needed).
// Reads only: no file or folder is created or changed.
// "Today", for the schedules, is the machine's local date; the second form
// takes it from the caller.
CheckReport CheckContentRoot(const std::u16string& root);
CheckReport CheckContentRoot(const std::u16string& root, DayNumber today);

// The week from today: for each day the time bands in which the same
// slides play (sections in chain order), or the screen is off.
struct WeekBand {
  int start = 0;  // minutes of the day, the end excluded
  int end = 1440;
  bool screenOff = false;
  std::vector<std::int16_t> sections;  // empty while the screen is off
};
struct WeekDay {
  DayNumber day = 0;
  std::vector<WeekBand> bands;
};
std::vector<WeekDay> WeekAhead(const CheckReport& report);

// The report as lines for a person, and as one JSON object for machines:
// {"root", "playlist", "chain": [{"section", "type", "dwell_seconds"}],
//  "loops_to", "errors", "warnings", "notes",
//  "problems": [{"severity", "section", "key", "code", "message"}]}.
// Texts are the files' bytes; JSON strings are UTF-8 (bytes that are not
// UTF-8 are read as Windows-1252).
std::string FormatCheckText(const CheckReport& report);
std::string FormatCheckJson(const CheckReport& report);
// The week ahead, for a person ("lun 2026-12-07" and its bands) and as
// {"today", "week": [{"date", "day", "bands": [{"from", "to",
// "screen_off", "sections"}]}], "errors", "warnings", "notes"}.
std::string FormatWeekText(const CheckReport& report);
std::string FormatWeekJson(const CheckReport& report);

}  // namespace velane
