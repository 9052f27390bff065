#include "platform/ui/dbgrids.h"

#include "platform/rtl/utf8.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"

#include <algorithm>

namespace kdr {

namespace {
constexpr int indicatorWidth = 11;
} // namespace

std::string TCanvas::textIn(const TRect &r) const {
  std::string text;
  for (const auto &op : ops_)
    if (op.rect == r) text = op.kind == Op::Fill ? std::string() : op.text;
  return text;
}

TField *TColumn::Field() const {
  auto *ds = grid_->dataSet();
  return ds && ds->Active() ? ds->FindField(FieldName) : nullptr;
}

std::string TColumn::titleText() const {
  if (!Title.Caption.empty()) return Title.Caption;
  auto *f = Field();
  return f ? f->DisplayLabel() : FieldName;
}

int TColumn::designedWidth() const {
  if (Width >= 0) return Width;
  // About seven pixels a character in the grid's font, plus the cell's margins.
  constexpr int charWidth = 7, margins = 8, widest = 40;
  const auto *f = Field();
  const int chars = std::max<int>(utf8::length(titleText()), f ? std::min(f->DisplayWidth(), widest) : 0);
  return std::max(64, chars * charWidth + margins);
}

// The grid hears its dataset through this link.
class TDBGrid::Link : public TDataLink {
public:
  explicit Link(TDBGrid &grid) : grid_(grid) {}

protected:
  void ActiveChanged() override { changedAll(); }
  void EditingChanged() override { changedAll(); }
  void DataSetChanged() override { changedAll(); }
  void LayoutChanged() override {
    grid_.defaultColumns_.clear();
    changedAll();
  }
  void RecordChanged(TField *field) override {
    if (!field || field == grid_.SelectedField()) grid_.refreshEditor();
    grid_.changed(Prop::Contents);
  }
  void UpdateData() override { grid_.updateData(); }
  // A field shown in a column: the column is selected (leaving the old one as the user does) and
  // the grid takes the focus.
  bool FocusControl(TField &field) override {
    const int col = grid_.columnIndexOf(field.FieldName());
    if (col < 0 || !grid_.CanFocus()) return false;
    grid_.SetSelectedIndex(col);
    grid_.SetFocus();
    return true;
  }

private:
  void changedAll() {
    grid_.refreshEditor();
    grid_.changed(Prop::Contents);
  }
  TDBGrid &grid_;
};

TDBGrid::TDBGrid(TComponent *owner)
    : TWinControl(owner), linkPtr_(std::make_unique<Link>(*this)), link_(*linkPtr_) {
  SetTabStop(true);
  SetColor(clWindow);
}

TDBGrid::~TDBGrid() = default;

TColumn *TDBGrid::addColumn(const std::string &fieldName) {
  columns_.push_back(std::make_unique<TColumn>(*this));
  columns_.back()->FieldName = fieldName;
  changed(Prop::Columns);
  return columns_.back().get();
}

std::vector<TColumn *> TDBGrid::Columns() const {
  std::vector<TColumn *> list;
  if (!columns_.empty()) {
    for (const auto &c : columns_)
      if (c->Visible) list.push_back(c.get());
    return list;
  }
  // Default columns follow the dataset's visible fields; rebuilt when those change.
  std::vector<std::string> names;
  if (auto *ds = dataSet(); ds && ds->Active())
    for (auto *f : ds->Fields())
      if (f->Visible()) names.push_back(f->FieldName());
  bool same = names.size() == defaultColumns_.size();
  for (std::size_t i = 0; same && i < names.size(); ++i) same = defaultColumns_[i]->FieldName == names[i];
  if (!same) {
    defaultColumns_.clear();
    for (const auto &n : names) {
      defaultColumns_.push_back(std::make_unique<TColumn>(const_cast<TDBGrid &>(*this)));
      defaultColumns_.back()->FieldName = n;
    }
  }
  for (const auto &c : defaultColumns_) list.push_back(c.get());
  return list;
}

int TDBGrid::columnIndexOf(const std::string &fieldName) const {
  auto cols = Columns();
  for (std::size_t i = 0; i < cols.size(); ++i)
    if (utf8::sameText(cols[i]->FieldName, fieldName)) return static_cast<int>(i);
  return -1;
}

TColumn *TDBGrid::selectedColumn() const {
  auto cols = Columns();
  return selected_ >= 0 && selected_ < int(cols.size()) ? cols[selected_] : nullptr;
}

TField *TDBGrid::SelectedField() const {
  auto *col = selectedColumn();
  return col ? col->Field() : nullptr;
}

void TDBGrid::SetSelectedIndex(int i) {
  auto cols = Columns();
  if (i < 0 || i >= int(cols.size()) || i == selected_) return;
  updateData();
  if (OnColExit) OnColExit(this);
  selected_ = i;
  // The editor stays with the cell it was opened on: the new cell shows selected, and a
  // character typed there replaces its text.
  if (!(Options & dgAlwaysShowEditor)) editorMode_ = false;
  refreshEditor();
  changed(Prop::Selection);
  if (OnColEnter) OnColEnter(this);
}

void TDBGrid::SetSelectedField(TField *field) {
  if (field) SetSelectedIndex(columnIndexOf(field->FieldName()));
}

void TDBGrid::SetEditorMode(bool on) {
  if (on && !(Options & dgEditing)) return;
  if (!on) updateData();
  editorMode_ = on;
  refreshEditor();
  changed(Prop::EditorMode);
}

bool TDBGrid::canEditModify() {
  auto *col = selectedColumn();
  auto *field = SelectedField();
  if (!(Options & dgEditing) || ReadOnly || !col || col->ReadOnly || !field || field->ReadOnly())
    return false;
  return link_.Edit();
}

void TDBGrid::updateData() {
  if (!editorModified_) return;
  if (auto *f = SelectedField()) f->SetText(editorText_);
  editorModified_ = false;
}

void TDBGrid::refreshEditor() {
  auto *f = SelectedField();
  editorText_ = f ? f->Text() : std::string();
  editorModified_ = false;
}

void TDBGrid::moveRow(int distance) {
  if (auto *ds = dataSet(); ds && distance != 0) ds->MoveBy(distance);
}

bool TDBGrid::defaultKeyDown(int &key, TShiftState shift) {
  TDataSet *ds = link_.Active() ? dataSet() : nullptr;
  const bool canModify = ds && (Options & dgEditing) && !ReadOnly && !ds->ReadOnly();
  const int last = static_cast<int>(Columns().size()) - 1;
  // Up or Down away from an inserted row nobody touched drops it.
  auto dropUntouchedInsert = [&] {
    if (ds->State() != dsInsert || ds->Modified() || editorModified_) return false;
    ds->Cancel();
    return true;
  };
  switch (key) {
  case VK_INSERT:
    if (canModify) ds->Insert();
    return true;
  case VK_DOWN:
    if (!ds || dropUntouchedInsert()) return true;
    if (canModify && ds->RecNo() >= ds->RecordCount() && ds->State() != dsInsert)
      ds->Append();
    else
      ds->Next();
    return true;
  case VK_UP:
    if (ds && !dropUntouchedInsert()) ds->Prior();
    return true;
  case VK_TAB: {
    // Ctrl+Tab leaves the grid as Tab leaves any other control.
    if (!(Options & dgTabs) || shift.contains(ssCtrl)) return false;
    const bool back = shift.contains(ssShift);
    if (!back && selected_ >= last) {
      if (ds && ds->RecNo() < ds->RecordCount()) {
        moveRow(1);
        SetSelectedIndex(0);
      }
    } else if (back && selected_ <= 0) {
      if (ds && ds->RecNo() > 1) {
        moveRow(-1);
        SetSelectedIndex(last);
      }
    } else {
      SetSelectedIndex(selected_ + (back ? -1 : 1));
    }
    return true;
  }
  case VK_LEFT:
  case VK_RIGHT:
    if (!editorMode_) SetSelectedIndex(selected_ + (key == VK_LEFT ? -1 : 1));
    return true;
  case VK_HOME:
  case VK_END:
    if (!editorMode_) SetSelectedIndex(key == VK_HOME ? 0 : last);
    return true;
  case VK_DELETE:
    if (!shift.contains(ssCtrl) || !canModify || ds->IsEmpty()) return true;
    if ((Options & dgConfirmDelete) &&
        Application().dialogs().messageDlg("", "Excluir registro?", mtConfirmation, {mbOK, mbCancel}) != mrOk)
      return true;
    ds->Delete();
    return true;
  case VK_F2:
    SetEditorMode(!editorMode_);
    return true;
  case VK_ESCAPE:
    // The first press gives the cell its text back; a further one cancels the record; with
    // neither to undo, the key is the form's (a modal screen closes).
    if (editorModified_)
      refreshEditor();
    else if (ds && editing(ds->State()))
      ds->Cancel();
    else
      return false;
    return true;
  case VK_RETURN:
    if (shift.contains(ssCtrl)) {
      pressEllipsis();
      return true;
    }
    return false;
  default:
    return false;
  }
}

void TDBGrid::defaultKeyPress(char32_t key) {
  if (key == 13) {
    if (editorMode_) updateData();
    SetEditorMode(!editorMode_);
    return;
  }
  if (key < 32 && key != 8) return;
  if (!canEditModify()) return;
  if (!editorMode_) {
    // A character typed on a cell opens the editor with that character alone.
    SetEditorMode(true);
    if (key != 8) editorText_.clear();
  }
  if (key == 8) {
    const std::size_t n = utf8::length(editorText_);
    if (n > 0) editorText_ = utf8::cut(editorText_, n - 1);
  } else {
    auto *f = SelectedField();
    if (f && f->DataType() == FieldType::String && f->Size() > 0 &&
        utf8::length(editorText_) >= std::size_t(f->Size()))
      return;
    utf8::append(editorText_, key);
  }
  editorModified_ = true;
  changed(Prop::EditorMode);
}

void TDBGrid::doExit() {
  try {
    TDataSet *ds = link_.Active() ? dataSet() : nullptr;
    if (ds && (Options & dgCancelOnExit) && ds->State() == dsInsert && !ds->Modified() && !editorModified_)
      ds->Cancel();
    else
      updateData();
  } catch (...) {
    SetFocus();
    throw;
  }
  TWinControl::doExit();
}

void TDBGrid::clickCell(std::size_t row, int col) {
  TDataSet *ds = link_.Active() ? dataSet() : nullptr;
  if (!ds) return;
  const std::size_t current = ds->currentDisplayRow();
  if (row == current && col == selected_) {
    SetEditorMode(true);
    return;
  }
  if (row != current) moveRow(static_cast<int>(static_cast<long>(row) - static_cast<long>(current)));
  SetSelectedIndex(col);
}

bool TDBGrid::choosePick(const std::string &item) {
  auto *col = selectedColumn();
  if (!col || std::find(col->PickList.begin(), col->PickList.end(), item) == col->PickList.end())
    return false;
  if (!canEditModify()) return false;
  editorMode_ = true;
  if (auto *f = SelectedField()) f->SetText(item);
  refreshEditor();
  changed(Prop::EditorMode);
  return true;
}

bool TDBGrid::pressEllipsis() {
  auto *col = selectedColumn();
  if (!col || col->ButtonStyle != cbsEllipsis) return false;
  if (OnEditButtonClick) OnEditButtonClick(this);
  return true;
}

TRect TDBGrid::cellRect(std::size_t row, int col) const {
  auto cols = Columns();
  int left = (Options & dgIndicator) ? indicatorWidth : 0;
  for (int i = 0; i < col && i < int(cols.size()); ++i) left += cols[i]->shownWidth() + 1;
  const int top = static_cast<int>(row + ((Options & dgTitles) ? 1 : 0)) * DefaultRowHeight;
  const int width = col < int(cols.size()) ? cols[col]->shownWidth() : 0;
  return {left, top, left + width, top + DefaultRowHeight - 1};
}

void TDBGrid::drawCell(std::size_t row, int col, TColumn *column, bool current) {
  const TRect rect = cellRect(row, col);
  TGridDrawState state;
  if (current && (col == selected_ || (Options & dgRowSelect))) {
    state.bits |= gdSelected;
    if (Focused()) state.bits |= gdFocused;
  }
  if (DefaultDrawing) {
    // Cells take the grid's own colour, so a grid of looked-up values can stand out.
    canvas_.Brush.Color = state.contains(gdSelected) ? clHighlight : Color();
    canvas_.FillRect(rect);
    auto *f = column->Field();
    canvas_.TextRect(rect, rect.Left + 2, rect.Top + 2, f ? f->DisplayText() : std::string());
  }
  if (OnDrawColumnCell) OnDrawColumnCell(this, rect, col, column, state);
}

std::vector<std::vector<std::string>> TDBGrid::paint() {
  canvas_.clear();
  std::vector<std::vector<std::string>> shown;
  TDataSet *ds = link_.Active() ? dataSet() : nullptr;
  if (!ds) return shown;
  auto cols = Columns();
  const std::size_t rows = ds->displayRowCount();
  const std::size_t current = ds->currentDisplayRow();
  for (std::size_t r = 0; r < rows; ++r) {
    TDataSet::DisplayRow at(*ds, r);
    for (int c = 0; c < int(cols.size()); ++c) drawCell(r, c, cols[c], r == current);
  }
  shown.resize(rows);
  for (std::size_t r = 0; r < rows; ++r)
    for (int c = 0; c < int(cols.size()); ++c) shown[r].push_back(canvas_.textIn(cellRect(r, c)));
  return shown;
}

std::string TDBGrid::dumpState() const {
  std::string s = TControl::dumpState();
  if (auto *col = selectedColumn()) s += " col=" + col->FieldName;
  if (editorMode_) s += " editor=\"" + editorText_ + "\"";
  return s;
}

std::string TDBGrid::dumpRows() {
  auto cols = Columns();
  std::string out = "  |";
  for (auto *c : cols) out += " " + c->titleText() + " |";
  out += "\n";
  auto shown = paint();
  TDataSet *ds = dataSet();
  const std::size_t current = ds && ds->Active() ? ds->currentDisplayRow() : 0;
  for (std::size_t r = 0; r < shown.size(); ++r) {
    out += r == current ? "> |" : "  |";
    for (int c = 0; c < int(shown[r].size()); ++c)
      out += (r == current && c == selected_) ? " [" + shown[r][c] + "] |" : " " + shown[r][c] + " |";
    out += "\n";
  }
  return out;
}

} // namespace kdr
