#include "display/text_helpers.h"
// PLACEHOLDER: replaced by the text helpers.
namespace velane {
std::u16string ReplaceAll(std::u16string t, std::u16string, std::u16string) { return t; }
std::u16string ReplaceAllNoCase(std::u16string t, std::u16string, std::u16string) { return t; }
}  // namespace velane
