// The trace window: the program's start-up window, host of DEBUGGER1.
#pragma once

#include <memory>

#include "diagnostics/debugger.h"
#include "platform/platform.h"

namespace velane {

class Program;

class principal {
 public:
  explicit principal(Program& program);

  // The start-up sequence.
  void Form_Load();

  platform::Window& Window() { return *window_; }
  DEBUGGER& DEBUGGER1() { return *debugger1_; }
  // The start-up sequence hid the window: it is not shown after the load.
  bool HiddenByLoad() const { return hiddenByLoad_; }

 private:
  Program& program_;
  std::unique_ptr<platform::Window> window_;
  std::unique_ptr<DEBUGGER> debugger1_;
  bool hiddenByLoad_ = false;
};

}  // namespace velane
