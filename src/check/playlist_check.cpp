#include "check/playlist_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

#include "config/ansi.h"
#include "config/conversions.h"
#include "config/ini.h"
#include "config/settings.h"
#include "diagnostics/content_problems.h"
#include "diagnostics/failure.h"
#include "display/outils.h"
#include "display/schedule.h"
#include "display/slide_rules.h"
#include "display/text_helpers.h"
#include "platform/host.h"
#include "windows/designs.h"

namespace velane {
namespace {

// What the settings store hands back at most (its read buffer).
constexpr std::size_t kLongestValue = 589;
// The whole value as stored, for telling how much of it the player cuts
// (the system's profile functions take a buffer of this size).
constexpr std::uint32_t kRawReadSize = 1u << 20;
// A default no playlist holds: a read that returns it found no key.
constexpr char kAbsent[] = "\x7f<velane-check: absent>\x7f";

// The player reads through the same profile functions; the checker refuses
// every write on top, so that no path through the settings store can touch
// a file. The playlist, read once, is indexed by section for the layout
// checks; where the profile functions are our own INI engine, its keys are
// also read from that index with the engine's rules: a chain of thousands
// of slides asks for a few keys of each, and walking the whole file for
// every one of them would take minutes.
class ReadOnlyProfile : public platform::ProfileStrings {
 public:
  void IndexPlaylist(std::string path, const std::string& text) {
    path_ = std::move(path);
    index_.emplace(text);
    serveReads_ = platform::MachineProfileIsOurEngine();
  }

  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, std::string& out,
                                         std::uint32_t size, const char* file) override {
    if (!serveReads_ || !section || !key || !file || path_ != file)
      return ini_->GetPrivateProfileStringA(section, key, defaultValue, out, size, file);
    out.clear();
    if (size == 0) return 0;
    const auto found = index_->Find(section, key);
    const std::string_view value = found && found->key
                                       ? CleanIniValue(found->key->value)
                                       : CleanIniDefault(defaultValue ? defaultValue : "");
    out.assign(value.substr(0, size - 1));
    return std::uint32_t(out.size());
  }
  bool WritePrivateProfileStringA(const char*, const char*, const char*, const char*) override {
    return false;
  }
  bool WriteBackDefaultA(const char*, const char*, const char*, const char*) override {
    return false;
  }

  const IniSectionIndex* Index() const { return index_ ? &*index_ : nullptr; }

 private:
  std::unique_ptr<platform::ProfileStrings> ini_ = platform::MachineProfile();
  std::string path_;
  std::optional<IniSectionIndex> index_;
  bool serveReads_ = false;
};

// Reading a file yields to no message loop here: there is none.
class NoEvents : public platform::MessagePump {
 public:
  void DoEvents() override {}
};

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

std::u16string NumberText(double n) {
  std::u16string text = SignedText(n);
  if (!text.empty() && text[0] == u' ') text.erase(0, 1);
  return text;
}

std::u16string DecimalTextOf(unsigned long long n) { return FromAnsi(std::to_string(n)); }

// Seconds on screen for a dwell value d: the slide leaves at the first
// tick whose counter exceeds d, so floor(d) + 1 ticks, and 1 for d < 1.
double DwellSeconds(double d) { return d >= 1 ? std::floor(d) + 1 : 1; }

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

std::u16string AsciiLowered(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = AsciiLower(c);
  return out;
}

// Whether a replacement of search would find anything in the text: with an
// empty replacement the text only shrinks when there is an occurrence, and
// an occurrence beyond the 16-bit positions makes the call fail.
bool HasOccurrence(const std::u16string& text, const std::u16string& search) {
  try {
    return ReplaceAll(text, search, u"").size() != text.size();
  } catch (const Overflow&) {
    return true;
  }
}

struct FileState {
  bool exists = false;
  bool regular = false;
  bool folder = false;
};

FileState StateOf(const std::u16string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::path(ToAnsi(path)), error);
  if (error || !std::filesystem::exists(status)) return {};
  return {true, std::filesystem::is_regular_file(status), std::filesystem::is_directory(status)};
}

bool IsLink(const std::u16string& path) {
  std::error_code error;
  return std::filesystem::is_symlink(
      std::filesystem::symlink_status(std::filesystem::path(ToAnsi(path)), error));
}

// Whether the player could write its playlist: not read-only (our INI
// engine refuses a file without any write permission bit even to root, as
// the system refuses a read-only file), open for writing, and, for our
// engine, which replaces the file through a temporary one beside it, in a
// folder open for a new file.
bool PlaylistWritable(const std::u16string& path, const std::u16string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::perms perms = fs::status(fs::path(ToAnsi(path)), error).permissions();
  const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (error || (perms & write) == fs::perms::none) return false;
  if (!platform::MayOpenForWriting(ToAnsi(path))) return false;
  return !platform::MachineProfileIsOurEngine() || platform::MayCreateIn(ToAnsi(folder));
}

// The playlist's bytes for the layout checks, with the INI engine's limits:
// a file it cannot read (not a plain file, too large) reads as empty.
std::optional<std::string> LoadPlaylistText(const std::u16string& path) {
  const FileState state = StateOf(path);
  if (!state.regular) return std::nullopt;
  std::ifstream in(ToAnsi(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, std::size_t(in.gcount()));
    if (text.size() > kMaxIniFileBytes) return std::nullopt;
  }
  if (in.bad()) return std::nullopt;
  return text;
}

// What each kind of finding means for the screen, where it does not
// depend on the key or section it is found in (those pass their own).
Severity SeverityOf(std::string_view code) {
  static constexpr std::array<std::string_view, 14> kWarnings = {
      "read-only-playlist",  "playlist-outside-root",
      "long-value",          "duplicate-key",
      "not-a-number",        "bad-next",
      "missing-transition",  "no-meta-tag",
      "replacement-skipped", "short-dwell",
      "stray-keys",          "duplicate-section",
      "unreached-section",   "unknown-section"};
  if (code == "missing-key") return Severity::kNote;
  for (std::string_view warning : kWarnings)
    if (code == warning) return Severity::kWarning;
  return Severity::kError;
}

// How a playlist key stands before the player reads it.
struct KeyRead {
  std::u16string value;  // what the player gets (the default when missing)
  bool missing = false;
  bool empty = false;  // present with an empty value
};

class Checker {
 public:
  Checker(const std::u16string& root, DayNumber today)
      : today_(today),
        root_(TrimmedRoot(root)),
        base_(!root_.empty() && root_.back() == kPathSeparator ? root_.substr(0, root_.size() - 1)
                                                               : root_),
        playlist_(PlaylistOfRoot(root_)),
        transitions_(TransitionsPath(base_)),
        store_(profile_, nullptr, playlist_) {
    report_.root = root_;
    report_.playlist = playlist_;
    report_.today = today_;
  }

  CheckReport Run() {
    CheckPlaylistFile();
    CheckDisplayGeometry();
    CheckScreenOff();
    WalkChain();
    CheckWeek();
    CheckLayout();
    return std::move(report_);
  }

 private:
  static std::u16string TrimmedRoot(std::u16string root) {
    while (root.size() > 1 && root.back() == kPathSeparator) root.pop_back();
    return root;
  }

  // The path as the operator sees it in the content root.
  std::u16string Shown(const std::u16string& path) const {
    if (path.size() > root_.size() && path.starts_with(root_) &&
        path[root_.size()] == kPathSeparator)
      return path.substr(root_.size() + 1);
    return path;
  }

  void Add(std::optional<std::u16string> section, std::optional<std::u16string> key,
           std::string code, std::u16string message) {
    const Severity severity = SeverityOf(code);
    Add(severity, std::move(section), std::move(key), std::move(code), std::move(message));
  }

  void Add(Severity severity, std::optional<std::u16string> section,
           std::optional<std::u16string> key, std::string code, std::u16string message) {
    // A section revisited or a template shared by many slides is one
    // misconfiguration, reported where the player first meets it.
    if (!reported_.emplace(section, key, code, message).second) return;
    report_.problems.push_back(
        {std::move(section), std::move(key), std::move(code), std::move(message), severity});
  }

  bool SectionExists(const std::u16string& section) const {
    return text_ && profile_.Index()->Find(ToAnsi(section), "").has_value();
  }

  // ---- the playlist file and its keys -----------------------------------

  void CheckPlaylistFile() {
    const FileState state = StateOf(playlist_);
    text_ = LoadPlaylistText(playlist_);
    if (text_) profile_.IndexPlaylist(ToAnsi(playlist_), *text_);
    if (!state.exists) {
      Add(std::nullopt, std::nullopt, "missing-playlist",
          Shown(playlist_) +
              u" does not exist: the player creates it and every setting "
              u"takes its default (an empty chain that shows section 0, "
              u"blank, again and again)");
    } else if (!text_) {
      Add(std::nullopt, std::nullopt, "unreadable-playlist",
          Shown(playlist_) +
              u" cannot be read as a settings file (not a plain file, "
              u"unreadable, or over 64 MB): every setting takes its default");
    }
    // Our engine writes no playlist through a link out of the root (the
    // system's functions on Windows do).
    if (state.exists && platform::MachineProfileIsOurEngine() &&
        !LeadsInsideRoot(root_, playlist_)) {
      Add(std::nullopt, std::nullopt, kPlaylistOutsideRootCode,
          PlaylistOutsideRootWords(Shown(playlist_)));
    } else if (!state.exists ? !platform::MayCreateIn(ToAnsi(root_))
                             : state.regular && !PlaylistWritable(playlist_, root_)) {
      Add(std::nullopt, std::nullopt, kReadOnlyPlaylistCode,
          ReadOnlyPlaylistWords(Shown(playlist_)));
    }
  }

  // Reads a key of the playlist as the player does (its settings store,
  // read mode), and reports what the player would do about it silently:
  // add a missing key, write the default over an empty value, cut a long
  // value, ignore a repeated key line. consequence completes the message
  // when the default is what the player then goes on with; missing says
  // how much that matters (by default a key filled in by design).
  KeyRead ReadKey(const std::u16string& section, PlaylistKey playlistKey,
                  std::u16string_view consequence = {}, Severity missing = Severity::kNote) {
    const std::u16string key(playlistKey.name);
    const std::u16string defaultValue(playlistKey.defaultValue);
    KeyRead read;
    read.value = store_.ReadSetting(section, key, defaultValue, u"", 1);

    std::string raw;
    profile_.GetPrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(), kAbsent, raw,
                                      kRawReadSize, ToAnsi(playlist_).c_str());
    std::u16string tail =
        consequence.empty() ? std::u16string() : u": " + std::u16string(consequence);
    if (raw == kAbsent) {
      read.missing = true;
      Add(missing, section, key, "missing-key",
          Quoted(key) + u" is missing: the player adds it with the value " + Quoted(defaultValue) +
              tail);
      return read;
    }
    if (raw.empty()) {
      read.empty = true;
      if (!defaultValue.empty())
        Add(Severity::kNote, section, key, "empty-value",
            Quoted(key) + u" is empty: the player writes " + Quoted(defaultValue) +
                u" in its place" + tail);
    } else if (raw.size() > kLongestValue) {
      Add(section, key, "long-value",
          Quoted(key) + u" holds " + DecimalTextOf(raw.size()) +
              u" characters: the player reads only the first 589");
    }
    CheckRepeatedKey(section, key);
    return read;
  }

  // The first key line of a name wins; a second one is never read.
  void CheckRepeatedKey(const std::u16string& section, const std::u16string& key) {
    if (!text_) return;
    const std::string keyBytes = ToAnsi(key);
    const auto found = profile_.Index()->Find(ToAnsi(section), keyBytes);
    if (!found || !found->key || found->key->end >= found->end) return;
    // The rest of the section holds no header: as a text of its own it is
    // the lines before the first header, the section named "".
    const std::string_view rest =
        std::string_view(*text_).substr(found->key->end, found->end - found->key->end);
    const auto again = FindIniSection(rest, "", keyBytes);
    if (again && again->key)
      Add(section, key, "duplicate-key",
          Quoted(key) + u" is written more than once in [" + section +
              u"]: the player reads only the first one");
  }

  // ---- the display window's load ----------------------------------------

  // A display size with the strict number parse, as the load reads it; its
  // failure stops the load: the window is not resized and the browser
  // control not placed.
  std::optional<double> DisplaySize(PlaylistKey playlistKey) {
    const std::u16string key(playlistKey.name);
    const KeyRead read = ReadKey(kGeometrySection, playlistKey);
    const std::u16string stops = u": " + LoadStops();
    try {
      return StrictNumber(read.value);
    } catch (const TypeMismatch&) {
      Add(u"Systeme", key, "bad-geometry",
          Quoted(key) + u" is " + Quoted(read.value) +
              u", not a number (digits only, decimal separator " +
              Quoted(LocaleDecimalSeparator()) + u")" + stops);
    } catch (const Failure&) {
      Add(u"Systeme", key, "bad-geometry",
          Quoted(key) + u" is " + Quoted(read.value) + u", too large a number" + stops);
    }
    return std::nullopt;
  }

  // What the operator sees when the display window's load stops: the
  // window and the browser control keep their design places.
  static std::u16string LoadStops() {
    const WindowDesign& window = AfficheurDesign();
    const platform::PixelRect box = window.children.at(0).rect;
    const auto n = [](int v) { return FromAnsi(std::to_string(v)); };
    return u"the player cannot size its window, and the slides will show in "
           u"a " +
           n(box.width) + u" x " + n(box.height) + u" box at the top-left of a " +
           n(window.rect.width) + u" x " + n(window.rect.height) +
           u" black window instead of the display "
           u"area";
  }

  void CheckDisplayGeometry() {
    if (text_ && !SectionExists(u"Systeme"))
      Add(Severity::kNote, u"Systeme", std::nullopt, "missing-section",
          u"[Systeme] does not exist: the player adds it with the default "
          u"display geometry");
    const auto width = DisplaySize(kWidthKey);
    const auto height = DisplaySize(kHeightKey);
    const KeyRead marge = ReadKey(kGeometrySection, kMarginKey);
    const double margin = LenientNumber(marge.value);
    if (!marge.value.empty() && !BeginsWithNumber(marge.value))
      Add(u"Systeme", u"marge", "not-a-number",
          u"\"marge\" is " + Quoted(marge.value) +
              u", not a number: the player uses a margin of 0");
    if (!width || !height) return;

    // The browser control's place in window pixels, as the load computes it.
    const WebcamExtent extent = WebcamExtentOf(*width, *height, margin);
    platform::PixelRect pixels;
    try {
      pixels = ToPixels(extent);
    } catch (const Overflow&) {
      Add(u"Systeme", std::nullopt, "bad-geometry",
          u"the display geometry (" + NumberText(*width) + u" x " + NumberText(*height) +
              u", margin " + NumberText(margin) + u") is beyond what a window can hold: " +
              LoadStops());
      return;
    }
    if (pixels.width <= 0 || pixels.height <= 0)
      Add(u"Systeme", std::nullopt, "bad-geometry",
          u"the browser control gets no area (" + NumberText(extent.width) + u" x " +
              NumberText(extent.height) + u" pixels with the margin): no slide can be seen");
  }

  // ---- schedules --------------------------------------------------------

  // The schedule keys as the player reads them: read mode, never written
  // back, so a missing one is no finding.
  ScheduleKeyReader OptionalKeys(const std::u16string& section) {
    return [this, section](PlaylistKey key) {
      return store_.ReadSetting(section, std::u16string(key.name), u"", u"", 1);
    };
  }

  // "line 12: ", where the key sits in the playlist.
  std::u16string LineOf(const std::u16string& section, std::u16string_view key) const {
    if (!text_) return {};
    const auto found = profile_.Index()->Find(ToAnsi(section), ToAnsi(std::u16string(key)));
    if (!found || !found->key) return {};
    return u"line " + DecimalTextOf(IniLineNumberAt(*text_, found->key->begin)) + u": ";
  }

  void ReportScheduleErrors(const std::u16string& section,
                            const std::vector<ScheduleError>& errors) {
    for (const ScheduleError& error : errors)
      Add(Severity::kError, section, std::u16string(error.key), kBadScheduleCode,
          LineOf(section, error.key) + error.message + u": the player ignores the key");
  }

  void CheckScreenOff() {
    std::vector<ScheduleError> errors;
    report_.screenOff = ReadScreenOff(OptionalKeys(kGeometrySection), errors);
    ReportScheduleErrors(kGeometrySection, errors);
  }

  Schedule CheckSchedule(const std::u16string& section) {
    std::vector<ScheduleError> errors;
    Schedule schedule = ReadSchedule(OptionalKeys(section), errors);
    ReportScheduleErrors(section, errors);
    if (schedule.Always()) return schedule;
    // A week from the first day that may come holds every day of the week.
    const DayNumber from = std::max(today_, schedule.firstDay.value_or(today_));
    std::u16string why;
    if (schedule.firstDay && schedule.lastDay && *schedule.firstDay > *schedule.lastDay) {
      why = u"\"du\" (" + DateText(*schedule.firstDay) + u") comes after \"au\" (" +
            DateText(*schedule.lastDay) + u")";
    } else if (schedule.lastDay && *schedule.lastDay < today_) {
      why = u"its last day, \"au\" (" + DateText(*schedule.lastDay) + u"), is past";
    } else {
      bool some = false;
      for (DayNumber day = from; day < from + 7 && (!schedule.lastDay || day <= *schedule.lastDay);
           ++day)
        some = some || schedule.OnDay(day);
      if (!some) why = u"none of its days (\"jours\") falls between \"du\" and \"au\"";
    }
    if (!why.empty())
      Add(Severity::kWarning, section, std::nullopt, "never-scheduled",
          why + u": the slide never plays again, the chain passes over it");
    return schedule;
  }

  // Hours of the week ahead in which no slide plays and the screen is not
  // off: the screen shows black then.
  void CheckWeek() {
    if (report_.chain.empty()) return;
    for (const WeekDay& day : WeekAhead(report_)) {
      std::u16string gaps;
      for (const WeekBand& band : day.bands) {
        if (band.screenOff || !band.sections.empty()) continue;
        if (!gaps.empty()) gaps += u", ";
        gaps += TimeText(band.start) + u"-" + TimeText(band.end);
      }
      if (!gaps.empty())
        Add(Severity::kWarning, std::nullopt, std::nullopt, "nothing-plays",
            std::u16string(DayName(WeekdayOf(day.day))) + u" " + DateText(day.day) +
                u": no slide plays " + gaps +
                u" and the screen is not off (\"ecran eteint\"): it shows black");
    }
  }

  // ---- the chain --------------------------------------------------------

  void WalkChain() {
    // The first tick reads the dwell of section 0 and always advances, so
    // that dwell plays no part unless the chain comes back to section 0.
    std::int16_t current = 0;
    std::set<std::int16_t> shown;
    if (text_ && !SectionExists(SectionName(0)))
      Add(SectionName(0), std::nullopt, "missing-section",
          u"[section 0] does not exist: the player adds it with "
          u"\"section suivante\" 0 and shows section 0, blank, again and "
          u"again");
    visited_.insert(0);
    for (;;) {
      const std::int16_t next = Advance(current);
      if (shown.contains(next)) {
        report_.loopsTo = next;
        return;
      }
      shown.insert(next);
      visited_.insert(next);
      report_.chain.push_back(Show(next));
      current = next;
    }
  }

  // Reads "section suivante" of the section being left; a value that is
  // no 16-bit number keeps the player on that section.
  std::int16_t Advance(std::int16_t from) {
    const std::u16string section = SectionName(from);
    const KeyRead next = ReadKey(section, kNextSectionKey, u"the chain goes on to section 0");
    try {
      return StrictInteger(next.value);
    } catch (const Failure& failure) {
      const bool tooLarge = dynamic_cast<const Overflow*>(&failure) != nullptr;
      Add(section, u"section suivante", "bad-next",
          u"\"section suivante\" is " + Quoted(next.value) +
              (tooLarge ? u", outside -32768 to 32767" : u", not a number") +
              u": the player stays on section " + DecimalText(from) +
              u" and shows it again after every dwell, for ever (a loop on "
              u"itself)");
      return from;
    }
  }

  // One advance to the section, in the player's order: its type and
  // content, the transition, the composed page's folder; then, at the next
  // tick, its dwell.
  ChainSlide Show(std::int16_t number) {
    const std::u16string section = SectionName(number);
    if (text_ && !SectionExists(section))
      Add(section, std::nullopt, "missing-section",
          u"[" + section +
              u"] does not exist, yet the chain leads to it: the player adds "
              u"it with empty keys and shows a blank page for 1 s, then "
              u"section 0");
    Schedule schedule = CheckSchedule(section);

    blankExplained_ = false;
    value_.clear();
    const KeyRead type =
        ReadKey(section, kTypeKey, u"an empty type gives a blank page", Severity::kError);
    std::u16string page;
    if (const SlideType* slideType = FindSlideType(type.value)) {
      page = slideType->model.empty() ? OwnPage(section, number, *slideType)
                                      : FromTemplate(section, number, *slideType);
    } else {
      ReportWrongType(section, type);
    }
    const bool blank = page.empty();

    page = WithTransition(section, std::move(page));
    try {
      page = WithoutScrollBars(std::move(page));
    } catch (const Overflow&) {
      Add(section, std::nullopt, "replacement-skipped",
          u"the page's body tag lies beyond character 32767: the player "
          u"skips that step and the page keeps its scroll bars");
    }
    if (blank && !blankExplained_)
      Add(section, std::nullopt, "blank-page",
          u"section " + DecimalText(number) + u" will show a blank page");
    CheckSlideFolder(section, number);

    const KeyRead dwell =
        ReadKey(section, kDwellKey, u"the slide stays 1 s on screen", Severity::kWarning);
    const double seconds = LenientNumber(dwell.value);
    if (!dwell.value.empty() && !BeginsWithNumber(dwell.value))
      Add(section, u"delais secondes", "not-a-number",
          u"\"delais secondes\" is " + Quoted(dwell.value) +
              u", not a number: the slide stays 1 s on screen");
    else if (!dwell.missing && !(seconds >= 1))
      Add(section, u"delais secondes", "short-dwell",
          u"\"delais secondes\" is " + Quoted(dwell.value) +
              u", below 1: the slide stays only 1 s on screen (d seconds "
              u"show for d + 1 ticks of one second)");
    return {number, type.value, DwellSeconds(seconds), dwell.value, blank, std::move(schedule),
            value_, page};
  }

  void ReportWrongType(const std::u16string& section, const KeyRead& type) {
    blankExplained_ = true;
    if (type.missing) return;  // reported with its default already
    Add(section, u"Type", kWrongTypeCode, WrongTypeWords(type.value));
  }

  // The text of a template or slide page as the player reads it, with
  // what keeps it empty reported. section/key are where the file is named
  // (a template belongs to no section).
  std::u16string ReadContent(const std::u16string& path,
                             const std::optional<std::u16string>& section,
                             const std::optional<std::u16string>& key,
                             const std::string& missingCode, std::u16string_view blankWhat) {
    const ContentFileState state = StateOfContentFile(path);
    if (state == ContentFileState::kEmpty) {
      std::u16string text = ReadWholeFile(path, pump_);
      if (!text.empty()) return text;
    }
    ContentFileProblem problem =
        EmptyContentWords(state, Shown(path), missingCode, std::u16string(blankWhat));
    Add(section, key, std::move(problem.code), std::move(problem.message));
    blankExplained_ = true;
    return {};
  }

  // "image" and "url": the template with the slide's value in place of
  // every placeholder. The template is read before the key, as the player
  // does; a failed replacement leaves the page empty.
  std::u16string FromTemplate(const std::u16string& section, std::int16_t number,
                              const SlideType& type) {
    const std::u16string key(type.key);
    const std::u16string placeholder(type.placeholder);
    const std::u16string path = ModelPath(base_, type.model);
    if (!LeadsInsideRoot(base_, path)) {
      Add(std::nullopt, std::nullopt, kOutsideRootCode,
          OutsideRootWords(Shown(path), BlankTemplateWords(key)));
      blankExplained_ = true;
      return {};
    }
    const std::u16string model = ReadContent(path, std::nullopt, std::nullopt, kMissingTemplateCode,
                                             BlankTemplateWords(key));
    const KeyRead value =
        ReadKey(section, {type.key, u""}, u"the slide will have nothing to show", Severity::kError);
    value_ = value.value;
    if (value.empty)
      Add(section, key, "empty-value",
          Quoted(key) + u" is empty: the slide will have nothing to show");
    bool namesAFile = false;
    if (!value.empty && !value.missing)
      namesAFile = CheckLocalFile(section, number, key, value.value);
    if (const auto local = LocalFileOfValue(base_, number, value.value);
        local && !LeadsInsideRoot(base_, *local)) {
      Add(section, key, kOutsideRootCode,
          OutsideRootWords(Quoted(value.value), u"the slide will be blank"));
      blankExplained_ = true;
      return {};
    }
    if (namesAFile && type.name == u"video") CheckVideoFile(section, number, key, value.value);
    if (model.empty()) return {};

    if (!HasOccurrence(model, placeholder))
      Add(std::nullopt, std::nullopt, "missing-placeholder",
          Shown(path) + u" holds no " + placeholder + u": the \"" + key +
              u"\" value of a slide never reaches its page");
    try {
      return FillTemplate(type, model, value.value);
    } catch (const Overflow&) {
      Add(Severity::kError, section, key, "replacement-skipped",
          Shown(path) + u" with this value puts a " + placeholder +
              u" beyond character 32767: the player skips the replacement "
              u"and the page stays blank");
      blankExplained_ = true;
      return {};
    }
  }

  // "html": the slide's own page in its folder, as it is.
  std::u16string OwnPage(const std::u16string& section, std::int16_t number,
                         const SlideType& type) {
    const std::u16string key(type.key);
    const KeyRead value =
        ReadKey(section, {type.key, u""}, u"an empty name is the slide folder itself: blank page",
                Severity::kError);
    value_ = value.value;
    if (value.value.empty()) {
      if (value.empty)
        Add(section, key, "empty-value",
            Quoted(key) +
                u" is empty: it names the slide folder itself, "
                u"which cannot be read: blank page");
      blankExplained_ = true;
      return {};
    }
    const std::u16string path = SlideFilePath(base_, number, value.value);
    if (!LeadsInsideRoot(base_, path)) {
      Add(section, key, kOutsideRootCode,
          OutsideRootWords(Quoted(value.value), u"the page will be blank"));
      blankExplained_ = true;
      return {};
    }
    return ReadContent(path, section, key, kMissingPageCode, u"the page will be blank");
  }

  // An "image" or "url" value that names a local file is resolved by the
  // browser against the slide folder; one that is not there shows nothing.
  // Addresses (with a scheme), and values with query or fragment parts,
  // are left alone.
  // Whether the value names a file that exists (false for what is not a
  // file name, or a file that is missing, the latter reported).
  bool CheckLocalFile(const std::u16string& section, std::int16_t number, const std::u16string& key,
                      const std::u16string& value) {
    if (value.find_first_of(u":?#%&=\\") != std::u16string::npos) return false;
    const std::u16string path = LocalFilePath(number, value);
    if (!StateOf(SlideFolder(base_, number)).folder) return false;  // reported with it
    if (StateOf(path).exists) return true;
    std::u16string message = Quoted(key) + u" is " + Quoted(value) +
                             u", which the browser looks "
                             u"for as " +
                             Shown(path) + u": there is no such file";
    if (key == u"url" && AsciiLowered(value).starts_with(u"www."))
      message += u" (a web address needs its scheme: \"http://" + value + u"\")";
    Add(section, key, "missing-file", std::move(message));
    return false;
  }

  std::u16string LocalFilePath(std::int16_t number, const std::u16string& value) const {
    return value.front() == kPathSeparator ? value : SlideFilePath(base_, number, value);
  }

  // A video slide's file must be one the engine plays: it is not decoded
  // here, only known by how it begins.
  void CheckVideoFile(const std::u16string& section, std::int16_t number, const std::u16string& key,
                      const std::u16string& value) {
    const std::u16string path = LocalFilePath(number, value);
    std::string leading(kVideoSignatureBytes, '\0');
    if (StateOf(path).regular) {
      std::ifstream in(ToAnsi(path), std::ios::binary);
      in.read(leading.data(), static_cast<std::streamsize>(leading.size()));
      leading.resize(in ? leading.size()
                        : static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    } else {
      leading.clear();
    }
    if (VideoContainerOf(leading)) return;
    Add(section, key, "not-a-video",
        Quoted(key) + u" is " + Quoted(value) + u", and " + Shown(path) +
            u" is not an MP4 or WebM video: the slide will stay black");
  }

  // "Transition": its markup from the transitions file, put in front of
  // every content-type meta tag.
  std::u16string WithTransition(const std::u16string& section, std::u16string page) {
    const KeyRead transition = ReadKey(section, kTransitionKey, u"no transition (transition 0)");
    const double number = LenientNumber(transition.value);
    if (!transition.value.empty() && !BeginsWithNumber(transition.value))
      Add(section, u"Transition", "not-a-number",
          u"\"Transition\" is " + Quoted(transition.value) +
              u", not a number: the player uses transition 0 (none)");

    const std::u16string markup =
        store_.ReadSetting(SignedText(number), kTransitionMarkupKey, u"", transitions_, 1);
    if (number != 0 && markup.empty()) {
      const std::u16string where = StateOf(transitions_).exists
                                       ? Shown(transitions_) + u" has no markup for it (no [" +
                                             NumberText(number) +
                                             u"] section with a non-empty \"html\")"
                                       : Shown(transitions_) + u" does not exist";
      Add(section, u"Transition", "missing-transition",
          u"transition " + NumberText(number) + u": " + where +
              u": the slide comes without a transition");
    }
    if (markup.empty() || page.empty()) return page;
    try {
      std::u16string with = WithTransitionMarkup(page, markup);
      if (with == page && number != 0)
        Add(section, u"Transition", "no-meta-tag",
            u"the page has no " + std::u16string(kContentTypeMeta) +
                u" tag, in front of which the transition's markup goes: the "
                u"slide comes without transition " +
                NumberText(number));
      return with;
    } catch (const Overflow&) {
      Add(section, u"Transition", "replacement-skipped",
          u"the page's content-type meta tag lies beyond character 32767 "
          u"(or the markup carries it there): the player skips the step and "
          u"the slide comes without its transition");
      return page;
    }
  }

  // The composed page is written into the slide folder, which the player
  // never creates.
  void CheckSlideFolder(const std::u16string& section, std::int16_t number) {
    const std::u16string folder = SlideFolder(base_, number);
    const std::u16string page = ComposedPagePath(base_, number);
    const FileState state = StateOf(folder);
    if (!state.folder) {
      Add(section, std::nullopt, kMissingFolderCode, MissingSlideFolderWords(Shown(folder)));
      return;
    }
    if (!LeadsInsideRoot(base_, page)) {
      Add(section, std::nullopt, kOutsideRootCode,
          OutsideRootWords(Shown(folder),
                           u"the player writes no composed page there and the "
                           u"slide is not shown"));
      return;
    }
    if (IsLink(page)) {
      Add(section, std::nullopt, kUnwritablePageCode, LinkedPageWords(Shown(page)));
      return;
    }
    const FileState composed = StateOf(page);
    const bool writable = composed.exists
                              ? composed.regular && platform::MayOpenForWriting(ToAnsi(page))
                              : platform::MayCreateIn(ToAnsi(folder));
    if (!writable)
      Add(section, std::nullopt, kUnwritablePageCode, UnwritablePageWords(Shown(page)));
  }

  // ---- the playlist's layout --------------------------------------------

  void CheckLayout() {
    if (!text_) return;
    const auto lead = FindIniSection(*text_, "", "");
    if (lead && lead->headerEnd == 0)
      Add(std::nullopt, std::nullopt, "stray-keys",
          u"the lines above the first [section] header hold keys: the player "
          u"never reads them");

    for (const IniHeaderLine& header : IniHeaderLines(*text_)) {
      const std::u16string name = FromAnsi(header.name);
      const std::u16string line = u"line " + DecimalTextOf(header.lineNumber);
      if (header.repeated) {
        Add(name, std::nullopt, "duplicate-section",
            u"[" + name + u"] at " + line +
                u" repeats a section above it: the player reads only the "
                u"first one, and never this one");
        continue;
      }
      if (SameIniName(header.name, "Systeme")) continue;
      if (const auto number = SectionNumberOf(header.name)) {
        if (!visited_.contains(*number))
          Add(name, std::nullopt, "unreached-section",
              u"[" + name + u"] (" + line +
                  u") is never shown: the chain from section 0 does not "
                  u"lead to it");
        continue;
      }
      std::u16string message =
          u"[" + name + u"] (" + line + u") is a section the player never reads";
      if (SameIniName(header.name.substr(0, 7), "section"))
        message +=
            u": a slide's section is named \"section \" and its number "
            u"written plainly, as in [section 5]";
      Add(name, std::nullopt, "unknown-section", std::move(message));
    }
  }

  const DayNumber today_;
  const std::u16string root_;
  // The root as the player's paths begin: without a trailing separator.
  const std::u16string base_;
  const std::u16string playlist_;
  const std::u16string transitions_;
  ReadOnlyProfile profile_;
  SettingsStore store_;
  NoEvents pump_;
  std::optional<std::string> text_;
  CheckReport report_;
  std::set<std::tuple<std::optional<std::u16string>, std::optional<std::u16string>, std::string,
                      std::u16string>>
      reported_;
  std::set<std::int16_t> visited_;
  bool blankExplained_ = false;  // the current slide's blank page has a cause
  std::u16string value_;         // the current slide's own key, as read
};

}  // namespace

std::u16string PlaylistOfRoot(const std::u16string& root) {
  std::u16string folder = root;
  while (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder + platform::kPlaylistName;
}

CheckReport CheckContentRoot(const std::u16string& root, DayNumber today) {
  return Checker(root, today).Run();
}

CheckReport CheckContentRoot(const std::u16string& root) {
  const platform::LocalTime now = platform::LocalNow();
  return CheckContentRoot(root, DayNumberOf(now.year, now.month, now.day));
}

std::vector<WeekDay> WeekAhead(const CheckReport& report) {
  // Where anything may change: every start and end of a window.
  std::set<int> edges = {0, 1440};
  const auto addEdges = [&](const std::vector<TimeWindow>& windows) {
    for (const TimeWindow& w : windows) {
      edges.insert(w.start);
      edges.insert(w.end % 1440);
    }
  };
  addEdges(report.screenOff.windows);
  for (const ChainSlide& slide : report.chain) addEdges(slide.schedule.windows);

  std::vector<WeekDay> week;
  for (DayNumber day = report.today; day < report.today + 7; ++day) {
    WeekDay& out = week.emplace_back();
    out.day = day;
    for (auto edge = edges.begin(); std::next(edge) != edges.end(); ++edge) {
      platform::LocalTime at = DateOf(day);
      at.hour = *edge / 60;
      at.minute = *edge % 60;
      WeekBand band{*edge, *std::next(edge), report.screenOff.Holds(at), {}};
      if (!band.screenOff)
        for (const ChainSlide& slide : report.chain)
          if (slide.schedule.Holds(at)) band.sections.push_back(slide.section);
      if (!out.bands.empty() && out.bands.back().screenOff == band.screenOff &&
          out.bands.back().sections == band.sections)
        out.bands.back().end = band.end;
      else
        out.bands.push_back(std::move(band));
    }
  }
  return week;
}

}  // namespace velane
