#include "platform/gtk/preview.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "check/playlist_check.h"
#include "config/ansi.h"
#include "config/conversions.h"
#include "config/settings.h"
#include "diagnostics/screen_status.h"
#include "display/slide_rules.h"
#include "platform/content_root.h"
#include "platform/files.h"
#include "platform/gtk/gtk_platform.h"
#include "platform/host.h"
#include "velane_version.h"

namespace velane::gtk {
namespace {

constexpr int kThumbWidth = 360;
constexpr int kLabelHeight = 92;
constexpr int kGap = 16;
constexpr int kTitleHeight = 40;
// A page is pictured this long after it is asked for (once it has loaded),
// past the transitions of the demo's templates; one that has not loaded
// within kLoadLimitMs is given up.
constexpr int kShownMs = 2000;
constexpr int kLoadLimitMs = 20000;

void Tell(const std::string& line) {
  std::fprintf(stderr, VELANE_PLAYER_NAME ": %s\n", line.c_str());
}

// Runs the message loop until done() or the time is up; whether done.
bool RunUntil(const std::function<bool()>& done, int ms) {
  bool late = false;
  const guint timer = g_timeout_add(
      guint(ms),
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &late);
  while (!done() && !late) g_main_context_iteration(nullptr, TRUE);
  if (!late) g_source_remove(timer);
  return done();
}

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
  auto* rest = static_cast<std::string_view*>(closure);
  if (rest->size() < length) return CAIRO_STATUS_READ_ERROR;
  std::copy_n(rest->data(), length, data);
  rest->remove_prefix(length);
  return CAIRO_STATUS_SUCCESS;
}

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

double DisplaySize(SettingsStore& settings, PlaylistKey key) {
  try {
    const double v = StrictNumber(settings.ReadSetting(kGeometrySection, std::u16string(key.name),
                                                       std::u16string(key.defaultValue), u"", 1));
    if (v >= 16 && v <= 4096) return v;
  } catch (const std::exception&) {
  }
  return StrictNumber(std::u16string(key.defaultValue));
}

struct Shot {
  const ChainSlide* slide = nullptr;
  cairo_surface_t* picture = nullptr;  // none: the page could not be pictured
  std::string reason;                  // why the slide is blank, in the checker's words
};

// Why the checker says this slide is blank: its first error.
std::string BlankReason(const CheckReport& report, const ChainSlide& slide) {
  const std::u16string section = SectionName(slide.section);
  for (const CheckProblem& p : report.problems)
    if (p.severity == Severity::kError && p.section == section)
      return "[" + p.code + "] " + StatusText(p.message);
  return "blank page";
}

void Text(cairo_t* cr, const std::string& text, double x, double y, int width, int lines,
          const char* font, double r, double g, double b) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* description = pango_font_description_from_string(font);
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  pango_layout_set_width(layout, width * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  pango_layout_set_height(layout, -lines);
  pango_layout_set_text(layout, text.c_str(), -1);
  cairo_set_source_rgb(cr, r, g, b);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

// The contact sheet: a title, then one picture per slide in chain order,
// three a row, each with its label beneath.
std::string DrawSheet(const CheckReport& report, const std::vector<Shot>& shots, int displayWidth,
                      int displayHeight) {
  const int thumbHeight = std::max(1, kThumbWidth * displayHeight / displayWidth);
  const int columns = std::max<int>(1, std::min<int>(3, int(shots.size())));
  const int rows = std::max<int>(1, (int(shots.size()) + columns - 1) / columns);
  const int width = kGap + columns * (kThumbWidth + kGap);
  const int height = kTitleHeight + rows * (thumbHeight + kLabelHeight + kGap) + kGap;
  cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(sheet);
  cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
  cairo_paint(cr);
  Text(cr,
       std::to_string(shots.size()) + " slide" + (shots.size() == 1 ? "" : "s") + " of " +
           StatusText(report.playlist) + ", " + std::to_string(displayWidth) + " x " +
           std::to_string(displayHeight) + "; then section " + std::to_string(report.loopsTo) +
           " again",
       kGap, 12, width - 2 * kGap, 1, "Sans Bold 11", 0.1, 0.1, 0.1);
  for (std::size_t i = 0; i < shots.size(); ++i) {
    const Shot& shot = shots[i];
    const ChainSlide& slide = *shot.slide;
    const double x = kGap + double(i % columns) * (kThumbWidth + kGap);
    const double y = kTitleHeight + double(i / columns) * (thumbHeight + kLabelHeight + kGap);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, x, y, kThumbWidth, thumbHeight);
    cairo_fill(cr);
    if (shot.picture != nullptr) {
      cairo_save(cr);
      cairo_rectangle(cr, x, y, kThumbWidth, thumbHeight);
      cairo_clip(cr);
      const double scale = double(kThumbWidth) / cairo_image_surface_get_width(shot.picture);
      cairo_translate(cr, x, y);
      cairo_scale(cr, scale, scale);
      cairo_set_source_surface(cr, shot.picture, 0, 0);
      cairo_paint(cr);
      cairo_restore(cr);
    }
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, x, y + thumbHeight, kThumbWidth, kLabelHeight);
    cairo_fill(cr);
    const std::string type = slide.type.empty() ? "no type" : StatusText(slide.type);
    char dwell[32];
    std::snprintf(dwell, sizeof dwell, "%.0f s", slide.dwellSeconds);
    Text(cr,
         std::to_string(i + 1) + ". section " + std::to_string(slide.section) + ", " + type + ", " +
             dwell,
         x + 6, y + thumbHeight + 4, kThumbWidth - 12, 1, "Sans Bold 10", 0.1, 0.1, 0.1);
    Text(cr, slide.value.empty() ? "(no value)" : StatusText(slide.value), x + 6,
         y + thumbHeight + 24, kThumbWidth - 12, 1, "Sans 9", 0.25, 0.25, 0.25);
    if (slide.blank)
      Text(cr, "BLANK: " + shot.reason, x + 6, y + thumbHeight + 42, kThumbWidth - 12, 3, "Sans 8",
           0.8, 0.08, 0.08);
    else if (shot.picture == nullptr)
      Text(cr, "no picture: the page did not load within 20 s", x + 6, y + thumbHeight + 42,
           kThumbWidth - 12, 2, "Sans 8", 0.55, 0.35, 0);
    else if (!slide.schedule.Always())
      Text(cr, "on a schedule: " + StatusText(ScheduleText(slide.schedule)), x + 6,
           y + thumbHeight + 42, kThumbWidth - 12, 2, "Sans 8", 0.1, 0.3, 0.6);
  }
  cairo_destroy(cr);
  std::string png;
  if (cairo_surface_write_to_png_stream(sheet, &AppendPng, &png) != CAIRO_STATUS_SUCCESS)
    png.clear();
  cairo_surface_destroy(sheet);
  return png;
}

}  // namespace

std::optional<PreviewRequest> PreviewArguments(int argc, char** argv, std::string& error) {
  if (argc < 2 || std::string_view(argv[1]) != "--preview") return std::nullopt;
  PreviewRequest request;
  if (argc < 3 || argc > 4 || *argv[2] == '\0') {
    error = "usage: VELANE_Afficheur --preview OUT.png [CONTENT_ROOT]";
    return request;
  }
  request.output = argv[2];
  if (argc == 4) request.root = argv[3];
  return request;
}

int RunPreview(GtkToolkit& toolkit, const PreviewRequest& request) {
  std::u16string root;
  if (request.root) {
    root = FromAnsi(*request.root);
  } else {
    const std::optional<std::string> exe = platform::RunningExecutablePath();
    if (!exe) {
      Tell("--preview: the player's own folder is unknown; name the content root");
      return 1;
    }
    const platform::ContentRoot chosen =
        platform::ChooseContentRoot(FolderOf(FromAnsi(*exe)), PlaylistPathFor(FromAnsi(*exe)));
    for (const std::string& note : chosen.notes) Tell(note);
    root = chosen.folder;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(std::filesystem::path(ToAnsi(root)), error)) {
    Tell("--preview: " + ToAnsi(root) + " is not a folder");
    return 1;
  }
  // File addresses and the engine's confinement need the root's full path.
  root = FromAnsi(std::filesystem::absolute(std::filesystem::path(ToAnsi(root)), error).string());
  const CheckReport report = CheckContentRoot(root);
  const std::unique_ptr<platform::ProfileStrings> profile = platform::MachineProfile(root);
  SettingsStore settings(*profile, nullptr, PlaylistOfRoot(root));
  const int width = int(DisplaySize(settings, kWidthKey));
  const int height = int(DisplaySize(settings, kHeightKey));

  // The view keeps to this root as the player's does (local files, the
  // page process's sandbox).
  toolkit.SetContentRoot(ToAnsi(root));
  const std::unique_ptr<WebView> view = toolkit.CreateWebView();
  if (!view) return 1;
  // Off screen: never mapped on the display, yet laid out at the display
  // area's size, so the engine renders as it does on the screen.
  GtkWidget* window = gtk_offscreen_window_new();
  gtk_widget_set_size_request(view->Widget(), width, height);
  gtk_container_add(GTK_CONTAINER(window), view->Widget());
  gtk_widget_show_all(window);

  std::vector<Shot> shots;
  for (std::size_t i = 0; i < report.chain.size(); ++i) {
    const ChainSlide& slide = report.chain[i];
    Shot shot{&slide, nullptr, slide.blank ? BlankReason(report, slide) : ""};
    // The page as the player writes it, shown from memory as if it were in
    // the slide folder: its relative names lead there, and nothing is
    // written into a content root that may not be published yet.
    gchar* folderUri =
        g_filename_to_uri(ToAnsi(SlideFolder(root, slide.section)).c_str(), nullptr, nullptr);
    if (folderUri != nullptr) {
      view->ShowPage(ToAnsi(slide.page) + "\r\n", std::string(folderUri) + "/");
      g_free(folderUri);
      RunUntil([] { return false; }, kShownMs);
      std::string png;
      bool done = false;
      view->Snapshot(width, [&png, &done](std::string bytes) {
        png = std::move(bytes);
        done = true;
      });
      RunUntil([&done] { return done; }, kLoadLimitMs);
      std::string_view rest = png;
      if (!png.empty()) {
        cairo_surface_t* picture = cairo_image_surface_create_from_png_stream(&ReadPng, &rest);
        if (cairo_surface_status(picture) == CAIRO_STATUS_SUCCESS)
          shot.picture = picture;
        else
          cairo_surface_destroy(picture);
      }
      // A picture that comes later must not land in this slide's place.
      if (!done) view->Snapshot(width, [](std::string) {});
    }
    const std::string when =
        slide.schedule.Always() ? "" : " [" + StatusText(ScheduleText(slide.schedule)) + "]";
    std::printf("%zu. section %d, %s %s%s: %s\n", i + 1, slide.section,
                slide.type.empty() ? "(no type)" : StatusText(slide.type).c_str(),
                StatusText(slide.value).c_str(), when.c_str(),
                slide.blank               ? ("BLANK: " + shot.reason).c_str()
                : shot.picture != nullptr ? "pictured"
                                          : "no picture: the page did not load within 20 s");
    shots.push_back(shot);
  }

  const std::string sheet = DrawSheet(report, shots, width, height);
  for (Shot& shot : shots)
    if (shot.picture != nullptr) cairo_surface_destroy(shot.picture);
  gtk_widget_destroy(window);

  if (sheet.empty() ||
      platform::ReplaceFileWhole(request.output, sheet) != platform::FileWrite::kWritten) {
    Tell("--preview: cannot write " + request.output);
    return 1;
  }
  std::printf("%s: %zu slide%s\n", request.output.c_str(), shots.size(),
              shots.size() == 1 ? "" : "s");
  return 0;
}

}  // namespace velane::gtk
