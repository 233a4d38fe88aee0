#include "check/fleet_status.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace velane {
namespace {

namespace fs = std::filesystem;

// A status file is small; anything much larger is not one.
constexpr std::uintmax_t kLargestStatus = 1 << 20;
constexpr std::uintmax_t kLargestPicture = 8 << 20;

std::string ReadFile(const fs::path& path, std::uintmax_t largest) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error || size > largest) return {};
  std::ifstream in(path, std::ios::binary);
  std::string bytes(size, '\0');
  in.read(bytes.data(), std::streamsize(size));
  bytes.resize(std::size_t(in.gcount()));
  return bytes;
}

long long ModifiedAt(const fs::path& path) {
  std::error_code error;
  const auto time = fs::last_write_time(path, error);
  if (error) return 0;
  const auto system = std::chrono::file_clock::to_sys(time);
  return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

// "12:00:05" when the day is the one of the last tick, else the whole time.
std::string SinceText(const ScreenStatus& s) {
  const std::string since = TimeText(s.slide->since);
  if (s.lastTick && TimeText(*s.lastTick).substr(0, 10) == since.substr(0, 10))
    return since.substr(11);
  return since.substr(0, 10) + " " + since.substr(11);
}

std::string ShowsText(const ScreenStatus& s) {
  if (!s.slide) return "no slide yet";
  std::string text = "section " + std::to_string(s.slide->section) + " (";
  text += s.slide->type.empty() ? std::string("no type") : s.slide->type;
  if (!s.slide->value.empty()) text += " " + s.slide->value;
  return text + ") since " + SinceText(s);
}

const char* StateName(const FleetScreen& screen) {
  if (!screen.status) return "unreadable";
  if (screen.silent) return "silent";
  if (screen.restarting) return "restarting";
  if (!screen.status->problems.empty()) return "warning";
  return "ok";
}

std::string Html(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const auto byte = [&](std::size_t k) {
      return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u;
    };
    const unsigned v = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    out.push_back(kDigits[(v >> 18) & 63]);
    out.push_back(kDigits[(v >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? kDigits[v & 63] : '=');
  }
  return out;
}

bool IsPng(std::string_view bytes) { return bytes.substr(0, 8) == "\x89PNG\r\n\x1a\n"; }

}  // namespace

std::string AgeText(long long s) {
  if (s < 0) s = 0;
  if (s < 120) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min";
  if (s < 86400) {
    std::string text = std::to_string(s / 3600) + " h";
    return (s % 3600) / 60 ? text + " " + std::to_string((s % 3600) / 60) + " min" : text;
  }
  std::string text = std::to_string(s / 86400) + " d";
  return (s % 86400) / 3600 ? text + " " + std::to_string((s % 86400) / 3600) + " h" : text;
}

int FleetReport::ExitStatus() const {
  int status = screens.empty() ? 1 : 0;
  for (const FleetScreen& screen : screens) {
    if (screen.silent || screen.restarting) return 2;
    if (!screen.status || !screen.status->problems.empty()) status = 1;
  }
  return status;
}

FleetReport ReadFleet(const std::string& folder, long long now) {
  FleetReport report{folder, {}};
  std::error_code error;
  for (fs::directory_iterator it(fs::path(folder), error), end; !error && it != end;
       it.increment(error)) {
    const fs::path path = it->path();
    if (path.extension() != ".json" || !it->is_regular_file(error)) continue;
    FleetScreen screen;
    screen.file = path.filename().string();
    screen.status = ParseStatusJson(ReadFile(path, kLargestStatus));
    screen.ageSeconds = std::max(0LL, now - ModifiedAt(path));
    screen.silent = IsSilent(screen.ageSeconds);
    if (screen.status) {
      screen.restarting = IsRestartingOverAndOver(*screen.status);
      fs::path picture = path;
      picture.replace_extension(".png");
      screen.picture = ReadFile(picture, kLargestPicture);
      if (!IsPng(screen.picture)) screen.picture.clear();
    }
    report.screens.push_back(std::move(screen));
  }
  std::sort(report.screens.begin(), report.screens.end(),
            [](const FleetScreen& a, const FleetScreen& b) { return a.file < b.file; });
  return report;
}

std::string FormatFleetText(const FleetReport& report) {
  std::string out = "Status folder: " + report.folder + "\n";
  if (report.screens.empty()) return out + "No screen has written its status here.\n";
  std::size_t width = 0;
  for (const FleetScreen& screen : report.screens)
    width = std::max(width, screen.status ? screen.status->screen.size() : screen.file.size());
  for (const FleetScreen& screen : report.screens) {
    if (!screen.status) {
      out += "  " + screen.file + ": UNREADABLE, not a status file of this player\n";
      continue;
    }
    const ScreenStatus& s = *screen.status;
    std::string name = s.screen;
    name.resize(std::max(width, name.size()), ' ');
    out += "  " + name + "  ";
    if (screen.silent) out += "SILENT ";
    if (screen.restarting) out += "RESTARTING OVER AND OVER ";
    out += ShowsText(s);
    if (s.schedule) out += ", " + *s.schedule;
    out += "; written " + AgeText(screen.ageSeconds) + " ago";
    if (!s.problems.empty())
      out += "; " + std::to_string(s.problems.size()) +
             (s.problems.size() == 1 ? " problem" : " problems");
    out += "\n";
    for (const StatusProblem& p : s.problems)
      out += "      [" + p.code + "] " + (p.place.empty() ? "" : p.place + ": ") + p.message + "\n";
  }
  std::size_t silent = 0, restarting = 0;
  for (const FleetScreen& screen : report.screens) {
    silent += screen.silent;
    restarting += screen.restarting;
  }
  out +=
      std::to_string(report.screens.size()) + (report.screens.size() == 1 ? " screen" : " screens");
  if (silent) out += ", " + std::to_string(silent) + " silent for more than 3 min";
  if (restarting) out += ", " + std::to_string(restarting) + " restarting over and over";
  return out + "\n";
}

std::string FormatFleetJson(const FleetReport& report) {
  std::string out = "{\n  \"folder\": " + JsonQuoted(report.folder) + ",\n";
  out += "  \"exit_status\": " + std::to_string(report.ExitStatus()) + ",\n";
  out += "  \"screens\": [";
  for (std::size_t i = 0; i < report.screens.size(); ++i) {
    const FleetScreen& screen = report.screens[i];
    out += i ? ",\n    {" : "\n    {";
    out += "\"file\": " + JsonQuoted(screen.file);
    out += ", \"state\": \"" + std::string(StateName(screen)) + "\"";
    out += ", \"age_seconds\": " + std::to_string(screen.ageSeconds);
    out += ", \"silent\": " + std::string(screen.silent ? "true" : "false");
    out += ", \"restarting\": " + std::string(screen.restarting ? "true" : "false");
    if (screen.status) {
      const ScreenStatus& s = *screen.status;
      out += ", \"screen\": " + JsonQuoted(s.screen);
      if (s.slide) {
        out += ", \"section\": " + std::to_string(s.slide->section) +
               ", \"type\": " + JsonQuoted(s.slide->type) +
               ", \"value\": " + JsonQuoted(s.slide->value) + ", \"since\": \"" +
               TimeText(s.slide->since) + "\"";
      } else {
        out += ", \"section\": null";
      }
      out += ", \"last_tick\": " + (s.lastTick ? "\"" + TimeText(*s.lastTick) + "\"" : "null");
      out += ", \"schedule\": " + (s.schedule ? JsonQuoted(*s.schedule) : "null");
      out += ", \"problems\": [";
      for (std::size_t k = 0; k < s.problems.size(); ++k)
        out += std::string(k ? ", " : "") + "{\"code\": " + JsonQuoted(s.problems[k].code) +
               ", \"place\": " + JsonQuoted(s.problems[k].place) +
               ", \"message\": " + JsonQuoted(s.problems[k].message) + "}";
      out += "]";
      out += ", \"memory_kb\": " + (s.memoryKb ? std::to_string(*s.memoryKb) : "null");
      char cpu[32] = "null";
      if (s.cpuPercent) std::snprintf(cpu, sizeof cpu, "%.2f", *s.cpuPercent);
      out += ", \"cpu_percent\": " + std::string(cpu);
    }
    out += "}";
  }
  out += report.screens.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

std::string FormatFleetPage(const FleetReport& report, const std::string& generatedAt) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"refresh\" content=\"30\">\n"
      "<title>VELANE: the screens</title>\n<style>\n"
      "body { margin: 0; padding: 16px; background: #f2f2f2; font: 15px sans-serif; color: "
      "#202020; }\n"
      "h1 { font-size: 20px; margin: 0 0 12px; }\n"
      ".cards { display: flex; flex-wrap: wrap; gap: 16px; }\n"
      ".card { width: 480px; background: #fff; border: 6px solid #2e9e4f; }\n"
      ".card.warning { border-color: #e0a000; }\n"
      ".card.silent, .card.restarting, .card.unreadable { border-color: #d01818; background: "
      "#fbe0e0; }\n"
      ".card img, .card .none { display: block; width: 480px; height: 270px; object-fit: "
      "contain; background: #000; }\n"
      ".card .none { color: #aaa; text-align: center; line-height: 270px; }\n"
      ".card .text { padding: 8px 10px; }\n"
      ".card .name { font-weight: bold; font-size: 18px; }\n"
      ".card .state { float: right; font-weight: bold; }\n"
      ".card.silent .state, .card.restarting .state, .card.unreadable .state { color: #d01818; "
      "}\n"
      ".card .problem { color: #8a5a00; font-size: 13px; }\n"
      "</style></head><body>\n";
  page += "<h1>" + std::to_string(report.screens.size()) +
          (report.screens.size() == 1 ? " screen" : " screens") + ", as of " + Html(generatedAt) +
          "</h1>\n<div class=\"cards\">\n";
  for (const FleetScreen& screen : report.screens) {
    const std::string state = StateName(screen);
    page += "<div class=\"card " + state + "\">";
    if (!screen.picture.empty())
      page += "<img alt=\"\" src=\"data:image/png;base64," + Base64(screen.picture) + "\">";
    else
      page += "<div class=\"none\">no picture</div>";
    page += "<div class=\"text\"><span class=\"state\">" + state + "</span>";
    if (screen.status) {
      const ScreenStatus& s = *screen.status;
      page += "<div class=\"name\">" + Html(s.screen) + "</div>";
      page += "<div>" + Html(ShowsText(s)) + "</div>";
      page += "<div>written " + Html(AgeText(screen.ageSeconds)) + " ago</div>";
      for (const StatusProblem& p : s.problems)
        page += "<div class=\"problem\">[" + Html(p.code) + "] " + Html(p.message) + "</div>";
    } else {
      page += "<div class=\"name\">" + Html(screen.file) + "</div><div>not readable</div>";
    }
    page += "</div></div>\n";
  }
  return page + "</div>\n</body></html>\n";
}

}  // namespace velane
