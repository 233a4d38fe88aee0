#include "platform/win32/web_browser.h"

#include <docobj.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ole2.h>
#include <oleidl.h>
#include <servprov.h>
#include <urlmon.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "config/ansi.h"
#include "display/page_guard.h"
#include "platform/win32/browser_lockdown.h"

namespace velane::win32 {
namespace {

constexpr char kContainerClass[] = "VelaneBrowserHost";

// {C4D244B0-D43E-11CF-893B-00AA00BDCE1A}: IDocHostShowUI, which mingw-w64's
// uuid library lacks.
constexpr IID kIidDocHostShowUI = {
    0xC4D244B0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

// {8856F961-340A-11D0-A96B-00C04FD705A2}: the WebBrowser control.
constexpr CLSID kWebBrowserClsid = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

// Holds one COM reference and releases it.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void** out() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// A BSTR for one call.
class Bstr {
 public:
  explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), UINT(s.size()))) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }

 private:
  BSTR b_;
};

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// The Cancel argument of a browser event (a VARIANT_BOOL by reference).
void Cancel(VARIANTARG& arg) {
  if ((arg.vt & VT_BYREF) != 0 && arg.pboolVal != nullptr) *arg.pboolVal = VARIANT_TRUE;
}

RECT ClientOf(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

KeyModifiers HeldModifiers() {
  return {GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_MENU) < 0};
}

// What a page had refused, each kind said once per slide.
enum Refused : unsigned {
  kRefusedPrinting = 1,
  kRefusedCommand = 2,
  kRefusedDialog = 4,
};

// The hosts of this thread (one in the player), for the message loop's key
// filter and the dialog hook, which have only a window to go by.
std::vector<WebBrowserHost*>& Hosts() {
  static std::vector<WebBrowserHost*> hosts;
  return hosts;
}
HHOOK dialogHook = nullptr;
std::string contentRoot;  // UTF-8; empty until the player names it

WebBrowserHost* HostInside(HWND hwnd) {
  for (HWND w = hwnd; w != nullptr; w = GetParent(w)) {
    for (WebBrowserHost* host : Hosts())
      if (host->container() == w) return host;
  }
  return nullptr;
}

// The host whose display window owns the window owner, or is it.
WebBrowserHost* HostOwning(HWND owner) {
  if (owner == nullptr) return nullptr;
  const HWND root = GetAncestor(owner, GA_ROOT);
  for (WebBrowserHost* host : Hosts())
    if (host->container() != nullptr && GetAncestor(host->container(), GA_ROOT) == root)
      return host;
  return nullptr;
}

// The control opens its dialogs (the file chooser of <input type=file>,
// print, find, the colour chooser, prompt(), its own message boxes,
// showModalDialog()) in the player's thread, owned by the display window.
// No setting of the control turns the file chooser off: a URL action only
// keeps the folder out of what is sent. Refusing the dialog window as it
// is created stops all of them at one place, whatever path in the control
// opened them: the call that wanted the dialog fails, which the control
// takes as "cancelled".
LRESULT CALLBACK DialogHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && lParam != 0) {
    const CREATESTRUCTA* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
    char name[64] = {};
    GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
    WebBrowserHost* host = create != nullptr ? HostOwning(create->hwndParent) : nullptr;
    if (host != nullptr && RefusesDialog(name, create->style, true)) {
      host->NoteRefusedDialog();
      return 1;
    }
  }
  return CallNextHookEx(dialogHook, code, wParam, lParam);
}

}  // namespace

// The container's side of the OLE conversation: client site, in-place site
// and frame, with no menus, tool space, accelerators or status bar. The
// object lives as long as its host, which releases the control first.
//
// On a public screen the page is untrusted: as the host, the site also
// answers the page's message boxes itself (IDocHostShowUI), shows no
// context menu and takes no shortcut key (IDocHostUIHandler), answers the
// commands the control hands its host, printing refused and script errors
// silent (IOleCommandTarget), keeps the folder of an uploaded file to
// itself (its security manager, IInternetSecurityManager through
// IServiceProvider), and through the browser's events refuses new windows,
// downloads and top-level navigations that are not the player's.
class BrowserSite : public IOleClientSite,
                    public IOleInPlaceSite,
                    public IOleInPlaceFrame,
                    public IDocHostUIHandler,
                    public IDocHostShowUI,
                    public IOleCommandTarget,
                    public IServiceProvider,
                    public IInternetSecurityManager,
                    public IDispatch {
 public:
  BrowserSite(HWND container, std::function<void(const std::string&)> report)
      : container_(container), report_(std::move(report)) {}

  // Creates and activates the control in the container; a failure is
  // returned with the step that failed.
  HRESULT Create(std::string& step) {
    step = "CoCreateInstance";
    HRESULT hr = CoCreateInstance(kWebBrowserClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  object_.out());
    if (FAILED(hr)) return hr;
    step = "SetClientSite";
    hr = object_->SetClientSite(static_cast<IOleClientSite*>(this));
    if (FAILED(hr)) return hr;
    OleSetContainedObject(object_.get(), TRUE);
    step = "in-place activation";
    RECT rect = ClientOf(container_);
    hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0,
                         container_, &rect);
    if (FAILED(hr)) return hr;
    step = "IWebBrowser2";
    hr = object_->QueryInterface(IID_IWebBrowser2, browser_.out());
    if (FAILED(hr)) return hr;
    object_->QueryInterface(IID_IOleInPlaceObject, inPlace_.out());
    browser_->put_Silent(VARIANT_TRUE);
    browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
    ComRef<IConnectionPointContainer> points;
    if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, points.out())) &&
        SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2,
                                              reinterpret_cast<IConnectionPoint**>(events_.out()))))
      events_->Advise(static_cast<IDispatch*>(this), &cookie_);
    return S_OK;
  }

  void Close() {
    if (events_) events_->Unadvise(cookie_);
    events_.Reset();
    inPlace_.Reset();
    browser_.Reset();
    if (object_) {
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
    }
    object_.Reset();
  }

  bool HasControl() const { return static_cast<bool>(browser_); }

  HRESULT Navigate(const std::wstring& target) {
    if (!browser_) return E_POINTER;
    playerPending_ = true;
    refused_ = 0;
    Bstr url(target);
    VARIANT empty;
    VariantInit(&empty);
    return browser_->Navigate(url.get(), &empty, &empty, &empty, &empty);
  }

  void Fit() {
    if (!inPlace_) return;
    RECT rect = ClientOf(container_);
    inPlace_->SetObjectRects(&rect, &rect);
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) ||
               IsEqualIID(riid, IID_IOleInPlaceFrame)) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (IsEqualIID(riid, IID_IDocHostUIHandler)) {
      *out = static_cast<IDocHostUIHandler*>(this);
    } else if (IsEqualIID(riid, kIidDocHostShowUI)) {
      *out = static_cast<IDocHostShowUI*>(this);
    } else if (IsEqualIID(riid, IID_IOleCommandTarget)) {
      *out = static_cast<IOleCommandTarget*>(this);
    } else if (IsEqualIID(riid, IID_IServiceProvider)) {
      *out = static_cast<IServiceProvider*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
      *out = static_cast<IDispatch*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  // The host owns this object; the count only keeps COM's bookkeeping.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return refs_ > 1 ? --refs_ : 1; }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override {
    if (m) *m = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
    if (c) *c = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override {
    if (hwnd == nullptr) return E_POINTER;
    *hwnd = container_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT posRect, LPRECT clipRect,
                                             LPOLEINPLACEFRAMEINFO info) override {
    if (frame) {
      *frame = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
    }
    if (doc) *doc = nullptr;
    RECT rect = ClientOf(container_);
    if (posRect) *posRect = rect;
    if (clipRect) *clipRect = rect;
    if (info) {
      info->cb = sizeof(OLEINPLACEFRAMEINFO);
      info->fMDIApp = FALSE;
      info->hwndFrame = GetAncestor(container_, GA_ROOT);
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override {
    // The control always fills the container.
    Fit();
    return S_OK;
  }

  // IOleInPlaceUIWindow
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }

  // IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler: no context menu, no drops, no help; the rest as the
  // control does it by itself.
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
    if (info == nullptr) return E_POINTER;
    info->dwFlags =
        DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_NO3DBORDER;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
    return S_OK;
  }
  // The host hands the control no key for its accelerators; should the
  // control ask by itself, the shortcuts that open windows are taken.
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, const GUID*, DWORD) override {
    return msg != nullptr && SwallowsKey(msg->message, msg->wParam, HeldModifiers()) ? S_OK
                                                                                     : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key) *key = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override {
    if (target) *target = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override {
    if (external) *external = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }

  // IDocHostShowUI: alert shows nothing; confirm and "leave this page?" get
  // the answer that lets the player go on.
  HRESULT STDMETHODCALLTYPE ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD type, LPOLESTR, DWORD,
                                        LRESULT* result) override {
    if (result) *result = (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override {
    return S_OK;
  }

  // IOleCommandTarget: what MSHTML asks its host to show. A command the
  // host does not know goes back to the control as not supported, which
  // then does it by itself.
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID* group, ULONG count, OLECMD commands[],
                                        OLECMDTEXT*) override {
    if (!HostKnowsCommandGroup(group)) return OLECMDERR_E_UNKNOWNGROUP;
    if (commands == nullptr) return E_POINTER;
    for (ULONG i = 0; i < count; ++i) {
      // Known and never enabled.
      commands[i].cmdf =
          HostCommandFor(group, commands[i].cmdID) == HostCommand::NotOurs ? 0 : OLECMDF_SUPPORTED;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD id, DWORD, VARIANT*,
                                 VARIANT* out) override {
    if (!HostKnowsCommandGroup(group)) return OLECMDERR_E_UNKNOWNGROUP;
    switch (HostCommandFor(group, id)) {
      case HostCommand::KeepScriptRunning:
        // No dialog; true: the page's scripts keep running.
        if (out != nullptr) {
          out->vt = VT_BOOL;
          out->boolVal = VARIANT_TRUE;
        }
        return S_OK;
      case HostCommand::Refused:
        // Done, as far as the control knows: it shows nothing.
        if (id == OLECMDID_PRINT || id == OLECMDID_PRINT2 || id == OLECMDID_SHOWPRINT ||
            id == OLECMDID_PRINTPREVIEW || id == OLECMDID_PRINTPREVIEW2 ||
            id == OLECMDID_PAGESETUP || id == OLECMDID_SHOWPAGESETUP)
          ReportRefused(kRefusedPrinting, "printing");
        else
          ReportRefused(kRefusedCommand, "a browser command (" + std::to_string(id) + ")");
        return S_OK;
      case HostCommand::NotOurs:
        break;
    }
    return OLECMDERR_E_NOTSUPPORTED;
  }

  // IServiceProvider: the control finds the host's security manager here.
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsEqualGUID(service, SID_SInternetSecurityManager) &&
        (IsEqualIID(riid, IID_IInternetSecurityManager) || IsEqualIID(riid, IID_IUnknown))) {
      *out = static_cast<IInternetSecurityManager*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  // IInternetSecurityManager: the host's word on a few URL actions; for
  // everything else the system's zones decide (INET_E_DEFAULT_ACTION).
  HRESULT STDMETHODCALLTYPE SetSecuritySite(IInternetSecurityMgrSite*) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE GetSecuritySite(IInternetSecurityMgrSite** site) override {
    if (site) *site = nullptr;
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE MapUrlToZone(LPCWSTR, DWORD*, DWORD) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy, DWORD size,
                                             BYTE*, DWORD, DWORD, DWORD) override {
    const std::string address =
        url != nullptr ? ToUtf8(reinterpret_cast<const char16_t*>(url)) : std::string();
    const std::optional<DWORD> ours = UrlActionPolicy(action, address, contentRoot);
    if (!ours || policy == nullptr || size < sizeof(DWORD)) return INET_E_DEFAULT_ACTION;
    std::memcpy(policy, &*ours, sizeof(DWORD));
    return *ours == URLPOLICY_ALLOW ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE QueryCustomPolicy(LPCWSTR, REFGUID, BYTE** policy, DWORD* size, BYTE*,
                                              DWORD, DWORD) override {
    if (policy) *policy = nullptr;
    if (size) *size = 0;
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE SetZoneMapping(DWORD, LPCWSTR, DWORD) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE GetZoneMappings(DWORD, IEnumString** mappings, DWORD) override {
    if (mappings) *mappings = nullptr;
    return INET_E_DEFAULT_ACTION;
  }

  void ReportRefused(unsigned kind, const std::string& what) {
    // Once per slide and kind: a page that keeps trying cannot flood the log.
    if ((refused_ & kind) != 0) return;
    refused_ |= kind;
    if (report_) report_("refused: " + what);
  }

  // IDispatch: the browser's events (DWebBrowserEvents2).
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (p == nullptr || p->rgvarg == nullptr) return S_OK;
    // The arguments come last first.
    switch (id) {
      case DISPID_NEWWINDOW2:  // (ppDisp, Cancel)
        if (p->cArgs == 2) Cancel(p->rgvarg[0]);
        break;
      case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, context, url)
        if (p->cArgs == 5) Cancel(p->rgvarg[3]);
        break;
      case DISPID_FILEDOWNLOAD:  // (ActiveDocument, Cancel)
        if (p->cArgs == 2) Cancel(p->rgvarg[0]);
        break;
      case DISPID_BEFORENAVIGATE2:  // (pDisp, URL, Flags, Frame, PostData, Headers, Cancel)
        if (p->cArgs != 7 || !IsTopLevel(p->rgvarg[6])) break;
        // The first top-level navigation after Navigate is the player's own,
        // in the spelling the control gives it.
        if (playerPending_) {
          playerPending_ = false;
          page_ = UrlOf(p->rgvarg[5]);
        } else if (!IsPlayersPage(UrlOf(p->rgvarg[5]), page_)) {
          Cancel(p->rgvarg[0]);
        }
        break;
    }
    return S_OK;
  }

 private:
  bool IsTopLevel(const VARIANTARG& disp) const {
    if (disp.vt != VT_DISPATCH || disp.pdispVal == nullptr || !browser_) return false;
    ComRef<IUnknown> frame;
    ComRef<IUnknown> top;
    disp.pdispVal->QueryInterface(IID_IUnknown, frame.out());
    browser_->QueryInterface(IID_IUnknown, top.out());
    return frame.get() == top.get();
  }
  static std::string UrlOf(const VARIANTARG& url) {
    const VARIANT* v = (url.vt & VT_BYREF) ? url.pvarVal : &url;
    return v != nullptr && v->vt == VT_BSTR && v->bstrVal != nullptr
               ? ToUtf8(reinterpret_cast<const char16_t*>(v->bstrVal))
               : std::string();
  }

  HWND container_;
  std::function<void(const std::string&)> report_;
  unsigned refused_ = 0;  // the kinds already reported for this slide
  ULONG refs_ = 1;
  std::string page_;  // what the player last asked to show
  bool playerPending_ = false;
  ComRef<IConnectionPoint> events_;
  DWORD cookie_ = 0;
  ComRef<IOleObject> object_;
  ComRef<IOleInPlaceObject> inPlace_;
  ComRef<IWebBrowser2> browser_;
};

void WebBrowserHost::RegisterContainerClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WebBrowserHost::ContainerProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  // Where no page is drawn the display shows black.
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kContainerClass;
  RegisterClassExA(&wc);
}

WebBrowserHost::WebBrowserHost(HWND parent, RECT rect,
                               const std::function<void(const std::string&)>& report)
    : report_(report) {
  container_ = CreateWindowExA(0, kContainerClass, "", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                               rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                               parent, nullptr, GetModuleHandleA(nullptr), this);
  if (container_ == nullptr) {
    if (report_) report_("the browser container cannot be created");
    return;
  }
  Hosts().push_back(this);
  if (dialogHook == nullptr)
    dialogHook = SetWindowsHookExA(WH_CBT, &DialogHook, nullptr, GetCurrentThreadId());
  if (dialogHook == nullptr && report_) report_("the browser's dialogs cannot be held back");
  site_ = std::make_unique<BrowserSite>(container_, report_);
  std::string step;
  const HRESULT hr = site_->Create(step);
  if (FAILED(hr)) {
    site_->Close();
    site_.reset();
    if (report_)
      report_("the WebBrowser control cannot be created (" + step + ": " + Hex(hr) +
              "); slides are composed but not shown");
  }
}

WebBrowserHost::~WebBrowserHost() {
  auto& hosts = Hosts();
  hosts.erase(std::remove(hosts.begin(), hosts.end(), this), hosts.end());
  if (hosts.empty() && dialogHook != nullptr) {
    UnhookWindowsHookEx(dialogHook);
    dialogHook = nullptr;
  }
  if (site_) site_->Close();
  if (container_ != nullptr) {
    SetWindowLongPtrA(container_, GWLP_USERDATA, 0);
    DestroyWindow(container_);
  }
}

bool WebBrowserHost::HasControl() const { return site_ && site_->HasControl(); }

void WebBrowserHost::SetContentRoot(const std::string& folder) { contentRoot = folder; }

bool WebBrowserHost::DropsKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  return HostInside(msg.hwnd) != nullptr && SwallowsKey(msg.message, msg.wParam, HeldModifiers());
}

IUnknown* WebBrowserHost::Site() const {
  return site_ ? static_cast<IOleClientSite*>(site_.get()) : nullptr;
}

void WebBrowserHost::NoteRefusedDialog() {
  if (site_) site_->ReportRefused(kRefusedDialog, "a dialog");
}

void WebBrowserHost::Navigate(const std::wstring& target) {
  if (!HasControl()) return;
  const HRESULT hr = site_->Navigate(target);
  // The player never reacts to navigation errors; say once that they
  // happen, so an operator looking at the log knows.
  if (FAILED(hr) && !navigationReported_) {
    navigationReported_ = true;
    if (report_) report_("the WebBrowser control refused a navigation (" + Hex(hr) + ")");
  }
}

void WebBrowserHost::FitControl() {
  if (site_) site_->Fit();
}

LRESULT CALLBACK WebBrowserHost::ContainerProc(HWND hwnd, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<WebBrowserHost*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message == WM_SIZE && self != nullptr) self->FitControl();
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace velane::win32
