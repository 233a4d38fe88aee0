// The text rules of our profile (INI) functions, on a whole file's bytes:
// where sections and keys are, how values read, what a write makes of the
// text. No file is touched here, so these serve every platform (the
// playlist checker reads with them on Windows too).
#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

#include "config/ini.h"

namespace velane {
namespace {

// ---------------------------------------------------------------------------
// Text rules

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Both names already trimmed of blanks.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

std::string_view StripQuotePair(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

// One line of a file's text, as byte offsets.
struct Line {
  std::size_t begin = 0;
  std::size_t contentEnd = 0;  // where its line end starts
  std::size_t end = 0;         // first byte after its line end
};

// Walks the lines of a text. The next LF is found with memchr and
// remembered, and a CR is looked for only before it, so the walk stays
// linear in LF-only, CR LF and CR-only files alike.
class LineScanner {
 public:
  LineScanner(std::string_view text, std::size_t start) : text_(text), pos_(start) {}

  bool Next(Line& line) {
    if (pos_ >= text_.size()) return false;
    if (nextLf_ == kUnknown || nextLf_ < pos_) nextLf_ = Find('\n', text_.size());
    line.begin = pos_;
    line.contentEnd = Find('\r', nextLf_);
    line.end = line.contentEnd;
    if (line.end < text_.size()) {
      ++line.end;
      if (text_[line.contentEnd] == '\r' && line.end < text_.size() && text_[line.end] == '\n')
        ++line.end;
    }
    pos_ = line.end;
    return true;
  }

 private:
  static constexpr std::size_t kUnknown = std::string_view::npos;

  // The first c from the current position up to limit, or limit.
  std::size_t Find(char c, std::size_t limit) const {
    const void* hit = std::memchr(text_.data() + pos_, c, limit - pos_);
    return hit ? std::size_t(static_cast<const char*>(hit) - text_.data()) : limit;
  }

  std::string_view text_;
  std::size_t pos_;
  std::size_t nextLf_ = kUnknown;
};

// The line's text, without its line end.
std::string_view TextOf(std::string_view text, const Line& line) {
  return text.substr(line.begin, line.contentEnd - line.begin);
}

// A name or a value as read: up to its first NUL.
std::string_view UpToNul(std::string_view s) {
  const void* nul = std::memchr(s.data(), '\0', s.size());
  return nul ? s.substr(0, static_cast<const char*>(nul) - s.data()) : s;
}

// The section name when the line text is a header. The "]" may come after
// a NUL; the name is read up to the NUL.
std::optional<std::string_view> HeaderName(std::string_view lineText) {
  std::size_t open = 0;
  while (open < lineText.size() && IsBlank(lineText[open])) ++open;
  if (open == lineText.size() || lineText[open] != '[') return std::nullopt;
  const std::size_t close = lineText.rfind(']');
  if (close == std::string_view::npos || close <= open) return std::nullopt;
  return TrimBlanks(UpToNul(lineText.substr(open + 1, close - open - 1)));
}

// Cheap test before building the text: only a line whose first non-blank
// byte is "[" can be a header.
bool MayBeHeader(std::string_view text, const Line& line) {
  std::size_t i = line.begin;
  while (i < line.contentEnd && IsBlank(text[i])) ++i;
  return i < line.contentEnd && text[i] == '[';
}

bool IsBlankLine(std::string_view text, const Line& line) {
  for (std::size_t i = line.begin; i < line.contentEnd; ++i)
    if (!IsBlank(text[i])) return false;
  return true;
}

struct KeyValue {
  std::string_view key;    // up to a NUL, trimmed
  std::string_view value;  // raw, up to a NUL
};

// The "=" may come after a NUL: the key is then the text before the NUL.
std::optional<KeyValue> KeyLine(std::string_view lineText) {
  const std::size_t eq = lineText.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyValue{TrimBlanks(UpToNul(lineText.substr(0, eq))), UpToNul(lineText.substr(eq + 1))};
}

// The line that starts at begin.
Line LineAt(std::string_view text, std::size_t begin) {
  Line line;
  line.begin = begin;
  std::size_t i = begin;
  while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
  line.contentEnd = i;
  if (i < text.size()) {
    ++i;
    if (text[i - 1] == '\r' && i < text.size() && text[i] == '\n') ++i;
  }
  line.end = i;
  return line;
}

struct Header {
  Line line;
  std::string_view name;
};

// The next header line at or after from. Rather than walking every line,
// it jumps from "[" to "[" (memchr): only a "[" that opens its line, after
// blanks, can begin a header, and headers are a small part of a playlist.
std::optional<Header> NextHeader(std::string_view text, std::size_t from) {
  while (from < text.size()) {
    const void* hit = std::memchr(text.data() + from, '[', text.size() - from);
    if (!hit) return std::nullopt;
    const std::size_t open = static_cast<const char*>(hit) - text.data();
    std::size_t begin = open;
    while (begin > 0 && IsBlank(text[begin - 1])) --begin;
    from = open + 1;
    if (begin > 0 && text[begin - 1] != '\n' && text[begin - 1] != '\r') continue;
    const Line line = LineAt(text, begin);
    if (auto name = HeaderName(TextOf(text, line))) return Header{line, *name};
    from = line.end;
  }
  return std::nullopt;
}

// One section's lines, from begin up to the next header or the end.
struct Body {
  std::size_t end = 0;         // not set when the walk stopped at the key
  std::size_t lastFilled = 0;  // end of its last non-blank line, or begin
  std::optional<IniKeyLine> key;
  bool hasKeyLine = false;
};

Body WalkBody(std::string_view text, std::size_t begin, std::string_view key, bool stopAtKey) {
  Body body{text.size(), begin, std::nullopt, false};
  LineScanner lines(text, begin);
  Line line;
  while (lines.Next(line)) {
    if (MayBeHeader(text, line) && HeaderName(TextOf(text, line))) {
      body.end = line.begin;
      return body;
    }
    if (!IsBlankLine(text, line)) body.lastFilled = line.end;
    if (body.key) continue;  // only the section's extent is still wanted
    if (auto kv = KeyLine(TextOf(text, line))) {
      body.hasKeyLine = true;
      if (SameName(kv->key, key)) {
        body.key = IniKeyLine{line.begin, line.end, kv->value};
        if (stopAtKey) return body;
      }
    }
  }
  return body;
}

// Finds a section for a read (stopAtKey: the walk ends at the key) or for
// a write (the section's end and last non-blank line are wanted too).
std::optional<IniSection> Locate(std::string_view text, std::string_view section,
                                 std::string_view key, bool stopAtKey) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  if (section.empty()) {
    // Lines before the first header are the section named "", when they
    // hold a key line. A header with an empty or blank name ("[]", "[ ]")
    // is never that section: the platform does not match it either.
    const Body lead = WalkBody(text, 0, key, stopAtKey);
    if (lead.hasKeyLine) return IniSection{0, lead.end, lead.lastFilled, lead.key};
    return std::nullopt;
  }
  std::size_t from = 0;
  // The first section of that name wins; a repeated one is never merged.
  while (auto header = NextHeader(text, from)) {
    if (SameName(header->name, section)) {
      const Body body = WalkBody(text, header->line.end, key, stopAtKey);
      return IniSection{header->line.end, body.end, body.lastFilled, body.key};
    }
    from = header->line.end;
  }
  return std::nullopt;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool EndsWithLineEnd(std::string_view text, std::size_t pos) {
  return pos == 0 || text[pos - 1] == '\n' || text[pos - 1] == '\r';
}

}  // namespace

std::optional<IniSection> FindIniSection(std::string_view text, std::string_view section,
                                         std::string_view key) {
  return Locate(text, section, key, /*stopAtKey=*/false);
}

std::optional<IniSection> FindIniKey(std::string_view text, std::string_view section,
                                     std::string_view key) {
  return Locate(text, section, key, /*stopAtKey=*/true);
}

IniSectionIndex::IniSectionIndex(std::string_view text) : text_(text) {
  std::size_t from = 0;
  while (auto header = NextHeader(text, from)) {
    std::string name(header->name);
    std::transform(name.begin(), name.end(), name.begin(), AsciiLower);
    bodies_.emplace(std::move(name), header->line.end);  // the first one wins
    from = header->line.end;
  }
}

std::optional<IniSection> IniSectionIndex::Find(std::string_view section,
                                                std::string_view key) const {
  section = TrimBlanks(section);
  // The lines before the first header count only when they hold a key;
  // that rule is Locate's, and the lookup is rare.
  if (section.empty()) return FindIniSection(text_, section, key);
  std::string name(section);
  std::transform(name.begin(), name.end(), name.begin(), AsciiLower);
  const auto it = bodies_.find(name);
  if (it == bodies_.end()) return std::nullopt;
  const Body body = WalkBody(text_, it->second, TrimBlanks(key), false);
  return IniSection{it->second, body.end, body.lastFilled, body.key};
}

bool SameIniName(std::string_view a, std::string_view b) {
  return SameName(TrimBlanks(a), TrimBlanks(b));
}

std::vector<IniHeaderLine> IniHeaderLines(std::string_view text) {
  std::vector<IniHeaderLine> headers;
  std::unordered_set<std::string> seen;  // ASCII-lowered names
  LineScanner lines(text, 0);
  Line line;
  std::size_t lineNumber = 0;
  while (lines.Next(line)) {
    ++lineNumber;
    if (!MayBeHeader(text, line)) continue;
    const auto name = HeaderName(TextOf(text, line));
    if (!name) continue;
    std::string lowered(*name);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
    const bool repeated = !seen.insert(std::move(lowered)).second;
    headers.push_back({*name, lineNumber, repeated});
  }
  return headers;
}

std::size_t IniLineNumberAt(std::string_view text, std::size_t offset) {
  LineScanner lines(text, 0);
  Line line;
  std::size_t lineNumber = 0;
  while (lines.Next(line)) {
    ++lineNumber;
    if (offset < line.end) break;
  }
  return lineNumber;
}

std::string_view CleanIniValue(std::string_view raw) { return StripQuotePair(TrimBlanks(raw)); }

std::string_view CleanIniDefault(std::string_view def) {
  // Spaces only, not tabs; a default made only of spaces keeps one.
  while (def.size() > 1 && def.back() == ' ') def.remove_suffix(1);
  return StripQuotePair(def);
}

std::optional<std::string> WithIniValue(std::string_view text, std::string_view section,
                                        std::string_view key, std::string_view value) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value) ||
      key.find('=') != std::string_view::npos)
    return std::nullopt;

  auto found = Locate(text, section, key, /*stopAtKey=*/false);
  if (!found && section.empty()) {
    // The section named "" is the lines above the first header: the key
    // goes there, after the last of them that is not blank ("[]" would
    // never read back as that section).
    const Body lead = WalkBody(text, 0, key, /*stopAtKey=*/false);
    found = IniSection{0, lead.end, lead.lastFilled, std::nullopt};
  }
  std::string keyName(key);
  if (found && found->key) {
    // An existing key keeps the file's spelling of its name: the trimmed
    // text before its "=".
    const std::string_view lineText =
        text.substr(found->key->begin, found->key->end - found->key->begin);
    keyName = std::string(TrimBlanks(lineText.substr(0, lineText.find('='))));
  }
  std::string keyLine = keyName + "=" + std::string(value);
  // A key line that would read as a header could never be read back.
  if (HeaderName(keyLine)) return std::nullopt;
  keyLine += "\r\n";

  std::string out;
  out.reserve(text.size() + keyLine.size() + section.size() + 6);
  if (found && found->key) {
    out.append(text.substr(0, found->key->begin));
    out.append(keyLine);
    out.append(text.substr(found->key->end));
  } else if (found) {
    const std::size_t at = found->lastFilled;
    out.append(text.substr(0, at));
    if (!EndsWithLineEnd(text, at)) out.append("\r\n");
    out.append(keyLine);
    out.append(text.substr(at));
  } else {
    out.append(text);
    if (!EndsWithLineEnd(text, text.size())) out.append("\r\n");
    out.append("[").append(section).append("]\r\n").append(keyLine);
  }
  return out;
}

}  // namespace velane
