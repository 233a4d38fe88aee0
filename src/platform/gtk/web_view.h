// The browser control's web engine lives in a module of its own,
// libvelane-webview.so, beside the player's file (a copy of the player
// takes the module along). The player loads it once the
// display window's timers run: linking the engine and its hundred-odd
// libraries takes about 100 ms, which belongs inside the first second before
// the first slide, not in front of it.
#pragma once

#include <functional>
#include <string>

typedef struct _GtkWidget GtkWidget;

namespace velane::gtk {

// One web view, kept in the kiosk whatever its page does.
class WebView {
 public:
  virtual ~WebView() = default;
  // The view's widget; the control places and shows it.
  virtual GtkWidget* Widget() = 0;
  // Shows the page at this file URI, which becomes the only page the view
  // may show.
  virtual void Navigate(const std::string& uri) = 0;
  // Shows this page (Windows-1252 bytes, as a composed page's file holds
  // them), held in memory, as if it were the file at baseUri
  // (which becomes the only page the view may show): a page composed
  // outside the content root whose names still lead into a slide folder.
  virtual void ShowPage(const std::string& html, const std::string& baseUri) = 0;
  // Ends the page process, whose page is over its memory limit; the page
  // is loaded again as after a crash, within the same bounds.
  virtual void EndPageProcess() = 0;
  // What the engine rendered of the visible part of the page, scaled down
  // to at most maxWidth pixels wide, as PNG bytes given to `done` in the
  // message loop, once the page on the way has loaded. A request made
  // while another waits replaces it; `done` is never called after the view
  // is gone, nor when no picture could be taken.
  virtual void Snapshot(int maxWidth, std::function<void(std::string png)> done) = 0;
};

// What the view tells: refusals, a page process ended, recoveries.
using WebViewReporter = std::function<void(const std::string&)>;
// The view keeps local files inside the content root (in the file names'
// encoding, without a trailing separator; empty: no local file at all).
using WebViewFactory = WebView* (*)(WebViewReporter report, const std::string& contentRoot);

inline constexpr char kWebViewModule[] = "libvelane-webview.so";
// Named after this interface's version: a module built for another version
// is refused, not called.
inline constexpr char kWebViewFactory[] = "velane_web_view_3";

}  // namespace velane::gtk
