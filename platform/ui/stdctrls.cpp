#include "platform/ui/stdctrls.h"

#include "platform/rtl/utf8.h"
#include "platform/ui/forms.h"

#include <algorithm>

namespace kdr {

namespace {

std::string dropLastCharacter(const std::string &s) {
  std::size_t n = utf8::length(s);
  return n == 0 ? s : utf8::cut(s, n - 1);
}

std::string quoted(const std::string &s) { return " \"" + s + "\""; }

} // namespace

// ---- TCustomEdit

TCustomEdit::TCustomEdit(TComponent *owner) : TWinControl(owner) {
  SetTabStop(true);
  SetColor(clWindow);
}

void TCustomEdit::SetReadOnly(bool v) {
  readOnly_ = v;
  changed(Prop::ReadOnly);
}

void TCustomEdit::SetMaxLength(int n) {
  maxLength_ = n < 0 ? 0 : n;
  changed(Prop::MaxLength);
}

void TCustomEdit::textChanged() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::doEnter() {
  if (!reEntering_) modified_ = false;
  TWinControl::doEnter();
}

void TCustomEdit::takeFocusBack() {
  reEntering_ = true;
  try {
    SetFocus();
  } catch (...) {
    reEntering_ = false;
    throw;
  }
  reEntering_ = false;
}

void TCustomEdit::defaultKeyPress(char32_t key) {
  // Enter, Esc, Tab and the other control characters type nothing (no clipboard headless).
  if (readOnly_ || (key < 32 && key != 8)) return;
  if (!beginUserEdit()) return;
  typeCharacter(key);
}

bool TCustomEdit::defaultKeyDown(int &key, TShiftState shift) {
  if (key == 'A' && shift.contains(ssCtrl)) {
    SelectAll();
    return true;
  }
  if (key != VK_DELETE || readOnly_ || !selectedAll_) return false;
  if (!beginUserEdit()) return true;
  selectedAll_ = false;
  modified_ = true;
  SetText("");
  return true;
}

void TCustomEdit::typeCharacter(char32_t key) {
  std::string text = selectedAll_ ? std::string() : TControl::Text();
  selectedAll_ = false;
  if (key == 8) {
    text = dropLastCharacter(text);
  } else {
    if (maxLength_ > 0 && utf8::length(text) >= std::size_t(maxLength_)) return;
    utf8::append(text, key);
  }
  modified_ = true;
  TControl::SetText(text);
}

std::string TCustomEdit::dumpState() const {
  std::string s = quoted(Text());
  if (!Enabled()) s += " disabled";
  if (!Visible()) s += " hidden";
  if (readOnly_) s += " readonly";
  s += " " + colorToString(Color());
  return s;
}

// ---- TMaskEdit

void TMaskEdit::SetEditMask(const std::string &mask) {
  std::string value = mask_.empty() ? TControl::Text() : EditMask::filledOf(cells_);
  maskText_ = mask;
  mask_ = EditMask(mask);
  changed(Prop::EditMask);
  if (mask_.empty()) {
    cells_.clear();
    SetMaxLength(0);
    TControl::SetText(value);
    return;
  }
  SetMaxLength(mask_.length());
  cells_ = mask_.layIn(value, false);
  showCells();
}

std::string TMaskEdit::Text() const { return mask_.empty() ? TControl::Text() : mask_.valueOf(cells_); }

void TMaskEdit::SetText(const std::string &s) {
  if (mask_.empty()) return TCustomEdit::SetText(s);
  cells_ = mask_.layIn(s, mask_.saveLiterals());
  showCells();
}

void TMaskEdit::showCells() { TControl::SetText(mask_.render(cells_, mask_.blank())); }

void TMaskEdit::typeCharacter(char32_t key) {
  if (mask_.empty()) return TCustomEdit::typeCharacter(key);
  if (selectedAll_) {
    cells_ = mask_.emptyCells();
    selectedAll_ = false;
  }
  // The caret sits after the last filled position.
  int caret = static_cast<int>(cells_.size());
  while (caret > 0 && !cells_[caret - 1]) --caret;
  if (key == 8) {
    if (caret == 0) return;
    cells_[caret - 1] = 0;
  } else {
    if (caret >= static_cast<int>(cells_.size())) return;
    char32_t accepted = mask_.accept(caret, key);
    if (!accepted) return;
    cells_[caret] = accepted;
  }
  SetModified(true);
  showCells();
}

void TMaskEdit::validateEdit() {
  if (mask_.empty() || !Modified() || mask_.complete(cells_)) return;
  takeFocusBack();
  SelectAll();
  throw Exception("Valor de entrada inválido. Use a tecla Esc para abandonar as alterações.");
}

void TMaskEdit::doExit() {
  validateEdit();
  TCustomEdit::doExit();
}

std::string TMaskEdit::dumpState() const {
  std::string s = TCustomEdit::dumpState();
  if (!mask_.empty()) s += " mask=" + maskText_ + " shows" + quoted(EditText());
  return s;
}

// ---- TMemo

std::vector<std::string> TMemo::Lines() const {
  std::vector<std::string> lines;
  const std::string text = TControl::Text();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (end < text.size() || !line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void TMemo::SetLines(const std::vector<std::string> &lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  SetText(text);
}

void TMemo::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  changed(Prop::ScrollBars);
}

void TMemo::defaultKeyPress(char32_t key) {
  if (key != 13) return TCustomEdit::defaultKeyPress(key);
  if (ReadOnly() || !beginUserEdit()) return;
  typeCharacter(key);
}

void TMemo::typeCharacter(char32_t key) {
  if (key != 13) return TCustomEdit::typeCharacter(key);
  std::string text = selectedAll_ ? std::string() : TControl::Text();
  // A line break is two characters of the text, and MaxLength counts them like any other.
  if (MaxLength() > 0 && utf8::length(text) + 2 > std::size_t(MaxLength())) return;
  selectedAll_ = false;
  SetModified(true);
  TControl::SetText(text + "\r\n");
}

// ---- check boxes and radio buttons

TButtonControl::TButtonControl(TComponent *owner) : TWinControl(owner) { SetTabStop(true); }

void TButtonControl::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  changed(Prop::Checked);
  TControl::click();
}

std::string TButtonControl::dumpState() const {
  return TControl::dumpState() + (checked_ ? " checked" : " unchecked");
}

void TCheckBox::defaultKeyPress(char32_t key) {
  if (key == U' ') click();
}

void TRadioButton::defaultKeyPress(char32_t key) {
  if (key == U' ') click();
}

// A radio button speaks only when it becomes the checked one: the siblings it turns off fire
// nothing, and checking it again changes nothing.
void TRadioButton::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  changed(Prop::Checked);
  if (!v) return;
  if (Parent())
    for (int i = 0; i < Parent()->ControlCount(); ++i)
      if (auto *other = dynamic_cast<TRadioButton *>(Parent()->Controls(i)); other && other != this)
        other->SetChecked(false);
  TControl::click();
}

// ---- TComboBox

TComboBox::TComboBox(TComponent *owner) : TWinControl(owner) {
  SetTabStop(true);
  SetColor(clWindow);
}

void TComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  changed(Prop::Items);
}

int TComboBox::ItemIndex() const {
  auto it = std::find(items_.begin(), items_.end(), TControl::Text());
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TComboBox::SetItemIndex(int i) { SetText(i >= 0 && i < int(items_.size()) ? items_[i] : std::string()); }

bool TComboBox::choose(const std::string &item) {
  if (std::find(items_.begin(), items_.end(), item) == items_.end()) return false;
  SetText(item);
  return true;
}

void TComboBox::textChanged() {
  if (OnChange) OnChange(this);
}

std::string TComboBox::dumpState() const { return TControl::dumpState() + " " + colorToString(Color()); }

} // namespace kdr
