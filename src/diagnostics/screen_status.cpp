#include "diagnostics/screen_status.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <variant>

#include "config/ansi.h"
#include "platform/files.h"

namespace velane {
namespace {

// --- Writing ----------------------------------------------------------------

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (c >> 18)));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8Length(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    const auto u = static_cast<unsigned char>(text[i]);
    if (n == 1 && (text[i] == '"' || text[i] == '\\')) {
      out.push_back('\\');
      out.push_back(text[i]);
    } else if (n == 1 && (u < 0x20 || u == 0x7F)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out.append(text.substr(i, n));
    }
    i += n;
  }
  return out + "\"";
}

std::string JsonTime(const std::optional<platform::LocalTime>& time) {
  return time ? "\"" + TimeText(*time) + "\"" : "null";
}

// --- Reading: a small JSON reader, enough for what FormatStatusJson writes
// and for hand-made files that keep to JSON. --------------------------------

struct Json;
using JsonObject = std::map<std::string, Json>;
using JsonArray = std::vector<Json>;
struct Json {
  std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>,
               std::shared_ptr<JsonObject>>
      value = nullptr;

  const std::string* String() const { return std::get_if<std::string>(&value); }
  const double* Number() const { return std::get_if<double>(&value); }
  const bool* Bool() const { return std::get_if<bool>(&value); }
  const JsonArray* Array() const {
    const auto* a = std::get_if<std::shared_ptr<JsonArray>>(&value);
    return a ? a->get() : nullptr;
  }
  const JsonObject* Object() const {
    const auto* o = std::get_if<std::shared_ptr<JsonObject>>(&value);
    return o ? o->get() : nullptr;
  }
  const Json* Field(const std::string& name) const {
    const JsonObject* o = Object();
    if (o == nullptr) return nullptr;
    const auto it = o->find(name);
    return it == o->end() ? nullptr : &it->second;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : s_(text) {}

  std::optional<Json> Document() {
    std::optional<Json> value = Value(0);
    Blanks();
    if (!value || i_ != s_.size()) return std::nullopt;
    return value;
  }

 private:
  static constexpr int kDeepest = 32;

  void Blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
      ++i_;
  }
  bool Take(char c) {
    Blanks();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }

  std::optional<Json> Value(int depth) {
    if (depth > kDeepest) return std::nullopt;
    Blanks();
    if (i_ >= s_.size()) return std::nullopt;
    const char c = s_[i_];
    if (c == '{') return ObjectValue(depth);
    if (c == '[') return ArrayValue(depth);
    if (c == '"') {
      std::optional<std::string> text = StringValue();
      if (!text) return std::nullopt;
      return Json{std::move(*text)};
    }
    if (Word("null")) return Json{nullptr};
    if (Word("true")) return Json{true};
    if (Word("false")) return Json{false};
    return NumberValue();
  }

  std::optional<Json> NumberValue() {
    const std::size_t start = i_;
    while (i_ < s_.size() && std::string_view("+-0123456789.eE").find(s_[i_]) != std::string::npos)
      ++i_;
    if (i_ == start) return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(s_.data() + start, s_.data() + i_, v);
    if (ec != std::errc() || end != s_.data() + i_) return std::nullopt;
    return Json{v};
  }

  std::optional<unsigned> Hex4() {
    if (i_ + 4 > s_.size()) return std::nullopt;
    unsigned v = 0;
    const auto [end, ec] = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, v, 16);
    if (ec != std::errc() || end != s_.data() + i_ + 4) return std::nullopt;
    i_ += 4;
    return v;
  }

  std::optional<std::string> StringValue() {
    ++i_;  // the opening quote
    std::string out;
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= s_.size()) return std::nullopt;
      const char e = s_[i_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out.push_back(e);
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          std::optional<unsigned> u = Hex4();
          if (!u) return std::nullopt;
          std::uint32_t code = *u;
          if (code >= 0xD800 && code <= 0xDBFF && Word("\\u")) {
            std::optional<unsigned> low = Hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
            code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
          } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::optional<Json> ArrayValue(int depth) {
    ++i_;
    auto array = std::make_shared<JsonArray>();
    if (Take(']')) return Json{array};
    do {
      std::optional<Json> item = Value(depth + 1);
      if (!item) return std::nullopt;
      array->push_back(std::move(*item));
    } while (Take(','));
    if (!Take(']')) return std::nullopt;
    return Json{array};
  }

  std::optional<Json> ObjectValue(int depth) {
    ++i_;
    auto object = std::make_shared<JsonObject>();
    if (Take('}')) return Json{object};
    do {
      Blanks();
      if (i_ >= s_.size() || s_[i_] != '"') return std::nullopt;
      std::optional<std::string> name = StringValue();
      if (!name || !Take(':')) return std::nullopt;
      std::optional<Json> item = Value(depth + 1);
      if (!item) return std::nullopt;
      (*object)[*name] = std::move(*item);
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return Json{object};
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

std::string TextField(const Json& object, const std::string& name) {
  const Json* field = object.Field(name);
  const std::string* text = field ? field->String() : nullptr;
  return text ? *text : std::string();
}

std::optional<platform::LocalTime> TimeField(const Json& object, const std::string& name) {
  const Json* field = object.Field(name);
  const std::string* text = field ? field->String() : nullptr;
  return text ? ParseTimeText(*text) : std::nullopt;
}

std::optional<double> NumberField(const Json& object, const std::string& name) {
  const Json* field = object.Field(name);
  const double* number = field ? field->Number() : nullptr;
  return number ? std::optional<double>(*number) : std::nullopt;
}

std::optional<std::int16_t> SectionField(const Json& object, const std::string& name) {
  const std::optional<double> n = NumberField(object, name);
  if (!n || *n < -32768 || *n > 32767 || *n != double(std::int16_t(*n))) return std::nullopt;
  return std::int16_t(*n);
}

}  // namespace

std::string JsonQuoted(std::string_view utf8) { return JsonString(utf8); }

std::string TimeText(const platform::LocalTime& t) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return buffer;
}

std::optional<platform::LocalTime> ParseTimeText(std::string_view text) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':')
    return std::nullopt;
  const auto number = [&](std::size_t at, std::size_t length, int& out) {
    const auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + length, out);
    return ec == std::errc() && end == text.data() + at + length;
  };
  platform::LocalTime t;
  if (!number(0, 4, t.year) || !number(5, 2, t.month) || !number(8, 2, t.day) ||
      !number(11, 2, t.hour) || !number(14, 2, t.minute) || !number(17, 2, t.second))
    return std::nullopt;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 60)
    return std::nullopt;
  return t;
}

long long SecondsOf(const platform::LocalTime& t) {
  // Days from the civil date (proleptic Gregorian calendar).
  const long long y = t.year - (t.month <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long mp = (t.month + 9) % 12;
  const long long doy = (153 * mp + 2) / 5 + t.day - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = era * 146097 + doe - 719468;
  return days * 86400 + t.hour * 3600LL + t.minute * 60LL + t.second;
}

std::string StatusText(std::u16string_view text) {
  const std::string bytes = ToAnsi(text);
  if (IsUtf8(bytes)) return bytes;
  std::string utf8;
  for (char16_t c : text) AppendUtf8(utf8, c);
  return utf8;
}

std::string FormatStatusJson(const ScreenStatus& s) {
  std::string j = "{\n";
  j += "  \"format\": " + std::to_string(kStatusFormat) + ",\n";
  j += "  \"screen\": " + JsonString(s.screen) + ",\n";
  j += "  \"version\": " + JsonString(s.version) + ",\n";
  j += "  \"started_at\": " + JsonTime(s.startedAt) + ",\n";
  j += "  \"starts\": [";
  for (std::size_t i = 0; i < s.starts.size(); ++i) j += (i ? ", " : "") + JsonTime(s.starts[i]);
  j += "],\n";
  if (s.slide) {
    j += "  \"slide\": {\"section\": " + std::to_string(s.slide->section) +
         ", \"type\": " + JsonString(s.slide->type) + ", \"value\": " + JsonString(s.slide->value) +
         ", \"since\": " + JsonTime(s.slide->since) + "},\n";
  } else {
    j += "  \"slide\": null,\n";
  }
  j += "  \"next_section\": " + (s.nextSection ? std::to_string(*s.nextSection) : "null") + ",\n";
  j += "  \"last_tick\": " + JsonTime(s.lastTick) + ",\n";
  j += "  \"schedule\": " + (s.schedule ? JsonString(*s.schedule) : "null") + ",\n";
  j += "  \"problems\": [";
  for (std::size_t i = 0; i < s.problems.size(); ++i) {
    const StatusProblem& p = s.problems[i];
    j += std::string(i ? "," : "") + "\n    {\"code\": " + JsonString(p.code) +
         ", \"place\": " + JsonString(p.place) + ", \"message\": " + JsonString(p.message) + "}";
  }
  j += s.problems.empty() ? "],\n" : "\n  ],\n";
  j += "  \"sandboxed\": " + (s.sandboxed ? std::string(*s.sandboxed ? "true" : "false") : "null") +
       ",\n";
  j += "  \"memory_kb\": " + (s.memoryKb ? std::to_string(*s.memoryKb) : "null") + ",\n";
  if (s.cpuPercent) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", *s.cpuPercent);
    j += "  \"cpu_percent\": " + std::string(buffer) + "\n";
  } else {
    j += "  \"cpu_percent\": null\n";
  }
  return j + "}\n";
}

std::optional<ScreenStatus> ParseStatusJson(std::string_view json) {
  const std::optional<Json> document = JsonReader(json).Document();
  if (!document || document->Object() == nullptr) return std::nullopt;
  const Json& d = *document;
  const std::optional<double> format = NumberField(d, "format");
  const Json* screen = d.Field("screen");
  if (!format || *format != kStatusFormat || screen == nullptr || screen->String() == nullptr)
    return std::nullopt;
  ScreenStatus s;
  s.screen = *screen->String();
  s.version = TextField(d, "version");
  s.startedAt = TimeField(d, "started_at").value_or(platform::LocalTime{});
  if (const Json* starts = d.Field("starts"); starts && starts->Array()) {
    for (const Json& start : *starts->Array())
      if (const std::string* text = start.String())
        if (const auto t = ParseTimeText(*text)) s.starts.push_back(*t);
  }
  if (const Json* slide = d.Field("slide"); slide && slide->Object()) {
    StatusSlide shown;
    shown.section = SectionField(*slide, "section").value_or(0);
    shown.type = TextField(*slide, "type");
    shown.value = TextField(*slide, "value");
    shown.since = TimeField(*slide, "since").value_or(platform::LocalTime{});
    s.slide = shown;
  }
  s.nextSection = SectionField(d, "next_section");
  s.lastTick = TimeField(d, "last_tick");
  if (const Json* schedule = d.Field("schedule"); schedule && schedule->String())
    s.schedule = *schedule->String();
  if (const Json* problems = d.Field("problems"); problems && problems->Array()) {
    for (const Json& p : *problems->Array())
      if (p.Object())
        s.problems.push_back(
            {TextField(p, "code"), TextField(p, "place"), TextField(p, "message")});
  }
  if (const Json* sandboxed = d.Field("sandboxed"); sandboxed && sandboxed->Bool())
    s.sandboxed = *sandboxed->Bool();
  if (const auto memory = NumberField(d, "memory_kb"); memory && *memory >= 0)
    s.memoryKb = std::uint64_t(*memory);
  s.cpuPercent = NumberField(d, "cpu_percent");
  return s;
}

std::string SafeScreenName(std::string_view name) {
  std::string safe;
  for (const char c : name) {
    if (safe.size() == 64) break;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || (c == '.' && !safe.empty());
    safe.push_back(plain ? c : '_');
  }
  if (safe.find_first_not_of('_') == std::string::npos) return "screen";
  return safe;
}

std::u16string StatusFolderOf(const std::u16string& contentRoot) {
  const char* value = std::getenv(kStatusFolderVariable);
  if (value != nullptr && *value != '\0' && std::filesystem::path(value).is_absolute()) {
    std::u16string folder = FromAnsi(value);
    while (folder.size() > 1 &&
           std::u16string_view(platform::kPathSeparators).find(folder.back()) !=
               std::u16string_view::npos)
      folder.pop_back();
    return folder;
  }
  return contentRoot + platform::kPathSeparator + kStatusFolderName;
}

std::vector<platform::LocalTime> StartsAfter(const std::vector<platform::LocalTime>& previous,
                                             const platform::LocalTime& now) {
  std::vector<platform::LocalTime> starts;
  const long long at = SecondsOf(now);
  for (const platform::LocalTime& t : previous)
    if (SecondsOf(t) <= at) starts.push_back(t);
  starts.push_back(now);
  if (starts.size() > kStartsKept) starts.erase(starts.begin(), starts.end() - kStartsKept);
  return starts;
}

bool IsSilent(long long ageSeconds) { return ageSeconds > kSilentAfterSeconds; }

bool IsRestartingOverAndOver(const ScreenStatus& status) {
  const std::size_t n = status.starts.size();
  if (n < std::size_t(kRestartsOverAndOver)) return false;
  const long long last = SecondsOf(status.starts[n - 1]);
  const long long first = SecondsOf(status.starts[n - kRestartsOverAndOver]);
  if (last - first > kRestartWindowSeconds) return false;
  const long long tick = status.lastTick ? SecondsOf(*status.lastTick) : last;
  return tick - last < kRestartWindowSeconds;
}

}  // namespace velane
