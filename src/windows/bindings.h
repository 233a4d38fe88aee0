// The event-binding table: every handled event of every window and control.
// Every other event has no handler.
#pragma once

#include <string>

namespace velane {

class Program;

enum class Event {
  principal_Load,
  Afficheur_Load,
  Afficheur_Timer1_Timer,
  Afficheur_sourisbouge_Timer,
  Afficheur_reboot_Timer,
  Quitter_Command1_Click,
  DEBUGGER_UserControl_Resize,
};

// Runs the handler bound to the event. A failure that the handler does not
// handle itself ends that handler only: it is reported on stderr (and in
// the trace) and the program keeps running.
void Raise(Program& program, Event event);

// "Afficheur.Timer1_Timer", for reports.
std::string EventName(Event event);

// Reports an unhandled failure: one line on stderr, and the trace log.
void ReportFailure(Program* program, const std::string& where, const std::string& what);
// Reports something the operator should know of, the same way.
void ReportProblem(Program* program, const std::string& text);

// Reports a problem of the content met while running, in the checker's
// words ("[code] place: message"), when it is new for its subject (a
// section's page, its type, a template) and the minute has lines left.
void ReportContentProblem(Program& program, const std::string& subject, const std::string& code,
                          const std::u16string& place, const std::u16string& message);
// The subject's problem has been put right: one coming back is told again.
void ContentProblemGone(Program& program, const std::string& subject);

}  // namespace velane
