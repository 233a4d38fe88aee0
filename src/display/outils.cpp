#include "display/outils.h"
// PLACEHOLDER: replaced by OUTILS.
namespace velane {
std::u16string ReadWholeFile(const std::u16string&, platform::MessagePump&) { return {}; }
void SetWindowTopmost(platform::Toolkit& toolkit, std::uint32_t hwnd, std::int16_t topmost) {
  toolkit.SetWindowPos(hwnd, topmost ? platform::kHwndTopmost : platform::kHwndNoTopmost,
                       platform::kSwpNoSize | platform::kSwpNoMove |
                           platform::kSwpNoActivate | platform::kSwpShowWindow);
}
}  // namespace velane
