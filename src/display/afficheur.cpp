#include "display/afficheur.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "config/ansi.h"
#include "config/conversions.h"
#include "diagnostics/failure.h"
#include "supervision/reboot.h"
#include "windows/bindings.h"
#include "windows/designs.h"
#include "windows/program.h"

namespace velane {
namespace {

// A pixel value from a setting; beyond the range of a coordinate is an
// overflow, as assigning it to a window position would be.
int ToPixel(double value) {
  double r = std::nearbyint(value);
  if (!(r >= std::numeric_limits<int>::min() / 2 &&
        r <= std::numeric_limits<int>::max() / 2)) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    throw Overflow(std::string("Overflow: ") + text +
                   " is not a pixel position");
  }
  return static_cast<int>(r);
}

// A display size from section "Systeme" with the strict number parse. Its
// type mismatch names the setting and its text, so the report tells the
// operator which line of the playlist file to mend.
double DisplaySize(const SettingsStore& settings, const char16_t* key,
                   const char16_t* defaultValue) {
  const std::u16string text =
      settings.ReadSetting(u"Systeme", key, defaultValue, u"", 2);
  try {
    return StrictNumber(text);
  } catch (const TypeMismatch&) {
    throw TypeMismatch("Type mismatch: \"" + ToAnsi(key) +
                       "\" in section \"Systeme\" is not a number: \"" +
                       ToAnsi(text) + "\"");
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
  reboot_ = toolkit.CreateTimer(kRebootIntervalMs, [&program] {
    Raise(program, Event::Afficheur_reboot_Timer);
  });
  sourisbouge_ = toolkit.CreateTimer(kSourisbougeIntervalMs, [&program] {
    Raise(program, Event::Afficheur_sourisbouge_Timer);
  });
  timer1_ = toolkit.CreateTimer(kTimer1IntervalMs, [&program] {
    Raise(program, Event::Afficheur_Timer1_Timer);
  });
  window_ = toolkit.CreateWindow(AfficheurDesign());
  webcam_ = window_->Child("Webcam");
  motionWatched_ = program.platform.cursor.WatchMotion(
      [this] { sourisbouge_->Resume(); });
}

// Handles no failure: a display size that is not a number stops the load
// at that step, before the window is resized.
void Afficheur::Form_Load() {
  SettingsStore& s = program_.settings;
  DisplayGeometry& g = program_.geometry;
  g.width = DisplaySize(s, u"TailleEcranL", u"768");
  g.height = DisplaySize(s, u"TailleEcranW", u"576");
  g.margin = LenientNumber(s.ReadSetting(u"Systeme", u"marge", u"2", u"", 2));

  platform::PixelSize screen = program_.platform.toolkit.ScreenSize();
  window_->Move({0, 0, screen.width, screen.height});

  webcam_->SetVisible(false);
  webcam_->Place({ToPixel(-g.margin), ToPixel(-g.margin),
                  ToPixel(g.width + 2 * g.margin),
                  ToPixel(g.height + 2 * g.margin)});
}

void Afficheur::Timer1_Timer() { SequencerTick(program_, sequencer); }

void Afficheur::sourisbouge_Timer() {
  CursorWatchTick(program_, cursorWatch);
  // Once the idle counter rests at its top, every tick is a no-op until
  // the pointer moves: where the platform reports motion, the timer rests
  // too, instead of waking the machine a hundred times a second for
  // nothing. The first motion wakes it; its next tick sees the movement.
  if (motionWatched_ && cursorWatch.idleCounter == kIdleLimit + 1)
    sourisbouge_->Pause();
}

void Afficheur::reboot_Timer() { RebootTick(program_); }

}  // namespace velane
