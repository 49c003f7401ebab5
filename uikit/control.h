// The control tree of a toolkit window: the controls a layout file names, their attributes,
// layout, painting and input.
//
// A Control is created by the layout builder from its element ("Button", "Text", ...) and
// lives in its window's tree (the parent owns its children). Every attribute of the layout
// dialect (uikit/README.md) goes through SetAttribute; the raw text stays readable through
// GetAttribute so code may read skin values the toolkit does not interpret.
//
// Units: fixed sizes, paddings and insets are logical pixels (96 DPI); GetPos() is the
// control's rectangle in device pixels, client coordinates of its window.
//
// Threading: window thread only, except Progress::SetValue/GetValue (any thread).
// Ownership: a Container owns its children (unique_ptr); Parent() and Window are plain
// back pointers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "uikit/backend.h"
#include "uikit/canvas.h"
#include "uikit/geometry.h"
#include "uikit/markup.h"

namespace uikit {

class Window;


enum class ControlKind {
  kControl,
  kLabel,
  kText,
  kButton,
  kOption,
  kCheckBox,
  kCombo,
  kEdit,
  kProgress,
  kVerticalLayout,
  kHorizontalLayout,
  kTabLayout,
  kContainer,
};

// The element name of a kind ("Button").
const wchar_t* KindName(ControlKind kind);

// What the window tells a control about input. Points are device pixels, client coordinates.
struct ControlEvent {
  enum class Type {
    kMouseEnter,
    kMouseLeave,
    kMouseMove,
    kButtonDown,
    kButtonUp,   // released over the control that was pressed
    kClick,      // press and release over the same control, or Space/Enter, or a screen reader
    kKeyDown,
    kChar,
    kSetFocus,
    kKillFocus,
    kWheel,
  };
  Type type = Type::kMouseMove;
  Point pt;
  int key = 0;
  uint32_t modifiers = 0;
  wchar_t ch = 0;
  int wheelDelta = 0;
  int index = -1;  // kClick from a screen reader: the link to follow
};

// Box values of the dialect: "l,t,r,b".
struct Insets {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

class Control {
 public:
  explicit Control(ControlKind kind = ControlKind::kControl);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind Kind() const { return kind_; }
  const std::wstring& Name() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }

  virtual std::wstring GetText() const { return text_; }
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetToolTip() const { return tooltip_; }
  // What a screen reader reads: `accessiblename`, else the text without markup.
  std::wstring AccessibleName() const;

  bool IsVisible() const { return visible_; }
  // Visible and every parent visible.
  bool IsVisibleInTree() const;
  virtual void SetVisible(bool visible);
  bool IsEnabled() const { return enabled_; }
  bool IsEnabledInTree() const;
  virtual void SetEnabled(bool enabled);

  const std::wstring& GetBkImage() const { return bkImage_; }
  void SetBkImage(const std::wstring& image);
  Color GetBkColor() const { return bkColor_; }
  void SetBkColor(Color c);
  Color GetBorderColor() const { return borderColor_; }
  void SetBorderColor(Color c);

  // Logical pixels; 0 means "not fixed" (takes a share of the rest).
  void SetFixedWidth(int width);
  void SetFixedHeight(int height);
  int GetFixedWidth() const { return fixedWidth_; }
  int GetFixedHeight() const { return fixedHeight_; }
  void SetMinWidth(int v);
  void SetMaxWidth(int v);
  void SetMinHeight(int v);
  void SetMaxHeight(int v);
  int GetMinWidth() const { return minWidth_; }
  int GetMaxWidth() const { return maxWidth_; }
  int GetMinHeight() const { return minHeight_; }
  int GetMaxHeight() const { return maxHeight_; }
  const Insets& GetPadding() const { return padding_; }
  void SetPadding(const Insets& p);
  bool IsFloat() const { return float_; }
  // The `pos` of a floating control, logical pixels inside its parent.
  const Rect& GetFloatPos() const { return floatPos_; }
  void SetFloatPos(const Rect& pos);

  // Device pixels in the window's client area (laid out first when the layout is stale).
  Rect GetPos() const;

  Control* Parent() const { return parent_; }
  Window* GetWindow() const { return window_; }

  // The raw attribute text from the skin (or the last SetAttribute); empty when absent.
  std::wstring GetAttribute(const std::wstring& name) const;
  bool HasAttribute(const std::wstring& name) const;
  // Applies one attribute of the dialect. False for an attribute this kind does not know
  // (the value is still kept for GetAttribute).
  bool SetAttribute(const std::wstring& name, const std::wstring& value);

  int GetFont() const { return font_; }  // -1: the window's default font
  void SetFont(int index);
  Color GetTextColor() const { return textColor_; }
  void SetTextColor(Color c);
  Color GetDisabledTextColor() const { return disabledTextColor_; }
  void SetDisabledTextColor(Color c);
  // kAlign*/kVCenter/kBottom/kWordBreak/kEndEllipsis bits used for the text.
  uint32_t GetTextStyle() const { return textStyle_; }
  void SetTextStyle(uint32_t format);
  const Insets& GetTextPadding() const { return textPadding_; }
  void SetTextPadding(const Insets& p);
  bool IsHandCursor() const { return handCursor_; }
  // A picture (plain Control) with the hand cursor takes presses and sends "click"; without it
  // a press there is the window's (a caption drag). Other kinds keep their own click handling.
  void SetHandCursor(bool hand) { handCursor_ = hand; }

  // Keyboard focus: interactive kinds take it by default, `tabstop` overrides.
  virtual bool IsTabStop() const;
  bool IsFocused() const;
  void SetFocus();
  // Whether a press here is the control's own (not a caption drag): enabled interactive
  // controls, and controls with `cursor="hand"`.
  virtual bool IsInteractive() const;

  // Repaints the control's rectangle.
  void Invalidate();
  // The layout of the window is stale (sizes, visibility, text that changes size).
  void NeedLayout();

  // ---- used by the window, the layout engine and the painter ----
  virtual void SetPos(const Rect& pos);
  // The size the control would like in the flow, device pixels; a component of 0 means "no
  // preference" (take a share). `available` is the room the parent offers.
  virtual Size EstimateSize(Size available) const;
  virtual void Paint(ICanvas& canvas, const Rect& clip);
  // The control that takes input at p (device pixels): the deepest visible child or this.
  virtual Control* FindAt(Point p);
  virtual bool OnEvent(const ControlEvent& event);
  // Attaches the control (and its children) to a window; called by Container::Add.
  virtual void Attach(Window* window, Control* parent);
  // Visits the control and its descendants in document order.
  virtual void ForEach(const std::function<void(Control&)>& visit);
  virtual IWindowEvents::AccessibleItem::Role AccessibleRole() const;
  // The window's native window exists (again): create native children (Edit, Combo).
  virtual void OnWindowCreated();
  // After each layout pass: native children follow their control's place and visibility.
  virtual void AfterLayout();
  // The window's fonts changed (face of the language, DPI): native children take them.
  virtual void OnFontsChanged();
  // Tab inside the control (between the links of a text); false when the focus leaves it.
  virtual bool MoveInnerFocus(bool backwards);
  // Whether the cursor over p is a hand (links, `cursor="hand"`).
  virtual bool WantsHandCursor(Point p) const;
  // Something drawn over the whole tree (an open drop list); empty when none.
  virtual Rect OverlayRect() const { return Rect{}; }
  virtual void PaintOverlay(ICanvas& canvas) { (void)canvas; }
  // The part of GetPos() that its parents let show (device pixels).
  Rect VisibleRect() const;
  // Hover state helpers kept by the window.
  bool IsHot() const { return hot_; }
  bool IsPushed() const { return pushed_; }
  void SetHot(bool hot);
  void SetPushed(bool pushed);

 protected:
  // Kind-specific attributes; the base handles the common ones. True when known.
  virtual bool ApplyAttribute(const std::wstring& name, const std::wstring& value);
  double Scale() const;
  int ScaleValue(int logical) const;
  FontSpec ResolveFont(int index) const;
  Color CurrentTextColor() const;
  // Background colour, background image, border.
  void PaintBackground(ICanvas& canvas);
  void PaintBorder(ICanvas& canvas);
  // Draws an image attribute value (a name or "file='..' source='..' corner='..'") into dest.
  // False when there is no such image (nothing drawn).
  bool DrawImageAttr(ICanvas& canvas, const std::wstring& value, const Rect& dest);
  void PaintPlainText(ICanvas& canvas, const std::wstring& text, Color color);
  Rect TextBox() const;

  ControlKind kind_;
  std::wstring name_;
  std::wstring text_;
  std::wstring tooltip_;
  std::wstring accessibleName_;
  bool visible_ = true;
  bool enabled_ = true;
  std::wstring bkImage_;
  Color bkColor_ = kTransparent;
  Color borderColor_ = kTransparent;
  int borderSize_ = 0;
  int borderRound_ = 0;
  int fixedWidth_ = 0;
  int fixedHeight_ = 0;
  int minWidth_ = 0;
  int maxWidth_ = 0;
  int minHeight_ = 0;
  int maxHeight_ = 0;
  Insets padding_;
  bool float_ = false;
  Rect floatPos_;
  int font_ = -1;
  Color textColor_ = kBlack;
  Color disabledTextColor_ = 0xFFA7A6AAu;
  uint32_t textStyle_ = kAlignLeft | kVCenter | kSingleLine;
  Insets textPadding_;
  bool handCursor_ = false;
  int tabStop_ = -1;  // -1: the kind decides
  bool hot_ = false;
  bool pushed_ = false;
  Rect pos_;
  Control* parent_ = nullptr;
  Window* window_ = nullptr;
  std::map<std::wstring, std::wstring> attributes_;
};

// Text in one font and colour (markup runs when `showhtml` is set).
class Label : public Control {
 public:
  explicit Label(ControlKind kind = ControlKind::kLabel) : Control(kind) {}
  bool ShowsMarkup() const { return showHtml_; }
  void SetShowMarkup(bool show);
  void SetText(const std::wstring& text) override;
  Size EstimateSize(Size available) const override;
  void Paint(ICanvas& canvas, const Rect& clip) override;
  bool OnEvent(const ControlEvent& event) override;
  bool IsTabStop() const override;
  bool IsInteractive() const override;
  bool MoveInnerFocus(bool backwards) override;
  bool WantsHandCursor(Point p) const override;
  IWindowEvents::AccessibleItem::Role AccessibleRole() const override;
  // The text of link index (without markup).
  std::wstring GetLinkText(int index) const;

  // Links of the markup (text order from 0) and where they were last drawn (device pixels).
  int GetLinkCount() const;
  Rect GetLinkRect(int index) const;
  int HotLink() const { return hotLink_; }
  int FocusedLink() const { return focusedLink_; }
  // The colour a link run is drawn in: its own "{c}" colour, else `linkhovercolor` while the
  // pointer is over it, else `linkcolor`, else the text colour.
  Color LinkColor(const MarkupRun& run) const;

 protected:
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintMarkup(ICanvas& canvas);
  int LinkAt(Point p) const;
  void ParseRuns();

  bool showHtml_ = false;
  std::vector<MarkupRun> runs_;
  int linkCount_ = 0;
  std::vector<std::vector<Rect>> linkRects_;  // per link, the boxes its runs took
  int hotLink_ = -1;
  int pressedLink_ = -1;
  int focusedLink_ = -1;
  Color linkColor_ = 0;
  Color linkHoverColor_ = 0;
  bool hasLinkColor_ = false;
  bool hasLinkHoverColor_ = false;
};

// Text with inline markup and links ("link" notifications with the link index).
class Text : public Label {
 public:
  Text();
};

// A clickable text or picture with state images. Sends "click".
class Button : public Label {
 public:
  explicit Button(ControlKind kind = ControlKind::kButton);
  void Paint(ICanvas& canvas, const Rect& clip) override;
  bool OnEvent(const ControlEvent& event) override;
  bool IsTabStop() const override;
  bool IsInteractive() const override;
  IWindowEvents::AccessibleItem::Role AccessibleRole() const override;
  // What a click does after the "click" notification was sent (Option: select).
  virtual void Activate();

 protected:
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  // The state image for the current state; empty when none applies.
  virtual std::wstring StateImage() const;
  virtual Color StateTextColor() const;

  std::wstring normalImage_, hotImage_, pushedImage_, disabledImage_, focusedImage_;
  Color hotTextColor_ = kTransparent;
  Color pushedTextColor_ = kTransparent;
};

// A radio button: selecting one Option of a `group` clears the others of the window.
class Option : public Button {
 public:
  explicit Option(ControlKind kind = ControlKind::kOption);
  bool IsSelected() const { return selected_; }
  // notify: send "selectchanged" when the state changed.
  virtual void Selected(bool selected, bool notify = false);
  bool GetCheck() const { return selected_; }
  void SetCheck(bool checked, bool notify = false) { Selected(checked, notify); }
  const std::wstring& GetGroup() const { return group_; }
  void SetGroup(const std::wstring& group) { group_ = group; }
  void Activate() override;
  IWindowEvents::AccessibleItem::Role AccessibleRole() const override;

 protected:
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  std::wstring StateImage() const override;
  Color StateTextColor() const override;
  void Attach(Window* window, Control* parent) override;

  bool selected_ = false;
  std::wstring group_;
  std::wstring selectedImage_, selectedHotImage_;
  Color selectedTextColor_ = kTransparent;
};

// A check box: an Option without a group; a click toggles it.
class CheckBox : public Option {
 public:
  CheckBox();
  void Activate() override;
  IWindowEvents::AccessibleItem::Role AccessibleRole() const override;
};

// A drop-down list. Items may be hidden (they keep their index). Sends "itemselect" with
// the item index when the user picks an item.
class Combo : public Label {
 public:
  Combo();
  ~Combo() override;
  int GetCount() const { return static_cast<int>(items_.size()); }
  int GetCurSel() const { return curSel_; }
  // False for an index out of range or a hidden item; notify sends "itemselect".
  bool SelectItem(int index, bool notify = false);
  int AddItem(const std::wstring& text);  // returns the new index
  void RemoveAll();
  std::wstring GetItemText(int index) const;
  void SetItemText(int index, const std::wstring& text);
  bool IsItemVisible(int index) const;
  void SetItemVisible(int index, bool visible);
  bool IsDropped() const { return dropped_; }
  // The own list (when the backend has no native combo): open it, close it.
  void ShowDropList(bool show);

  std::wstring GetText() const override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void SetPos(const Rect& pos) override;
  void Paint(ICanvas& canvas, const Rect& clip) override;
  bool OnEvent(const ControlEvent& event) override;
  Control* FindAt(Point p) override;
  bool IsTabStop() const override;
  bool IsInteractive() const override;
  void OnWindowCreated() override;
  void AfterLayout() override;
  void OnFontsChanged() override;
  Rect OverlayRect() const override;
  void PaintOverlay(ICanvas& canvas) override;
  IWindowEvents::AccessibleItem::Role AccessibleRole() const override;
  INativeCombo* Native() const { return native_.get(); }
  // The drop list's rectangle (device pixels) when open.
  Rect DropRect() const;
  int HotItem() const { return hotItem_; }

 protected:
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  struct Item {
    std::wstring text;
    bool visible = true;
  };
  void SyncNative();
  void OnNativeSelect(int nativeIndex);
  int ItemAtDrop(Point p) const;
  std::vector<int> VisibleItems() const;

  std::vector<Item> items_;
  int curSel_ = -1;
  bool dropped_ = false;
  int hotItem_ = -1;
  std::unique_ptr<INativeCombo> native_;
  std::wstring normalImage_, hotImage_, pushedImage_;
  int itemFont_ = -1;
  Color itemTextColor_ = kBlack;
  Size dropBoxSize_{0, 150};
};

// A text box: a native edit child from the backend when it has one (text through
// GetText/SetText either way). Sends "textchanged" when the user changed the text.
class Edit : public Label {
 public:
  Edit();
  ~Edit() override;
  std::wstring GetText() const override;
  void SetText(const std::wstring& text) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void SetPos(const Rect& pos) override;
  void Paint(ICanvas& canvas, const Rect& clip) override;
  bool OnEvent(const ControlEvent& event) override;
  bool IsTabStop() const override;
  bool IsInteractive() const override;
  void OnWindowCreated() override;
  void AfterLayout() override;
  void OnFontsChanged() override;
  IWindowEvents::AccessibleItem::Role AccessibleRole() const override;
  bool IsReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  int GetMaxChar() const { return maxChar_; }
  INativeEdit* Native() const { return native_.get(); }

 protected:
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  void SyncNative();
  std::unique_ptr<INativeEdit> native_;
  bool readOnly_ = false;
  int maxChar_ = 0;
  Color nativeBkColor_ = kWhite;
};

// A progress bar: the fore image (or colour) drawn over the background up to the value.
class Progress : public Label {
 public:
  Progress();
  int GetValue() const { return value_.load(); }
  // Any thread. From another thread the repaint is posted to the window thread.
  void SetValue(int value);
  int GetMinValue() const { return min_.load(); }
  int GetMaxValue() const { return max_.load(); }
  void SetRange(int min, int max);
  void Paint(ICanvas& canvas, const Rect& clip) override;
  IWindowEvents::AccessibleItem::Role AccessibleRole() const override;

 protected:
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  std::atomic<int> value_{0};
  std::atomic<bool> repaintPosted_{false};
  std::atomic<int> min_{0};  // read by SetValue on any thread
  std::atomic<int> max_{100};
  std::wstring foreImage_;
  Color foreColor_ = kTransparent;
};

// Children on top of one another, each filling the inner rectangle (less its padding);
// floating children at their `pos`. Base of the layouts.
// The look of the vertical scroll bars of a window, from a `Default name="ScrollBar"` element
// (the skin's scrollbar.xml). Images are image attributes (a nine-grid with `corner`); the
// colours stand in where no image is given or it does not load. The arrow buttons are not drawn.
struct ScrollBarStyle {
  enum ThumbState { kNormal, kHot, kPushed, kThumbStates };
  int width = 8;  // logical pixels
  bool showButton1 = false;
  bool showButton2 = false;
  std::wstring railImage;
  Color railColor = 0xFFF0F0F0u;
  std::wstring thumbImage[kThumbStates];  // an empty hot or pushed image falls back to normal
  Color thumbColor[kThumbStates] = {0xFFC1C1C1u, 0xFFA8A8A8u, 0xFF8F8F8Fu};
};

// Reads the attributes of a ScrollBar default into *style. A value that does not parse keeps
// the default and is logged; returns the attribute names it does not know.
std::vector<std::wstring> ParseScrollBarStyle(
    const std::vector<std::pair<std::wstring, std::wstring>>& attributes, ScrollBarStyle* style);

class Container : public Control {
 public:
  explicit Container(ControlKind kind = ControlKind::kContainer);
  ~Container() override;

  bool Add(std::unique_ptr<Control> child);
  bool AddAt(std::unique_ptr<Control> child, int index);
  // Removes and destroys the child; false when it is not a child of this container.
  bool Remove(Control* child);
  void RemoveAll();
  int GetCount() const { return static_cast<int>(children_.size()); }
  Control* GetItemAt(int index) const;
  int GetItemIndex(const Control* child) const;

  const Insets& GetInset() const { return inset_; }
  void SetInset(const Insets& inset);
  int GetChildPadding() const { return childPadding_; }
  void SetChildPadding(int padding);

  // Vertical scrolling (`vscrollbar="true"`): device pixels.
  bool HasVScroll() const { return vscroll_; }
  int GetScrollPos() const { return scrollPos_; }
  int GetScrollRange() const { return scrollRange_; }
  void SetScrollPos(int pos);
  Rect ScrollBarRect() const;
  Rect ScrollThumbRect() const;
  // The thumb's state as drawn: pushed while dragged, hot while the pointer is over it.
  ScrollBarStyle::ThumbState ThumbState() const;

  void SetPos(const Rect& pos) override;
  Size EstimateSize(Size available) const override;
  void Paint(ICanvas& canvas, const Rect& clip) override;
  Control* FindAt(Point p) override;
  bool OnEvent(const ControlEvent& event) override;
  void Attach(Window* window, Control* parent) override;
  void OnWindowCreated() override;
  void ForEach(const std::function<void(Control&)>& visit) override;
  bool IsTabStop() const override { return false; }
  bool WantsHandCursor(Point p) const override;
  // Scrolls so that child (a descendant) shows; false when no scrolling was needed.
  bool ScrollIntoView(const Control& descendant);
  bool IsInteractive() const override;

 protected:
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  // Places the flow children inside `inner` (device pixels); returns the content extent
  // along the scroll axis (for the scroll range).
  virtual int LayoutChildren(const Rect& inner);
  void PlaceFloat(Control& child, const Rect& inner);
  // The flow of the vertical and horizontal layouts along one axis.
  int FlowChildren(const Rect& inner, bool vertical);
  Rect InnerRect() const;
  const ScrollBarStyle& BarStyle() const;
  int BarWidth() const;
  void PaintScrollBar(ICanvas& canvas);

  std::vector<std::unique_ptr<Control>> children_;
  Insets inset_;
  int childPadding_ = 0;
  bool vscroll_ = false;
  int scrollPos_ = 0;
  int scrollRange_ = 0;
  bool thumbDragging_ = false;
  bool thumbHot_ = false;
  int thumbDragStart_ = 0;
  int thumbDragPos_ = 0;
};

class VerticalLayout : public Container {
 public:
  VerticalLayout();
  Size EstimateSize(Size available) const override;

 protected:
  int LayoutChildren(const Rect& inner) override;
};

class HorizontalLayout : public Container {
 public:
  HorizontalLayout();
  Size EstimateSize(Size available) const override;

 protected:
  int LayoutChildren(const Rect& inner) override;
};

// Shows one child at a time (`selectedid`). Sends "selectchanged" when the page changes.
class TabLayout : public Container {
 public:
  TabLayout();
  int GetCurSel() const { return curSel_; }
  // False for an index out of range; the same index sends nothing.
  bool SelectItem(int index);
  bool SelectItem(Control* child);

  void Paint(ICanvas& canvas, const Rect& clip) override;
  Control* FindAt(Point p) override;

 protected:
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  int LayoutChildren(const Rect& inner) override;

 private:
  int curSel_ = 0;
};

// Creates an empty control for an element name; null for a name the toolkit does not know.
std::unique_ptr<Control> CreateControl(const std::wstring& elementName);

// Attribute value parsing shared by the builder and the controls. False (out untouched) when
// the text does not parse.
bool ParseColor(const std::wstring& text, Color* out);
bool ParseInt(const std::wstring& text, int* out);
bool ParseBool(const std::wstring& text, bool* out);
bool ParseInsets(const std::wstring& text, Insets* out);
bool ParseRect(const std::wstring& text, Rect* out);
bool ParseSize(const std::wstring& text, Size* out);
// The log line of an attribute value that does not parse (the control keeps its default).
void BadValue(const Control& c, const std::wstring& name, const std::wstring& value);

}  // namespace uikit
