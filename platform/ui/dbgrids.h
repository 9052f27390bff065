#pragma once
// The data-aware grid. It shows the dataset's rows through each field's display text, edits the
// current row's cells in an in-place editor whose text reaches the field through field.Text, and
// paints onto a Canvas that records what was drawn, so a test reads what the user would see.
#include "platform/data/datasource.h"
#include "platform/ui/control.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kdr {

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TRect &) const = default;
};

// A canvas that remembers its fills and texts instead of drawing pixels.
class TCanvas {
public:
  struct Op {
    enum Kind { Fill, Text } kind;
    TRect rect;
    int x = 0, y = 0;
    std::string text;
    TColor color = clWindow;
  };
  struct {
    TColor Color = clWindow;
  } Brush;
  struct {
    TColor Color = clWindowText;
    bool Bold = false;
  } Font;

  void FillRect(const TRect &r) { ops_.push_back({Op::Fill, r, 0, 0, {}, Brush.Color}); }
  // Text clipped to r, starting at (x, y).
  void TextRect(const TRect &r, int x, int y, const std::string &text) {
    ops_.push_back({Op::Text, r, x, y, text, Font.Color});
  }
  const std::vector<Op> &ops() const { return ops_; }
  void clear() { ops_.clear(); }
  // What a cell shows: the last text drawn into r since it was last filled ("" when none).
  std::string textIn(const TRect &r) const;

private:
  std::vector<Op> ops_;
};

enum class TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };
using enum TColumnButtonStyle;

class TDBGrid;

class TColumn {
public:
  explicit TColumn(TDBGrid &grid) : grid_(&grid) {}
  std::string FieldName;
  struct {
    std::string Caption;
  } Title;
  // In pixels; -1 sizes the column to its title and its field's display width, as a column
  // without a width of its own is sized.
  int Width = -1;
  std::vector<std::string> PickList;
  TColumnButtonStyle ButtonStyle = cbsAuto;
  bool Visible = true;
  bool ReadOnly = false;

  TField *Field() const;
  // The title shown: the caption, or the field's display label.
  std::string titleText() const;
  // Width, or the default sizing when Width is -1.
  int designedWidth() const;
  // The width the column takes: the one a widget set drawing real pixels gives it, else as designed.
  int shownWidth() const { return ViewWidth > 0 ? ViewWidth : designedWidth(); }
  // Set by the widget set: Width grown with the font in use, to the column's texts, or as the user
  // dragged it; 0 leaves Width as designed.
  int ViewWidth = 0;

private:
  TDBGrid *grid_;
};

enum TDBGridOption : unsigned {
  dgEditing = 1u << 0,
  dgAlwaysShowEditor = 1u << 1,
  dgTitles = 1u << 2,
  dgIndicator = 1u << 3,
  dgColumnResize = 1u << 4,
  dgColLines = 1u << 5,
  dgRowLines = 1u << 6,
  dgTabs = 1u << 7,
  dgRowSelect = 1u << 8,
  dgAlwaysShowSelection = 1u << 9,
  dgConfirmDelete = 1u << 10,
  dgCancelOnExit = 1u << 11,
};
using TDBGridOptions = unsigned;

enum TGridDrawStateFlag : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
struct TGridDrawState {
  unsigned bits = 0;
  bool contains(TGridDrawStateFlag f) const { return (bits & f) != 0; }
};

using TDrawColumnCellEvent = std::function<void(TComponent *Sender, const TRect &Rect, int DataCol,
                                                TColumn *Column, TGridDrawState State)>;

class TDBGrid : public TWinControl {
public:
  explicit TDBGrid(TComponent *owner);
  ~TDBGrid() override;
  std::string className() const override { return "TDBGrid"; }

  TDataSource *DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource *ds) { link_.SetDataSource(ds); }
  TDataSet *dataSet() const { return link_.DataSet(); }

  // Declared columns; without any, one column per visible field.
  TColumn *addColumn(const std::string &fieldName);
  std::vector<TColumn *> Columns() const;
  int columnIndexOf(const std::string &fieldName) const;

  TDBGridOptions Options = dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines |
                           dgTabs | dgConfirmDelete | dgCancelOnExit;
  bool ReadOnly = false;
  bool DefaultDrawing = true;
  // In pixels; a widget set grows it with its font.
  int DefaultRowHeight = 18;

  int SelectedIndex() const { return selected_; }
  // Code moves the column like the user does: the editor text is written, then OnColExit (which
  // may refuse by raising), then the move, then OnColEnter.
  void SetSelectedIndex(int i);
  TField *SelectedField() const;
  void SetSelectedField(TField *field);
  TColumn *selectedColumn() const;
  bool EditorMode() const { return editorMode_; }
  void SetEditorMode(bool on);
  // The in-place editor's text.
  const std::string &editorText() const { return editorText_; }

  TNotifyEvent OnColExit;
  TNotifyEvent OnColEnter;
  TNotifyEvent OnEditButtonClick;
  TDrawColumnCellEvent OnDrawColumnCell;

  // The canvas of the paint in progress (handlers of OnDrawColumnCell draw on it).
  TCanvas &Canvas() { return canvas_; }
  // Paints every row and returns what each cell shows, row by row, in column order.
  std::vector<std::vector<std::string>> paint();
  TRect cellRect(std::size_t row, int col) const;

  // User actions, through the user door.
  // A click on a cell: moves the row, then the column; a click on the selected cell opens the editor.
  void clickCell(std::size_t row, int col);
  // Chooses a pick-list entry of the selected column: edit starts and field.Text takes it at once.
  bool choosePick(const std::string &item);
  // The "..." button of an ellipsis column.
  bool pressEllipsis();

  std::string dumpState() const override;
  // The rows as shown, one line each: "> " marks the current row, [ ] the selected cell.
  std::string dumpRows();

protected:
  bool defaultKeyDown(int &key, TShiftState shift) override;
  void defaultKeyPress(char32_t key) override;
  void doExit() override;

private:
  class Link;
  // Asks the source to edit the current row when editing is allowed; true when editing.
  bool canEditModify();
  void updateData();
  void refreshEditor();
  void moveRow(int distance);
  void drawCell(std::size_t row, int col, TColumn *column, bool current);

  std::unique_ptr<Link> linkPtr_;
  TDataLink &link_;
  std::vector<std::unique_ptr<TColumn>> columns_;
  mutable std::vector<std::unique_ptr<TColumn>> defaultColumns_;
  TCanvas canvas_;
  int selected_ = 0;
  bool editorMode_ = false;
  std::string editorText_;
  bool editorModified_ = false;
  bool escapedOnce_ = false;
};

} // namespace kdr
