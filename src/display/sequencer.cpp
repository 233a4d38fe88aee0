#include "display/sequencer.h"

#include <memory>
#include <string>
#include <string_view>

#include "config/ansi.h"
#include "config/conversions.h"
#include "diagnostics/content_problems.h"
#include "diagnostics/debugger.h"
#include "diagnostics/failure.h"
#include "diagnostics/principal.h"
#include "diagnostics/status_report.h"
#include "display/afficheur.h"
#include "display/outils.h"
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
        ReportContentProblem(program, "playlist", kReadOnlyPlaylistCode, u"",
                             ReadOnlyPlaylistWords(program.settings.PlaylistPath()));
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
    std::u16string model = ReadWholeFile(path, pump);
    // A template belongs to no section: one problem for all its slides.
    TellContent(program, "template " + ToAnsi(path), u"", path, model, kMissingTemplateCode,
                BlankTemplateWords(std::u16string(key.name)));
    Step([&] {
      value = ReadSlideKey(program, section, key);
      page = FillTemplate(*slideType, std::move(model), value);
    });
  } else {
    std::u16string path;
    if (Step([&] {
          value = ReadSlideKey(program, section, key);
          path = SlideFilePath(program.contentRoot, section, value);
        })) {
      page = ReadWholeFile(path, pump);
      TellContent(program, "own page of " + ToAnsi(SectionName(section)),
                  SectionName(section) + u", \"" + std::u16string(key.name) + u"\"", path, page,
                  kMissingPageCode, u"the page will be blank");
    }
  }
  return page;
}

// An advance: one step along the chain, then the new section's page is
// composed, written into its slide folder and shown.
void Advance(Program& program, SequencerState& state) {
  // A next section that is no 16-bit number leaves the current one, which
  // is then composed and shown again.
  Step([&] {
    state.currentSection =
        StrictInteger(ReadSlideKey(program, state.currentSection, kNextSectionKey));
  });
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
  const bool written = Step([&] { WriteComposedPage(composed, page + u"\r\n"); });
  TellPageWrite(program, section, written, composed);
  // Navigates even when the write failed: the browser then shows the older
  // page still there, or its own page for a missing file.
  Step([&] { program.GetAfficheur().Webcam().Navigate(composed); });
  StatusSlideShown(program, section, type, value);
}

}  // namespace

void SequencerTick(Program& program, SequencerState& state) {
  // The file reading below yields to the message loop; a tick delivered
  // meanwhile must not start a second advance inside this one.
  if (state.ticking) return;
  TickGuard guard(state.ticking);

  Step([&] { program.GetAfficheur().Webcam().SetVisible(true); });

  double dwell = 0;
  Step([&] { dwell = LenientNumber(ReadSlideKey(program, state.currentSection, kDwellKey)); });

  // The counter is 0 only before the very first tick, which always advances.
  const bool advance = state.secondsCounter == 0 || dwell < state.secondsCounter;
  if (advance) {
    Advance(program, state);
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
