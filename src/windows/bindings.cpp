#include "windows/bindings.h"

#include <cstdio>
#include <exception>

#include "config/ansi.h"
#include "diagnostics/principal.h"
#include "display/afficheur.h"
#include "supervision/quitter.h"
#include "velane_version.h"
#include "windows/program.h"

namespace velane {
namespace {

struct Binding {
  Event event;
  const char* name;  // window or control, and the event
  void (*handler)(Program&);
};

// The complete table. Nothing else in the program handles an event.
constexpr Binding kBindings[] = {
    {Event::principal_Load, "principal.Form_Load",
     [](Program& p) { p.GetPrincipal().Form_Load(); }},
    {Event::Afficheur_Load, "Afficheur.Form_Load",
     [](Program& p) { p.GetAfficheur().Form_Load(); }},
    {Event::Afficheur_Timer1_Timer, "Afficheur.Timer1_Timer",
     [](Program& p) { p.GetAfficheur().Timer1_Timer(); }},
    {Event::Afficheur_sourisbouge_Timer, "Afficheur.sourisbouge_Timer",
     [](Program& p) { p.GetAfficheur().sourisbouge_Timer(); }},
    {Event::Afficheur_reboot_Timer, "Afficheur.reboot_Timer",
     [](Program& p) { p.GetAfficheur().reboot_Timer(); }},
    {Event::Quitter_Command1_Click, "Quitter.Command1_Click",
     [](Program& p) { p.GetQuitter().Command1_Click(); }},
    {Event::DEBUGGER_UserControl_Resize, "DEBUGGER.UserControl_Resize",
     [](Program& p) { p.GetPrincipal().DEBUGGER1().UserControl_Resize(); }},
};

const Binding& Find(Event event) {
  for (const Binding& b : kBindings)
    if (b.event == event) return b;
  std::terminate();  // every Event has its row
}

}  // namespace

std::string EventName(Event event) { return Find(event).name; }

void ReportFailure(Program* program, const std::string& where, const std::string& what) {
  ReportProblem(program,
                where + " failed: " + what + " (handler abandoned, the player keeps running)");
}

// One line on stderr, which a service manager sends to its journal.
static std::string PrintReport(const std::string& text) {
  std::string line = VELANE_PLAYER_NAME ": " + text;
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  return line;
}

void ReportProblem(Program* program, const std::string& text) {
  const std::string line = PrintReport(text);
  // Reporting never creates the trace window: that would run the start-up.
  if (program == nullptr || !program->PrincipalExists() || program->reportingFailure) return;
  // A failure while reporting is not reported again.
  program->reportingFailure = true;
  try {
    program->GetPrincipal().DEBUGGER1().add(FromAnsi(line), true);
  } catch (...) {
  }
  program->reportingFailure = false;
}

void ReportContentProblem(Program& program, const std::string& subject, const std::string& code,
                          const std::u16string& place, const std::u16string& message) {
  const std::string line =
      "[" + code + "] " + (place.empty() ? "" : ToAnsi(place) + ": ") + ToAnsi(message);
  program.problems.Hold(subject, {code, place, message});
  // Not in the trace, whose lines are the slides shown.
  if (const auto told = program.problems.Report(subject, line, program.platform.clock.Now()))
    PrintReport(*told);
}

void ContentProblemGone(Program& program, const std::string& subject) {
  program.problems.Clear(subject);
}

void Raise(Program& program, Event event) {
  const Binding& binding = Find(event);
  try {
    binding.handler(program);
  } catch (const std::exception& e) {
    ReportFailure(&program, binding.name, e.what());
  }
}

}  // namespace velane
