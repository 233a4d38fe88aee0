#include "diagnostics/principal.h"

#include "display/afficheur.h"
#include "windows/bindings.h"
#include "windows/designs.h"
#include "windows/program.h"

namespace velane {

principal::principal(Program& program) : program_(program) {
  window_ = program.platform.toolkit.CreateWindow(PrincipalDesign());
  platform::Control* host = window_->Child("DEBUGGER1");
  platform::Control* traceur = window_->Child("traceur");
  debugger1_ = std::make_unique<DEBUGGER>(*host, *traceur, program.platform.clock);
  host->OnResize([&program](int, int) { Raise(program, Event::DEBUGGER_UserControl_Resize); });
  // Closing the window only hides it (the platform does that): the trace
  // control stays alive and keeps taking the sequencer's calls.
  window_->OnCloseRequest([] {});
}

// Handles no failure: one in showing the display window abandons the rest.
void principal::Form_Load() {
  if (program_.platform.process.ArgumentText() == u"RUNTIME") program_.runtimeMode = true;
  if (program_.runtimeMode) {
    window_->Hide();
    hiddenByLoad_ = true;
  }
  program_.GetAfficheur().Window().Show();
}

}  // namespace velane
