#include "supervision/quitter.h"

#include "windows/bindings.h"
#include "windows/designs.h"
#include "windows/program.h"

namespace velane {

Quitter::Quitter(Program& program) : program_(program) {
  window_ = program.platform.toolkit.CreateWindow(QuitterDesign());
  window_->Child("Command1")->OnClick([&program] {
    Raise(program, Event::Quitter_Command1_Click);
  });
}

void Quitter::Command1_Click() { program_.platform.process.End(0); }

}  // namespace velane
