// Native children of a toolkit window: the EDIT box (caret, selection, clipboard and IME come
// from the system) and the owner-drawn drop-down list whose items are each drawn in a face
// that covers their own script.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>

#include "uikit/win32/internal_win.h"

namespace uikit {
namespace win32 {
namespace {

constexpr UINT_PTR kSubclassId = 0x4B55;  // one subclass per control: this backend's
constexpr int kMaxVisibleItems = 12;

COLORREF Opaque(Color c, COLORREF fallback) {
  return AlphaOf(c) == 0 ? fallback : ToColorRef(c);
}

// What the edit and the combo share: the child window, its parent, colours and Tab handling.
class ChildBase : public NativeChild {
 public:
  ChildBase(BackendState& state, NativeWindow& parent)
      : state_(state), parent_(&parent), id_(parent.NextChildId()) {
    parent.AddChild(this);
  }
  ~ChildBase() override {
    // Off the parent's list first: destroying the window makes Windows ask the parent about it.
    if (parent_) parent_->RemoveChild(this);
    DestroyHwnd();
    if (brush_) DeleteObject(brush_);
  }

  HWND Hwnd() const override { return hwnd_; }
  int Id() const override { return id_; }
  void ParentGone() override { parent_ = nullptr; }

  LRESULT OnCtlColor(HDC dc) override {
    SetTextColor(dc, text_);
    SetBkColor(dc, background_);
    if (!brush_) brush_ = CreateSolidBrush(background_);
    return reinterpret_cast<LRESULT>(brush_);
  }

 protected:
  void Attach(HWND hwnd) {
    hwnd_ = hwnd;
    if (hwnd_)
      SetWindowSubclass(hwnd_, &ChildBase::SubclassProc, kSubclassId,
                        reinterpret_cast<DWORD_PTR>(this));
  }
  void DestroyHwnd() {
    if (!hwnd_) return;
    HWND hwnd = hwnd_;
    RemoveWindowSubclass(hwnd, &ChildBase::SubclassProc, kSubclassId);
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
  }
  void SetColours(Color text, Color background) {
    text_ = Opaque(text, RGB(0, 0, 0));
    background_ = Opaque(background, RGB(255, 255, 255));
    if (brush_) DeleteObject(brush_);
    brush_ = nullptr;
  }
  HWND ParentHwnd() const { return parent_ ? parent_->Hwnd() : nullptr; }

  // True when the key was handled here. Enter and Esc go to the parent window unless the
  // control itself uses them (an open drop-down list).
  virtual bool KeepsEnterAndEscape() const { return false; }

  BackendState& state_;
  NativeWindow* parent_;
  HWND hwnd_ = nullptr;
  int id_;
  COLORREF text_ = RGB(0, 0, 0);
  COLORREF background_ = RGB(255, 255, 255);
  HBRUSH brush_ = nullptr;
  std::function<void(bool)> onTab_;

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR ref) {
    auto* self = reinterpret_cast<ChildBase*>(ref);
    switch (msg) {
      case WM_GETDLGCODE:
        return DefSubclassProc(hwnd, msg, wParam, lParam) | DLGC_WANTALLKEYS;
      case WM_KEYDOWN:
        if (wParam == VK_TAB) {
          if (self->onTab_) self->onTab_((GetKeyState(VK_SHIFT) & 0x8000) != 0);
          return 0;
        }
        if ((wParam == VK_RETURN || wParam == VK_ESCAPE) && !self->KeepsEnterAndEscape()) {
          if (self->parent_) self->parent_->ForwardKey(msg, wParam, lParam);
          return 0;
        }
        break;
      case WM_CHAR:
        // Swallowed so the control does not beep at characters it cannot take.
        if (wParam == L'\t') return 0;
        if ((wParam == L'\r' || wParam == L'\n' || wParam == 0x1B) &&
            !self->KeepsEnterAndEscape()) {
          return 0;
        }
        break;
      case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &ChildBase::SubclassProc, kSubclassId);
        if (self->hwnd_ == hwnd) self->hwnd_ = nullptr;
        break;
      default:
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
  }
};

class EditChild : public ChildBase, public INativeEdit {
 public:
  EditChild(BackendState& state, NativeWindow& parent) : ChildBase(state, parent) {
    Attach(CreateWindowExW(
        0, L"EDIT", L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | ES_AUTOHSCROLL | ES_LEFT, 0, 0, 0, 0,
        parent.Hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), state.instance,
        nullptr));
  }

  bool Valid() const { return hwnd_ != nullptr; }

  void SetRect(const Rect& r) override {
    rect_ = r;
    Layout();
  }
  void SetVisible(bool visible) override {
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
  }
  void SetEnabled(bool enabled) override {
    if (hwnd_) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
  }
  void SetText(const std::wstring& text) override {
    if (!hwnd_) return;
    settingText_ = true;
    SetWindowTextW(hwnd_, text.c_str());
    settingText_ = false;
  }
  std::wstring GetText() const override {
    if (!hwnd_) return {};
    const int length = GetWindowTextLengthW(hwnd_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd_, &text[0], length + 1);
    text.resize(static_cast<size_t>(std::max(0, got)));
    return text;
  }
  void SetFont(const FontSpec& font, Color text, Color background) override {
    SetColours(text, background);
    if (!hwnd_) return;
    const std::wstring sample = GetText();
    HFONT hfont = state_.FontFor(font, sample.empty() ? std::wstring(L"C:\\") : sample);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(hfont), TRUE);
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, hfont);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    lineHeight_ = tm.tmHeight;
    Layout();
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  void SetFocus() override {
    if (hwnd_) ::SetFocus(hwnd_);
  }
  bool HasFocus() const override { return hwnd_ && GetFocus() == hwnd_; }
  void SetRtl(bool rtl) override {
    if (!hwnd_) return;
    LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE) & ~static_cast<LONG_PTR>(ES_RIGHT);
    LONG_PTR ex = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) &
                  ~static_cast<LONG_PTR>(WS_EX_RTLREADING | WS_EX_RIGHT | WS_EX_LEFTSCROLLBAR);
    if (rtl) {
      style |= ES_RIGHT;
      ex |= WS_EX_RTLREADING | WS_EX_RIGHT | WS_EX_LEFTSCROLLBAR;
    }
    SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex);
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  void SetOnChange(std::function<void()> onChange) override { onChange_ = std::move(onChange); }
  void SetOnTab(std::function<void(bool)> onTab) override { onTab_ = std::move(onTab); }

  void OnCommand(int code) override {
    if (code == EN_CHANGE && !settingText_ && onChange_) onChange_();
  }

 private:
  // A one-line edit draws its text at the top: the control is as high as a line and centred
  // in the box the toolkit gives (the toolkit paints the box around it).
  void Layout() {
    if (!hwnd_) return;
    const int h = lineHeight_ > 0 ? std::min(rect_.Height(), lineHeight_ + 2) : rect_.Height();
    const int top = rect_.top + (rect_.Height() - h) / 2;
    SetWindowPos(hwnd_, nullptr, rect_.left, top, rect_.Width(), h, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  Rect rect_;
  int lineHeight_ = 0;
  bool settingText_ = false;
  std::function<void()> onChange_;
};

class ComboChild : public ChildBase, public INativeCombo {
 public:
  ComboChild(BackendState& state, NativeWindow& parent) : ChildBase(state, parent) { Build(); }

  bool Valid() const { return hwnd_ != nullptr; }

  void SetRect(const Rect& r) override {
    rect_ = r;
    Layout();
  }
  void SetVisible(bool visible) override {
    visible_ = visible;
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
  }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    if (hwnd_) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
  }
  void SetItems(const std::vector<std::wstring>& items) override {
    items_ = items;
    Fill();
    lastReported_ = -1;
    Measure();
    Layout();
  }
  void SetCurSel(int index) override {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    if (hwnd_) SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    lastReported_ = index;
  }
  int GetCurSel() const override {
    if (!hwnd_) return -1;
    const LRESULT sel = SendMessageW(hwnd_, CB_GETCURSEL, 0, 0);
    return sel == CB_ERR ? -1 : static_cast<int>(sel);
  }
  void SetFont(const FontSpec& font, Color text, Color background) override {
    font_ = font;
    haveFont_ = true;
    SetColours(text, background);
    if (!hwnd_) return;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(state_.FontFor(font_, L"x")), FALSE);
    Measure();
    Layout();
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  void SetFocus() override {
    if (hwnd_) ::SetFocus(hwnd_);
  }
  bool HasFocus() const override { return hwnd_ && GetFocus() == hwnd_; }
  void SetRtl(bool rtl) override {
    if (rtl == rtl_) return;
    rtl_ = rtl;
    // The drop-down list takes its layout when the combo is created: build it anew.
    const int sel = GetCurSel();
    const bool focused = HasFocus();
    DestroyHwnd();
    Build();
    SetCurSel(sel);
    if (focused) SetFocus();
  }
  void SetOnSelect(std::function<void(int)> onSelect) override { onSelect_ = std::move(onSelect); }
  void SetOnTab(std::function<void(bool)> onTab) override { onTab_ = std::move(onTab); }

  void OnCommand(int code) override {
    // Moving through the open list with the keys changes the selection at every step; the
    // choice counts once the list closes on it (or at once while the list is closed).
    if (code == CBN_SELCHANGE && !Dropped()) Report();
    if (code == CBN_CLOSEUP) Report();
  }

  bool OnMeasureItem(MEASUREITEMSTRUCT* item) override {
    item->itemHeight = static_cast<UINT>(itemHeight_);
    return true;
  }

  bool OnDrawItem(const DRAWITEMSTRUCT& item) override {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool field = (item.itemState & ODS_COMBOBOXEDIT) != 0;
    const bool highlight = selected && (!field || GetFocus() == hwnd_);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const COLORREF bg = highlight ? GetSysColor(COLOR_HIGHLIGHT) : background_;
    COLORREF fg = highlight ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text_;
    if (disabled) fg = GetSysColor(COLOR_GRAYTEXT);
    HBRUSH brush = CreateSolidBrush(bg);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
    if (item.itemID != static_cast<UINT>(-1) && item.itemID < items_.size()) {
      const std::wstring& text = items_[item.itemID];
      HGDIOBJ old = SelectObject(dc, state_.FontFor(font_, text));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, fg);
      RECT box = rc;
      box.left += 4;
      box.right -= 4;
      // In a mirrored (right-to-left) control "left" is the visual right already.
      UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
      // Right-to-left names are short; the ellipsis would be placed from a width measured
      // before shaping, which cuts joined Arabic text.
      if (!rtl_) flags |= DT_END_ELLIPSIS;
      if (rtl_) flags |= DT_RTLREADING | ((GetLayout(dc) & LAYOUT_RTL) ? DT_LEFT : DT_RIGHT);
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, flags);
      SelectObject(dc, old);
    }
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
      DrawFocusRect(dc, &rc);
    }
    return true;
  }

 protected:
  bool KeepsEnterAndEscape() const override { return Dropped(); }

 private:
  bool Dropped() const { return hwnd_ && SendMessageW(hwnd_, CB_GETDROPPEDSTATE, 0, 0) != 0; }

  void Build() {
    if (!parent_ || !parent_->Hwnd()) return;
    // Not mirrored (WS_EX_LAYOUTRTL): wine places text in a mirrored owner-drawn field by its
    // unshaped width and cuts joined Arabic; right-aligned right-to-left items read the same.
    Attach(CreateWindowExW(0, L"COMBOBOX", L"",
                           WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_CLIPSIBLINGS | CBS_DROPDOWNLIST |
                               CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | (visible_ ? WS_VISIBLE : 0) |
                               (enabled_ ? 0 : WS_DISABLED),
                           rect_.left, rect_.top, rect_.Width(), rect_.Height(), parent_->Hwnd(),
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), state_.instance,
                           nullptr));
    if (!hwnd_) return;
    if (haveFont_) {
      SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(state_.FontFor(font_, L"x")), FALSE);
    }
    Fill();
    Measure();
    Layout();
  }

  void Fill() {
    if (!hwnd_) return;
    SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
    for (const auto& item : items_) {
      SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
  }

  // One item height for all (CBS_OWNERDRAWFIXED): the tallest of the faces the items need
  // (CJK faces have taller lines than Latin ones at the same size).
  void Measure() {
    int height = 0;
    HDC dc = GetDC(hwnd_);
    std::vector<std::wstring> samples = items_;
    samples.push_back(L"x");
    for (const auto& sample : samples) {
      HGDIOBJ old = SelectObject(dc, state_.FontFor(font_, sample));
      TEXTMETRICW tm{};
      GetTextMetricsW(dc, &tm);
      SelectObject(dc, old);
      height = std::max<int>(height, tm.tmHeight);
    }
    ReleaseDC(hwnd_, dc);
    itemHeight_ = std::max(16, height + 4);
    if (hwnd_) SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, itemHeight_);
  }

  void Layout() {
    if (!hwnd_ || rect_.IsEmpty()) return;
    const int visible =
        std::max(1, std::min<int>(kMaxVisibleItems, static_cast<int>(items_.size())));
    SendMessageW(hwnd_, CB_SETMINVISIBLE, static_cast<WPARAM>(visible), 0);
    // The window's own height is the closed field plus the open list.
    SetWindowPos(hwnd_, nullptr, rect_.left, rect_.top, rect_.Width(),
                 rect_.Height() + visible * itemHeight_ + 2, SWP_NOZORDER | SWP_NOACTIVATE);
    // Make the closed field fill the toolkit's box: set its height, see what the frame adds.
    int field = std::max(8, rect_.Height() - 6);
    for (int i = 0; i < 2; ++i) {
      SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
      RECT wr;
      GetWindowRect(hwnd_, &wr);
      const int closed = wr.bottom - wr.top;
      if (closed == rect_.Height()) break;
      field = std::max(8, field + rect_.Height() - closed);
    }
  }

  void Report() {
    const int sel = GetCurSel();
    if (sel == lastReported_) return;
    lastReported_ = sel;
    if (onSelect_ && sel >= 0) onSelect_(sel);
  }

  Rect rect_;
  FontSpec font_;
  bool haveFont_ = false;
  bool rtl_ = false;
  bool visible_ = true;
  bool enabled_ = true;
  int itemHeight_ = 20;
  int lastReported_ = -1;
  std::vector<std::wstring> items_;
  std::function<void(int)> onSelect_;
};

}  // namespace

std::unique_ptr<INativeEdit> CreateEditChild(BackendState& state, NativeWindow& parent) {
  auto edit = std::make_unique<EditChild>(state, parent);
  if (!edit->Valid()) return nullptr;
  return edit;
}

std::unique_ptr<INativeCombo> CreateComboChild(BackendState& state, NativeWindow& parent) {
  auto combo = std::make_unique<ComboChild>(state, parent);
  if (!combo->Valid()) return nullptr;
  return combo;
}

}  // namespace win32
}  // namespace uikit
