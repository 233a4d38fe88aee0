// Text helpers shared by the slide sequencer and the trace control.
#pragma once

#include <string>

namespace velane {

// Every occurrence of search (compared without regard to letter case) is
// replaced; the search resumes right behind each replacement. Positions are
// 16-bit: throws Overflow when an occurrence starts beyond 32767 or a resume
// position passes it. An empty search returns the text unchanged.
std::u16string ReplaceAll(std::u16string text, std::u16string search, std::u16string replacement);
std::u16string ReplaceAllNoCase(std::u16string text, std::u16string search,
                                std::u16string replacement);

template <class T>
T ChooseValue(bool condition, T ifTrue, T ifFalse) {
  return condition ? ifTrue : ifFalse;
}

}  // namespace velane
