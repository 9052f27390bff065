// The navigator and the grid. The data-bound edit, memo, combo and text are edits, memos, combos
// and labels to the widget set: the model already shows the field's text in them.
#include "platform/qt/fontscale.h"
#include "platform/qt/peers.h"
#include "platform/ui/dbctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/userdoor.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QMap>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace kdr::qt {

namespace {

// Matches the model's indicator column; rows are 18 pixels as designed, grown with the font.
constexpr int indicatorWidth = 11;
constexpr int designedRowHeight = 18;
constexpr int buttonWidth = 16;
// Room right of a cell's text, so that its last letter does not touch the line.
constexpr int textRoom = 4;
// How near a title's right edge a press starts dragging the column's width; and the least width.
constexpr int dragReach = 3;
constexpr int narrowest = 8;

class NavigatorPeer : public ControlPeer {
public:
  NavigatorPeer(TDBNavigator &nav, QWidget *w) : ControlPeer(nav, w) {
    struct Button {
      TNavigateBtn b;
      QStyle::StandardPixmap pixmap;
      const char *hint;
    };
    static const Button buttons[] = {
        {nbFirst, QStyle::SP_MediaSkipBackward, "Primeiro"},
        {nbPrior, QStyle::SP_MediaSeekBackward, "Anterior"},
        {nbNext, QStyle::SP_MediaSeekForward, "Próximo"},
        {nbLast, QStyle::SP_MediaSkipForward, "Último"},
        {nbInsert, QStyle::SP_FileIcon, "Incluir"},
        {nbDelete, QStyle::SP_TrashIcon, "Excluir"},
        {nbEdit, QStyle::SP_FileDialogDetailedView, "Editar"},
        {nbPost, QStyle::SP_DialogApplyButton, "Gravar"},
        {nbCancel, QStyle::SP_DialogCancelButton, "Cancelar"},
    };
    auto *layout = new QHBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    w->setFocusPolicy(Qt::NoFocus);
    for (const auto &button : buttons) {
      auto *tool = new QToolButton;
      tool->setIcon(standardIcon(button.pixmap));
      tool->setToolTip(QString::fromUtf8(button.hint));
      tool->setFocusPolicy(Qt::NoFocus);
      tool->setAutoRaise(true);
      layout->addWidget(tool);
      buttons_.insert(button.b, tool);
      QObject::connect(tool, &QToolButton::clicked, context(), [this, b = button.b] {
        if (EchoGuard::active()) return;
        auto *n = static_cast<TDBNavigator *>(&control());
        deliver(*n, [n, b] { user::clickNavigator(*n, b); });
      });
    }
  }

protected:
  void update(Prop p) override {
    if (p == Prop::Contents) {
      auto &nav = static_cast<TDBNavigator &>(control());
      for (auto it = buttons_.begin(); it != buttons_.end(); ++it) {
        it.value()->setVisible(nav.VisibleButtons.contains(it.key()));
        it.value()->setEnabled(nav.buttonEnabled(it.key()));
      }
    }
    ControlPeer::update(p);
  }

private:
  QMap<TNavigateBtn, QToolButton *> buttons_;
};

QRect toQRect(const TRect &r) { return QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom)); }

bool hasPickList(const TColumn *c) { return c && !c->PickList.empty() && c->ButtonStyle == cbsAuto; }
bool hasEllipsis(const TColumn *c) { return c && c->ButtonStyle == cbsEllipsis; }

// Paints what the model's canvas recorded, with titles, the row indicator, grid lines, the in-place
// editor and the button of a pick-list or ellipsis column; clicks become user-door calls. Each
// column is as wide as designed grown with the font, or as its widest text, or as the user dragged
// its title's edge; the last one takes the width left over.
class GridWidget : public QWidget {
public:
  GridWidget() {
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setMouseTracking(true);
  }
  void attachGrid(TDBGrid *grid) { grid_ = grid; }

  QSize sizeHint() const override {
    int width = indicatorWidth;
    if (grid_)
      for (auto *c : grid_->Columns()) width += scaled(c->designedWidth()) + 1;
    return QSize(std::max(width + 4, 200), rowHeight() * 9);
  }

  // Opens the pick list of the selected cell; a chosen item goes to the model.
  void openPickList() {
    TDBGrid *g = grid_;
    TColumn *column = g ? g->selectedColumn() : nullptr;
    if (!hasPickList(column) || !currentRow()) return;
    QMenu menu(this);
    for (const auto &item : column->PickList) menu.addAction(qs(item));
    const QRect cell = cellRect(*currentRow(), g->SelectedIndex());
    QAction *chosen = menu.exec(mapToGlobal(cell.bottomLeft()));
    if (!chosen || !grid_) return;
    std::string item = utf8Of(chosen->text().remove(QLatin1Char('&')));
    deliver(*g, [g, item] { user::choosePick(*g, item); });
  }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    TDBGrid *g = grid_;
    if (!g) return;
    fitColumns();
    // Texts wider than their column widen it; the handlers draw the same texts at any width.
    if (paintModel() && measureTexts()) {
      fitColumns();
      paintModel();
    }
    keepCurrentVisible();
    const int titleHeight = titlesHeight();
    const QPalette &pal = palette();

    painter.save();
    painter.setClipRect(QRect(0, titleHeight, width(), height() - titleHeight));
    painter.translate(0, -firstRow_ * rowHeight());
    QMap<QPair<int, int>, TColor> fills;
    for (const auto &op : g->Canvas().ops()) {
      const QRect r = toQRect(op.rect);
      if (op.kind == TCanvas::Op::Fill) {
        painter.fillRect(r, colorOf(op.color));
        fills[{r.left(), r.top()}] = op.color;
        continue;
      }
      // Default text on a highlighted cell reads in the highlighted-text colour.
      const bool onHighlight = fills.value({r.left(), r.top()}, clWindow) == clHighlight;
      painter.setPen(op.color == clWindowText && onHighlight ? pal.color(QPalette::HighlightedText)
                                                             : colorOf(op.color));
      painter.save();
      painter.setClipRect(r, Qt::IntersectClip);
      painter.drawText(QRect(op.x, r.top(), r.right() - op.x, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                       qs(op.text));
      painter.restore();
    }
    drawLines(painter);
    drawEditor(painter);
    painter.restore();
    drawIndicator(painter);
    drawTitles(painter);
  }

  void mousePressEvent(QMouseEvent *e) override {
    TDBGrid *g = grid_;
    if (!g || e->button() != Qt::LeftButton) return;
    const QPoint at = e->position().toPoint();
    if (at.y() < titlesHeight()) {
      dragging_ = edgeAt(at.x());
      if (dragging_ >= 0) {
        dragFrom_ = at.x();
        dragWidth_ = g->Columns()[dragging_]->shownWidth();
      }
      return;
    }
    const auto row = static_cast<std::size_t>((at.y() - titlesHeight()) / rowHeight() + firstRow_);
    TDataSet *ds = g->dataSet();
    if (!ds || !ds->Active() || row >= ds->displayRowCount()) return;
    const auto cols = g->Columns();
    for (int col = 0; col < int(cols.size()); ++col) {
      const QRect cell = cellRect(row, col);
      if (at.x() < cell.left() || at.x() > cell.right()) continue;
      const bool selected = currentRow() && *currentRow() == row && col == g->SelectedIndex();
      if (selected && at.x() >= cell.right() - buttonWidth) {
        if (hasPickList(cols[col])) return openPickList();
        if (hasEllipsis(cols[col])) {
          deliver(*g, [g] { user::pressEllipsis(*g); });
          return;
        }
      }
      deliver(*g, [g, row, col] { user::clickCell(*g, row, col); });
      return;
    }
  }

  // Dragging a title's right edge sets the column's width, which it keeps from then on.
  void mouseMoveEvent(QMouseEvent *e) override {
    const QPoint at = e->position().toPoint();
    if (dragging_ >= 0 && grid_ && (e->buttons() & Qt::LeftButton)) {
      const auto cols = grid_->Columns();
      if (dragging_ < int(cols.size()))
        dragged_[qs(cols[dragging_]->FieldName)] = std::max(narrowest, dragWidth_ + at.x() - dragFrom_);
      update();
      return;
    }
    const bool onEdge = at.y() < titlesHeight() && edgeAt(at.x()) >= 0;
    if (onEdge)
      setCursor(Qt::SplitHCursor);
    else
      unsetCursor();
  }

  void mouseReleaseEvent(QMouseEvent *) override { dragging_ = -1; }

  void wheelEvent(QWheelEvent *e) override {
    TDBGrid *g = grid_;
    // The wheel moves the current row of a focused grid, as the classic grid does.
    if (!g || !g->Focused()) return;
    const int key = e->angleDelta().y() > 0 ? VK_UP : VK_DOWN;
    deliver(*g, [g, key] { user::press(*g, key); });
  }

private:
  static int rowHeight() { return scaled(designedRowHeight); }
  int titlesHeight() const { return grid_ && (grid_->Options & dgTitles) ? rowHeight() : 0; }
  std::optional<std::size_t> currentRow() const {
    TDataSet *ds = grid_ ? grid_->dataSet() : nullptr;
    if (!ds || !ds->Active() || ds->displayRowCount() == 0) return std::nullopt;
    return ds->currentDisplayRow();
  }
  // A cell in widget coordinates.
  QRect cellRect(std::size_t row, int col) const {
    return toQRect(grid_->cellRect(row, col)).translated(0, -firstRow_ * rowHeight());
  }
  // The column whose title's right edge is at x, when the user may resize it; else -1.
  int edgeAt(int x) const {
    if (!grid_ || !(grid_->Options & dgColumnResize)) return -1;
    const int count = static_cast<int>(grid_->Columns().size());
    for (int col = 0; col < count; ++col)
      if (std::abs(grid_->cellRect(0, col).Right - x) <= dragReach) return col;
    return -1;
  }
  // Paints the model; false when a draw handler failed (what was drawn before it is shown).
  bool paintModel() {
    try {
      grid_->paint();
      return true;
    } catch (...) {
      return false;
    }
  }
  void fitColumns() {
    grid_->DefaultRowHeight = rowHeight();
    const auto cols = grid_->Columns();
    int left = (grid_->Options & dgIndicator) ? indicatorWidth : 0;
    for (std::size_t i = 0; i < cols.size(); ++i) {
      TColumn *column = cols[i];
      const QString key = qs(column->FieldName);
      int w = dragged_.contains(key) ? dragged_.value(key)
                                     : std::max(scaled(column->designedWidth()), needed_.value(key, 0));
      if (i + 1 == cols.size()) w = std::max(w, width() - left - 1);
      column->ViewWidth = w;
      left += w + 1;
    }
  }
  // What each column needs to show its title and its cells' texts whole; true when one needs more
  // than it has.
  bool measureTexts() {
    const QFontMetrics metrics = fontMetrics();
    const auto cols = grid_->Columns();
    needed_.clear();
    bool short_ = false;
    for (int col = 0; col < int(cols.size()); ++col) {
      const TRect cell = grid_->cellRect(0, col);
      int need = 2 + metrics.horizontalAdvance(qs(cols[col]->titleText())) + textRoom;
      for (const auto &op : grid_->Canvas().ops())
        if (op.kind == TCanvas::Op::Text && op.rect.Left >= cell.Left && op.rect.Left < cell.Right) {
          const int button = hasPickList(cols[col]) || hasEllipsis(cols[col]) ? buttonWidth : 0;
          need =
              std::max(need, op.x - cell.Left + metrics.horizontalAdvance(qs(op.text)) + textRoom + button);
        }
      needed_.insert(qs(cols[col]->FieldName), need);
      short_ = short_ || (need > cols[col]->shownWidth() && !dragged_.contains(qs(cols[col]->FieldName)));
    }
    return short_;
  }
  void keepCurrentVisible() {
    const auto row = currentRow();
    if (!row) return;
    const int visible = std::max(1, (height() - titlesHeight()) / rowHeight());
    const int current = static_cast<int>(*row);
    if (current < firstRow_) firstRow_ = current;
    if (current >= firstRow_ + visible) firstRow_ = current - visible + 1;
  }
  void drawLines(QPainter &painter) {
    TDataSet *ds = grid_->dataSet();
    const int rows = ds && ds->Active() ? static_cast<int>(ds->displayRowCount()) : 0;
    const auto cols = grid_->Columns();
    if (cols.empty() || rows == 0) return;
    painter.setPen(palette().color(QPalette::Mid));
    const TRect first = grid_->cellRect(0, 0);
    const TRect last = grid_->cellRect(rows - 1, static_cast<int>(cols.size()) - 1);
    if (grid_->Options & dgColLines)
      for (int col = 0; col < int(cols.size()); ++col) {
        const int x = grid_->cellRect(0, col).Right;
        painter.drawLine(x, first.Top, x, last.Bottom);
      }
    if (grid_->Options & dgRowLines)
      for (int row = 0; row < rows; ++row) {
        const int y = grid_->cellRect(row, 0).Bottom;
        painter.drawLine(first.Left, y, last.Right, y);
      }
  }
  void drawEditor(QPainter &painter) {
    const auto row = currentRow();
    TColumn *column = grid_->selectedColumn();
    if (!row || !column) return;
    const QRect cell = toQRect(grid_->cellRect(*row, grid_->SelectedIndex()));
    QRect textArea = cell;
    if (hasPickList(column) || hasEllipsis(column)) {
      const QRect button(cell.right() - buttonWidth + 1, cell.top(), buttonWidth, cell.height());
      textArea.setRight(button.left() - 1);
      QStyleOptionButton option;
      option.rect = button;
      option.state = QStyle::State_Enabled | QStyle::State_Raised;
      style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
      if (hasPickList(column)) {
        QStyleOption arrow;
        arrow.rect = button.adjusted(3, 4, -3, -4);
        arrow.palette = palette();
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &painter, this);
      } else {
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(button, Qt::AlignCenter, QStringLiteral("..."));
      }
    }
    if (!grid_->EditorMode()) return;
    painter.fillRect(textArea, palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawRect(textArea.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Text));
    const QString text = qs(grid_->editorText());
    painter.drawText(textArea.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    const int caret = textArea.left() + 2 + fontMetrics().horizontalAdvance(text);
    painter.drawLine(caret, textArea.top() + 3, caret, textArea.bottom() - 3);
  }
  void drawIndicator(QPainter &painter) {
    if (!(grid_->Options & dgIndicator)) return;
    painter.fillRect(QRect(0, 0, indicatorWidth, height()), palette().color(QPalette::Button));
    const auto row = currentRow();
    if (!row) return;
    const int top = titlesHeight() + (static_cast<int>(*row) - firstRow_) * rowHeight();
    if (top < titlesHeight()) return;
    const int middle = top + rowHeight() / 2;
    QPolygon arrow;
    arrow << QPoint(3, middle - 4) << QPoint(8, middle) << QPoint(3, middle + 4);
    painter.setBrush(palette().color(QPalette::ButtonText));
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(arrow);
  }
  void drawTitles(QPainter &painter) {
    if (!titlesHeight()) return;
    painter.fillRect(QRect(0, 0, width(), rowHeight()), palette().color(QPalette::Button));
    painter.setPen(palette().color(QPalette::ButtonText));
    const auto cols = grid_->Columns();
    for (int col = 0; col < int(cols.size()); ++col) {
      TRect r = grid_->cellRect(0, col);
      QRect title(r.Left + 2, 0, r.Right - r.Left - 2, rowHeight());
      painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, qs(cols[col]->titleText()));
      painter.setPen(palette().color(QPalette::Mid));
      painter.drawLine(r.Right, 0, r.Right, rowHeight() - 1);
      painter.setPen(palette().color(QPalette::ButtonText));
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, rowHeight() - 1, width(), rowHeight() - 1);
  }

  TDBGrid *grid_ = nullptr;
  int firstRow_ = 0;
  // Per field: what its texts need, and the width the user dragged it to.
  QHash<QString, int> needed_;
  QHash<QString, int> dragged_;
  int dragging_ = -1, dragFrom_ = 0, dragWidth_ = 0;
};

class GridPeer : public ControlPeer {
public:
  GridPeer(TDBGrid &grid, GridWidget *w) : ControlPeer(grid, w), view_(w) {
    takeKeys();
    w->attachGrid(&grid);
  }
  ~GridPeer() override {
    if (view_) view_->attachGrid(nullptr);
  }

protected:
  bool specialKey(const QKeyEvent &e) override {
    const bool opens =
        e.key() == Qt::Key_F4 || (e.key() == Qt::Key_Down && (e.modifiers() & Qt::AltModifier));
    auto &grid = static_cast<TDBGrid &>(control());
    if (!opens || !view_ || !hasPickList(grid.selectedColumn())) return false;
    view_->openPickList();
    return true;
  }
  void update(Prop p) override {
    if (!view_) return;
    switch (p) {
    case Prop::Columns:
    case Prop::Options:
      view_->updateGeometry();
      [[fallthrough]];
    case Prop::Contents:
    case Prop::Selection:
    case Prop::EditorMode:
    case Prop::Color:
      view_->update();
      break;
    default:
      break;
    }
    ControlPeer::update(p);
  }

private:
  QPointer<GridWidget> view_;
};

} // namespace

std::unique_ptr<ControlPeer> makeDataPeer(TControl &c) {
  if (auto *grid = dynamic_cast<TDBGrid *>(&c)) return std::make_unique<GridPeer>(*grid, new GridWidget);
  if (auto *nav = dynamic_cast<TDBNavigator *>(&c)) return std::make_unique<NavigatorPeer>(*nav, new QWidget);
  return nullptr;
}

} // namespace kdr::qt
