#include "diagnostics/status_report.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "config/ansi.h"
#include "config/conversions.h"
#include "diagnostics/failure.h"
#include "display/afficheur.h"
#include "display/slide_rules.h"
#include "platform/files.h"
#include "velane_version.h"
#include "windows/bindings.h"
#include "windows/program.h"

namespace velane {
namespace {

constexpr int kWriteEveryTicks = 60;
// The CPU share is measured over at least this long.
constexpr double kCpuWindowSeconds = 50;

StatusState& StateOf(Program& program) { return program.GetAfficheur().screenStatus; }

std::string ScreenNameOf(Program& program) {
  const char* named = std::getenv(kScreenNameVariable);
  if (named != nullptr && *named != '\0') return SafeScreenName(named);
  return SafeScreenName(ToAnsi(program.platform.process.MachineName()));
}

std::string ReadSmallFile(const std::u16string& path) {
  std::ifstream in(ToAnsi(path), std::ios::binary);
  std::string bytes;
  if (!in) return bytes;
  bytes.resize(64 * 1024);
  in.read(bytes.data(), std::streamsize(bytes.size()));
  bytes.resize(std::size_t(in.gcount()));
  return bytes;
}

// The first tick: who this screen is, where it writes, and the starts its
// previous status file kept.
void Begin(Program& program, StatusState& state) {
  state.begun = true;
  ScreenStatus& s = state.status;
  s.screen = ScreenNameOf(program);
  s.version = VELANE_VERSION;
  s.startedAt = program.platform.clock.Now();
  const std::u16string folder = StatusFolderOf(program.contentRoot);
  const std::u16string stem = folder + platform::kPathSeparator + FromAnsi(s.screen);
  state.jsonPath = stem + u".json";
  state.picturePath = stem + u".png";
  // The status folder is the player's own: made when missing (only its
  // last level, never the folders above it).
  std::error_code ignored;
  std::filesystem::create_directory(std::filesystem::path(ToAnsi(folder)), ignored);
  std::vector<platform::LocalTime> previous;
  if (const auto before = ParseStatusJson(ReadSmallFile(state.jsonPath))) previous = before->starts;
  s.starts = StartsAfter(previous, s.startedAt);
  // The first tick measures the usage too.
  state.ticksSinceSample = kWriteEveryTicks - 1;
}

std::optional<std::int16_t> NextSectionOf(Program& program, std::int16_t section) {
  // Read only: the sequencer writes the default itself when it gets there.
  const std::u16string text =
      program.settings.ReadSetting(SectionName(section), std::u16string(kNextSectionKey.name),
                                   std::u16string(kNextSectionKey.defaultValue), u"", 1);
  try {
    return StrictInteger(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void SampleUsage(Program& program, StatusState& state) {
  const platform::ResourceUse use = program.platform.process.Usage();
  state.status.memoryKb = use.memoryKb;
  if (!use.cpuSeconds) {
    state.status.cpuPercent.reset();
    return;
  }
  const double window = use.elapsedSeconds - state.elapsedSeconds;
  if (state.cpuSeconds && window >= kCpuWindowSeconds) {
    state.status.cpuPercent = 100 * (*use.cpuSeconds - *state.cpuSeconds) / window;
  }
  if (!state.cpuSeconds || window >= kCpuWindowSeconds) {
    state.cpuSeconds = use.cpuSeconds;
    state.elapsedSeconds = use.elapsedSeconds;
  }
}

void WriteJson(Program& program, StatusState& state) {
  ScreenStatus& s = state.status;
  s.problems.clear();
  for (const auto& [subject, problem] : program.problems.current())
    s.problems.push_back({problem.code, StatusText(problem.place), StatusText(problem.message)});
  if (s.slide) s.nextSection = NextSectionOf(program, s.slide->section);
  s.schedule = ScheduleStateOf(program);
  s.sandboxed = PageProcessSandboxed(program);
  const bool written = platform::ReplaceFileWhole(ToAnsi(state.jsonPath), FormatStatusJson(s)) ==
                       platform::FileWrite::kWritten;
  if (!written && !state.writeFailed) {
    ReportProblem(&program, "the status file " + ToAnsi(state.jsonPath) +
                                " cannot be written (is its folder there and open to this "
                                "user?); the slides go on, and this is not told again");
  }
  state.writeFailed = !written;
}

}  // namespace

std::optional<std::string> ScheduleStateOf(Program& program) {
  const SequencerState& seq = program.GetAfficheur().sequencer;
  if (seq.screenOff) return "screen off";
  if (seq.blank) return "passed over";  // no slide of the chain holds now
  if (!seq.shownSchedule.Always() || !seq.toldPassedOver.empty()) return "shown";
  return std::nullopt;  // no schedule plays a part
}

std::optional<bool> PageProcessSandboxed(Program& program) {
  return program.GetAfficheur().Webcam().PageProcessSandboxed();
}

void StatusSlideShown(Program& program, std::int16_t section, const std::u16string& type,
                      const std::u16string& value) {
  StatusState& state = StateOf(program);
  state.status.slide =
      StatusSlide{section, StatusText(type), StatusText(value), program.platform.clock.Now()};
  state.ticksSinceShown = 0;
}

void StatusTick(Program& program, bool advanced) {
  StatusState& state = StateOf(program);
  if (!state.begun) Step([&] { Begin(program, state); });
  if (!state.begun) return;
  state.status.lastTick = program.platform.clock.Now();
  ++state.ticksSinceWrite;
  ++state.ticksSinceSample;
  // The usage once a minute, however often the slides change.
  const bool minute = state.ticksSinceSample >= kWriteEveryTicks;
  if (minute) {
    Step([&] { SampleUsage(program, state); });
    state.ticksSinceSample = 0;
  }
  if (advanced || minute || state.ticksSinceWrite >= kWriteEveryTicks) {
    Step([&] { WriteJson(program, state); });
    state.ticksSinceWrite = 0;
  }
  // The picture: a second after the slide is shown (once its page has
  // loaded), and with every minute's status.
  if (state.ticksSinceShown >= 0 && !state.writeFailed &&
      (state.ticksSinceShown == 1 || (minute && !advanced))) {
    Step([&] {
      program.GetAfficheur().Webcam().SaveSnapshot(state.picturePath, kStatusPictureWidth);
    });
  }
  if (state.ticksSinceShown >= 0) ++state.ticksSinceShown;
}

}  // namespace velane
