// The display window: borderless, black, over the whole screen, holding the
// browser control Webcam and the three timers that drive the program.
#pragma once

#include <memory>

#include "diagnostics/status_report.h"
#include "display/sequencer.h"
#include "platform/platform.h"
#include "supervision/cursor_watch.h"

namespace velane {

class Program;

class Afficheur {
 public:
  // Creates the window with its controls and starts the timers; the load
  // handler is raised by the program right after.
  explicit Afficheur(Program& program);

  void Form_Load();
  void Timer1_Timer();
  void sourisbouge_Timer();
  void reboot_Timer();

  platform::Window& Window() { return *window_; }
  platform::Control& Webcam() { return *webcam_; }

  SequencerState sequencer;
  CursorWatchState cursorWatch;
  StatusState screenStatus;

 private:
  Program& program_;
  std::unique_ptr<platform::Window> window_;
  platform::Control* webcam_;
  std::unique_ptr<platform::Timer> reboot_;
  std::unique_ptr<platform::Timer> sourisbouge_;
  std::unique_ptr<platform::Timer> timer1_;
  bool motionWatched_ = false;
};

}  // namespace velane
