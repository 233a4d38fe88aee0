#include "diagnostics/debugger.h"
// PLACEHOLDER: replaced by the trace control.
namespace velane {
DEBUGGER::DEBUGGER(platform::Control& host, platform::Control& traceur, platform::Clock& clock)
    : host_(host), traceur_(traceur), clock_(clock) {}
void DEBUGGER::add(std::u16string t, bool) { traceur_.SetText(t + u"\r\n" + traceur_.Text()); }
void DEBUGGER::ADDandWAIT(std::u16string) {}
void DEBUGGER::ADDvalueWAIT(std::u16string) {}
void DEBUGGER::ADDtextAvanced(std::u16string) {}
void DEBUGGER::UserControl_Resize() {}
std::u16string DEBUGGER::Text() const { return traceur_.Text(); }
}  // namespace velane
