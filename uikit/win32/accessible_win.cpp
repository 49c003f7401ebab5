// The client area of a toolkit window for screen readers: one simple child element per item
// that the toolkit lists (name, role, state, location), in tab order; the default action
// clicks the item. The window disconnects the object when it goes, after which every call
// answers RPC_E_DISCONNECTED (a screen reader may hold it longer than the window lives).
#include <windows.h>
#include <oleacc.h>

#include <string>

#include "uikit/win32/internal_win.h"

namespace uikit {
namespace win32 {

class AccessibleRoot final : public IAccessible {
 public:
  AccessibleRoot(HWND hwnd, IWindowEvents* events, UINT invokeMessage)
      : hwnd_(hwnd), events_(events), invokeMessage_(invokeMessage) {}
  virtual ~AccessibleRoot() = default;

  void Disconnect() {
    hwnd_ = nullptr;
    events_ = nullptr;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: not offered (clients use the vtable).
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    if (!hwnd_) return RPC_E_DISCONNECTED;
    return AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                      reinterpret_cast<void**>(parent));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    if (!events_) return RPC_E_DISCONNECTED;
    *count = static_cast<long>(events_->AccessibleItems().size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!events_) return RPC_E_DISCONNECTED;
    IWindowEvents::AccessibleItem item;
    if (!Item(child, &item)) return E_INVALIDARG;
    return S_FALSE;  // simple elements: no object of their own
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!events_) return RPC_E_DISCONNECTED;
    if (IsSelf(child)) {
      wchar_t caption[256] = {};
      GetWindowTextW(hwnd_, caption, 256);
      *name = SysAllocString(caption);
      return S_OK;
    }
    IWindowEvents::AccessibleItem item;
    if (!Item(child, &item)) return E_INVALIDARG;
    *name = SysAllocString(item.name.c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (!events_) return RPC_E_DISCONNECTED;
    IWindowEvents::AccessibleItem item;
    if (IsSelf(child) || !Item(child, &item)) return IsSelf(child) ? S_FALSE : E_INVALIDARG;
    if (item.role != IWindowEvents::AccessibleItem::Role::kProgress) return S_FALSE;
    *value = SysAllocString((std::to_wstring(item.value) + L"%").c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!events_) return RPC_E_DISCONNECTED;
    IWindowEvents::AccessibleItem item;
    if (IsSelf(child) || !Item(child, &item)) return IsSelf(child) ? S_FALSE : E_INVALIDARG;
    if (item.description.empty()) return S_FALSE;
    *out = SysAllocString(item.description.c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!role) return E_POINTER;
    VariantInit(role);
    if (!events_) return RPC_E_DISCONNECTED;
    role->vt = VT_I4;
    if (IsSelf(child)) {
      role->lVal = ROLE_SYSTEM_CLIENT;
      return S_OK;
    }
    IWindowEvents::AccessibleItem item;
    if (!Item(child, &item)) return E_INVALIDARG;
    using Role = IWindowEvents::AccessibleItem::Role;
    switch (item.role) {
      case Role::kButton:
        role->lVal = ROLE_SYSTEM_PUSHBUTTON;
        break;
      case Role::kCheckBox:
        role->lVal = ROLE_SYSTEM_CHECKBUTTON;
        break;
      case Role::kRadio:
        role->lVal = ROLE_SYSTEM_RADIOBUTTON;
        break;
      case Role::kLink:
        role->lVal = ROLE_SYSTEM_LINK;
        break;
      case Role::kText:
        role->lVal = ROLE_SYSTEM_STATICTEXT;
        break;
      case Role::kProgress:
        role->lVal = ROLE_SYSTEM_PROGRESSBAR;
        break;
      case Role::kCombo:
        role->lVal = ROLE_SYSTEM_COMBOBOX;
        break;
      case Role::kEdit:
        role->lVal = ROLE_SYSTEM_TEXT;
        break;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!state) return E_POINTER;
    VariantInit(state);
    if (!events_) return RPC_E_DISCONNECTED;
    state->vt = VT_I4;
    if (IsSelf(child)) {
      state->lVal = STATE_SYSTEM_FOCUSABLE | (GetFocus() == hwnd_ ? STATE_SYSTEM_FOCUSED : 0);
      return S_OK;
    }
    IWindowEvents::AccessibleItem item;
    if (!Item(child, &item)) return E_INVALIDARG;
    using Role = IWindowEvents::AccessibleItem::Role;
    long s = 0;
    if (!item.enabled) s |= STATE_SYSTEM_UNAVAILABLE;
    if (item.checked) s |= STATE_SYSTEM_CHECKED;
    if (item.focused) s |= STATE_SYSTEM_FOCUSED;
    if (item.role != Role::kText && item.role != Role::kProgress) s |= STATE_SYSTEM_FOCUSABLE;
    if (item.role == Role::kLink) s |= STATE_SYSTEM_LINKED;
    if (item.role == Role::kText || item.role == Role::kProgress) s |= STATE_SYSTEM_READONLY;
    state->lVal = s;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override { return Empty(out); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override {
    return Empty(out);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (!focus) return E_POINTER;
    VariantInit(focus);
    if (!events_) return RPC_E_DISCONNECTED;
    if (GetFocus() != hwnd_) return S_FALSE;
    const auto items = events_->AccessibleItems();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].focused) {
        focus->vt = VT_I4;
        focus->lVal = static_cast<long>(i + 1);
        return S_OK;
      }
    }
    focus->vt = VT_I4;
    focus->lVal = CHILDID_SELF;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (!selection) return E_POINTER;
    VariantInit(selection);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (!action) return E_POINTER;
    *action = nullptr;
    if (!events_) return RPC_E_DISCONNECTED;
    IWindowEvents::AccessibleItem item;
    if (IsSelf(child) || !Item(child, &item)) return IsSelf(child) ? S_FALSE : E_INVALIDARG;
    using Role = IWindowEvents::AccessibleItem::Role;
    const wchar_t* text = nullptr;
    switch (item.role) {
      case Role::kButton:
        text = L"Press";
        break;
      case Role::kCheckBox:
        text = item.checked ? L"Uncheck" : L"Check";
        break;
      case Role::kRadio:
        text = L"Select";
        break;
      case Role::kLink:
        text = L"Jump";
        break;
      default:
        return S_FALSE;
    }
    *action = SysAllocString(text);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h,
                                        VARIANT child) override {
    if (!x || !y || !w || !h) return E_POINTER;
    if (!events_) return RPC_E_DISCONNECTED;
    RECT rc;
    if (IsSelf(child)) {
      GetClientRect(hwnd_, &rc);
    } else {
      IWindowEvents::AccessibleItem item;
      if (!Item(child, &item)) return E_INVALIDARG;
      rc = ToRECT(item.rect);
    }
    POINT origin{rc.left, rc.top};
    ClientToScreen(hwnd_, &origin);
    *x = origin.x;
    *y = origin.y;
    *w = rc.right - rc.left;
    *h = rc.bottom - rc.top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* end) override {
    if (!end) return E_POINTER;
    VariantInit(end);
    if (!events_) return RPC_E_DISCONNECTED;
    const long count = static_cast<long>(events_->AccessibleItems().size());
    long from = start.vt == VT_I4 ? start.lVal : CHILDID_SELF;
    long to = 0;
    switch (dir) {
      case NAVDIR_FIRSTCHILD:
        to = from == CHILDID_SELF && count > 0 ? 1 : 0;
        break;
      case NAVDIR_LASTCHILD:
        to = from == CHILDID_SELF && count > 0 ? count : 0;
        break;
      case NAVDIR_NEXT:
        to = from != CHILDID_SELF && from < count ? from + 1 : 0;
        break;
      case NAVDIR_PREVIOUS:
        to = from > 1 ? from - 1 : 0;
        break;
      default:
        return E_NOTIMPL;
    }
    if (to == 0) return S_FALSE;
    end->vt = VT_I4;
    end->lVal = to;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
    if (!hit) return E_POINTER;
    VariantInit(hit);
    if (!events_) return RPC_E_DISCONNECTED;
    POINT pt{x, y};
    ScreenToClient(hwnd_, &pt);
    RECT client;
    GetClientRect(hwnd_, &client);
    if (!PtInRect(&client, pt)) return S_FALSE;
    const auto items = events_->AccessibleItems();
    hit->vt = VT_I4;
    hit->lVal = CHILDID_SELF;
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].rect.Contains(Point{pt.x, pt.y})) hit->lVal = static_cast<long>(i + 1);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!events_) return RPC_E_DISCONNECTED;
    IWindowEvents::AccessibleItem item;
    if (IsSelf(child) || !Item(child, &item)) return IsSelf(child) ? S_FALSE : E_INVALIDARG;
    // The click may open a modal box: run it from the window's own loop, not inside this call.
    PostMessageW(hwnd_, invokeMessage_, static_cast<WPARAM>(child.lVal - 1), 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  static bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
  }
  bool Item(const VARIANT& child, IWindowEvents::AccessibleItem* out) const {
    if (child.vt != VT_I4 || child.lVal <= 0 || !events_) return false;
    const auto items = events_->AccessibleItems();
    if (static_cast<size_t>(child.lVal) > items.size()) return false;
    *out = items[static_cast<size_t>(child.lVal) - 1];
    return true;
  }
  HRESULT Empty(BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return events_ ? S_FALSE : RPC_E_DISCONNECTED;
  }

  LONG refs_ = 1;
  HWND hwnd_;
  IWindowEvents* events_;
  UINT invokeMessage_;
};

AccessibleRoot* CreateAccessibleRoot(HWND hwnd, IWindowEvents* events, UINT invokeMessage) {
  return new AccessibleRoot(hwnd, events, invokeMessage);
}

LRESULT AccessibleResult(AccessibleRoot* root, WPARAM wParam) {
  return LresultFromObject(IID_IAccessible, wParam, static_cast<IAccessible*>(root));
}

void DisconnectAccessible(AccessibleRoot* root) {
  root->Disconnect();
  root->Release();
}

}  // namespace win32
}  // namespace uikit
