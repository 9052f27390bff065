#pragma once
// Data-aware controls. Each follows one field of its data source's dataset through a link: it
// shows the field's display text, or its editing text while focused; the first user edit asks the
// source to edit (an empty dataset inserts); the pending text reaches the field through
// field.Text when the control is left (before its OnExit) and when the dataset posts or moves.
#include "platform/data/datasource.h"
#include "platform/ui/stdctrls.h"

#include <functional>
#include <set>

namespace kdr {

class TFieldDataLink : public TDataLink {
public:
  const std::string &FieldName() const { return fieldName_; }
  void SetFieldName(std::string name);
  // The field while the dataset is open, else null.
  TField *Field() const;
  // The control holds text the field has not received yet.
  bool modified = false;

  std::function<void()> onDataChange;   // refill the control from the field
  std::function<void()> onUpdateData;   // write the control's text into the field
  std::function<bool()> onFocusControl; // take the focus for the field; false when it cannot

protected:
  bool FocusControl(TField &field) override {
    return &field == Field() && onFocusControl && onFocusControl();
  }
  void ActiveChanged() override { RecordChanged(nullptr); }
  void EditingChanged() override { RecordChanged(nullptr); }
  void RecordChanged(TField *field) override;
  void UpdateData() override;

private:
  std::string fieldName_;
};

// What a data-aware text control shares: the link with its source and field, the refill and the
// write on exit. The controls inherit it beside their visual base.
class FieldBinding {
public:
  TDataSource *DataSource() const { return link.DataSource(); }
  void SetDataSource(TDataSource *ds) { link.SetDataSource(ds); }
  const std::string &DataField() const { return link.FieldName(); }
  void SetDataField(const std::string &name) { link.SetFieldName(name); }
  TField *Field() const { return link.Field(); }

protected:
  // text reads the control's pending text; show puts a text into the control.
  FieldBinding(TWinControl &control, std::function<std::string()> text,
               std::function<void(const std::string &)> show);

  TFieldDataLink link;
  bool canModify(bool controlReadOnly) const;
  // Editing text while focused and modifiable, display text otherwise.
  void refresh();
  // The user starts changing the text: asks the source to edit. False refuses the change.
  bool beginEdit(bool controlReadOnly);
  // Writes pending text; on failure the control takes the focus back and the error goes on.
  void writeOnExit(const std::function<void()> &validate = {});
  // A text change that did not come from the field marks the control modified.
  void noteTextChange() {
    if (!refreshing_) link.modified = true;
  }
  std::function<void(TField *)> beforeShow; // adapts the control to the field (mask, length)

private:
  TWinControl &control_;
  std::function<std::string()> text_;
  std::function<void(const std::string &)> show_;
  bool refreshing_ = false;
};

class TDBEdit : public TMaskEdit, public FieldBinding {
public:
  explicit TDBEdit(TComponent *owner);
  std::string className() const override { return "TDBEdit"; }

protected:
  bool beginUserEdit() override { return beginEdit(ReadOnly()); }
  void typeCharacter(char32_t key) override;
  void textChanged() override;
  void doEnter() override;
  void doExit() override;
  void defaultKeyPress(char32_t key) override;
};

class TDBMemo : public TMemo, public FieldBinding {
public:
  explicit TDBMemo(TComponent *owner);
  std::string className() const override { return "TDBMemo"; }

protected:
  bool beginUserEdit() override { return beginEdit(ReadOnly()); }
  void textChanged() override;
  void doEnter() override;
  void doExit() override;
};

// Items are chosen, and a choice is written through field.Text at once.
class TDBComboBox : public TComboBox, public FieldBinding {
public:
  explicit TDBComboBox(TComponent *owner);
  std::string className() const override { return "TDBComboBox"; }
  bool choose(const std::string &item) override;

protected:
  void textChanged() override;
  void doEnter() override;
  void doExit() override;
};

// A label showing the field's display text.
class TDBText : public TControl {
public:
  explicit TDBText(TComponent *owner);
  std::string className() const override { return "TDBText"; }

  TDataSource *DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource *ds) { link_.SetDataSource(ds); }
  const std::string &DataField() const { return link_.FieldName(); }
  void SetDataField(const std::string &name) { link_.SetFieldName(name); }

private:
  TFieldDataLink link_;
};

enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel };
using enum TNavigateBtn;

// Record buttons over a data source; they never take the focus.
class TDBNavigator : public TWinControl {
public:
  explicit TDBNavigator(TComponent *owner);
  std::string className() const override { return "TDBNavigator"; }
  bool focusOnClick() const override { return false; }

  TDataSource *DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource *ds) { link_.SetDataSource(ds); }
  std::set<TNavigateBtn> VisibleButtons = {nbFirst,  nbPrior, nbNext, nbLast,  nbInsert,
                                           nbDelete, nbEdit,  nbPost, nbCancel};
  // Delete asks "Excluir registro?" first (OK or Cancel).
  bool ConfirmDelete = true;

  bool buttonEnabled(TNavigateBtn b) const;
  // The user presses a button: does nothing when it is hidden or disabled.
  void BtnClick(TNavigateBtn b);
  std::function<void(TComponent *Sender, TNavigateBtn Button)> OnClick;

  std::string dumpState() const override;

private:
  class Link : public TDataLink {
  public:
    std::function<void()> onChange;

  protected:
    void ActiveChanged() override { onChange(); }
    void EditingChanged() override { onChange(); }
    void DataSetChanged() override { onChange(); }
  };
  Link link_;
};

} // namespace kdr
