// The rules of a slide that the player and the playlist checker both follow:
// where a slide's settings and files are, what each type makes of its
// template, how the composed page is rewritten, which files a slide may
// lead to, and where the display geometry puts the browser control. Nothing
// here reads or writes a file; LeadsInsideRoot looks where paths lead.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/platform.h"

namespace velane {

// Path separator of the platform's file names.
using platform::kPathSeparator;

// "section 7", "section -2": the playlist section of a slide.
std::u16string SectionName(std::int16_t section);

// The number of the slide whose section the player finds under this name
// (a section header as the INI engine reads it), if any: only "section "
// and the plain decimal number is ever asked for.
std::optional<std::int16_t> SectionNumberOf(std::string_view name);

// A playlist key, with the default the player writes in its place when it
// is missing or empty.
struct PlaylistKey {
  std::u16string_view name;
  std::u16string_view defaultValue;
};

// The keys of a slide's section; each type's own key defaults to "".
inline constexpr PlaylistKey kDwellKey{u"delais secondes", u""};
inline constexpr PlaylistKey kNextSectionKey{u"section suivante", u"0"};
inline constexpr PlaylistKey kTypeKey{u"Type", u""};
inline constexpr PlaylistKey kTransitionKey{u"Transition", u""};

// The display geometry, in pixels, in its own section.
inline constexpr char16_t kGeometrySection[] = u"Systeme";
inline constexpr PlaylistKey kWidthKey{u"TailleEcranL", u"768"};
inline constexpr PlaylistKey kHeightKey{u"TailleEcranW", u"576"};
inline constexpr PlaylistKey kMarginKey{u"marge", u"2"};

// The key of a transition's markup, in the section of the transitions file
// named by the transition's number.
inline constexpr char16_t kTransitionMarkupKey[] = u"html";

// Paths below the content root, which is given without a trailing
// separator. The slide folder: "flashs" and the section number with at
// least five digits.
std::u16string SlideFolder(const std::u16string& root, std::int16_t section);
// The composed page, rewritten at every advance to the section.
std::u16string ComposedPagePath(const std::u16string& root, std::int16_t section);
// A file of the slide folder, named by a slide's value.
std::u16string SlideFilePath(const std::u16string& root, std::int16_t section,
                             const std::u16string& name);
// A template or the transitions file, in "modeles".
std::u16string ModelPath(const std::u16string& root, std::u16string_view file);
std::u16string TransitionsPath(const std::u16string& root);

// Whether the path leads inside the content root once ".", ".." and links
// are followed (names that do not exist yet are taken as they read). What a
// slide shows stays there: the player reads no slide page or template, and
// composes no page around a picture, that leads elsewhere (HOME, /etc,
// another disk), and the checker reports such a value as an error.
bool LeadsInsideRoot(const std::u16string& root, const std::u16string& path);

// The local file that a template's value names, as the browser finds it
// from the composed page: a full path, or a name relative to the slide
// folder (its query or fragment left out); none for an address, which has
// a scheme, or an empty value.
std::optional<std::u16string> LocalFileOfValue(const std::u16string& root, std::int16_t section,
                                               const std::u16string& value);

// A slide type: the exact "Type" value, the slide's own key, and either a
// template in "modeles" whose placeholder takes the key's value, or (no
// template) the key names the slide's own page in its slide folder, shown
// as it is. A new type is one row here and its template.
struct SlideType {
  std::u16string_view name;
  std::u16string_view key;
  std::u16string_view model;        // empty: the slide's own page
  std::u16string_view placeholder;  // in the template
};

inline constexpr std::array<SlideType, 4> kSlideTypes = {{
    {u"image", u"image", u"image.html", u"%FICHIER%"},
    {u"html", u"html", u"", u""},
    {u"url", u"url", u"url.html", u"%URL%"},
    {u"video", u"video", u"video.html", u"%FICHIER%"},
}};

// The video files the engine plays, known by how they begin: an MP4 file
// (H.264) has "ftyp" after its first box's size, a WebM file (VP8, VP9)
// begins with the EBML magic. How many leading bytes the test needs, and
// the container's name for those bytes, if any.
inline constexpr std::size_t kVideoSignatureBytes = 12;
std::optional<std::u16string_view> VideoContainerOf(std::string_view leadingBytes);

// The row for a "Type" value, compared exactly (letter case counts); none
// for any other value, which gives an empty page.
const SlideType* FindSlideType(std::u16string_view type);

// The type names for a message: "\"image\", \"html\" and \"url\"" with
// lastJoin "and".
std::u16string SlideTypeNames(std::u16string_view lastJoin);

// The text as an HTML attribute value holds it: & " ' < > written as
// references, which the browser reads back as the same characters.
std::u16string AttributeText(std::u16string_view value);

// The template with the slide's value in place of every placeholder, the
// value as attribute text (the placeholders stand in attributes: an address
// or a picture's name works as before, and cannot add markup or script to
// the page). Throws Overflow as ReplaceAll does.
std::u16string FillTemplate(const SlideType& type, std::u16string model, std::u16string value);

// The tag in front of which a transition's markup goes.
inline constexpr char16_t kContentTypeMeta[] = u"<meta http-equiv=\"Content-Type\"";

// The transition's markup in front of every content-type meta tag, and the
// browser's scroll bars turned off on every body tag that has attributes.
// Both throw Overflow as ReplaceAll does.
std::u16string WithTransitionMarkup(std::u16string page, const std::u16string& markup);
std::u16string WithoutScrollBars(std::u16string page);

// The browser control's place in the display window: the display area (at
// the window's top-left corner) with the margin beyond it on each side.
struct WebcamExtent {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
};
WebcamExtent WebcamExtentOf(double width, double height, double margin);

// In whole pixels; throws Overflow for a value beyond what a window
// position can hold.
platform::PixelRect ToPixels(const WebcamExtent& extent);

}  // namespace velane
