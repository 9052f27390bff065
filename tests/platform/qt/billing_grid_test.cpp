// The real billing-parameters screen under the Qt widget set: what the grid widget paints of the
// company column is what the screen's draw handler drew, the company's name, never its code; and
// page "Outros" reads as a form, every control shown and none over another.
#include <gtest/gtest.h>

#include "platform/ui/comctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"
#include "tests/platform/qt/module_window.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>

namespace kdr::qt {
namespace {

// The screen opened in the host's frame, with Padaria Pão Quente's rows.
class BillingScreenOnQt : public ModuleWindow {
protected:
  BillingScreenOnQt() {
    dispatch([&] { module.call("IniProc"); });
    screen = static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03020", "frmParamFatCli"));
    user::type(*screen->find<TWinControl>("medNrInsJurClie"), "11222333000181");
    grid = screen->find<TDBGrid>("dbgPadrao");
    user::focus(*grid);
  }
  ~BillingScreenOnQt() override {
    if (screen) user::closeForm(*screen);
    user.finish();
  }

  TForm *screen = nullptr;
  TDBGrid *grid = nullptr;
};

TEST_F(BillingScreenOnQt, TheCompanyCellPaintsTheCompanysNameNotItsCode) {
  ASSERT_NE(screen, nullptr);
  QWidget *widget = widgetOf(*grid);
  ASSERT_NE(widget, nullptr);
  widget->resize(500, 200);
  const QImage picture = widget->grab().toImage();
  // The widget paints, in order, what the model recorded while it painted: the default text
  // (the code) is filled over by the draw handler, which writes the name.
  const int company = grid->columnIndexOf("CDEMPRESA");
  EXPECT_EQ(grid->Canvas().textIn(grid->cellRect(0, company)), "Alfa Sistemas Ltda");
  EXPECT_EQ(grid->Canvas().textIn(grid->cellRect(2, company)), "Beta Serviços de Informática Ltda");
  // And the cell really holds ink: more than its background.
  const TRect cell = grid->cellRect(0, company);
  QRgb background = picture.pixel(cell.Right - 2, cell.Bottom - 2);
  int ink = 0;
  for (int y = cell.Top; y < cell.Bottom; ++y)
    for (int x = cell.Left; x < cell.Right; ++x) ink += picture.pixel(x, y) != background;
  EXPECT_GT(ink, 20);
}

TEST_F(BillingScreenOnQt, PageOutrosShowsEveryControlInsideItsGroupAndNoneOverAnother) {
  ASSERT_NE(screen, nullptr);
  user::clickMenu(*screen->find<TMenuItem>("mnuOutros"));
  ASSERT_EQ(screen->find<TPageControl>("pgcPadrao")->ActivePage()->Name(), "tshOutros");
  widgetOf(*screen)->window()->grab();
  settle();
  auto *group = screen->find<TWinControl>("grbOutros");
  QWidget *box = widgetOf(*group);
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(box->isVisible());
  std::vector<std::pair<std::string, QRect>> placed;
  for (int i = 0; i < group->ControlCount(); ++i) {
    TControl *control = group->Controls(i);
    QWidget *w = widgetOf(*control);
    ASSERT_NE(w, nullptr) << control->Name();
    EXPECT_TRUE(w->isVisible()) << control->Name();
    const QRect r = w->geometry();
    EXPECT_TRUE(box->rect().contains(r)) << control->Name() << " is cut off by its group";
    for (const auto &[name, other] : placed)
      EXPECT_FALSE(r.intersects(other)) << control->Name() << " lies over " << name;
    placed.emplace_back(control->Name(), r);
  }
  // Each label sits left of its control, on the control's first line.
  for (auto [label, input] :
       {std::pair{"lblTipoServico", "dbeTipoServico"}, {"lblDescBoleto", "dbDescreveBoleto"}}) {
    const QRect l = widgetOf(*screen->find<TControl>(label))->geometry();
    const QRect c = widgetOf(*screen->find<TControl>(input))->geometry();
    EXPECT_LT(l.right(), c.left()) << label;
    EXPECT_LT(l.top(), c.top() + 30) << label;
  }
  // A memo holds several lines of its 400 characters.
  const QRect memo = widgetOf(*screen->find<TControl>("dbDescreveFat"))->geometry();
  EXPECT_GE(memo.width(), 400);
  EXPECT_GE(memo.height(), 80);
}

TEST_F(BillingScreenOnQt, NothingIsCutAtTheDefaultFontAndTheLastColumnTakesTheSpareWidth) {
  ASSERT_NE(screen, nullptr);
  widgetOf(*screen)->window()->grab();
  settle();
  expectNothingCut(*screen);
  // Padaria Pão Quente's third row is billed by Beta Serviços de Informática Ltda: its column grew to it.
  QWidget *widget = widgetOf(*grid);
  const TRect company = grid->cellRect(2, grid->columnIndexOf("CDEMPRESA"));
  EXPECT_GT(company.Right - company.Left,
            widget->fontMetrics().horizontalAdvance("Beta Serviços de Informática Ltda"));
  const int last = static_cast<int>(grid->Columns().size()) - 1;
  EXPECT_GE(grid->cellRect(0, last).Right, widget->width() - 2) << "the last column ends at the grid's edge";
}

// Presses on a title's right edge and drags it by dx, as a mouse does.
void dragEdge(QWidget &widget, int edgeX, int dx) {
  const int y = 5;
  auto send = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
    const QPointF at(x, y);
    QMouseEvent event(type, at, widget.mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
  };
  send(QEvent::MouseButtonPress, edgeX, Qt::LeftButton);
  send(QEvent::MouseMove, edgeX + dx / 2, Qt::LeftButton);
  send(QEvent::MouseMove, edgeX + dx, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, edgeX + dx, Qt::NoButton);
}

TEST_F(BillingScreenOnQt, ADraggedColumnKeepsItsWidthWhenAnotherClientIsLoaded) {
  ASSERT_NE(screen, nullptr);
  QWidget *widget = widgetOf(*grid);
  widget->grab();
  const TRect before = grid->cellRect(0, 0);
  dragEdge(*widget, before.Right, 60);
  widget->grab();
  EXPECT_EQ(grid->cellRect(0, 0).Right - grid->cellRect(0, 0).Left, before.Right - before.Left + 60);
  // Narrowed below its text, it stays narrow: the user chose it.
  dragEdge(*widget, grid->cellRect(0, 0).Right, -90);
  widget->grab();
  const int dragged = grid->cellRect(0, 0).Right - grid->cellRect(0, 0).Left;
  EXPECT_EQ(dragged, before.Right - before.Left - 30);

  auto *client = screen->find<TCustomEdit>("medNrInsJurClie");
  user::focus(*client);
  user::selectAll(*client);
  user::type(*client, "22333444000172");
  user::focus(*grid);
  widget->grab();
  EXPECT_EQ(grid->cellRect(0, 0).Right - grid->cellRect(0, 0).Left, dragged);
}

} // namespace
} // namespace kdr::qt
