#include "platform/qt/alignlayout.h"

#include "platform/qt/fontscale.h"
#include "platform/ui/control.h"

#include <QWidget>

#include <algorithm>
#include <vector>

namespace kdr::qt {

namespace {

constexpr int flowMargin = 4;
constexpr int flowSpacing = 6;
// Width, as designed, a row of unaligned controls is given when the container asks for its natural
// size.
constexpr int naturalFlowWidth = 560;

TAlign alignOf(const QLayoutItem *item) {
  const QWidget *w = item->widget();
  return w ? static_cast<TAlign>(w->property(alignProperty).toInt()) : alNone;
}

int modelSize(const QLayoutItem *item, const char *property) {
  const QWidget *w = item->widget();
  return w ? w->property(property).toInt() : 0;
}

int widthOf(const QLayoutItem *item) {
  int w = modelSize(item, widthProperty);
  return w > 0 ? w : item->sizeHint().width();
}

int heightOf(const QLayoutItem *item) {
  int h = modelSize(item, heightProperty);
  return h > 0 ? h : item->sizeHint().height();
}

bool breaksRow(const QLayoutItem *item) {
  return item->widget() && item->widget()->property(breakProperty).toBool();
}

} // namespace

AlignLayout::AlignLayout(QWidget *parent) : QLayout(parent) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(0);
}

AlignLayout::~AlignLayout() {
  while (QLayoutItem *item = takeAt(0)) delete item;
}

void AlignLayout::addItem(QLayoutItem *item) { items_.append(item); }

QLayoutItem *AlignLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem *AlignLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

QSize AlignLayout::sizeHint() const {
  return arrange(QRect(0, 0, scaled(naturalFlowWidth), 0), false).expandedTo(QSize(40, 20));
}

QSize AlignLayout::minimumSize() const { return QSize(20, 10); }

void AlignLayout::setGeometry(const QRect &rect) {
  QLayout::setGeometry(rect);
  arrange(contentsRect(), true);
}

QWidget *AlignLayout::dockedBefore(const QWidget *w) const {
  QWidget *found = nullptr;
  TAlign side = static_cast<TAlign>(w->property(alignProperty).toInt());
  for (QLayoutItem *item : items_) {
    if (item->widget() == w) return found;
    if (!item->isEmpty() && alignOf(item) == side) found = item->widget();
  }
  return nullptr;
}

// Lays the items out in area (or only measures, when apply is false) and returns the size they
// need: docked strips first, then the unaligned controls in rows.
QSize AlignLayout::arrange(const QRect &area, bool apply) const {
  QRect free = area;
  const bool measuring = !apply;
  int needW = 0, needH = 0; // what the docked strips need across their length
  int usedW = 0, usedH = 0; // what the strips take from the sides
  auto place = [&](QLayoutItem *item, const QRect &r) {
    if (apply) item->setGeometry(r);
  };
  for (TAlign side : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (QLayoutItem *item : items_) {
      if (item->isEmpty() || alignOf(item) != side) continue;
      switch (side) {
      case alTop: {
        int h = heightOf(item);
        place(item, QRect(free.left(), free.top(), free.width(), h));
        free.setTop(free.top() + h);
        usedH += h;
        needW = std::max(needW, item->sizeHint().width());
        break;
      }
      case alBottom: {
        int h = heightOf(item);
        place(item, QRect(free.left(), free.bottom() - h + 1, free.width(), h));
        free.setBottom(free.bottom() - h);
        usedH += h;
        needW = std::max(needW, item->sizeHint().width());
        break;
      }
      case alLeft: {
        int w = widthOf(item);
        place(item, QRect(free.left(), free.top(), w, free.height()));
        free.setLeft(free.left() + w);
        usedW += w;
        needH = std::max(needH, item->sizeHint().height());
        break;
      }
      case alRight: {
        int w = widthOf(item);
        place(item, QRect(free.right() - w + 1, free.top(), w, free.height()));
        free.setRight(free.right() - w);
        usedW += w;
        needH = std::max(needH, item->sizeHint().height());
        break;
      }
      case alClient: {
        place(item, free);
        QSize hint = item->sizeHint();
        needW = std::max(needW, usedW + hint.width());
        needH = std::max(needH, hint.height());
        break;
      }
      case alNone:
        break;
      }
    }
  }

  // Unaligned controls: rows left to right, each control centred in its row's height; in a form,
  // a row's label beside the first line of its controls.
  const bool form = parentWidget() && parentWidget()->property(labelColumnProperty).toBool();
  int labelColumn = 0;
  if (form)
    for (QLayoutItem *item : items_)
      if (!item->isEmpty() && alignOf(item) == alNone && breaksRow(item))
        labelColumn = std::max(labelColumn, widthOf(item) + flowSpacing);
  const int left = free.left() + flowMargin;
  const int right = measuring ? left + scaled(naturalFlowWidth) + labelColumn : free.right() - flowMargin;
  int x = left, y = free.top() + flowMargin, rowHeight = 0, widest = 0, firstLine = 0;
  std::vector<std::pair<QLayoutItem *, QSize>> row;
  auto finishRow = [&] {
    for (auto &[item, size] : row) {
      const bool label = form && breaksRow(item);
      // A label reads with the first line of its row: a whole edit, or the top of a memo.
      const int line = label ? std::max(size.height(), std::min(firstLine, 2 * size.height())) : rowHeight;
      place(item, QRect(item->geometry().x(), y + (line - size.height()) / 2, size.width(), size.height()));
    }
    widest = std::max(widest, x - left);
    y += rowHeight + flowSpacing;
    x = form ? left + labelColumn : left;
    rowHeight = firstLine = 0;
    row.clear();
  };
  bool any = false;
  for (QLayoutItem *item : items_) {
    if (item->isEmpty() || alignOf(item) != alNone) continue;
    any = true;
    QSize size(widthOf(item), heightOf(item));
    const bool label = form && breaksRow(item);
    if (x > left && (breaksRow(item) || x + size.width() > right)) finishRow();
    if (label) x = left;
    if (apply) item->setGeometry(QRect(QPoint(x, y), size));
    row.emplace_back(item, size);
    x = label ? left + labelColumn : x + size.width() + flowSpacing;
    if (!label && firstLine == 0) firstLine = size.height();
    rowHeight = std::max(rowHeight, size.height());
  }
  if (!row.empty()) finishRow();
  int flowW = any ? widest + 2 * flowMargin : 0;
  int flowH = any ? y - free.top() - flowSpacing + flowMargin : 0;
  return QSize(std::max(needW, usedW + flowW), usedH + std::max(needH, flowH));
}

void giveAlignLayout(QWidget *container) { new AlignLayout(container); }

} // namespace kdr::qt
