#include "platform/gtk/gtk_platform.h"

#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>
#include <dlfcn.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "config/ansi.h"
#include "display/page_guard.h"
#include "idle-inhibit-client.h"
#include "platform/files.h"
#include "platform/gtk/web_view.h"
#include "platform/host.h"
#include "platform/posix/posix_platform.h"
#include "velane_version.h"
#include "windows/designs.h"
#include "wlr-output-power-client.h"

namespace velane::gtk {
namespace {

// X11 refuses window sizes beyond 16 bits; a zero or negative size from the
// settings is kept as "nothing to show" rather than GTK's "unset" (-1).
int ClampSize(int v) { return v < 0 ? 0 : (v > 32767 ? 32767 : v); }
int ClampPos(int v) { return v < -32768 ? -32768 : (v > 32767 ? 32767 : v); }

std::string CssColour(const Rgb& c) {
  return "rgb(" + std::to_string(c.red) + "," + std::to_string(c.green) + "," +
         std::to_string(c.blue) + ")";
}

void AddCss(const std::string& css) {
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

class GtkControlImpl;

// A control of a window: a widget inside its parent's GtkLayout.
class GtkControlImpl : public platform::Control {
 public:
  GtkControlImpl(GtkToolkit& kit, const ControlDesign& d, GtkWidget* parent)
      : kit_(kit), design_(d), parent_(parent), rect_(d.rect), text_(d.caption) {
    switch (d.kind) {
      case ControlKind::Label:
        widget_ = gtk_drawing_area_new();
        // Windowless, so a transparent label shows its parent beneath it.
        gtk_widget_set_has_window(widget_, FALSE);
        g_signal_connect(widget_, "draw", G_CALLBACK(&GtkControlImpl::DrawLabel), this);
        break;
      case ControlKind::Button:
        widget_ = gtk_button_new_with_label(ToUtf8(d.caption).c_str());
        gtk_widget_set_name(widget_, d.name.c_str());
        AddCss("#" + d.name + " { padding: 0 4px; min-height: 0; min-width: 0; }");
        g_signal_connect(widget_, "clicked", G_CALLBACK(&GtkControlImpl::Clicked), this);
        break;
      case ControlKind::ListBox:
        widget_ = gtk_list_box_new();
        gtk_widget_set_name(widget_, d.name.c_str());
        AddCss("#" + d.name + " { background-color: white; border: 1px solid #7a7a7a; }");
        break;
      case ControlKind::Browser:
        webView_ = kit.CreateWebView();
        // Without its engine the control stays an empty, black area.
        widget_ = webView_ ? webView_->Widget() : gtk_drawing_area_new();
        break;
      case ControlKind::Composite:
        widget_ = gtk_layout_new(nullptr, nullptr);
        g_signal_connect(widget_, "size-allocate", G_CALLBACK(&GtkControlImpl::Allocated), this);
        break;
    }
    g_object_ref_sink(widget_);  // kept alive while this object lives
    gtk_layout_put(GTK_LAYOUT(parent_), widget_, ClampPos(rect_.x), ClampPos(rect_.y));
    gtk_widget_set_size_request(widget_, ClampSize(rect_.width), ClampSize(rect_.height));
    gtk_widget_show(widget_);
    if (webView_ != nullptr) {
      // Put after the view, so its window lies above the view's.
      curtain_ = gtk_drawing_area_new();
      g_object_ref_sink(curtain_);
      g_signal_connect(curtain_, "draw", G_CALLBACK(&GtkControlImpl::DrawCurtain), nullptr);
      gtk_layout_put(GTK_LAYOUT(parent_), curtain_, ClampPos(rect_.x), ClampPos(rect_.y));
      gtk_widget_set_size_request(curtain_, ClampSize(rect_.width), ClampSize(rect_.height));
      memorySource_ = g_timeout_add(kPageMemoryCheckMs, &GtkControlImpl::CheckPageMemory, this);
    }
  }

  ~GtkControlImpl() override {
    if (resizeIdle_ != 0) g_source_remove(resizeIdle_);
    if (memorySource_ != 0) g_source_remove(memorySource_);
    g_signal_handlers_disconnect_by_data(widget_, this);
    g_object_unref(widget_);
    if (curtain_ != nullptr) g_object_unref(curtain_);
  }

  GtkWidget* widget() { return widget_; }

  // A web view is never unmapped: hidden, it stays in place, sized and
  // drawn, under a black curtain, so showing it is taking the curtain away
  // (a new layout, or even a move, costs the first slide 15 to 50 ms).
  void SetVisible(bool v) override {
    if (curtain_ == nullptr) return gtk_widget_set_visible(widget_, v);
    gtk_widget_set_visible(curtain_, !v);
  }
  bool IsVisible() const override {
    return curtain_ ? !gtk_widget_get_visible(curtain_) : gtk_widget_get_visible(widget_);
  }

  void Place(platform::PixelRect r) override {
    rect_ = r;
    for (GtkWidget* w : {widget_, curtain_}) {
      if (w == nullptr) continue;
      gtk_layout_move(GTK_LAYOUT(parent_), w, ClampPos(r.x), ClampPos(r.y));
      gtk_widget_set_size_request(w, ClampSize(r.width), ClampSize(r.height));
    }
  }
  platform::PixelRect Placement() const override { return rect_; }

  void SetText(const std::u16string& t) override {
    text_ = t;
    if (design_.kind == ControlKind::Label) gtk_widget_queue_draw(widget_);
  }
  std::u16string Text() const override { return text_; }

  void Navigate(const std::u16string& path) override {
    if (webView_ == nullptr) return;
    gchar* uri = g_filename_to_uri(ToAnsi(path).c_str(), nullptr, nullptr);
    if (uri == nullptr) return;
    webView_->Navigate(uri);
    g_free(uri);
  }

  void SaveSnapshot(const std::u16string& path, int maxWidth) override {
    if (webView_ == nullptr) return;
    webView_->Snapshot(maxWidth, [path = ToAnsi(path)](std::string png) {
      // Whether the folder takes it is the status file's to tell.
      platform::ReplaceFileWhole(path, png);
    });
  }

  // The engine shuts its page process in bubblewrap, whose mounts are its
  // own. Looked up once per page process: whether it is sandboxed does not
  // change while it lives, and a new one (after a crash) is looked at anew.
  std::optional<bool> PageProcessSandboxed() override {
    if (webView_ == nullptr) return std::nullopt;
    LookUpPageProcess();
    return sandboxed_;
  }

  void OnClick(std::function<void()> h) override { onClick_ = std::move(h); }
  void OnResize(std::function<void(int, int)> h) override { onResize_ = std::move(h); }

 private:
  // The page process's command name, cut to the system's 15 bytes.
  static constexpr char kPageProcessName[] = "WebKitWebProces";

  // The page process, looked for again once it has gone (a crash, a
  // recovery); whether it is sandboxed does not change while it lives.
  bool LookUpPageProcess() {
    if (pageProcess_ && posix::StillRunning(*pageProcess_)) return true;
    pageProcess_ = posix::DescendantNamed(kPageProcessName);
    sandboxed_.reset();
    if (!pageProcess_) return false;
    if (const auto shares = posix::SharesOurMounts(pageProcess_->pid)) sandboxed_ = !*shares;
    return true;
  }

  // A page over its memory limit is ended (and loaded again) before the
  // machine swaps or its out-of-memory killer picks the display server.
  static gboolean CheckPageMemory(gpointer data) {
    auto* self = static_cast<GtkControlImpl*>(data);
    if (!self->LookUpPageProcess()) return G_SOURCE_CONTINUE;
    const auto own = posix::OwnResidentBytesOf(*self->pageProcess_);
    if (own && *own > std::uint64_t(self->pageMemoryLimitMb_) << 20)
      self->webView_->EndPageProcess();
    return G_SOURCE_CONTINUE;
  }

  static gboolean DrawCurtain(GtkWidget*, cairo_t* cr, gpointer) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    return TRUE;
  }

  static void Clicked(GtkButton*, GtkControlImpl* self) {
    if (self->onClick_) self->onClick_();
  }

  static void Allocated(GtkWidget*, GdkRectangle* a, GtkControlImpl* self) {
    if (a->width == self->lastWidth_ && a->height == self->lastHeight_) return;
    self->lastWidth_ = a->width;
    self->lastHeight_ = a->height;
    // GTK ignores size changes made while it allocates: tell the handler
    // once the allocation is over.
    if (self->onResize_ && self->resizeIdle_ == 0)
      self->resizeIdle_ = g_idle_add(&GtkControlImpl::NotifyResize, self);
  }

  static gboolean NotifyResize(gpointer data) {
    auto* self = static_cast<GtkControlImpl*>(data);
    self->resizeIdle_ = 0;
    if (self->onResize_) self->onResize_(self->lastWidth_, self->lastHeight_);
    return G_SOURCE_REMOVE;
  }

  // The label: text from the top left, a new line at each CR LF, wrapped
  // at the label's width; what lies below the bottom edge is cut off.
  static gboolean DrawLabel(GtkWidget* w, cairo_t* cr, GtkControlImpl* self) {
    const ControlDesign& d = self->design_;
    int width = gtk_widget_get_allocated_width(w);
    int height = gtk_widget_get_allocated_height(w);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_clip(cr);
    if (d.background) {
      cairo_set_source_rgb(cr, d.background->red / 255.0, d.background->green / 255.0,
                           d.background->blue / 255.0);
      cairo_paint(cr);
    }
    Rgb fg = d.foreground.value_or(Rgb{0, 0, 0});
    cairo_set_source_rgb(cr, fg.red / 255.0, fg.green / 255.0, fg.blue / 255.0);
    PangoLayout* layout = gtk_widget_create_pango_layout(w, nullptr);
    std::string text = ToUtf8(self->text_);
    pango_layout_set_text(layout, text.c_str(), int(text.size()));
    pango_layout_set_width(layout, width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    if (d.font.points > 0) {
      PangoFontDescription* font = pango_font_description_new();
      pango_font_description_set_family(font, d.font.fallback.c_str());
      pango_font_description_set_size(font, int(d.font.points * PANGO_SCALE));
      pango_font_description_set_weight(font, PangoWeight(d.font.weight));
      pango_layout_set_font_description(layout, font);
      pango_font_description_free(font);
    }
    cairo_move_to(cr, 0, 0);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return TRUE;
  }

  GtkToolkit& kit_;
  ControlDesign design_;
  GtkWidget* parent_;
  GtkWidget* widget_ = nullptr;
  platform::PixelRect rect_;
  std::u16string text_;
  std::unique_ptr<WebView> webView_;
  std::optional<posix::ChildProcess> pageProcess_;
  std::optional<bool> sandboxed_;  // of that process
  const unsigned pageMemoryLimitMb_ = PageMemoryLimitMb(std::uint64_t(sysconf(_SC_PHYS_PAGES)) *
                                                        std::uint64_t(sysconf(_SC_PAGESIZE)));
  guint memorySource_ = 0;
  GtkWidget* curtain_ = nullptr;  // over a hidden web view (see SetVisible)
  guint resizeIdle_ = 0;
  int lastWidth_ = -1;
  int lastHeight_ = -1;
  std::function<void()> onClick_;
  std::function<void(int, int)> onResize_;
};

}  // namespace

class GtkWindowImpl : public platform::Window {
 public:
  GtkWindowImpl(GtkToolkit& kit, const WindowDesign& d, std::uint32_t handle)
      : kit_(kit),
        handle_(handle),
        rect_(d.rect),
        noActivate_(d.noActivate),
        keepOnScreen_(d.keepOnScreen) {
    // A window that must float above the full-screen display window and
    // never take the focus is a popup: the window manager, if there is one,
    // leaves it alone, and without one it stays where it is raised.
    window_ = gtk_window_new(d.noActivate ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    std::string name = "velane-" + d.name;
    gtk_widget_set_name(window_, name.c_str());
    gtk_window_set_title(GTK_WINDOW(window_), ToUtf8(d.caption).c_str());
    gtk_window_set_decorated(GTK_WINDOW(window_), d.frame);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), !d.taskbar);
    gtk_window_set_skip_pager_hint(GTK_WINDOW(window_), !d.taskbar);
    if (d.noActivate) {
      gtk_window_set_accept_focus(GTK_WINDOW(window_), FALSE);
      gtk_window_set_focus_on_map(GTK_WINDOW(window_), FALSE);
    }
    gtk_window_move(GTK_WINDOW(window_), d.rect.x, d.rect.y);
    gtk_window_set_default_size(GTK_WINDOW(window_), d.rect.width, d.rect.height);
    gtk_window_resize(GTK_WINDOW(window_), d.rect.width, d.rect.height);

    layout_ = gtk_layout_new(nullptr, nullptr);
    std::string layoutName = name + "-client";
    gtk_widget_set_name(layout_, layoutName.c_str());
    if (d.background) {
      std::string c = CssColour(*d.background);
      AddCss("#" + name + ", #" + layoutName + " { background-color: " + c + "; }");
    }
    gtk_container_add(GTK_CONTAINER(window_), layout_);
    gtk_widget_show(layout_);
    for (const ControlDesign& c : d.children) AddControl(c, layout_);

    g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkWindowImpl::DeleteEvent), this);
    g_signal_connect(window_, "realize", G_CALLBACK(&GtkWindowImpl::Realized), this);
    if (keepOnScreen_) {
      g_signal_connect(window_, "unmap-event", G_CALLBACK(&GtkWindowImpl::Unmapped), this);
      g_signal_connect(window_, "window-state-event", G_CALLBACK(&GtkWindowImpl::StateChanged),
                       this);
    }
  }

  ~GtkWindowImpl() override {
    kit_.Forget(this);
    if (comeBack_ != 0) g_source_remove(comeBack_);
    g_signal_handlers_disconnect_by_data(window_, this);
    controls_.clear();
    gtk_widget_destroy(window_);
    g_object_unref(window_);
  }

  void Show() override {
    wanted_ = true;
    if (kit_.waylandSession()) TieToDisplay();
    gtk_widget_show(window_);
  }
  void Hide() override {
    wanted_ = false;
    gtk_widget_hide(window_);
  }
  bool IsVisible() const override { return gtk_widget_get_visible(window_); }

  void Move(platform::PixelRect r) override {
    rect_ = r;
    gtk_window_move(GTK_WINDOW(window_), ClampPos(r.x), ClampPos(r.y));
    gtk_window_resize(GTK_WINDOW(window_), std::max(1, ClampSize(r.width)),
                      std::max(1, ClampSize(r.height)));
  }
  platform::PixelRect Placement() const override { return rect_; }
  std::uint32_t Handle() const override { return handle_; }

  platform::Control* Child(std::string_view n) override {
    auto it = controls_.find(std::string(n));
    return it == controls_.end() ? nullptr : it->second.get();
  }
  void OnCloseRequest(std::function<void()> h) override { onClose_ = std::move(h); }

  // z-order: above every other window, shown, never activated.
  void RaiseAbove(bool topmost, bool show) {
    gtk_window_set_keep_above(GTK_WINDOW(window_), topmost);
    if (show) Show();
    if (GdkWindow* w = gtk_widget_get_window(window_)) {
      if (topmost) gdk_window_raise(w);
    }
  }

  void ApplyPointer(bool hidden) {
    GdkWindow* w = gtk_widget_get_window(window_);
    if (w == nullptr) return;
    if (hidden) {
      GdkCursor* blank = gdk_cursor_new_for_display(gdk_window_get_display(w), GDK_BLANK_CURSOR);
      gdk_window_set_cursor(w, blank);
      g_object_unref(blank);
    } else {
      gdk_window_set_cursor(w, nullptr);
    }
  }

  bool pointerHidden = false;
  bool keepOnScreen() const { return keepOnScreen_; }
  GtkWindow* gtkWindow() const { return GTK_WINDOW(window_); }

 private:
  // A Wayland compositor tiles or decorates ordinary windows as it sees fit:
  // the display window asks for the whole output (no title bar, no border,
  // its top-left corner the output's), and the other windows are tied to it
  // so they float above it rather than beside or behind it.
  void TieToDisplay() {
    if (keepOnScreen_) {
      gtk_window_fullscreen(GTK_WINDOW(window_));
      return;
    }
    GtkWindowImpl* display = kit_.DisplayWindow();
    if (display == nullptr || display == this ||
        gtk_window_get_transient_for(GTK_WINDOW(window_)) != nullptr)
      return;
    gtk_window_set_transient_for(GTK_WINDOW(window_), display->gtkWindow());
    // A tiling compositor floats dialogs; it shows a floating window above
    // a full-screen one only when tied to it.
    if (!noActivate_ && !gtk_widget_get_mapped(window_))
      gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
  }

  void AddControl(const ControlDesign& c, GtkWidget* parent) {
    auto control = std::make_unique<GtkControlImpl>(kit_, c, parent);
    GtkWidget* widget = control->widget();
    controls_[c.name] = std::move(control);
    for (const ControlDesign& child : c.children) AddControl(child, widget);
  }

  // Closing through the frame only hides the window: it lives on, and so
  // does everything it hosts.
  static gboolean DeleteEvent(GtkWidget* w, GdkEvent*, GtkWindowImpl* self) {
    // Nobody in front of a public screen closes the screen itself (Alt+F4,
    // a close request from another client).
    if (self->keepOnScreen_) return TRUE;
    self->wanted_ = false;
    gtk_widget_hide(w);
    if (self->onClose_) self->onClose_();
    return TRUE;
  }

  static void Realized(GtkWidget*, GtkWindowImpl* self) { self->ApplyPointer(self->pointerHidden); }

  // Unmapped or minimised by someone else (a window manager, another
  // client): the desktop would show until someone came. Bring the window
  // back, at its place, shortly after.
  static gboolean Unmapped(GtkWidget*, GdkEvent*, GtkWindowImpl* self) {
    self->ScheduleComeBack();
    return FALSE;
  }
  static gboolean StateChanged(GtkWidget*, GdkEventWindowState* e, GtkWindowImpl* self) {
    if (e->new_window_state & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN))
      self->ScheduleComeBack();
    // On Wayland the display window holds the whole output by asking for
    // full screen: should the compositor take it away, it asks again.
    if (self->kit_.waylandSession() && self->wanted_ &&
        (e->changed_mask & GDK_WINDOW_STATE_FULLSCREEN) &&
        !(e->new_window_state & GDK_WINDOW_STATE_FULLSCREEN)) {
      std::fprintf(stderr, VELANE_PLAYER_NAME
                   ": the display window lost its full screen; asked for again\n");
      gtk_window_fullscreen(GTK_WINDOW(self->window_));
    }
    return FALSE;
  }
  void ScheduleComeBack() {
    if (wanted_ && comeBack_ == 0) comeBack_ = g_timeout_add(250, &GtkWindowImpl::ComeBack, this);
  }
  static gboolean ComeBack(gpointer data) {
    auto* self = static_cast<GtkWindowImpl*>(data);
    self->comeBack_ = 0;
    GdkWindow* w = gtk_widget_get_window(self->window_);
    if (!self->wanted_ || w == nullptr) return G_SOURCE_REMOVE;
    if (!gdk_window_is_visible(w) ||
        (gdk_window_get_state(w) & (GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN))) {
      std::fprintf(stderr, VELANE_PLAYER_NAME
                   ": the display window was unmapped by another "
                   "program; shown again\n");
      gdk_window_deiconify(w);
      gdk_window_show_unraised(w);
      gtk_window_move(GTK_WINDOW(self->window_), ClampPos(self->rect_.x), ClampPos(self->rect_.y));
    }
    return G_SOURCE_REMOVE;
  }

  GtkToolkit& kit_;
  std::uint32_t handle_;
  platform::PixelRect rect_;
  bool noActivate_;
  bool keepOnScreen_;
  bool wanted_ = false;  // shown by the program, and so to stay on screen
  guint comeBack_ = 0;
  GtkWidget* window_ = nullptr;
  GtkWidget* layout_ = nullptr;
  std::map<std::string, std::unique_ptr<GtkControlImpl>> controls_;
  std::function<void()> onClose_;
};

namespace {

class GlibTimer : public platform::Timer {
 public:
  GlibTimer(int intervalMs, std::function<void()> tick)
      : tick_(std::move(tick)), interval_(guint(intervalMs)) {
    Resume();
  }
  ~GlibTimer() override {
    if (id_ != 0) g_source_remove(id_);
  }

  // A resting timer still beats four times a second, in case a motion
  // was not reported (the pointer moved over another program's window).
  void Pause() override { Restart(std::max(interval_, kRestingMs)); }
  void Resume() override { Restart(interval_); }

 private:
  static gboolean Fire(gpointer data) {
    static_cast<GlibTimer*>(data)->tick_();
    return G_SOURCE_CONTINUE;
  }
  void Restart(guint interval) {
    if (id_ != 0 && current_ == interval) return;
    if (id_ != 0) g_source_remove(id_);
    current_ = interval;
    id_ = g_timeout_add(interval, &GlibTimer::Fire, this);
  }

  static constexpr guint kRestingMs = 250;
  std::function<void()> tick_;
  guint interval_;
  guint current_ = 0;
  guint id_ = 0;
};

}  // namespace

GtkToolkit::GtkToolkit() {
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  GdkDisplay* display = gdk_display_get_default();
  waylandSession_ = (wayland != nullptr && *wayland != '\0') ||
                    (display != nullptr && !GDK_IS_X11_DISPLAY(display));
}
GtkToolkit::~GtkToolkit() = default;

GtkWindowImpl* GtkToolkit::DisplayWindow() const {
  for (const auto& [handle, window] : windows_)
    if (window->keepOnScreen()) return window;
  return nullptr;
}

const char* ChooseBackend() {
  const char* asked = g_getenv("VELANE_BACKEND");
  if (asked != nullptr && *asked != '\0') {
    if (std::strcmp(asked, "x11") == 0 || std::strcmp(asked, "wayland") == 0) return asked;
    std::fprintf(stderr,
                 VELANE_PLAYER_NAME
                 ": VELANE_BACKEND=%s is neither x11 nor wayland; "
                 "chosen from the session\n",
                 asked);
  }
  const char* x = g_getenv("DISPLAY");
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  bool hasX = x != nullptr && *x != '\0';
  bool hasWayland = wayland != nullptr && *wayland != '\0';
  return !hasX && hasWayland ? "wayland" : "x11";
}

std::unique_ptr<platform::Window> GtkToolkit::CreateWindow(const WindowDesign& design) {
  std::uint32_t handle = nextHandle_++;
  auto window = std::make_unique<GtkWindowImpl>(*this, design, handle);
  window->pointerHidden = pointerHidden_;
  windows_[handle] = window.get();
  return window;
}

void GtkToolkit::Forget(GtkWindowImpl* window) { windows_.erase(window->Handle()); }

std::unique_ptr<platform::Timer> GtkToolkit::CreateTimer(int intervalMs,
                                                         std::function<void()> tick) {
  return std::make_unique<GlibTimer>(intervalMs, std::move(tick));
}

platform::PixelSize GtkToolkit::ScreenSize() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (monitor == nullptr && display) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return {};
  GdkRectangle r;
  gdk_monitor_get_geometry(monitor, &r);
  return {r.x + r.width, r.y + r.height};
}

void GtkToolkit::SetWindowPos(std::uint32_t handle, std::int32_t insertAfter, std::uint32_t flags) {
  auto it = windows_.find(handle);
  if (it == windows_.end()) return;
  it->second->RaiseAbove(insertAfter == platform::kHwndTopmost,
                         (flags & platform::kSwpShowWindow) != 0);
}

void GtkToolkit::DoEvents() {
  // Bounded, so a flood of events cannot keep a yielding reader here.
  for (int i = 0; i < 1000 && gtk_events_pending(); ++i) gtk_main_iteration_do(FALSE);
}

void GtkToolkit::ApplyPointerHidden(bool hidden) {
  pointerHidden_ = hidden;
  for (auto& [handle, window] : windows_) {
    window->pointerHidden = hidden;
    window->ApplyPointer(hidden);
  }
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  // Hidden over the whole screen, not just over our windows; the server
  // keeps the hide per client, so each hide here is matched by one show.
  if (hidden)
    XFixesHideCursor(x, DefaultRootWindow(x));
  else
    XFixesShowCursor(x, DefaultRootWindow(x));
  XFlush(x);
}

std::unique_ptr<WebView> GtkToolkit::CreateWebView() {
  if (!webModuleTried_) {
    webModuleTried_ = true;
    // Beside the player's real file (the package's /usr/bin link leads
    // there), never through a search path a passer-by could add to. The
    // module is never unloaded: the engine's threads run until the end.
    std::string why = "the player's own file is unknown";
    if (const std::optional<std::string> exe = platform::RunningExecutablePath()) {
      const std::string path = exe->substr(0, exe->rfind('/') + 1) + kWebViewModule;
      if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        why = std::string(kWebViewModule) + " is not this player's: no " + kWebViewFactory;
        webViewFactory_ = reinterpret_cast<WebViewFactory>(dlsym(module, kWebViewFactory));
      } else if (const char* error = dlerror()) {
        why = error;
      }
    }
    if (webViewFactory_ == nullptr)
      ReportBrowser("the web engine cannot be loaded (" + why + "); nothing will be shown");
  }
  if (webViewFactory_ == nullptr) return nullptr;
  return std::unique_ptr<WebView>(
      webViewFactory_([this](const std::string& line) { ReportBrowser(line); }, contentRoot_));
}

void GtkToolkit::ReportBrowser(const std::string& line) {
  if (browserReporter_)
    browserReporter_(line);
  else
    std::fprintf(stderr, VELANE_PLAYER_NAME ": %s\n", line.c_str());
}

namespace {

GdkFilterReturn OnXEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  auto* cursor = static_cast<X11Cursor*>(data);
  const XEvent* e = static_cast<XEvent*>(xevent);
  // Raw motion comes from the devices wherever the pointer is; a warp
  // (remote control, xdotool) only shows as motion over a window, which in
  // a kiosk is always one of ours.
  if (e->type == MotionNotify || e->type == EnterNotify)
    cursor->NoteMotion();
  else if (e->type == GenericEvent && e->xcookie.extension == cursor->xiOpcode() &&
           (e->xcookie.evtype == XI_RawMotion || e->xcookie.evtype == XI_Motion ||
            e->xcookie.evtype == XI_Enter || e->xcookie.evtype == XI_Leave))
    cursor->NoteMotion();
  return GDK_FILTER_CONTINUE;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

X11Cursor::X11Cursor(GtkToolkit& toolkit) : toolkit_(toolkit) {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  int opcode = 0, event = 0, error = 0;
  if (!XQueryExtension(x, "XInputExtension", &opcode, &event, &error)) return;
  // Raw motion of every pointer, wherever it is on the screen.
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawMotion);
  XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
  if (XISelectEvents(x, DefaultRootWindow(x), &mask, 1) != Success) return;
  xiOpcode_ = opcode;
  gdk_window_add_filter(nullptr, &OnXEvent, this);
}

X11Cursor::~X11Cursor() {
  if (xiOpcode_ >= 0) gdk_window_remove_filter(nullptr, &OnXEvent, this);
  if (count_ < 0) toolkit_.ApplyPointerHidden(false);
}

bool X11Cursor::WatchMotion(std::function<void()> onMotion) {
  if (xiOpcode_ < 0) return false;
  onMotion_ = std::move(onMotion);
  return true;
}

bool X11Cursor::GetPos(std::int32_t& x, std::int32_t& y) {
  std::int64_t now = NowMs();
  if (xiOpcode_ < 0 || moved_ || now - lastQueryMs_ >= 1000) {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) return false;
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
    if (pointer == nullptr) return false;
    int px = 0;
    int py = 0;
    gdk_device_get_position(pointer, nullptr, &px, &py);
    x_ = px;
    y_ = py;
    moved_ = false;
    lastQueryMs_ = now;
  }
  x = x_;
  y = y_;
  return true;
}

// A connection of our own to the Wayland compositor holding an idle
// inhibitor. The inhibitor needs a surface: a surface without a role and
// without content, which wlroots compositors (sway, cage) count as visible
// and nobody sees. It works the same whether our windows are XWayland ones
// or not.
struct WaylandIdleInhibitor {
  wl_display* display = nullptr;
  wl_compositor* compositor = nullptr;
  zwp_idle_inhibit_manager_v1* manager = nullptr;
  wl_surface* surface = nullptr;
  zwp_idle_inhibitor_v1* inhibitor = nullptr;
  guint watch = 0;

  WaylandIdleInhibitor() {
    display = wl_display_connect(nullptr);
    if (display == nullptr) {
      std::fprintf(stderr, VELANE_PLAYER_NAME
                   ": cannot reach the Wayland compositor to keep "
                   "the screen on\n");
      return;
    }
    static const wl_registry_listener listener = {&WaylandIdleInhibitor::Global,
                                                  &WaylandIdleInhibitor::GlobalRemoved};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, this);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    if (compositor == nullptr || manager == nullptr) {
      std::fprintf(stderr, VELANE_PLAYER_NAME
                   ": the Wayland compositor offers no idle inhibitor; "
                   "its own settings must keep the screen on\n");
      return;
    }
    surface = wl_compositor_create_surface(compositor);
    inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(manager, surface);
    wl_display_roundtrip(display);
    // Nothing is asked of the compositor afterwards, but its events must
    // still be read, and a lost compositor noticed.
    watch = g_unix_fd_add(wl_display_get_fd(display), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR),
                          &WaylandIdleInhibitor::Readable, this);
  }

  ~WaylandIdleInhibitor() {
    if (watch != 0) g_source_remove(watch);
    if (inhibitor != nullptr) zwp_idle_inhibitor_v1_destroy(inhibitor);
    if (surface != nullptr) wl_surface_destroy(surface);
    if (manager != nullptr) zwp_idle_inhibit_manager_v1_destroy(manager);
    if (compositor != nullptr) wl_compositor_destroy(compositor);
    if (display != nullptr) {
      wl_display_flush(display);
      wl_display_disconnect(display);
    }
  }

  static void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                     std::uint32_t) {
    auto* self = static_cast<WaylandIdleInhibitor*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && self->compositor == nullptr)
      self->compositor = static_cast<wl_compositor*>(
          wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0 &&
             self->manager == nullptr)
      self->manager = static_cast<zwp_idle_inhibit_manager_v1*>(
          wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
  }
  static void GlobalRemoved(void*, wl_registry*, std::uint32_t) {}

  static gboolean Readable(gint, GIOCondition condition, gpointer data) {
    auto* self = static_cast<WaylandIdleInhibitor*>(data);
    if ((condition & (G_IO_HUP | G_IO_ERR)) || wl_display_dispatch(self->display) < 0) {
      std::fprintf(stderr, VELANE_PLAYER_NAME
                   ": the connection to the Wayland compositor was "
                   "lost; the screen may idle\n");
      self->watch = 0;
      return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
  }
};

ScreenSaverInhibit::ScreenSaverInhibit() {
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  if (wayland != nullptr && *wayland != '\0') wayland_ = std::make_unique<WaylandIdleInhibitor>();
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  int event = 0, error = 0;
  if (!XScreenSaverQueryExtension(x, &event, &error)) return;
  // Also suspends display power management where the server has it. The
  // server lifts the suspension by itself if the player dies.
  XScreenSaverSuspend(x, True);
  XFlush(x);
  active_ = true;
}

ScreenSaverInhibit::~ScreenSaverInhibit() {
  if (!active_) return;
  if (GdkDisplay* display = gdk_display_get_default()) {
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    XScreenSaverSuspend(x, False);
    XFlush(x);
  }
}

GtkScreen::GtkScreen() : hold_(std::make_unique<ScreenSaverInhibit>()) {}

void GtkScreen::HoldAwake(bool hold) {
  if (!hold) {
    hold_.reset();
  } else if (!hold_) {
    hold_ = std::make_unique<ScreenSaverInhibit>();
  }
}

namespace {

// Every output of a wlroots compositor on or off, through its output power
// management, on a connection of our own that lives for the request (the
// mode stays when the connection ends). False with the reason where the
// compositor cannot be reached or does not offer it.
bool SetWaylandOutputPower(bool on, std::string& why) {
  struct Globals {
    zwlr_output_power_manager_v1* manager = nullptr;
    std::vector<wl_output*> outputs;
  } globals;
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) {
    why = "the Wayland compositor cannot be reached";
    return false;
  }
  static const wl_registry_listener listener = {
      [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
         std::uint32_t) {
        auto* g = static_cast<Globals*>(data);
        if (std::strcmp(interface, zwlr_output_power_manager_v1_interface.name) == 0 &&
            g->manager == nullptr)
          g->manager = static_cast<zwlr_output_power_manager_v1*>(
              wl_registry_bind(registry, name, &zwlr_output_power_manager_v1_interface, 1));
        else if (std::strcmp(interface, wl_output_interface.name) == 0)
          g->outputs.push_back(
              static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1)));
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &globals);
  wl_display_roundtrip(display);
  bool done = false;
  if (globals.manager == nullptr) {
    why = "the Wayland compositor offers no output power management";
  } else {
    std::vector<zwlr_output_power_v1*> powers;
    for (wl_output* output : globals.outputs) {
      powers.push_back(zwlr_output_power_manager_v1_get_output_power(globals.manager, output));
      zwlr_output_power_v1_set_mode(
          powers.back(), on ? ZWLR_OUTPUT_POWER_V1_MODE_ON : ZWLR_OUTPUT_POWER_V1_MODE_OFF);
    }
    done = wl_display_roundtrip(display) >= 0;
    if (!done) why = "the connection to the Wayland compositor was lost";
    for (zwlr_output_power_v1* power : powers) zwlr_output_power_v1_destroy(power);
    zwlr_output_power_manager_v1_destroy(globals.manager);
  }
  for (wl_output* output : globals.outputs) wl_output_destroy(output);
  wl_registry_destroy(registry);
  wl_display_flush(display);
  wl_display_disconnect(display);
  return done;
}

}  // namespace

bool GtkScreen::SetDisplayPower(bool on, std::string& why) {
  // In a Wayland session the compositor holds the outputs' power, whether
  // our windows are XWayland ones or not.
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  if (wayland != nullptr && *wayland != '\0') return SetWaylandOutputPower(on, why);
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) {
    why = "no display to power down";
    return false;
  }
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  int event = 0, error = 0;
  if (!DPMSQueryExtension(x, &event, &error) || !DPMSCapable(x)) {
    why = "the X server has no DPMS extension";
    return false;
  }
  if (!on) {
    CARD16 level = 0;
    BOOL enabled = False;
    DPMSInfo(x, &level, &enabled);
    dpmsWasEnabled_ = enabled;
    // Forcing a level needs DPMS enabled; it is put back as it was below.
    if (!enabled) DPMSEnable(x);
    DPMSForceLevel(x, DPMSModeOff);
  } else {
    DPMSForceLevel(x, DPMSModeOn);
    if (!dpmsWasEnabled_) DPMSDisable(x);
  }
  XFlush(x);
  return true;
}

int X11Cursor::ShowCursor(bool show) {
  int before = count_;
  count_ += show ? 1 : -1;
  if (before >= 0 && count_ < 0) toolkit_.ApplyPointerHidden(true);
  if (before < 0 && count_ >= 0) toolkit_.ApplyPointerHidden(false);
  return count_;
}

}  // namespace velane::gtk
