#include "platform/ui/dbctrls.h"

#include "platform/ui/application.h"
#include "platform/ui/forms.h"

namespace kdr {

// ---- TFieldDataLink

void TFieldDataLink::SetFieldName(std::string name) {
  fieldName_ = std::move(name);
  RecordChanged(nullptr);
}

TField *TFieldDataLink::Field() const {
  auto *ds = DataSet();
  return ds && Active() && !fieldName_.empty() ? ds->FindField(fieldName_) : nullptr;
}

void TFieldDataLink::RecordChanged(TField *field) {
  if (field && field != Field()) return;
  if (onDataChange) onDataChange();
  modified = false;
}

void TFieldDataLink::UpdateData() {
  if (!modified) return;
  if (onUpdateData) onUpdateData();
  modified = false;
}

// ---- FieldBinding

FieldBinding::FieldBinding(TWinControl &control, std::function<std::string()> text,
                           std::function<void(const std::string &)> show)
    : control_(control), text_(std::move(text)), show_(std::move(show)) {
  link.onDataChange = [this] { refresh(); };
  link.onUpdateData = [this] {
    if (auto *f = Field()) f->SetText(text_());
  };
  link.onFocusControl = [this] {
    if (!control_.CanFocus()) return false;
    control_.SetFocus();
    return true;
  };
}

bool FieldBinding::canModify(bool controlReadOnly) const {
  auto *f = Field();
  return f && !controlReadOnly && !f->ReadOnly() && !link.ReadOnly() && !f->DataSet().ReadOnly();
}

void FieldBinding::refresh() {
  auto *f = Field();
  refreshing_ = true;
  try {
    if (beforeShow) beforeShow(f);
    show_(!f ? std::string() : (control_.Focused() && canModify(false) ? f->Text() : f->DisplayText()));
  } catch (...) {
    refreshing_ = false;
    throw;
  }
  refreshing_ = false;
}

bool FieldBinding::beginEdit(bool controlReadOnly) {
  if (!canModify(controlReadOnly) || !link.Edit()) return false;
  link.modified = true;
  return true;
}

void FieldBinding::writeOnExit(const std::function<void()> &validate) {
  try {
    if (link.modified && validate) validate();
    link.UpdateRecord();
  } catch (...) {
    if (auto *edit = dynamic_cast<TCustomEdit *>(&control_))
      edit->takeFocusBack();
    else
      control_.SetFocus();
    throw;
  }
  refresh();
}

namespace {

// The characters a field's type lets a user type.
bool validFor(const TField *f, char32_t key) {
  if (!f || key < 32) return true;
  const bool digit = key >= U'0' && key <= U'9';
  switch (f->DataType()) {
  case FieldType::Integer:
    return digit || key == U'+' || key == U'-';
  case FieldType::Float:
    return digit || key == U'+' || key == U'-' || key == U'e' || key == U'E' || key == U',' || key == U'.';
  default:
    return true;
  }
}

} // namespace

// ---- TDBEdit

TDBEdit::TDBEdit(TComponent *owner)
    : TMaskEdit(owner), FieldBinding(
                            *this, [this] { return Text(); }, [this](const std::string &s) { SetText(s); }) {
  beforeShow = [this](TField *f) {
    const std::string mask = f ? f->EditMask() : std::string();
    if (mask != EditMaskText()) SetEditMask(mask);
    if (mask.empty() && MaxLength() == 0 && f && f->DataType() == FieldType::String) SetMaxLength(f->Size());
  };
}

void TDBEdit::typeCharacter(char32_t key) {
  if (!validFor(Field(), key)) return;
  TMaskEdit::typeCharacter(key);
}

void TDBEdit::textChanged() {
  noteTextChange();
  TMaskEdit::textChanged();
}

void TDBEdit::doEnter() {
  if (!reEntering()) refresh();
  TMaskEdit::doEnter();
}

void TDBEdit::doExit() {
  writeOnExit([this] { validateEdit(); });
  TWinControl::doExit();
}

void TDBEdit::defaultKeyPress(char32_t key) {
  if (key == 27) {
    // Esc gives the field's text back and forgets the typing.
    refresh();
    link.modified = false;
    return;
  }
  TMaskEdit::defaultKeyPress(key);
}

// ---- TDBMemo

// Like a bound edit, the memo takes its maximum length from its string field, so typing past
// what the field holds is refused at the keyboard instead of cut when written.
TDBMemo::TDBMemo(TComponent *owner)
    : TMemo(owner), FieldBinding(
                        *this, [this] { return Text(); }, [this](const std::string &s) { SetText(s); }) {
  beforeShow = [this](TField *f) {
    if (MaxLength() == 0 && f && f->DataType() == FieldType::String) SetMaxLength(f->Size());
  };
}

void TDBMemo::textChanged() {
  noteTextChange();
  TMemo::textChanged();
}

void TDBMemo::doEnter() {
  if (!reEntering()) refresh();
  TMemo::doEnter();
}

void TDBMemo::doExit() {
  writeOnExit();
  TWinControl::doExit();
}

// ---- TDBComboBox

TDBComboBox::TDBComboBox(TComponent *owner)
    : TComboBox(owner), FieldBinding(
                            *this, [this] { return Text(); }, [this](const std::string &s) { SetText(s); }) {}

bool TDBComboBox::choose(const std::string &item) {
  bool listed = false;
  for (const auto &i : Items()) listed = listed || i == item;
  if (!listed || !beginEdit(false)) return false;
  SetText(item);
  link.modified = true;
  link.UpdateRecord();
  return true;
}

void TDBComboBox::textChanged() {
  noteTextChange();
  TComboBox::textChanged();
}

void TDBComboBox::doEnter() {
  refresh();
  TComboBox::doEnter();
}

void TDBComboBox::doExit() {
  writeOnExit();
  TWinControl::doExit();
}

// ---- TDBText

TDBText::TDBText(TComponent *owner) : TControl(owner) {
  link_.onDataChange = [this] {
    auto *f = link_.Field();
    SetText(f ? f->DisplayText() : std::string());
  };
}

// ---- TDBNavigator

TDBNavigator::TDBNavigator(TComponent *owner) : TWinControl(owner) {
  link_.onChange = [this] { changed(Prop::Contents); };
}

bool TDBNavigator::buttonEnabled(TNavigateBtn b) const {
  auto *ds = link_.DataSet();
  if (!ds || !link_.Active() || !VisibleButtons.contains(b)) return false;
  const bool editing = link_.Editing();
  const bool canModify = !ds->ReadOnly() && !link_.ReadOnly();
  switch (b) {
  case nbFirst:
  case nbPrior:
    return !ds->Bof() && !ds->IsEmpty();
  case nbNext:
  case nbLast:
    return !ds->Eof() && !ds->IsEmpty();
  case nbInsert:
    return canModify;
  case nbDelete:
    return canModify && !ds->IsEmpty();
  case nbEdit:
    return canModify && !editing;
  case nbPost:
  case nbCancel:
    return editing;
  }
  return false;
}

void TDBNavigator::BtnClick(TNavigateBtn b) {
  if (!buttonEnabled(b)) return;
  TDataSet &ds = *link_.DataSet();
  switch (b) {
  case nbFirst:
    ds.First();
    break;
  case nbPrior:
    ds.Prior();
    break;
  case nbNext:
    ds.Next();
    break;
  case nbLast:
    ds.Last();
    break;
  case nbInsert:
    ds.Insert();
    break;
  case nbEdit:
    ds.Edit();
    break;
  case nbPost:
    ds.Post();
    break;
  case nbCancel:
    ds.Cancel();
    break;
  case nbDelete:
    if (ConfirmDelete &&
        Application().dialogs().messageDlg("", "Excluir registro?", mtConfirmation, {mbOK, mbCancel}) != mrOk)
      return;
    ds.Delete();
    break;
  }
  if (OnClick) OnClick(this, b);
}

std::string TDBNavigator::dumpState() const {
  static const char *const names[] = {"first",  "prior", "next", "last",  "insert",
                                      "delete", "edit",  "post", "cancel"};
  std::string s = TControl::dumpState() + " buttons:";
  for (int b = 0; b <= static_cast<int>(nbCancel); ++b)
    if (buttonEnabled(static_cast<TNavigateBtn>(b))) s += std::string(" ") + names[b];
  return s;
}

} // namespace kdr
