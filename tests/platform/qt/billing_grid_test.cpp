// The real billing-parameters screen under the Qt widget set: what the grid widget paints of the
// company column is what the screen's draw handler drew, the company's name, never its code.
#include <gtest/gtest.h>

#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/qt/qtwidgetset.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"
#include "platform/ui/userdoor.h"
#include "tests/module/loaded_module.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace kdr::qt {
namespace {

int argc = 1;
char arg0[] = "test_qt";
char *argv[] = {arg0, nullptr};

TEST(BillingGridOnQt, TheCompanyCellPaintsTheCompanysNameNotItsCode) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  Application().reset();
  install(argc, argv);
  test::ServerProcess server({"--seed", "demo"});
  Zelnor::config.webUrl = server.host();
  Zelnor::config.webPort = server.port();
  test::TempDir dir;
  TdtmDBGeral db(dir.file("local.db"));
  dtmDBGeral = &db;
  {
    test::LoadedModule module;
    ScriptedUser user([](const std::string &failure) { ADD_FAILURE() << failure; });
    TForm *frame = TForm::create<TForm>(&Application());
    Application().SetMainForm(frame);
    frame->Show();
    dispatch([&] { module.call("IniProc"); });
    TForm *screen = static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03020", "frmParamFatCli"));
    ASSERT_NE(screen, nullptr);
    user::type(*screen->find<TWinControl>("medNrInsJurClie"), "11222333000181");
    auto *grid = screen->find<TDBGrid>("dbgPadrao");
    user::focus(*grid);

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

    user::closeForm(*screen);
    user.finish();
    Application().reset();
  }
  dtmDBGeral = nullptr;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
} // namespace kdr::qt
