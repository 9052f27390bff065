#pragma once
// A screen of the real module in real widgets, on the offscreen platform: the module loaded as the
// host loads it, a demo kdr-server, the host's frame, and the check that every control of a screen
// shows inside its container and clear of its neighbours.
#include <gtest/gtest.h>

#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/qt/qtwidgetset.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"
#include "tests/module/loaded_module.h"
#include "tests/platform/qt/offscreen_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <map>

namespace kdr::qt {

class ModuleWindow : public ::testing::Test {
protected:
  ModuleWindow() {
    Zelnor::config.webUrl = server.host();
    Zelnor::config.webPort = server.port();
    Zelnor::config.session = server.signIn();
    dtmDBGeral = &db;
    test::startOffscreen();
    TForm *frame = TForm::create<TForm>(&Application());
    Application().SetMainForm(frame);
    frame->Show();
  }
  ~ModuleWindow() override {
    // The screens go while the module's code and Qt are both still there.
    test::endOffscreen();
    dtmDBGeral = nullptr;
  }

  // Pending layout done, as a user would see the screen.
  static void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }

  test::ServerProcess server{{"--seed", "demo"}};
  test::TempDir dir;
  TdtmDBGeral db{dir.file("local.db")};
  test::LoadedModule module;
  ScriptedUser user{[](const std::string &failure) { ADD_FAILURE() << failure; }};
};

// The widget's rectangle in its window's coordinates.
inline QRect inWindow(const QWidget &w) { return QRect(w.mapTo(w.window(), QPoint(0, 0)), w.size()); }

// Every control of the screen has a visible widget of a usable size, inside its container's, and
// no two children of one container overlap. Returns how many controls there are.
inline int expectEveryControlShows(TForm &screen) {
  std::map<const TWinControl *, std::vector<const QWidget *>> byParent;
  int controls = 0;
  for (int i = 0; i < screen.ComponentCount(); ++i) {
    auto *control = dynamic_cast<TControl *>(screen.Components(i));
    if (!control) continue;
    ++controls;
    const QWidget *w = widgetOf(*control);
    if (!w) {
      ADD_FAILURE() << control->Name() << " has no widget";
      continue;
    }
    EXPECT_TRUE(w->isVisible()) << control->Name();
    // A splitter is a thin handle; everything else must be large enough to be used.
    const int least = control->className() == "TSplitter" ? 3 : 12;
    EXPECT_GE(w->width(), least) << control->Name();
    EXPECT_GE(w->height(), least) << control->Name();
    if (const TWinControl *parent = control->Parent(); parent && parent != &screen) {
      const QWidget *box = widgetOf(*parent);
      if (!box) continue;
      EXPECT_TRUE(inWindow(*box).contains(inWindow(*w))) << control->Name() << " outside " << parent->Name();
      byParent[parent].push_back(w);
    }
  }
  for (const auto &[parent, children] : byParent)
    for (std::size_t a = 0; a < children.size(); ++a)
      for (std::size_t b = a + 1; b < children.size(); ++b)
        EXPECT_FALSE(inWindow(*children[a]).intersects(inWindow(*children[b])))
            << children[a]->objectName().toStdString() << " over " << children[b]->objectName().toStdString()
            << " in " << parent->Name();
  return controls;
}

// Every text a clerk can see on the screen shows whole at the font in use: captions, edits, boxes,
// group titles, and each grid's titles and the cells of its rows that fit in it.
inline void expectNothingCut(TForm &screen) {
  auto fits = [](const QWidget &w, const QString &text, int room) {
    EXPECT_LE(w.fontMetrics().horizontalAdvance(text), room) << "\"" << text.toStdString() << "\" is cut";
  };
  for (int i = 0; i < screen.ComponentCount(); ++i) {
    auto *control = dynamic_cast<TControl *>(screen.Components(i));
    QWidget *w = control ? widgetOf(*control) : nullptr;
    if (!w || !w->isVisible()) continue;
    if (auto *label = qobject_cast<QLabel *>(w); label && !label->wordWrap())
      fits(*label, label->text(), label->contentsRect().width());
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
      fits(*edit, edit->text(), edit->width() - 8);
    else if (auto *button = qobject_cast<QAbstractButton *>(w); button && !button->text().isEmpty())
      EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString() << " is cut";
    else if (auto *group = qobject_cast<QGroupBox *>(w))
      fits(*group, group->title(), group->width() - 8);
    auto *grid = dynamic_cast<TDBGrid *>(control);
    if (!grid) continue;
    w->grab(); // paints, and with it sizes the columns
    const auto columns = grid->Columns();
    for (int col = 0; col < int(columns.size()); ++col) {
      const TRect cell = grid->cellRect(0, col);
      EXPECT_LE(cell.Right, w->width()) << grid->Name() << " column " << col << " runs off the grid";
      fits(*w, QString::fromStdString(columns[col]->titleText()), cell.Right - cell.Left - 2);
    }
    for (const auto &op : grid->Canvas().ops()) {
      if (op.kind != TCanvas::Op::Text || op.rect.Bottom >= w->height()) continue;
      // The selected cell of a pick-list column keeps its right end for the list's button.
      int button = 0;
      for (auto *column : columns)
        if (!column->PickList.empty() &&
            grid->cellRect(0, grid->columnIndexOf(column->FieldName)).Left == op.rect.Left)
          button = 16;
      fits(*w, QString::fromStdString(op.text), op.rect.Right - op.x - button);
    }
  }
}

} // namespace kdr::qt
