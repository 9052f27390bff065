#pragma once
// TControl and TWinControl: the visual tree. A control has a Parent (the container that shows
// it) besides its Owner (who destroys it). Windowed controls can hold the focus and receive keys;
// only the form's focus manager moves the focus.
#include "platform/rtl/component.h"
#include "platform/rtl/exceptions.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kdr {

class TControl;
class TWinControl;
class TForm;

// A control asked to do what its state forbids (focus a hidden control, show a visible form modally).
class EInvalidOperation : public Exception {
public:
  using Exception::Exception;
};

using TNotifyEvent = std::function<void(TComponent *Sender)>;

// Colours: the system colours the screens use, and a few plain ones.
using TColor = std::uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clWindow = 0xFF000005;
inline constexpr TColor clWindowText = 0xFF000008;
inline constexpr TColor clHighlight = 0xFF00000D;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clInfoBk = 0xFF000018;
// "clWindow", "clInfoBk"... or "$00RRGGBB" for a plain colour.
std::string colorToString(TColor c);

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
using enum TAlign;

// Virtual key codes seen by OnKeyDown.
inline constexpr int VK_BACK = 8;
inline constexpr int VK_TAB = 9;
inline constexpr int VK_RETURN = 13;
inline constexpr int VK_ESCAPE = 27;
inline constexpr int VK_END = 35;
inline constexpr int VK_HOME = 36;
inline constexpr int VK_LEFT = 37;
inline constexpr int VK_UP = 38;
inline constexpr int VK_RIGHT = 39;
inline constexpr int VK_DOWN = 40;
inline constexpr int VK_INSERT = 45;
inline constexpr int VK_DELETE = 46;
inline constexpr int VK_F2 = 113;
inline constexpr int VK_F4 = 115;
inline constexpr int VK_F5 = 116;

enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
struct TShiftState {
  unsigned bits = 0;
  TShiftState() = default;
  TShiftState(TShiftFlag f) : bits(f) {}
  TShiftState(std::initializer_list<TShiftFlag> flags) {
    for (auto f : flags) bits |= f;
  }
  bool contains(TShiftFlag f) const { return (bits & f) != 0; }
  bool empty() const { return bits == 0; }
};

using TKeyPressEvent = std::function<void(TComponent *Sender, char32_t &Key)>;
using TKeyEvent = std::function<void(TComponent *Sender, int &Key, TShiftState Shift)>;

class TControl : public TComponent {
public:
  explicit TControl(TComponent *owner);
  ~TControl() override;
  std::string className() const override { return "TControl"; }

  TWinControl *Parent() const { return parent_; }
  void SetParent(TWinControl *parent);
  // Moves this control just before sibling among their parent's children (the order toolbars and
  // dumps show); raises EInvalidOperation when sibling is not a child of the same parent.
  void placeBefore(TControl *sibling);
  // The form this control sits on (itself for a form), or null.
  TForm *parentForm() const;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  // Enabled and visible up to the form (the form itself excluded): a user can reach it.
  bool reachable() const;

  TColor Color() const { return color_; }
  void SetColor(TColor c);
  // Caption and Text are one property, as in the classic library.
  const std::string &Caption() const { return text_; }
  void SetCaption(const std::string &s) { SetText(s); }
  virtual std::string Text() const { return text_; }
  virtual void SetText(const std::string &s);
  const std::string &Hint() const { return hint_; }
  void SetHint(const std::string &s);
  bool FontBold() const { return bold_; }
  void SetFontBold(bool b);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  int Width() const { return width_; }
  void SetWidth(int w);
  int Height() const { return height_; }
  void SetHeight(int h);

  TNotifyEvent OnClick;

  // Pressing the control with the mouse, after the user door checked it may be used.
  virtual void click();
  // One line of state for the form dump (without name and class).
  virtual std::string dumpState() const;

  // Makes the peer of this control and of its children when a widget set is installed.
  void ensurePeers();

protected:
  // The stored text changed (code or user); descendants fire OnChange here.
  virtual void textChanged() {}
  void setTextSilently(const std::string &s) { text_ = s; }

private:
  friend class TWinControl;
  TWinControl *parent_ = nullptr;
  bool enabled_ = true;
  bool visible_ = true;
  TColor color_ = clBtnFace;
  std::string text_;
  std::string hint_;
  bool bold_ = false;
  TAlign align_ = alNone;
  int width_ = 0;
  int height_ = 0;
};

class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent *owner);
  ~TWinControl() override;
  std::string className() const override { return "TWinControl"; }

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl *Controls(int i) const { return controls_.at(i); }
  // True when c is this control or lies inside it.
  bool contains(const TControl *c) const;

  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v);
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int v);
  // The windowed children in tab order.
  std::vector<TWinControl *> tabList() const;
  // The unaligned children read as a form: each label starts a row, the labels share one column
  // and the controls of a row follow it. Off, they simply flow in rows.
  bool LabelColumn() const { return labelColumn_; }
  void SetLabelColumn(bool on);

  virtual bool CanFocus() const;
  // A mouse click focuses the control; containers take no focus from a click.
  virtual bool focusOnClick() const { return true; }
  bool Focused() const;
  // Moves the focus here through the form's focus manager; raises EInvalidOperation when the
  // control, an ancestor or the form is disabled or invisible.
  void SetFocus();

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyDown;

  // Run by the focus manager. Data-aware and masked controls do their own work around the handler.
  virtual void doEnter();
  virtual void doExit();
  // Key entry: the user door calls these for the focused control.
  // keyDown fires OnKeyDown, then the default action unless the key was zeroed; it returns true
  // when the key was consumed. keyPress fires OnKeyPress, then types the character unless zeroed.
  bool keyDown(int key, TShiftState shift);
  void keyPress(char32_t key);
  // Told by the focus manager; updates the peer.
  virtual void focusChanged(bool focused);

protected:
  // A child was placed in or taken out of this container.
  virtual void controlAdded(TControl * /*c*/) {}
  virtual void controlRemoved(TControl * /*c*/) {}
  virtual bool defaultKeyDown(int & /*key*/, TShiftState /*shift*/) { return false; }
  virtual void defaultKeyPress(char32_t /*key*/) {}

private:
  friend class TControl;
  std::vector<TControl *> controls_;
  bool tabStop_ = false;
  int tabOrder_ = 0;
  bool labelColumn_ = false;
};

// Makes a control owned by owner, names it and sets it on parent.
template <class T> T *placed(TComponent *owner, std::string name, TWinControl *parent) {
  T *control = make<T>(owner, std::move(name));
  control->SetParent(parent);
  return control;
}

} // namespace kdr
