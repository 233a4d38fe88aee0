// OUTILS: the whole-file reader and the topmost-window helper.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace velane {

// The whole text of an ANSI text file, every line ended by CR LF (lines end
// at CR LF or a lone CR; a lone LF is an ordinary character). Lets the
// message loop handle pending messages before each line. Any failure gives
// the empty text; the file is always closed.
std::u16string ReadWholeFile(const std::u16string& path, platform::MessagePump& pump);

// Raises the window above all others (or drops that), shows it and never
// activates it.
void SetWindowTopmost(platform::Toolkit& toolkit, std::uint32_t hwnd, std::int16_t topmost);

}  // namespace velane
