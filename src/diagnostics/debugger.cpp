#include "diagnostics/debugger.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "config/ansi.h"
#include "diagnostics/failure.h"
#include "display/text_helpers.h"
#include "platform/files.h"
#include "velane_version.h"

namespace velane {
namespace {

constexpr char kLogName[] = "debugger.log";
constexpr char kOlderLogName[] = "debugger.log.1";
// Past this size the log becomes debugger.log.1 (replacing the older one)
// and a new one starts, so a problem logged every second for months
// cannot fill the disk.
constexpr std::uintmax_t kLogLimit = 1024 * 1024;

using File = platform::UniqueFile;

// Thrown when the log's name is a link, which is never followed.
class LinkedLog : public Failure {
 public:
  LinkedLog() : Failure("the trace log is a link") {}
};

// Opens the log for appending, created when missing; only a plain file:
// a link (which could lead anywhere) is not followed, and a pipe (which
// could block the player) is not waited on.
File OpenLog() {
  File log;
  switch (platform::OpenForAppending(kLogName, log)) {
    case platform::AppendOpen::kOpened:
      return log;
    case platform::AppendOpen::kLink:
      throw LinkedLog();
    case platform::AppendOpen::kNotPlainFile:
      throw Failure("the trace log is not a plain file");
    case platform::AppendOpen::kFailed:
      break;
  }
  throw Failure("cannot open the trace log");
}

// The size of the open log, or 0 when it cannot be told.
std::uintmax_t LogSize(std::FILE* log) {
  if (std::fseek(log, 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(log);
  return size > 0 ? std::uintmax_t(size) : 0;
}

// The trace keeps its first kTraceLimit UTF-16 units, exactly. The cut may
// leave half of a surrogate pair at the end; the text is only ever shown,
// so that costs at most one odd character at the bottom of the label.
std::u16string CutToLimit(std::u16string text) {
  if (text.size() > kTraceLimit) text.resize(kTraceLimit);
  return text;
}

// "dd/mm/yyyy hh:nn:ss : texte" and CR LF, in the code page.
std::string LogLine(const platform::LocalTime& t, const std::u16string& texte) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d : ", t.day, t.month, t.year,
                t.hour, t.minute, t.second);
  return stamp + ToAnsi(texte) + "\r\n";
}

}  // namespace

DEBUGGER::DEBUGGER(platform::Control& host, platform::Control& traceur, platform::Clock& clock)
    : host_(host), traceur_(traceur), clock_(clock) {}

// Each step may fail on its own and is then skipped: the trace text is
// updated even when the log cannot be written, and nothing is reported.
void DEBUGGER::add(std::u16string texte, bool logger) {
  Step([&] { traceur_.SetText(CutToLimit(texte + u"\r\n" + traceur_.Text())); });
  if (!logger) return;

  // Opened, written and closed within the call: no handle outlives it.
  File log;
  std::string line;
  Step([&] {
    line = LogLine(clock_.Now(), texte);
    try {
      log = OpenLog();
    } catch (const LinkedLog&) {
      if (!linkReported_)
        std::fprintf(stderr,
                     VELANE_PLAYER_NAME
                     ": %s is a symbolic link: it is not "
                     "followed, and no trace line is logged while it is one\n",
                     kLogName);
      linkReported_ = true;
      throw;
    }
    // A full log becomes the older one; the line starts a new log.
    const std::uintmax_t size = LogSize(log.get());
    if (size > 0 && size + line.size() > kLogLimit) {
      log.reset();
      // Removed first: renaming onto an existing file fails on Windows.
      std::error_code error;
      std::filesystem::remove(kOlderLogName, error);
      std::filesystem::rename(kLogName, kOlderLogName, error);
      // Something other than a file in the older log's place (a folder)
      // keeps the rename from happening: the log then starts over, so it
      // still never grows past its limit.
      if (error) {
        if (!olderReported_)
          std::fprintf(stderr,
                       VELANE_PLAYER_NAME
                       ": %s cannot be replaced (%s): the full trace log starts over\n",
                       kOlderLogName, error.message().c_str());
        olderReported_ = true;
        std::filesystem::resize_file(kLogName, 0, error);
      }
      log = OpenLog();
    }
  });
  Step([&] {
    if (!log) throw Failure("the trace log is not open");
    if (std::fwrite(line.data(), 1, line.size(), log.get()) != line.size())
      throw Failure("cannot write the trace log");
  });
  Step([&] { log.reset(); });
}

void DEBUGGER::ADDandWAIT(std::u16string texte) {
  const std::u16string old = traceur_.Text();
  traceur_.SetText(CutToLimit(texte + kTraceMarker + u"\r\n" + old));
}

// Not cut: a long run of values grows the trace until the next entry cuts
// it. An Overflow from the replacement leaves the trace text as it was.
void DEBUGGER::ADDvalueWAIT(std::u16string texte) {
  const std::u16string old = traceur_.Text();
  traceur_.SetText(ReplaceAll(old, std::u16string(1, kTraceMarker), texte));
}

void DEBUGGER::ADDtextAvanced(std::u16string texte) {
  const std::u16string old = traceur_.Text();
  traceur_.SetText(CutToLimit(texte + old));
}

void DEBUGGER::UserControl_Resize() {
  const platform::PixelRect inner = host_.Placement();
  traceur_.Place({0, 0, std::max(0, inner.width), std::max(0, inner.height)});
}

std::u16string DEBUGGER::Text() const { return traceur_.Text(); }

}  // namespace velane
