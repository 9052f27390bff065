#pragma once
// The classic docking layout: top, bottom, left and right controls take strips of the client area
// in that order, alClient ones the rest; controls without alignment flow in rows inside what is
// left, a label starting a new row. A container laid out as a form puts the labels that start its
// rows in one column as wide as the widest, each beside the top line of its row's controls, and
// indents the controls after it (also when a row wraps). A widget carries its alignment and model size as
// properties, so the layout never reads the model.
#include <QLayout>
#include <QList>

namespace kdr::qt {

inline constexpr const char *alignProperty = "kdrAlign";
inline constexpr const char *widthProperty = "kdrWidth";
inline constexpr const char *heightProperty = "kdrHeight";
inline constexpr const char *breakProperty = "kdrBreak";
// On a container: its rows read as a form, the labels starting them in one column.
inline constexpr const char *labelColumnProperty = "kdrLabelColumn";

class AlignLayout : public QLayout {
public:
  explicit AlignLayout(QWidget *parent);
  ~AlignLayout() override;

  void addItem(QLayoutItem *item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem *itemAt(int index) const override;
  QLayoutItem *takeAt(int index) override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect &rect) override;
  Qt::Orientations expandingDirections() const override { return Qt::Horizontal | Qt::Vertical; }

  // The widget docked just before w on the same side (the one a splitter resizes), or null.
  QWidget *dockedBefore(const QWidget *w) const;

private:
  QSize arrange(const QRect &area, bool apply) const;
  QList<QLayoutItem *> items_;
};

// Creates the layout on a container widget.
void giveAlignLayout(QWidget *container);

} // namespace kdr::qt
