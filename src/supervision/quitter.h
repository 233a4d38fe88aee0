// The quit window: a small light-yellow strip whose button ends the program.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace velane {

class Program;

class Quitter {
 public:
  explicit Quitter(Program& program);  // created hidden

  void Command1_Click();  // ends the program

  platform::Window& Window() { return *window_; }
  std::uint32_t hWnd() const { return window_->Handle(); }

 private:
  Program& program_;
  std::unique_ptr<platform::Window> window_;
};

}  // namespace velane
