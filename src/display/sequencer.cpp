#include "display/sequencer.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/ansi.h"
#include "config/conversions.h"
#include "diagnostics/content_problems.h"
#include "diagnostics/debugger.h"
#include "diagnostics/failure.h"
#include "diagnostics/principal.h"
#include "diagnostics/status_report.h"
#include "display/afficheur.h"
#include "display/outils.h"
#include "display/schedule.h"
#include "display/slide_rules.h"
#include "platform/files.h"
#include "windows/bindings.h"
#include "windows/program.h"

namespace velane {
namespace {

// Marks a tick as running for its whole length, whatever way it ends, so
// that a tick delivered while this one yields is recognised as nested.
class TickGuard {
 public:
  explicit TickGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~TickGuard() { flag_ = false; }
  TickGuard(const TickGuard&) = delete;
  TickGuard& operator=(const TickGuard&) = delete;

 private:
  bool& flag_;
};

// A playlist key of the section, created with its default when absent.
std::u16string ReadSlideKey(Program& program, std::int16_t section, PlaylistKey key) {
  return program.settings.ReadSetting(SectionName(section), std::u16string(key.name),
                                      std::u16string(key.defaultValue), u"", 2);
}

// A key the player reads without ever writing it back: the schedule keys,
// which a playlist without them never gains.
std::u16string ReadOptionalKey(Program& program, const std::u16string& section, PlaylistKey key) {
  return program.settings.ReadSetting(section, std::u16string(key.name),
                                      std::u16string(key.defaultValue), u"", 1);
}

// A malformed schedule value is told once, in the checker's words, and
// counts as absent; each key is its own subject.
template <std::size_t N>
void TellScheduleErrors(Program& program, const std::u16string& section,
                        const std::array<PlaylistKey, N>& keys,
                        const std::vector<ScheduleError>& errors) {
  for (const PlaylistKey& key : keys) {
    const std::string subject = "\"" + ToAnsi(key.name) + "\" of " + ToAnsi(section);
    const auto error = std::find_if(errors.begin(), errors.end(),
                                    [&](const ScheduleError& e) { return e.key == key.name; });
    if (error == errors.end()) {
      ContentProblemGone(program, subject);
      continue;
    }
    Step([&] {
      ReportContentProblem(program, subject, kBadScheduleCode,
                           section + u", \"" + std::u16string(key.name) + u"\"",
                           error->message + u": the key is ignored");
    });
  }
}

// A key that cannot be read counts as absent.
ScheduleKeyReader OptionalKeys(Program& program, const std::u16string& section) {
  return [&program, section](PlaylistKey key) {
    std::u16string value;
    Step([&] { value = ReadOptionalKey(program, section, key); });
    return value;
  };
}

Schedule ReadSlideSchedule(Program& program, std::int16_t number) {
  const std::u16string section = SectionName(number);
  std::vector<ScheduleError> errors;
  Schedule schedule = ReadSchedule(OptionalKeys(program, section), errors);
  TellScheduleErrors(program, section, kScheduleKeys, errors);
  return schedule;
}

ScreenOff ReadScreenOffHours(Program& program) {
  std::vector<ScheduleError> errors;
  ScreenOff off = ReadScreenOff(OptionalKeys(program, kGeometrySection), errors);
  TellScheduleErrors(program, kGeometrySection, kScreenOffKeys, errors);
  return off;
}

std::string ClockText(const platform::LocalTime& at) {
  return ToAnsi(TimeText(at.hour * 60 + at.minute));
}

// Replaces the composed page whole: another screen's web engine or a sync
// tool reading the slide folder meanwhile meets the old page or the new
// one, never a part. A missing slide folder is not created: that fails.
void WriteComposedPage(const std::u16string& path, const std::u16string& text) {
  // Only a plain file is replaced: a pipe would block the player for good,
  // and a link would carry the write out of the slide folder.
  switch (platform::ReplaceFileWhole(ToAnsi(path), ToAnsi(text))) {
    case platform::FileWrite::kWritten:
      return;
    case platform::FileWrite::kNotPlainFile:
      throw Failure("the composed page is not a plain file: not written");
    case platform::FileWrite::kFailed:
      break;
  }
  throw Failure("cannot write the composed page");
}

// What keeps a slide from the screen is told on stderr (a service
// manager's journal), in the checker's words, each problem once
// (ProblemReports); the steps themselves go on as before.

// Why a template or slide page read as empty; nothing when it has text.
void TellContent(Program& program, const std::string& subject, const std::u16string& place,
                 const std::u16string& path, const std::u16string& text,
                 std::string_view missingCode, const std::u16string& blankWhat) {
  if (!text.empty()) return ContentProblemGone(program, subject);
  Step([&] {
    const ContentFileProblem problem =
        EmptyContentWords(StateOfContentFile(path), path, missingCode, blankWhat);
    ReportContentProblem(program, subject, problem.code, place, problem.message);
  });
}

// Whether the file a slide would read or show leads inside the content
// root; if not, the problem is told and the slide stays blank.
bool TellConfined(Program& program, const std::string& subject, const std::u16string& place,
                  const std::u16string& path, const std::u16string& blankWhat) {
  if (LeadsInsideRoot(program.contentRoot, path)) return true;
  Step([&] {
    ReportContentProblem(program, subject, kOutsideRootCode, place,
                         OutsideRootWords(path, blankWhat));
  });
  return false;
}

void TellType(Program& program, std::int16_t section, const std::u16string& type) {
  const std::string subject = "type of " + ToAnsi(SectionName(section));
  if (FindSlideType(type)) return ContentProblemGone(program, subject);
  Step([&] {
    ReportContentProblem(program, subject, kWrongTypeCode, SectionName(section) + u", \"Type\"",
                         WrongTypeWords(type));
  });
}

// The composed page written, or why it could not be.
void TellPageWrite(Program& program, std::int16_t section, bool written,
                   const std::u16string& composed) {
  const std::string subject = "page of " + ToAnsi(SectionName(section));
  if (written) return ContentProblemGone(program, subject);
  Step([&] {
    const ContentFileProblem problem =
        UnwrittenPageWords(SlideFolder(program.contentRoot, section), composed);
    ReportContentProblem(program, subject, problem.code, SectionName(section), problem.message);
  });
}

// Whether the playlist took the keys and defaults written since the last
// tick.
void TellPlaylistWrites(Program& program) {
  switch (program.settings.TakePlaylistWrites()) {
    case SettingsStore::PlaylistWrites::kRefused:
      Step([&] {
        const ContentFileProblem problem =
            UnwrittenPlaylistWords(program.contentRoot, program.settings.PlaylistPath());
        ReportContentProblem(program, "playlist", problem.code, u"", problem.message);
      });
      break;
    case SettingsStore::PlaylistWrites::kWritten:
      ContentProblemGone(program, "playlist");
      break;
    case SettingsStore::PlaylistWrites::kNone:
      break;
  }
}

// The page text of the section arrived at, by its type; empty for any
// other type. A failing replacement leaves the page as it was. The files
// are read outside the failure guards: reading never fails, and it yields
// to the message loop, whose handlers may end the program from there.
// The type and its value, as read, go to `type` and `value`.
std::u16string ComposeContent(Program& program, std::int16_t section, std::u16string& type,
                              std::u16string& value) {
  platform::MessagePump& pump = program.platform.pump;
  Step([&] { type = ReadSlideKey(program, section, kTypeKey); });

  TellType(program, section, type);

  std::u16string page;
  const SlideType* slideType = FindSlideType(type);
  if (!slideType) return page;
  const PlaylistKey key{slideType->key, u""};
  if (!slideType->model.empty()) {
    const std::u16string path = ModelPath(program.contentRoot, slideType->model);
    // A template belongs to no section: one problem for all its slides.
    const std::string subject = "template " + ToAnsi(path);
    if (!TellConfined(program, subject, u"", path, BlankTemplateWords(std::u16string(key.name))))
      return page;
    std::u16string model = ReadWholeFile(path, pump);
    TellContent(program, subject, u"", path, model, kMissingTemplateCode,
                BlankTemplateWords(std::u16string(key.name)));
    Step([&] { value = ReadSlideKey(program, section, key); });
    // A picture's name that leads out of the root gives no page around it.
    const std::string valueSubject = "value of " + ToAnsi(SectionName(section));
    const auto local = LocalFileOfValue(program.contentRoot, section, value);
    if (local && !TellConfined(program, valueSubject,
                               SectionName(section) + u", \"" + std::u16string(key.name) + u"\"",
                               *local, u"the slide will be blank"))
      return page;
    ContentProblemGone(program, valueSubject);
    Step([&] { page = FillTemplate(*slideType, std::move(model), value); });
  } else {
    std::u16string path;
    if (Step([&] {
          value = ReadSlideKey(program, section, key);
          path = SlideFilePath(program.contentRoot, section, value);
        })) {
      const std::string subject = "own page of " + ToAnsi(SectionName(section));
      const std::u16string place =
          SectionName(section) + u", \"" + std::u16string(key.name) + u"\"";
      // Never a copy of a file from outside the root into the composed page.
      if (!TellConfined(program, subject, place, path, u"the page will be blank")) return page;
      page = ReadWholeFile(path, pump);
      TellContent(program, subject, place, path, page, kMissingPageCode, u"the page will be blank");
    }
  }
  return page;
}

// An advance: one step along the chain, then the new section's page is
// composed, written into its slide folder and shown.
// The next slide along the chain whose schedule holds: a slide that does
// not is passed over in the same tick, for its own "section suivante", at
// most once each. None when no slide of the chain holds.
std::optional<std::int16_t> NextScheduled(Program& program, SequencerState& state,
                                          const platform::LocalTime& at) {
  std::int16_t from = state.currentSection;
  std::set<std::int16_t> passed;
  for (;;) {
    // A next section that is no 16-bit number leaves the current one,
    // which is then composed and shown again.
    std::int16_t next = from;
    Step([&] { next = StrictInteger(ReadSlideKey(program, from, kNextSectionKey)); });
    Schedule schedule = ReadSlideSchedule(program, next);
    if (schedule.Holds(at)) {
      state.toldPassedOver.erase(next);
      state.shownSchedule = std::move(schedule);
      return next;
    }
    if (state.toldPassedOver.insert(next).second)
      ReportProblem(&program, ToAnsi(SectionName(next)) +
                                  " passed over: its schedule does not hold at " + ClockText(at));
    if (!passed.insert(next).second) return std::nullopt;
    from = next;
  }
}

// No slide holds: the display window shows black, without a page.
void ShowBlack(Program& program, SequencerState& state, const std::string& why) {
  if (!state.blank) {
    state.blank = true;
    ReportProblem(&program, why);
  }
  Step([&] { program.GetAfficheur().Webcam().SetVisible(false); });
}

void Advance(Program& program, SequencerState& state, const platform::LocalTime& at) {
  const std::optional<std::int16_t> next = NextScheduled(program, state, at);
  if (!next) {
    ShowBlack(program, state,
              "no slide of the chain is scheduled at " + ClockText(at) +
                  ": the screen shows black until one is");
    return;
  }
  state.currentSection = *next;
  const std::int16_t section = state.currentSection;

  // Closes the previous trace line, then opens the new one with a marker.
  Step([&] { program.GetPrincipal().DEBUGGER1().ADDvalueWAIT(u""); });
  Step(
      [&] { program.GetPrincipal().DEBUGGER1().ADDandWAIT(u"section : " + DecimalText(section)); });
  state.secondsCounter = 0;

  std::u16string type, value;
  std::u16string page = ComposeContent(program, section, type, value);

  std::u16string markup;
  Step([&] {
    std::u16string number =
        SignedText(LenientNumber(ReadSlideKey(program, section, kTransitionKey)));
    markup = program.settings.ReadSetting(number, kTransitionMarkupKey, u"",
                                          TransitionsPath(program.contentRoot), 1);
  });
  Step([&] { page = WithTransitionMarkup(page, markup); });
  Step([&] { page = WithoutScrollBars(page); });

  const std::u16string composed = ComposedPagePath(program.contentRoot, section);
  // A slide folder that is a link leading out of the content root gets no
  // page written through it, and nothing from there is shown.
  if (!TellConfined(program, "page of " + ToAnsi(SectionName(section)), SectionName(section),
                    composed,
                    u"the player writes no composed page there and the slide is not "
                    u"shown"))
    return;
  const bool written = Step([&] { WriteComposedPage(composed, page + u"\r\n"); });
  TellPageWrite(program, section, written, composed);
  // Navigates even when the write failed: the browser then shows the older
  // page still there, or its own page for a missing file.
  Step([&] { program.GetAfficheur().Webcam().Navigate(composed); });
  if (state.blank) {
    state.blank = false;
    Step([&] { program.GetAfficheur().Webcam().SetVisible(true); });
  }
  StatusSlideShown(program, section, type, value);
}

// The screen-off hours: black, no slide, the display powered down where
// the platform can, and the screen saver no longer held off.
void EnterScreenOff(Program& program, SequencerState& state, const platform::LocalTime& at) {
  state.screenOff = true;
  Step([&] { program.GetAfficheur().Webcam().SetVisible(false); });
  ReportProblem(&program, "screen-off hours from " + ClockText(at) +
                              ": the screen shows black and the display is asked to power down");
  // The hold first: a screen saver held off may keep the display on.
  program.platform.screen.HoldAwake(false);
  std::string why;
  state.poweredDown = program.platform.screen.SetDisplayPower(false, why);
  if (!state.poweredDown && !state.powerToldOnce) {
    state.powerToldOnce = true;
    ReportProblem(&program, "the display cannot be powered down (" + why +
                                "): the screen stays black through the screen-off hours");
  }
}

// Their end: the display on again and the chain from its start, as at a
// start.
void LeaveScreenOff(Program& program, SequencerState& state, const platform::LocalTime& at) {
  program.platform.screen.HoldAwake(true);
  std::string why;
  if (state.poweredDown) program.platform.screen.SetDisplayPower(true, why);
  state.screenOff = false;
  state.poweredDown = false;
  state.blank = false;
  state.currentSection = 0;
  state.secondsCounter = 0;
  state.toldPassedOver.clear();
  state.shownSchedule = Schedule{};
  ReportProblem(&program, "end of the screen-off hours at " + ClockText(at) +
                              ": the chain starts again from section 0");
}

}  // namespace

void SequencerTick(Program& program, SequencerState& state) {
  // The file reading below yields to the message loop; a tick delivered
  // meanwhile must not start a second advance inside this one.
  if (state.ticking) return;
  TickGuard guard(state.ticking);

  // Schedules are judged on the wall clock, an hour shown twice in
  // autumn once only.
  const platform::LocalTime at = state.clock.Judge(program.platform.clock.Now());
  if (ReadScreenOffHours(program).Holds(at)) {
    if (!state.screenOff) EnterScreenOff(program, state, at);
    TellPlaylistWrites(program);
    StatusTick(program, false);
    return;
  }
  if (state.screenOff) LeaveScreenOff(program, state, at);

  if (!state.blank) Step([&] { program.GetAfficheur().Webcam().SetVisible(true); });

  double dwell = 0;
  Step([&] { dwell = LenientNumber(ReadSlideKey(program, state.currentSection, kDwellKey)); });

  // The counter is 0 only before the very first tick, which always
  // advances; a black screen tries the chain again at every tick; a slide
  // whose window closes leaves before the end of its dwell. That is the
  // schedule it was shown under: reading its four keys again at every tick
  // would cost a large playlist four more walks of the file a second.
  const bool advance = state.secondsCounter == 0 || state.blank || dwell < state.secondsCounter ||
                       !state.shownSchedule.Holds(at);
  if (advance) {
    Advance(program, state, at);
  } else {
    Step([&] {
      program.GetPrincipal().DEBUGGER1().ADDvalueWAIT(std::u16string{u'.', kTraceMarker});
    });
  }
  state.secondsCounter += 1;
  TellPlaylistWrites(program);
  // The screen's status, once the tick's work is done.
  StatusTick(program, advance);
}

}  // namespace velane
