// The text rules of INI files, as the platform's GetPrivateProfileStringA /
// WritePrivateProfileStringA apply them, on a whole file's bytes: portable,
// without any file access. Our own profile functions (the file engine of
// platform/posix/ini_profile.h) and the playlist checker stand on them, so
// that playlist files written for the Windows player read the same here.
//
// The file format, as these rules see it:
// - Lines end at CR LF, LF or a lone CR, mixed freely. A NUL byte ends a
//   name or a value, not its line: the "]" or "=" that makes a header or a
//   key line may come after it, and the name is then read up to the NUL.
// - A line whose first non-blank character is "[" and that holds a "]" is a
//   section header; the name runs from after the "[" to the last "]",
//   blanks around it removed, and the rest of the line is ignored. A "["
//   line without "]" is no header: the lines below stay in the previous
//   section. Lines before the first header form the section named "" (when
//   they hold a key line); a header with an empty or blank name ("[]") is
//   never matched, as on the platform.
// - A key line holds "=": the key is the text before the first "=", the
//   value the text after it. Other lines are kept but never matched. There
//   is no comment syntax (";k=v" is the key ";k").
// - Section and key names match without regard to ASCII letter case and to
//   blanks (space, tab) around them. The first matching section wins (a
//   repeated section is not merged) and, in it, the first matching key.
//
// A write keeps every line it does not change byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velane {

// Files larger than this are treated as unreadable: a read gives the
// default and a write is refused (a playlist is a few megabytes at most).
inline constexpr std::size_t kMaxIniFileBytes = 64u << 20;

// Where a key line sits in a file's text, as byte offsets.
struct IniKeyLine {
  std::size_t begin = 0;   // first byte of the line
  std::size_t end = 0;     // first byte after its line end (if any)
  std::string_view value;  // raw value: after the "=", up to NUL or line end
};

// Where a section sits in a file's text. For the section named "" the
// header is empty (headerEnd == begin == 0).
struct IniSection {
  std::size_t headerEnd = 0;      // first byte after the header line
  std::size_t end = 0;            // start of the next header line, or the end
  std::size_t lastFilled = 0;     // end of the last non-blank line of the body,
                                  // or headerEnd when there is none
  std::optional<IniKeyLine> key;  // first key line of that name, if any
};

// The pure text rules, on a whole file's bytes. Names are looked up as
// given (they are trimmed of blanks here).
std::optional<IniSection> FindIniSection(std::string_view text, std::string_view section,
                                         std::string_view key);

// As FindIniSection, for a read: the walk ends at the key, so when the key
// is found the section's end and last filled line are not set.
std::optional<IniSection> FindIniKey(std::string_view text, std::string_view section,
                                     std::string_view key);

// The sections of one unchanging text, found once, for a reader that asks
// for many keys (the playlist checker): Find gives what FindIniSection
// gives, without walking the text from its start each time.
class IniSectionIndex {
 public:
  explicit IniSectionIndex(std::string_view text);
  std::optional<IniSection> Find(std::string_view section, std::string_view key) const;

 private:
  std::string_view text_;
  // ASCII-lowered name of each section's first header -> end of that line.
  std::unordered_map<std::string, std::size_t> bodies_;
};

// Whether two section or key names match as the engine matches them:
// blanks around them aside, ASCII letters without regard to case.
bool SameIniName(std::string_view a, std::string_view b);

// A section header line of a text, in file order.
struct IniHeaderLine {
  std::string_view name;       // as matched: blanks around it removed, up to a NUL
  std::size_t lineNumber = 0;  // from 1, lines ended as the engine ends them
  bool repeated = false;       // a header above has the same name: the
                               // engine never reads this section
};
std::vector<IniHeaderLine> IniHeaderLines(std::string_view text);

// The number, from 1, of the line that holds the byte at offset, lines
// ended as the engine ends them.
std::size_t IniLineNumberAt(std::string_view text, std::size_t offset);

// The value as read: blanks around it removed, then one matching pair of
// surrounding double or single quotes.
std::string_view CleanIniValue(std::string_view raw);

// The default as read for a missing setting: trailing spaces (not tabs)
// removed, keeping one of a default made only of spaces, then one matching
// pair of surrounding quotes.
std::string_view CleanIniDefault(std::string_view def);

// The file text after setting section/key to value; nullopt when the names
// or the value cannot be written so that they read back (a line break in
// any of them, a "=" in the key, a key line that would read as a header).
std::optional<std::string> WithIniValue(std::string_view text, std::string_view section,
                                        std::string_view key, std::string_view value);

}  // namespace velane
