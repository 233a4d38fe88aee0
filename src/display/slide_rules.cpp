#include "display/slide_rules.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

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

std::u16string FillTemplate(const SlideType& type, std::u16string model, std::u16string value) {
  return ReplaceAll(std::move(model), std::u16string(type.placeholder), std::move(value));
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
