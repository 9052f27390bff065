#pragma once
// The standard controls: containers, labels, edits, memos, check boxes, radio buttons, combos.
#include "platform/ui/control.h"
#include "platform/ui/mask.h"

#include <string>
#include <vector>

namespace kdr {

class TPanel : public TWinControl {
public:
  explicit TPanel(TComponent *owner) : TWinControl(owner) {}
  std::string className() const override { return "TPanel"; }
  bool focusOnClick() const override { return false; }
};

class TGroupBox : public TWinControl {
public:
  explicit TGroupBox(TComponent *owner) : TWinControl(owner) {}
  std::string className() const override { return "TGroupBox"; }
  bool focusOnClick() const override { return false; }
};

class TLabel : public TControl {
public:
  explicit TLabel(TComponent *owner) : TControl(owner) {}
  std::string className() const override { return "TLabel"; }
};

class TSplitter : public TControl {
public:
  explicit TSplitter(TComponent *owner) : TControl(owner) {}
  std::string className() const override { return "TSplitter"; }
};

// An edit line: typing goes through OnKeyPress, then MaxLength, then into the text; every change
// of the text, by the user or by code, fires OnChange.
class TCustomEdit : public TWinControl {
public:
  explicit TCustomEdit(TComponent *owner);

  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  // Characters the user may type or paste; 0 is unlimited. Text set by code is never cut.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n);
  // The whole text is selected (also by Ctrl+A): the next character typed, or Delete, replaces it.
  void SelectAll() { selectedAll_ = true; }
  bool Modified() const { return modified_; }
  void SetModified(bool m) { modified_ = m; }
  // Takes the focus back after refusing to be left: that re-entry keeps the user's text and its
  // modified mark, so the user mends the text and the next exit checks it again.
  void takeFocusBack();

  TNotifyEvent OnChange;

  std::string dumpState() const override;

protected:
  void textChanged() override;
  void defaultKeyPress(char32_t key) override;
  bool defaultKeyDown(int &key, TShiftState shift) override;
  // The user is about to change the text; false refuses (data-aware controls start Edit here).
  virtual bool beginUserEdit() { return true; }
  // Types one character or deletes the last one (key 8); masked edits place by position.
  virtual void typeCharacter(char32_t key);
  void doEnter() override;
  bool reEntering() const { return reEntering_; }
  bool selectedAll_ = false;

private:
  bool readOnly_ = false;
  int maxLength_ = 0;
  bool modified_ = false;
  bool reEntering_ = false;
};

class TEdit : public TCustomEdit {
public:
  explicit TEdit(TComponent *owner) : TCustomEdit(owner) {}
  std::string className() const override { return "TEdit"; }
};

// An edit with an EditMask. Text is the value (without literals when the mask says so, trailing
// blanks dropped); EditText is what the user sees, unfilled positions as the blank character.
class TMaskEdit : public TCustomEdit {
public:
  explicit TMaskEdit(TComponent *owner) : TCustomEdit(owner) {}
  std::string className() const override { return "TMaskEdit"; }

  const std::string &EditMaskText() const { return maskText_; }
  // Re-lays the current text into the new mask (or strips the old one's literals and blanks);
  // MaxLength becomes the mask's length, or 0 when the mask is cleared.
  void SetEditMask(const std::string &mask);
  bool IsMasked() const { return !mask_.empty(); }
  std::string Text() const override;
  void SetText(const std::string &s) override;
  std::string EditText() const { return TControl::Text(); }

  std::string dumpState() const override;

protected:
  void typeCharacter(char32_t key) override;
  // A changed masked edit with required positions unfilled refuses to be left.
  void doExit() override;
  void validateEdit();

private:
  void showCells();
  std::string maskText_;
  EditMask mask_;
  std::vector<char32_t> cells_;
};

// Lines joined by CR LF, as the classic memo does.
class TMemo : public TCustomEdit {
public:
  enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
  explicit TMemo(TComponent *owner) : TCustomEdit(owner) {}
  std::string className() const override { return "TMemo"; }

  std::vector<std::string> Lines() const;
  void SetLines(const std::vector<std::string> &lines);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);

protected:
  // Enter starts a new line, where an edit line types nothing.
  void defaultKeyPress(char32_t key) override;
  void typeCharacter(char32_t key) override;

private:
  TScrollStyle scrollBars_ = TScrollStyle::ssNone;
};

// Setting Checked, by the user or by code, fires OnClick when it changes.
class TButtonControl : public TWinControl {
public:
  explicit TButtonControl(TComponent *owner);
  bool Checked() const { return checked_; }
  virtual void SetChecked(bool v);
  std::string dumpState() const override;

protected:
  bool checked_ = false;
};

class TCheckBox : public TButtonControl {
public:
  explicit TCheckBox(TComponent *owner) : TButtonControl(owner) {}
  std::string className() const override { return "TCheckBox"; }
  void click() override { SetChecked(!Checked()); }

protected:
  void defaultKeyPress(char32_t key) override;
};

// Checking one unchecks the radio buttons that share its parent; OnClick fires only for the one
// that becomes checked.
class TRadioButton : public TButtonControl {
public:
  explicit TRadioButton(TComponent *owner) : TButtonControl(owner) {}
  std::string className() const override { return "TRadioButton"; }
  void SetChecked(bool v) override;
  void click() override { SetChecked(true); }

protected:
  // Space checks it, as a click does: the choice is made without the mouse.
  void defaultKeyPress(char32_t key) override;
};

// A drop-down list of texts; choosing an item sets Text and ItemIndex and fires OnChange.
class TComboBox : public TWinControl {
public:
  explicit TComboBox(TComponent *owner);
  std::string className() const override { return "TComboBox"; }

  const std::vector<std::string> &Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  int ItemIndex() const;
  void SetItemIndex(int i);
  // The user picks an item (the user door); false when it is not in the list.
  virtual bool choose(const std::string &item);

  TNotifyEvent OnChange;
  std::string dumpState() const override;

protected:
  void textChanged() override;

private:
  std::vector<std::string> items_;
};

} // namespace kdr
