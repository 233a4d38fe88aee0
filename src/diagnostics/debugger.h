// The trace control DEBUGGER: one label, traceur, showing the latest trace
// text newest entry first, and an optional time-stamped log file.
#pragma once

#include <string>

#include "platform/platform.h"

namespace velane {

class DEBUGGER {
 public:
  // host is the composite control, traceur its label.
  DEBUGGER(platform::Control& host, platform::Control& traceur, platform::Clock& clock);

  // Each step is skipped on failure; nothing reaches the caller.
  void add(std::u16string texte, bool logger = false);
  // These pass their failures to the caller.
  void ADDandWAIT(std::u16string texte);
  void ADDvalueWAIT(std::u16string texte);
  void ADDtextAvanced(std::u16string texte);

  // Resize: traceur fills the control.
  void UserControl_Resize();

  std::u16string Text() const;

 private:
  platform::Control& host_;
  platform::Control& traceur_;
  platform::Clock& clock_;
  bool linkReported_ = false;   // a linked debugger.log is reported once
  bool olderReported_ = false;  // so is an older log that cannot be replaced
};

inline constexpr std::size_t kTraceLimit = 1000;

}  // namespace velane
