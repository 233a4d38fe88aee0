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
#include "display/afficheur.h"
#include "display/outils.h"
#include "display/text_helpers.h"
#include "platform/files.h"
#include "windows/bindings.h"
#include "windows/program.h"

namespace velane {
namespace {

constexpr char16_t kContentTypeMeta[] = u"<meta http-equiv=\"Content-Type\"";

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

std::u16string SectionName(std::int16_t section) {
  return u"section " + DecimalText(section);
}

// Content root + "/flashs/" + five-digit section number: the slide folder.
std::u16string SlideFolder(const Program& program, std::int16_t section) {
  return program.contentRoot + kPathSeparator + u"flashs" + kPathSeparator +
         FiveDigitText(section);
}

std::u16string ModelPath(const Program& program, std::u16string_view name) {
  return program.contentRoot + kPathSeparator + u"modeles" + kPathSeparator +
         std::u16string(name);
}

// A playlist key of the section, created with its default when absent.
std::u16string ReadSlideKey(Program& program, std::int16_t section,
                            std::u16string key, std::u16string defaultValue) {
  return program.settings.ReadSetting(SectionName(section), std::move(key),
                                      std::move(defaultValue), u"", 2);
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
void TellContent(Program& program, const std::string& subject,
                 const std::u16string& place, const std::u16string& path,
                 const std::u16string& text, std::string_view missingCode,
                 const std::u16string& blankWhat) {
  if (!text.empty()) return ContentProblemGone(program, subject);
  Step([&] {
    const ContentFileProblem problem =
        EmptyContentWords(StateOfContentFile(path), path, missingCode, blankWhat);
    ReportContentProblem(program, subject, problem.code, place, problem.message);
  });
}

void TellType(Program& program, std::int16_t section, const std::u16string& type) {
  const std::string subject = "type of " + ToAnsi(SectionName(section));
  if (type == u"image" || type == u"html" || type == u"url")
    return ContentProblemGone(program, subject);
  Step([&] {
    ReportContentProblem(program, subject, kWrongTypeCode,
                         SectionName(section) + u", \"Type\"",
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
        UnwrittenPageWords(SlideFolder(program, section), composed);
    ReportContentProblem(program, subject, problem.code, SectionName(section),
                         problem.message);
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
std::u16string ComposeContent(Program& program, std::int16_t section) {
  platform::MessagePump& pump = program.platform.pump;
  std::u16string type;
  Step([&] { type = ReadSlideKey(program, section, u"Type", u""); });

  TellType(program, section, type);

  // A template belongs to no section: one problem for all its slides.
  auto tellTemplate = [&](const std::u16string& path, const std::u16string& model,
                          const std::u16string& typeKey) {
    TellContent(program, "template " + ToAnsi(path), u"", path, model,
                kMissingTemplateCode, BlankTemplateWords(typeKey));
  };
  std::u16string page;
  if (type == u"image") {
    const std::u16string path = ModelPath(program, u"image.html");
    std::u16string model = ReadWholeFile(path, pump);
    tellTemplate(path, model, u"image");
    Step([&] {
      std::u16string image = ReadSlideKey(program, section, u"image", u"");
      page = ReplaceAll(std::move(model), u"%FICHIER%", std::move(image));
    });
  } else if (type == u"html") {
    std::u16string path;
    if (Step([&] {
          path = SlideFolder(program, section) + kPathSeparator +
                 ReadSlideKey(program, section, u"html", u"");
        })) {
      page = ReadWholeFile(path, pump);
      TellContent(program, "own page of " + ToAnsi(SectionName(section)),
                  SectionName(section) + u", \"html\"", path, page,
                  kMissingPageCode, u"the page will be blank");
    }
  } else if (type == u"url") {
    const std::u16string path = ModelPath(program, u"url.html");
    std::u16string model = ReadWholeFile(path, pump);
    tellTemplate(path, model, u"url");
    Step([&] {
      std::u16string url = ReadSlideKey(program, section, u"url", u"");
      page = ReplaceAll(std::move(model), u"%URL%", std::move(url));
    });
  }
  return page;
}

// An advance: one step along the chain, then the new section's page is
// composed, written into its slide folder and shown.
void Advance(Program& program, SequencerState& state) {
  // A next section that is no 16-bit number leaves the current one, which
  // is then composed and shown again.
  Step([&] {
    state.currentSection = StrictInteger(ReadSlideKey(
        program, state.currentSection, u"section suivante", u"0"));
  });
  const std::int16_t section = state.currentSection;

  // Closes the previous trace line, then opens the new one with a marker.
  Step([&] { program.GetPrincipal().DEBUGGER1().ADDvalueWAIT(u""); });
  Step([&] {
    program.GetPrincipal().DEBUGGER1().ADDandWAIT(u"section : " +
                                                  DecimalText(section));
  });
  state.secondsCounter = 0;

  std::u16string page = ComposeContent(program, section);

  std::u16string markup;
  Step([&] {
    std::u16string number = SignedText(LenientNumber(
        ReadSlideKey(program, section, u"Transition", u"")));
    markup = program.settings.ReadSetting(
        number, u"html", u"", ModelPath(program, u"transitions.ini"), 1);
  });
  Step([&] {
    page = ReplaceAll(page, kContentTypeMeta, markup + kContentTypeMeta);
  });
  // Scroll bars off on every body tag that has attributes.
  Step([&] { page = ReplaceAllNoCase(page, u"<body ", u"<body scroll=NO "); });

  const std::u16string composed =
      SlideFolder(program, section) + kPathSeparator + u"temporaire.html";
  const bool written = Step([&] { WriteComposedPage(composed, page + u"\r\n"); });
  TellPageWrite(program, section, written, composed);
  // Navigates even when the write failed: the browser then shows the older
  // page still there, or its own page for a missing file.
  Step([&] { program.GetAfficheur().Webcam().Navigate(composed); });
}

}  // namespace

void SequencerTick(Program& program, SequencerState& state) {
  // The file reading below yields to the message loop; a tick delivered
  // meanwhile must not start a second advance inside this one.
  if (state.ticking) return;
  TickGuard guard(state.ticking);

  Step([&] { program.GetAfficheur().Webcam().SetVisible(true); });

  double dwell = 0;
  Step([&] {
    dwell = LenientNumber(ReadSlideKey(program, state.currentSection,
                                       u"delais secondes", u""));
  });

  // The counter is 0 only before the very first tick, which always advances.
  if (state.secondsCounter == 0 || dwell < state.secondsCounter) {
    Advance(program, state);
  } else {
    Step([&] {
      program.GetPrincipal().DEBUGGER1().ADDvalueWAIT(
          std::u16string{u'.', kTraceMarker});
    });
  }
  state.secondsCounter += 1;
  TellPlaylistWrites(program);
}

}  // namespace velane
