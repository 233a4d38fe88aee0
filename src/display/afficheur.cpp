#include "display/afficheur.h"

#include "config/ansi.h"
#include "config/conversions.h"
#include "diagnostics/failure.h"
#include "display/slide_rules.h"
#include "supervision/reboot.h"
#include "windows/bindings.h"
#include "windows/designs.h"
#include "windows/program.h"

namespace velane {
namespace {

// A key of the display geometry, written with its default when missing or
// empty.
std::u16string ReadGeometryKey(const SettingsStore& settings, PlaylistKey key) {
  return settings.ReadSetting(kGeometrySection, std::u16string(key.name),
                              std::u16string(key.defaultValue), u"", 2);
}

// A display size from section "Systeme" with the strict number parse. Its
// type mismatch names the setting and its text, so the report tells the
// operator which line of the playlist file to mend.
double DisplaySize(const SettingsStore& settings, PlaylistKey key) {
  const std::u16string text = ReadGeometryKey(settings, key);
  try {
    return StrictNumber(text);
  } catch (const TypeMismatch&) {
    throw TypeMismatch("Type mismatch: \"" + ToAnsi(key.name) +
                       "\" in section \"Systeme\" is not a number: \"" + ToAnsi(text) + "\"");
  }
}

}  // namespace

Afficheur::Afficheur(Program& program) : program_(program) {
  platform::Toolkit& toolkit = program.platform.toolkit;
  // Timers run from creation; their first tick comes one interval later,
  // through the message loop, so after the load handler. They start just
  // before the window's controls are made: the web engine takes a few
  // hundred milliseconds to set up, and that belongs inside the first
  // second, not in front of it.
  reboot_ = toolkit.CreateTimer(kRebootIntervalMs,
                                [&program] { Raise(program, Event::Afficheur_reboot_Timer); });
  sourisbouge_ = toolkit.CreateTimer(
      kSourisbougeIntervalMs, [&program] { Raise(program, Event::Afficheur_sourisbouge_Timer); });
  timer1_ = toolkit.CreateTimer(kTimer1IntervalMs,
                                [&program] { Raise(program, Event::Afficheur_Timer1_Timer); });
  window_ = toolkit.CreateWindow(AfficheurDesign());
  webcam_ = window_->Child("Webcam");
  motionWatched_ = program.platform.cursor.WatchMotion([this] { sourisbouge_->Resume(); });
}

// Handles no failure: a display size that is not a number stops the load
// at that step, before the window is resized.
void Afficheur::Form_Load() {
  SettingsStore& s = program_.settings;
  DisplayGeometry& g = program_.geometry;
  g.width = DisplaySize(s, kWidthKey);
  g.height = DisplaySize(s, kHeightKey);
  g.margin = LenientNumber(ReadGeometryKey(s, kMarginKey));

  platform::PixelSize screen = program_.platform.toolkit.ScreenSize();
  window_->Move({0, 0, screen.width, screen.height});

  webcam_->SetVisible(false);
  webcam_->Place(ToPixels(WebcamExtentOf(g.width, g.height, g.margin)));
}

void Afficheur::Timer1_Timer() { SequencerTick(program_, sequencer); }

void Afficheur::sourisbouge_Timer() {
  CursorWatchTick(program_, cursorWatch);
  // Once the idle counter rests at its top, every tick is a no-op until
  // the pointer moves: where the platform reports motion, the timer rests
  // too, instead of waking the machine a hundred times a second for
  // nothing. The first motion wakes it; its next tick sees the movement.
  if (motionWatched_ && cursorWatch.idleCounter == kIdleLimit + 1) sourisbouge_->Pause();
}

void Afficheur::reboot_Timer() { RebootTick(program_); }

}  // namespace velane
