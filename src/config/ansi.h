// Text crosses every file and INI boundary in the ANSI code page,
// Windows-1252. The conversion is byte-transparent: every byte maps to one
// UTF-16 unit and back, so UTF-8 content passes through unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velane {

std::u16string FromAnsi(std::string_view bytes);
// Units that the code page cannot hold become '?', as the platform does.
std::string ToAnsi(std::u16string_view text);

// UTF-16 to UTF-8, for toolkits and engines that take UTF-8; a lone
// surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// A name as the platform compares names (registry keys and values, INI
// sections and keys): every letter of the code page upper-cased, accented
// ones included ("\xe9t\xe9" and "\xc9T\xc9" fold alike), other bytes kept.
std::string FoldAnsiCase(std::string_view bytes);

// Convenience for literals and tests: ASCII/Latin text in, UTF-16 out.
inline std::u16string U16(std::string_view bytes) { return FromAnsi(bytes); }

// The trace marker: byte 128 of the code page (the euro sign).
inline constexpr char16_t kTraceMarker = u'\u20AC';

// Length of the UTF-8 sequence at i, or 0 when the bytes there are not
// well-formed UTF-8 (overlong forms and surrogates included).
std::size_t Utf8Length(std::string_view s, std::size_t i);
// Whether the bytes are well-formed UTF-8 throughout.
bool IsUtf8(std::string_view s);

}  // namespace velane
