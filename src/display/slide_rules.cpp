#include "display/slide_rules.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "config/ansi.h"
#include "config/conversions.h"
#include "config/ini.h"
#include "diagnostics/failure.h"
#include "display/text_helpers.h"

namespace velane {
namespace {

constexpr char16_t kBodyTag[] = u"<body ";
// The browser control's attribute that hides a page's scroll bars.
constexpr char16_t kBodyTagWithoutScrollBars[] = u"<body scroll=NO ";

// A pixel value; beyond the range of a coordinate is an overflow, as
// assigning it to a window position would be.
int ToPixel(double value) {
  const double r = std::nearbyint(value);
  if (!(r >= std::numeric_limits<int>::min() / 2 && r <= std::numeric_limits<int>::max() / 2)) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    throw Overflow(std::string("Overflow: ") + text + " is not a pixel position");
  }
  return static_cast<int>(r);
}

}  // namespace

std::u16string SectionName(std::int16_t section) { return u"section " + DecimalText(section); }

std::optional<std::int16_t> SectionNumberOf(std::string_view name) {
  constexpr std::size_t kPrefix = 8;  // "section "
  if (name.size() <= kPrefix) return std::nullopt;
  const std::string_view digits = name.substr(kPrefix);
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() ||
      value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max())
    return std::nullopt;
  const auto n = static_cast<std::int16_t>(value);
  // "05" or "-0" is never asked for; "SECTION 5" is found as "section 5".
  if (!SameIniName(name, ToAnsi(SectionName(n)))) return std::nullopt;
  return n;
}

std::u16string SlideFolder(const std::u16string& root, std::int16_t section) {
  return root + kPathSeparator + u"flashs" + kPathSeparator + FiveDigitText(section);
}

std::u16string ComposedPagePath(const std::u16string& root, std::int16_t section) {
  return SlideFilePath(root, section, u"temporaire.html");
}

std::u16string SlideFilePath(const std::u16string& root, std::int16_t section,
                             const std::u16string& name) {
  return SlideFolder(root, section) + kPathSeparator + name;
}

std::u16string ModelPath(const std::u16string& root, std::u16string_view file) {
  return root + kPathSeparator + u"modeles" + kPathSeparator + std::u16string(file);
}

std::u16string TransitionsPath(const std::u16string& root) {
  return ModelPath(root, u"transitions.ini");
}

const SlideType* FindSlideType(std::u16string_view type) {
  for (const SlideType& known : kSlideTypes)
    if (known.name == type) return &known;
  return nullptr;
}

std::optional<std::u16string_view> VideoContainerOf(std::string_view leadingBytes) {
  if (leadingBytes.size() >= 8 && leadingBytes.substr(4, 4) == "ftyp") return u"MP4";
  if (leadingBytes.starts_with("\x1A\x45\xDF\xA3")) return u"WebM";
  return std::nullopt;
}

std::u16string SlideTypeNames(std::u16string_view lastJoin) {
  std::u16string names;
  for (std::size_t i = 0; i < kSlideTypes.size(); ++i) {
    if (i > 0)
      names += i + 1 == kSlideTypes.size() ? u" " + std::u16string(lastJoin) + u" " : u", ";
    names += u"\"" + std::u16string(kSlideTypes[i].name) + u"\"";
  }
  return names;
}

std::u16string AttributeText(std::u16string_view value) {
  std::u16string text;
  text.reserve(value.size());
  for (const char16_t c : value) {
    switch (c) {
      case u'&':
        text += u"&amp;";
        break;
      case u'"':
        text += u"&quot;";
        break;
      case u'\'':
        text += u"&#39;";
        break;
      case u'<':
        text += u"&lt;";
        break;
      case u'>':
        text += u"&gt;";
        break;
      default:
        text += c;
    }
  }
  return text;
}

std::u16string FillTemplate(const SlideType& type, std::u16string model, std::u16string value) {
  return ReplaceAll(std::move(model), std::u16string(type.placeholder), AttributeText(value));
}

namespace {

bool IsSeparator(char16_t c) {
  return std::u16string_view(platform::kPathSeparators).find(c) != std::u16string_view::npos;
}

// The path with its links followed as far as it exists, and the names
// beyond taken as they read ("." dropped, ".." one folder up).
std::u16string ResolvedAsFarAsItExists(const std::u16string& path) {
  std::u16string existing = path;
  std::vector<std::u16string> rest;  // the names that do not exist, last first
  while (true) {
    if (const auto real = platform::ResolvedPath(ToAnsi(existing))) {
      existing = FromAnsi(*real);
      break;
    }
    std::size_t cut = existing.size();
    while (cut > 0 && IsSeparator(existing[cut - 1])) --cut;
    const std::size_t start =
        existing.find_last_of(platform::kPathSeparators, cut == 0 ? 0 : cut - 1);
    if (cut == 0 || start == std::u16string::npos) {
      rest.push_back(existing.substr(0, cut));  // a relative name, none of it there
      existing.clear();
      break;
    }
    rest.push_back(existing.substr(start + 1, cut - start - 1));
    existing.resize(start);
    if (existing.empty() || (existing.size() == 2 && existing[1] == u':')) {
      existing += kPathSeparator;  // the file system's root
      if (const auto real = platform::ResolvedPath(ToAnsi(existing))) existing = FromAnsi(*real);
      break;
    }
  }
  for (auto name = rest.rbegin(); name != rest.rend(); ++name) {
    if (name->empty() || *name == u".") continue;
    if (*name == u"..") {
      const std::size_t last = existing.find_last_of(platform::kPathSeparators);
      if (last != std::u16string::npos && last + 1 < existing.size())
        existing.resize(last == 0 || (last == 2 && existing[1] == u':') ? last + 1 : last);
      continue;
    }
    if (existing.empty() || !IsSeparator(existing.back())) existing += kPathSeparator;
    existing += *name;
  }
  return existing;
}

}  // namespace

bool LeadsInsideRoot(const std::u16string& root, const std::u16string& path) {
  if (root.empty() || path.empty()) return false;
  std::u16string base = ResolvedAsFarAsItExists(root);
  const std::u16string real = ResolvedAsFarAsItExists(path);
  while (base.size() > 1 && IsSeparator(base.back())) base.pop_back();
  if (real == base) return true;
  return real.size() > base.size() && real.starts_with(base) &&
         (IsSeparator(real[base.size()]) || IsSeparator(base.back()));
}

std::optional<std::u16string> LocalFileOfValue(const std::u16string& root, std::int16_t section,
                                               const std::u16string& value) {
  const std::u16string name = value.substr(0, value.find_first_of(u"?#"));
  if (name.empty() || name.find(u':') != std::u16string::npos) return std::nullopt;
  if (IsSeparator(name.front())) return name;
  return SlideFilePath(root, section, name);
}

std::u16string WithTransitionMarkup(std::u16string page, const std::u16string& markup) {
  return ReplaceAll(std::move(page), kContentTypeMeta, markup + kContentTypeMeta);
}

std::u16string WithoutScrollBars(std::u16string page) {
  return ReplaceAllNoCase(std::move(page), kBodyTag, kBodyTagWithoutScrollBars);
}

WebcamExtent WebcamExtentOf(double width, double height, double margin) {
  return {-margin, -margin, width + 2 * margin, height + 2 * margin};
}

platform::PixelRect ToPixels(const WebcamExtent& extent) {
  return {ToPixel(extent.left), ToPixel(extent.top), ToPixel(extent.width), ToPixel(extent.height)};
}

}  // namespace velane
