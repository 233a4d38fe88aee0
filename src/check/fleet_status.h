// The fleet at a glance (afficheur-check --status): every screen's status
// file of a status folder read back, one line per screen, the same as
// JSON, and the fleet page, index.html, written into the folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "diagnostics/screen_status.h"

namespace velane {

struct FleetScreen {
  std::string file;                    // the JSON's file name
  std::optional<ScreenStatus> status;  // none: not a status file we can read
  long long ageSeconds = 0;            // since the file was last written
  std::string picture;                 // the PNG beside it; empty when none
  bool silent = false;
  bool restarting = false;
};

struct FleetReport {
  std::string folder;
  std::vector<FleetScreen> screens;  // by file name
  // 0 all well; 1 a warning (a content problem, a file that cannot be
  // read, no screen at all); 2 a screen silent or restarting over and over.
  int ExitStatus() const;
};

// Reads every *.json of the folder (and each one's picture), at `now`
// (seconds since 1970, the clock the files' times are written with).
FleetReport ReadFleet(const std::string& folder, long long now);

std::string FormatFleetText(const FleetReport& report);
// {"folder", "exit_status", "screens": [{"file", "screen", "state",
//  "age_seconds", "section", "type", "value", "since", "last_tick",
//  "schedule", "problems": [...], "memory_kb", "cpu_percent"}]}
std::string FormatFleetJson(const FleetReport& report);
// The fleet page: one self-contained HTML page (pictures inside it, no
// script), refreshed by itself every 30 s.
std::string FormatFleetPage(const FleetReport& report, const std::string& generatedAt);

// "12 s", "4 min", "3 h 10 min", "2 d 5 h".
std::string AgeText(long long seconds);

}  // namespace velane
