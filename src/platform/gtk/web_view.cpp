#include "platform/gtk/web_view.h"

#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <glib/gstdio.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "display/page_guard.h"

namespace velane::gtk {
namespace {

class EngineView : public WebView {
 public:
  EngineView(WebViewReporter report, std::string contentRoot)
      : report_(std::move(report)), root_(std::move(contentRoot)) {
    widget_ = CreateWebView();
    g_object_ref_sink(widget_);
    ConfineLocalFiles();
  }

  ~EngineView() override {
    Release();
    g_cancellable_cancel(snapshotCancel_);
    g_object_unref(snapshotCancel_);
    if (reloadSource_ != 0) g_source_remove(reloadSource_);
    if (hangSource_ != 0) g_source_remove(hangSource_);
    g_cancellable_cancel(filterCancel_);
    g_object_unref(filterCancel_);
    g_signal_handlers_disconnect_by_data(widget_, this);
    g_object_unref(widget_);
    g_signal_handlers_disconnect_by_data(context_, this);
    g_object_unref(context_);
  }

  GtkWidget* Widget() override { return widget_; }

  void Navigate(const std::string& uri) override {
    html_.clear();
    Start(uri);
  }

  void ShowPage(const std::string& html, const std::string& baseUri) override {
    html_ = html;
    Start(baseUri);
  }

  void EndPageProcess() override {
    if (std::exchange(overLimit_, true)) return;  // already on its way out
    webkit_web_view_terminate_web_process(WEBKIT_WEB_VIEW(widget_));
  }

  void Snapshot(int maxWidth, std::function<void(std::string)> done) override {
    snapshotWidth_ = maxWidth;
    snapshotDone_ = std::move(done);
    // A picture of a page half loaded would show a blank or half a slide:
    // one asked for meanwhile waits for the end of the load.
    if (loaded_) TakeSnapshot();
  }

 private:
  void Start(const std::string& uri) {
    uri_ = uri;
    // A new slide: a clean slate for the recoveries and the reports.
    budget_.Reset();
    refused_ = 0;
    loaded_ = false;
    ++navigations_;
    // Until the rule that keeps local files in the content root is in
    // place (a few milliseconds after start), the slide waits for it.
    if (!filterPending_) Load();
  }

  void Load() {
    if (html_.empty())
      webkit_web_view_load_uri(WEBKIT_WEB_VIEW(widget_), uri_.c_str());
    else {
      // In the bytes the player would have written to the page's file.
      GBytes* bytes = g_bytes_new(html_.data(), html_.size());
      webkit_web_view_load_bytes(WEBKIT_WEB_VIEW(widget_), bytes, "text/html", "windows-1252",
                                 uri_.c_str());
      g_bytes_unref(bytes);
    }
  }

  // The browser control of a public screen: the page in it is untrusted, so
  // nothing it does may show a dialog, a menu or a file chooser, write a
  // file, read local files, or take the view away from the player's page.
  GtkWidget* CreateWebView() {
    // A page that hogs memory is ended by the engine (and recovered below)
    // long before the machine's out-of-memory killer would pick a victim.
    WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
    // The engine looks every 30 s, by walking every mapping of the process
    // (half a percent of a core if done every 2 s); the control looks every
    // 2 s, at one small file, and ends the page with EndPageProcess.
    webkit_memory_pressure_settings_set_memory_limit(memory, limitMb_);
    webkit_memory_pressure_settings_set_kill_threshold(memory, 1.0);
    // A page's cookies, local storage, databases, caches and service
    // workers live in memory and go with the player: nothing a page stores
    // grows the disk or outlives a restart.
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
    // The engine holds a muted video it judges out of view at its current
    // picture, and misjudges the one a video slide shows: a VP9/WebM clip
    // stops at its first picture. A slide shows one page, so nothing is
    // really out of view (the video template's second player waits paused).
    // The page process inherits this from us.
    g_setenv("WEBKIT_GST_ALLOW_PLAYBACK_OF_INVISIBLE_VIDEOS", "1", FALSE);
    context_ = WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "memory-pressure-settings",
                                               memory, "website-data-manager", data, nullptr));
    g_object_unref(data);
    webkit_memory_pressure_settings_free(memory);
    Sandbox();
    // One page at a time, never revisited: no memory cache for pages to
    // come back to.
    webkit_web_context_set_cache_model(context_, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    g_signal_connect(context_, "download-started", G_CALLBACK(&EngineView::DownloadStarted), this);
    // The settings come before the view: created with them, the view never
    // looks for a GL context (the player gives GDK none).
    WebKitSettings* s = webkit_settings_new();
    // Software rendering: cheaper on an idle kiosk, and a view placed at a
    // negative position keeps all its rows.
    webkit_settings_set_hardware_acceleration_policy(s, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    // A composed page still shows the pictures, styles and frames of its
    // folder; what it may not do is read other local files from script.
    webkit_settings_set_allow_file_access_from_file_urls(s, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(s, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(s, FALSE);
    webkit_settings_set_enable_developer_extras(s, FALSE);
    webkit_settings_set_enable_page_cache(s, FALSE);
    GtkWidget* view = GTK_WIDGET(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "settings", s, nullptr));
    g_object_unref(s);
    // The body attribute scroll=NO hides a page's scroll bars in the
    // browser control the slides were written for; do the same here.
    WebKitUserStyleSheet* noScroll = webkit_user_style_sheet_new(
        "body[scroll=\"no\" i], html:has(> body[scroll=\"no\" i]) "
        "{ overflow: hidden !important; }",
        WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES, WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(
        webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(view)), noScroll);
    webkit_user_style_sheet_unref(noScroll);
    WebKitUserContentManager* messages =
        webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(view));
    g_signal_connect(messages, "script-message-received::velane",
                     G_CALLBACK(&EngineView::PageMessage), this);
    webkit_user_content_manager_register_script_message_handler(messages, "velane");
    g_signal_connect(view, "draw", G_CALLBACK(&EngineView::Draw), this);
    // Black until the first page arrives, as the window behind it; then
    // white beneath pages without a background of their own, as in every
    // browser.
    GdkRGBA black = {0, 0, 0, 1};
    webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(view), &black);
    // Drops would navigate the view away.
    gtk_drag_dest_unset(view);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(&EngineView::WebProcessTerminated),
                     this);
    g_signal_connect(view, "notify::is-web-process-responsive",
                     G_CALLBACK(&EngineView::ResponsivenessChanged), this);
    g_signal_connect(view, "script-dialog", G_CALLBACK(&EngineView::ScriptDialog), this);
    g_signal_connect(view, "print", G_CALLBACK(&EngineView::Refuse), this);
    g_signal_connect(view, "context-menu", G_CALLBACK(&EngineView::Refuse), this);
    g_signal_connect(view, "decide-policy", G_CALLBACK(&EngineView::DecidePolicy), this);
    g_signal_connect(view, "load-changed", G_CALLBACK(&EngineView::LoadChanged), this);
    g_signal_connect(view, "load-failed", G_CALLBACK(&EngineView::LoadFailed), this);
    // Whatever the engine would show over the kiosk on a page's request is
    // answered here, not left to its defaults: no chooser, form, menu or
    // full-screen view ever appears, and no permission is granted.
    g_signal_connect(view, "run-file-chooser", G_CALLBACK(&EngineView::FileChooser), this);
    g_signal_connect(view, "run-color-chooser", G_CALLBACK(&EngineView::ColourChooser), this);
    g_signal_connect(view, "authenticate", G_CALLBACK(&EngineView::Authenticate), this);
    g_signal_connect(view, "show-option-menu", G_CALLBACK(&EngineView::OptionMenu), this);
    g_signal_connect(view, "enter-fullscreen", G_CALLBACK(&EngineView::FullScreen), this);
    g_signal_connect(view, "permission-request", G_CALLBACK(&EngineView::Permission), this);
    g_signal_connect(view, "query-permission-state", G_CALLBACK(&EngineView::PermissionState),
                     this);
    g_signal_connect(view, "show-notification", G_CALLBACK(&EngineView::Refuse), this);
    // Nor a tooltip (an element's title, a file field's "no file selected"):
    // a window of its own over the screen, with the page's text in it.
    g_signal_connect(view, "notify::has-tooltip", G_CALLBACK(&EngineView::NoTooltip), nullptr);
    // Start the page process now, while the view is still hidden, so the
    // first slide does not wait for it.
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), kBlankPage);
    return view;
  }

  // The page process runs in the engine's sandbox (bubblewrap): of the
  // user's files it sees only the content root, read-only. A machine that
  // cannot run it (no user namespaces, no bwrap) plays without it, and says
  // so once.
  void Sandbox() {
    std::string why;
    if (!SandboxWorks(why)) {
      report_("the page process runs without a sandbox (" + why +
              "): pages run with this user's rights");
      return;
    }
    webkit_web_context_set_sandbox_enabled(context_, TRUE);
    if (!root_.empty() && g_file_test(root_.c_str(), G_FILE_TEST_IS_DIR))
      webkit_web_context_add_path_to_sandbox(context_, root_.c_str(), TRUE);
  }

  static bool SandboxWorks(std::string& why) {
    gchar* bwrap = g_find_program_in_path("bwrap");
    if (bwrap == nullptr) {
      why = "bwrap is not installed";
      return false;
    }
    // What the engine asks of bwrap: new user and process namespaces over
    // a read-only view of the system, with /dev and /proc of their own.
    const char* probe[] = {"--unshare-user", "--unshare-pid", "--ro-bind", "/",     "/",
                           "--dev",          "/dev",          "--proc",    "/proc", "true"};
    gchar* argv[G_N_ELEMENTS(probe) + 2] = {bwrap};
    for (unsigned i = 0; i < G_N_ELEMENTS(probe); ++i) argv[i + 1] = const_cast<gchar*>(probe[i]);
    gint status = -1;
    gchar* err = nullptr;
    GError* error = nullptr;
    // With no environment: the probe asks only whether the namespaces can
    // be made, whatever the player's own environment preloads.
    gchar* noEnvironment[] = {nullptr};
    const gboolean ran = g_spawn_sync(nullptr, argv, noEnvironment, G_SPAWN_STDOUT_TO_DEV_NULL,
                                      nullptr, nullptr, nullptr, &err, &status, &error);
    g_free(bwrap);
    bool works = ran && g_spawn_check_wait_status(status, nullptr);
    if (!works) {
      why = error != nullptr ? error->message : err != nullptr ? g_strstrip(err) : "bwrap failed";
      if (why.empty()) why = "bwrap cannot create its namespaces";
      why = why.substr(0, 200);
    }
    if (error != nullptr) g_error_free(error);
    g_free(err);
    return works;
  }

  // Local files stay inside the content root: a page, its pictures,
  // styles, scripts and frames may load file: addresses below the root
  // (the slide's folder, shared folders such as commun/), nothing else
  // (HOME, /etc, /tmp, other mounts). A content rule of the engine blocks
  // every other file: load, whatever element asks for it.
  void ConfineLocalFiles() {
    std::string rules = R"([{"trigger":{"url-filter":"^file:"},"action":{"type":"block"}})";
    for (const std::string& folder : RootForms()) {
      gchar* uri = g_filename_to_uri(folder.c_str(), nullptr, nullptr);
      if (uri == nullptr) continue;
      rules +=
          R"(,{"trigger":{"url-filter":"^)" + JsonText(RegexText(std::string(uri) + "/")) +
          R"(","url-filter-is-case-sensitive":true},"action":{"type":"ignore-previous-rules"}})";
      g_free(uri);
    }
    rules += "]";
    filterFolder_ = g_dir_make_tmp("velane-rules-XXXXXX", nullptr);
    if (filterFolder_ == nullptr) {
      report_("local files cannot be confined to the content root (no temporary folder)");
      return;
    }
    filterPending_ = true;
    filterCancel_ = g_cancellable_new();
    WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(filterFolder_);
    GBytes* source = g_bytes_new(rules.data(), rules.size());
    webkit_user_content_filter_store_save(store, "content-root", source, filterCancel_,
                                          &EngineView::FilterSaved, this);
    g_bytes_unref(source);
    g_object_unref(store);
  }

  // The root as the player names it, and where its links lead.
  std::vector<std::string> RootForms() const {
    std::vector<std::string> forms;
    if (root_.empty()) return forms;
    forms.push_back(root_);
    if (char* real = realpath(root_.c_str(), nullptr)) {
      if (root_ != real) forms.push_back(real);
      free(real);
    }
    return forms;
  }

  static std::string RegexText(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (std::strchr(".*+?()[]{}|^$\\", c) != nullptr) out += '\\';
      out += c;
    }
    return out;
  }

  static std::string JsonText(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    return out;
  }

  static void FilterSaved(GObject* store, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    WebKitUserContentFilter* filter = webkit_user_content_filter_store_save_finish(
        WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
    if (error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
      g_error_free(error);
      return;  // the view is gone
    }
    auto* self = static_cast<EngineView*>(data);
    if (filter != nullptr) {
      webkit_user_content_manager_add_filter(
          webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(self->widget_)), filter);
      webkit_user_content_filter_unref(filter);
    } else {
      self->report_(std::string("local files cannot be confined to the content root (") +
                    (error != nullptr ? error->message : "no rule") + ")");
    }
    if (error != nullptr) g_error_free(error);
    // The compiled rule is in memory now; its file goes.
    if (GDir* dir = g_dir_open(self->filterFolder_, 0, nullptr)) {
      while (const gchar* name = g_dir_read_name(dir)) {
        gchar* file = g_build_filename(self->filterFolder_, name, nullptr);
        g_remove(file);
        g_free(file);
      }
      g_dir_close(dir);
    }
    g_rmdir(self->filterFolder_);
    g_free(std::exchange(self->filterFolder_, nullptr));
    self->filterPending_ = false;
    if (!self->uri_.empty()) self->Load();
  }

  // Reported once per page for each kind of thing refused, so a page that
  // keeps trying cannot flood the journal.
  void ReportRefused(unsigned kind, const char* what, const char* target = nullptr) {
    if (refused_ & kind) return;
    refused_ |= kind;
    std::string line = std::string("refused: ") + what;
    if (target != nullptr) line += std::string(" (") + std::string(target).substr(0, 200) + ")";
    report_(line);
  }

  static gboolean Refuse(WebKitWebView*, gpointer, EngineView*) { return TRUE; }

  static void NoTooltip(GtkWidget* view, GParamSpec*, gpointer) {
    if (gtk_widget_get_has_tooltip(view)) gtk_widget_set_has_tooltip(view, FALSE);
  }

  static gboolean FileChooser(WebKitWebView*, WebKitFileChooserRequest* request, EngineView* self) {
    webkit_file_chooser_request_cancel(request);
    self->ReportRefused(kRefusedFileChooser, "a file chooser");
    return TRUE;
  }

  static gboolean ColourChooser(WebKitWebView*, WebKitColorChooserRequest* request,
                                EngineView* self) {
    webkit_color_chooser_request_cancel(request);
    self->ReportRefused(kRefusedColourChooser, "a colour chooser");
    return TRUE;
  }

  // A site asking for a user name and password: no form. The load goes on
  // without credentials, so the engine shows the page that came with the
  // challenge, as a browser does on "cancel" (cancelling the request would
  // leave the frame empty).
  static gboolean Authenticate(WebKitWebView*, WebKitAuthenticationRequest* request,
                               EngineView* self) {
    webkit_authentication_request_set_can_save_credentials(request, FALSE);
    webkit_authentication_request_authenticate(request, nullptr);
    self->ReportRefused(kRefusedAuthentication, "a password form",
                        webkit_authentication_request_get_host(request));
    return TRUE;
  }

  // The list of a <select> would open as a pop-up menu over the kiosk: it
  // never opens, and the page is told it closed.
  static gboolean OptionMenu(WebKitWebView*, WebKitOptionMenu* menu, GdkEvent*, GdkRectangle*,
                             EngineView* self) {
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer m) -> gboolean {
          webkit_option_menu_close(WEBKIT_OPTION_MENU(m));
          return G_SOURCE_REMOVE;
        },
        g_object_ref(menu), g_object_unref);
    self->ReportRefused(kRefusedOptionMenu, "a drop-down list");
    return TRUE;
  }

  // An element's full screen would resize the view and the window around
  // it; the display window keeps its place and size.
  static gboolean FullScreen(WebKitWebView*, EngineView* self) {
    self->ReportRefused(kRefusedFullScreen, "full screen for an element");
    return TRUE;
  }

  // Location, camera, microphone, notifications, pointer lock, clipboard,
  // device information, media keys, storage access, plug-ins: all denied.
  static const char* PermissionName(WebKitPermissionRequest* request, unsigned& kind) {
    struct Known {
      GType (*type)();
      const char* name;
    };
    static const Known kKnown[] = {
        {webkit_geolocation_permission_request_get_type, "location"},
        {webkit_user_media_permission_request_get_type, "camera or microphone"},
        {webkit_notification_permission_request_get_type, "notifications"},
        {webkit_pointer_lock_permission_request_get_type, "pointer lock"},
        {webkit_clipboard_permission_request_get_type, "clipboard"},
        {webkit_device_info_permission_request_get_type, "device information"},
        {webkit_media_key_system_permission_request_get_type, "media keys"},
        {webkit_website_data_access_permission_request_get_type, "storage access"},
        {webkit_install_missing_media_plugins_permission_request_get_type, "media plug-ins"},
    };
    for (unsigned i = 0; i < G_N_ELEMENTS(kKnown); ++i) {
      if (G_TYPE_CHECK_INSTANCE_TYPE(request, kKnown[i].type())) {
        kind = kRefusedPermission << i;
        return kKnown[i].name;
      }
    }
    kind = kRefusedPermission << G_N_ELEMENTS(kKnown);
    return G_OBJECT_TYPE_NAME(request);
  }

  static gboolean Permission(WebKitWebView*, WebKitPermissionRequest* request, EngineView* self) {
    webkit_permission_request_deny(request);
    unsigned kind = 0;
    const char* name = PermissionName(request, kind);
    self->ReportRefused(kind, (std::string("a permission: ") + name).c_str());
    return TRUE;
  }

  // Asked before any request: the answer is already "denied".
  static gboolean PermissionState(WebKitWebView*, WebKitPermissionStateQuery* query, EngineView*) {
    webkit_permission_state_query_finish(query, WEBKIT_PERMISSION_STATE_DENIED);
    return TRUE;
  }

  // alert: nothing; confirm and "leave this page?": the answer that lets the
  // player go on; prompt: cancelled (no text is given).
  static gboolean ScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, EngineView*) {
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
      case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
        webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
        break;
      default:
        break;
    }
    return TRUE;
  }

  static void DownloadStarted(WebKitWebContext*, WebKitDownload* download, EngineView* self) {
    webkit_download_cancel(download);
    self->ReportRefused(kRefusedDownload, "a download");
  }

  static bool IsAttachment(WebKitURIResponse* response) {
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    if (headers == nullptr) return false;
    const char* disposition = soup_message_headers_get_one(headers, "Content-Disposition");
    return disposition != nullptr && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
  }

  static gboolean DecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                               WebKitPolicyDecisionType type, EngineView* self) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      webkit_policy_decision_ignore(decision);
      self->ReportRefused(kRefusedWindow, "a new window");
      return TRUE;
    }
    if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    auto* r = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    WebKitURIResponse* response = webkit_response_policy_decision_get_response(r);
    if (!webkit_response_policy_decision_is_mime_type_supported(r) || IsAttachment(response)) {
      webkit_policy_decision_ignore(decision);
      self->ReportRefused(kRefusedDownload, "a download");
      return TRUE;
    }
    // Whatever happens inside the frames of a site stays the site's own;
    // the top-level view shows only the player's page.
    // (The blank page that starts the page process passes here; should a
    // page load it over the slide, LoadChanged puts the slide back.)
    const char* target = webkit_uri_response_get_uri(response);
    if (webkit_response_policy_decision_is_main_frame_main_resource(r) &&
        g_strcmp0(target, kBlankPage) != 0 && !IsPlayersPage(target, self->uri_)) {
      webkit_policy_decision_ignore(decision);
      self->ReportRefused(kRefusedNavigation, "a navigation away from the slide", target);
      return TRUE;
    }
    return FALSE;
  }

  // A page that cannot be loaded (a missing composed page, a site that does
  // not answer) leaves the view as it was: the engine's error page would put
  // a file name or an address on a public screen.
  static gboolean LoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, EngineView*) {
    return TRUE;
  }

  static void LoadChanged(WebKitWebView* view, WebKitLoadEvent event, EngineView* self) {
    if (event == WEBKIT_LOAD_FINISHED && !self->uri_.empty()) {
      const char* uri = webkit_web_view_get_uri(view);
      if (uri != nullptr && IsPlayersPage(uri, self->uri_)) {
        self->loaded_ = true;
        if (self->snapshotDone_) self->TakeSnapshot();
      }
      return;
    }
    if (event != WEBKIT_LOAD_COMMITTED) return;
    const char* uri = webkit_web_view_get_uri(view);
    // The blank page that started the process may arrive after the first
    // slide was asked for, whose load goes on.
    const bool warming = std::exchange(self->warming_, false);
    if (self->uri_.empty() || (warming && g_strcmp0(uri, kBlankPage) == 0)) return;
    if (uri != nullptr && !IsPlayersPage(uri, self->uri_)) {
      // A page the response check never saw (about:blank, history): back to
      // the slide.
      self->ReportRefused(kRefusedNavigation, "a navigation away from the slide", uri);
      self->Load();
      return;
    }
    self->mayHold_ = true;
    if (!self->slideCommitted_) {
      self->slideCommitted_ = true;
      GdkRGBA white = {1, 1, 1, 1};
      webkit_web_view_set_background_color(view, &white);
    }
  }

  // The engine tells when the page process stops answering (a script in an
  // endless loop): past a short grace it is ended, and recovered below.
  static void ResponsivenessChanged(WebKitWebView* view, GParamSpec*, EngineView* self) {
    if (webkit_web_view_get_is_web_process_responsive(view)) {
      if (self->hangSource_ != 0) g_source_remove(self->hangSource_);
      self->hangSource_ = 0;
    } else if (self->hangSource_ == 0) {
      // Before the first slide the process is still starting (from a cold
      // SD card, on a slow board): no page of ours runs in it to hang.
      const guint grace = self->slideCommitted_ ? kHangGraceMs : kStartGraceMs;
      self->hangSource_ = g_timeout_add(grace, &EngineView::EndHungPage, self);
    }
  }

  // A video slide's page would show its black for 20 to 60 ms before the
  // clip's first picture: the engine shows a page as soon as it is laid
  // out. Such a page asks ("hold", from its head) that the view keep the
  // picture of the slide before until the clip's first picture is ready
  // ("shown"). Any page may ask: a hold is granted once per page and lasts
  // kHoldMs at most, so the screen never stays on a stale picture, and what
  // is held is only what the view itself showed.
  static void PageMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                          EngineView* self) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) return;
    gchar* text = jsc_value_to_string(value);
    const std::string what = text != nullptr ? text : "";
    g_free(text);
    if (what == "hold" && std::exchange(self->mayHold_, false))
      self->Hold();
    else if (what == "shown" && self->held_ != nullptr)
      self->shown_ = true;
  }

  // The picture on screen now, the last the engine drew: the new page's
  // own comes after this message, on the same channel.
  void Hold() {
    GdkWindow* window = gtk_widget_get_window(widget_);
    const int width = gtk_widget_get_allocated_width(widget_);
    const int height = gtk_widget_get_allocated_height(widget_);
    if (window == nullptr || !gtk_widget_get_mapped(widget_) || width <= 0 || height <= 0) return;
    cairo_surface_t* picture = gdk_window_create_similar_image_surface(
        window, CAIRO_FORMAT_RGB24, width, height, gdk_window_get_scale_factor(window));
    cairo_t* cr = cairo_create(picture);
    gtk_widget_draw(widget_, cr);
    cairo_destroy(cr);
    held_ = picture;
    shown_ = false;
    holdSource_ = g_timeout_add(kHoldMs, &EngineView::HoldOver, this);
  }

  static gboolean HoldOver(gpointer data) {
    auto* self = static_cast<EngineView*>(data);
    self->holdSource_ = 0;
    self->Release();
    return G_SOURCE_REMOVE;
  }

  void Release() {
    if (holdSource_ != 0) g_source_remove(std::exchange(holdSource_, 0));
    if (held_ == nullptr) return;
    cairo_surface_destroy(std::exchange(held_, nullptr));
    // The engine drew only what changed meanwhile: all of it again.
    if (widget_ != nullptr) gtk_widget_queue_draw(widget_);
  }

  // While a picture is held the engine's drawing goes unseen; after the
  // page's word that its clip's picture is on the way, the engine's next
  // drawing has it.
  static gboolean Draw(GtkWidget*, cairo_t* cr, EngineView* self) {
    if (self->held_ == nullptr) return FALSE;
    if (self->shown_) {
      self->Release();
      return FALSE;
    }
    cairo_set_source_surface(cr, self->held_, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    return TRUE;
  }

  static gboolean EndHungPage(gpointer data) {
    auto* self = static_cast<EngineView*>(data);
    self->hangSource_ = 0;
    WebKitWebView* view = WEBKIT_WEB_VIEW(self->widget_);
    if (!webkit_web_view_get_is_web_process_responsive(view)) {
      self->report_("the web page stopped answering; its process is ended");
      webkit_web_view_terminate_web_process(view);
    }
    return G_SOURCE_REMOVE;
  }

  // The page process died (out of memory, a bad page, a hang ended above):
  // the view would stay blank until the next slide, perhaps an hour away.
  // Load the page again, within the recovery budget.
  static void WebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                   EngineView* self) {
    self->Release();
    const bool overLimit = std::exchange(self->overLimit_, false) ||
                           reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT;
    const char* why = overLimit                              ? "over its memory limit"
                      : reason == WEBKIT_WEB_PROCESS_CRASHED ? "crashed"
                                                             : "ended";
    auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count();
    const bool spentBefore = self->budget_.GaveUp();
    if (!self->budget_.TryRecover(now)) {
      if (!spentBefore)
        self->report_(std::string("the web page process ended (") + why +
                      ") too often; the page is given up until the next slide");
      return;
    }
    self->report_(std::string("the web page process ended (") + why +
                  "); the page is loaded again");
    if (self->reloadSource_ != 0) return;
    auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - self->lastReload_)
                     .count();
    guint delay = since >= 300 ? 0 : guint(300 - since);
    self->reloadSource_ = g_timeout_add(delay, &EngineView::Reload, self);
  }

  static gboolean Reload(gpointer data) {
    auto* self = static_cast<EngineView*>(data);
    self->reloadSource_ = 0;
    self->lastReload_ = std::chrono::steady_clock::now();
    if (!self->uri_.empty()) self->Load();
    return G_SOURCE_REMOVE;
  }

  void TakeSnapshot() {
    if (snapshotRunning_) return;  // its end takes the request waiting
    snapshotRunning_ = true;
    snapshotOf_ = navigations_;
    webkit_web_view_get_snapshot(WEBKIT_WEB_VIEW(widget_), WEBKIT_SNAPSHOT_REGION_VISIBLE,
                                 WEBKIT_SNAPSHOT_OPTIONS_NONE, snapshotCancel_,
                                 &EngineView::SnapshotReady, this);
  }

  static cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  }

  // The engine's picture, scaled down and encoded. A cancelled request
  // (the view is going) touches nothing of the view.
  static void SnapshotReady(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    cairo_surface_t* shot =
        webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
      g_error_free(error);
      if (shot != nullptr) cairo_surface_destroy(shot);
      return;
    }
    if (error != nullptr) g_error_free(error);
    auto* self = static_cast<EngineView*>(data);
    self->snapshotRunning_ = false;
    if (self->snapshotOf_ != self->navigations_) {
      // A picture of the page before: the one asked for comes once the
      // new page has loaded.
      if (shot != nullptr) cairo_surface_destroy(shot);
      if (self->snapshotDone_ && self->loaded_) self->TakeSnapshot();
      return;
    }
    std::function<void(std::string)> done = std::move(self->snapshotDone_);
    self->snapshotDone_ = nullptr;
    if (shot == nullptr || !done) {
      if (shot != nullptr) cairo_surface_destroy(shot);
      return;
    }
    const int width = cairo_image_surface_get_width(shot);
    const int height = cairo_image_surface_get_height(shot);
    std::string png;
    if (width > 0 && height > 0) {
      const double scale = width > self->snapshotWidth_ ? double(self->snapshotWidth_) / width : 1;
      const int w = std::max(1, int(width * scale + 0.5));
      const int h = std::max(1, int(height * scale + 0.5));
      cairo_surface_t* small = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
      cairo_t* cr = cairo_create(small);
      cairo_scale(cr, scale, scale);
      cairo_set_source_surface(cr, shot, 0, 0);
      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
      cairo_paint(cr);
      cairo_destroy(cr);
      if (cairo_surface_write_to_png_stream(small, &EngineView::AppendPng, &png) !=
          CAIRO_STATUS_SUCCESS)
        png.clear();
      cairo_surface_destroy(small);
    }
    cairo_surface_destroy(shot);
    if (!png.empty()) done(std::move(png));
  }

  WebViewReporter report_;
  std::string root_;  // the content root, in the file names' encoding
  GtkWidget* widget_ = nullptr;
  gchar* filterFolder_ = nullptr;  // where the engine compiles the rule
  GCancellable* filterCancel_ = nullptr;
  bool filterPending_ = false;
  const unsigned limitMb_ = PageMemoryLimitMb(std::uint64_t(sysconf(_SC_PHYS_PAGES)) *
                                              std::uint64_t(sysconf(_SC_PAGESIZE)));
  guint memorySource_ = 0;
  int pagePid_ = 0;         // the page process, once found
  bool overLimit_ = false;  // CheckMemory ended it
  static constexpr const char* kBlankPage = "about:blank";
  std::string uri_;
  std::string html_;  // the page itself when it is shown from memory
  WebKitWebContext* context_ = nullptr;
  RecoveryBudget budget_;
  static constexpr unsigned kRefusedDownload = 1, kRefusedWindow = 2, kRefusedNavigation = 4,
                            kRefusedFileChooser = 8, kRefusedColourChooser = 16,
                            kRefusedAuthentication = 32, kRefusedOptionMenu = 64,
                            kRefusedFullScreen = 128, kRefusedLocalFile = 256,
                            kRefusedPermission = 512;  // one bit per kind of permission from here
  unsigned refused_ = 0;
  bool slideCommitted_ = false;  // a slide has shown: white beneath pages from then
  bool warming_ = true;          // until the first page is committed
  // The engine notices a silent page process after about 3 s; with this
  // grace it is ended within kUnresponsivePageMs.
  static constexpr guint kHangGraceMs = kUnresponsivePageMs - 3000;
  static constexpr guint kStartGraceMs = 30000;
  guint hangSource_ = 0;
  // A picture held over the start of a page (Hold).
  static constexpr guint kHoldMs = 1000;
  bool mayHold_ = false;  // the page now starting has not asked yet
  cairo_surface_t* held_ = nullptr;
  bool shown_ = false;  // the page's picture is on the way
  guint holdSource_ = 0;
  guint reloadSource_ = 0;
  bool loaded_ = false;  // the player's page has loaded since the last Navigate
  GCancellable* snapshotCancel_ = g_cancellable_new();
  bool snapshotRunning_ = false;
  unsigned navigations_ = 0;  // the page each picture is of
  unsigned snapshotOf_ = 0;
  int snapshotWidth_ = 0;
  std::function<void(std::string)> snapshotDone_;  // a picture asked for
  std::chrono::steady_clock::time_point lastReload_{};
};

}  // namespace
}  // namespace velane::gtk

// The module's one entry point (see kWebViewFactory).
extern "C" __attribute__((visibility("default"))) velane::gtk::WebView* velane_web_view_3(
    velane::gtk::WebViewReporter report, const std::string& contentRoot) {
  return new velane::gtk::EngineView(std::move(report), contentRoot);
}
