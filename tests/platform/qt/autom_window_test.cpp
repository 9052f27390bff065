// The automatic-registration screen of the real module in real widgets, on the offscreen platform:
// every control shows, inside its container and clear of its neighbours, and the six billing-type
// groups stand in two columns of three.
#include "platform/ui/userdoor.h"
#include "tests/platform/qt/module_window.h"

namespace kdr::qt {
namespace {

class AutomWindow : public ModuleWindow {
protected:
  // The automatic-registration screen over the model client 101, laid out as shown.
  TForm &openScreen() {
    dispatch([&] { module.call("IniProc"); });
    auto *billing = static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03020", "frmParamFatCli"));
    user::type(*billing->find<TWinControl>("medNrInsJurClie"), "11222333000181");
    user::focus(*billing->find<TWinControl>("dbgPadrao"));
    dispatch([&] { module.call("CriaImportacaoParam"); });
    auto *screen = static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03030", "frmCadAutomFatCli"));
    EXPECT_NE(screen, nullptr);
    settle();
    return *screen;
  }
};

TEST_F(AutomWindow, EveryControlShowsInsideItsGroupAndClearOfItsNeighbours) {
  TForm &screen = openScreen();
  // Toolbar 3, the data group 1, model 2, targets 5 (with the list's count), billing types 1 + 6
  // groups + 12 boxes.
  EXPECT_EQ(expectEveryControlShows(screen), 30);
  expectNothingCut(screen);

  // Left column: Customização, Manutenção, Mão de Obra; right column: the other three.
  auto at = [&](const char *name) { return inWindow(*widgetOf(*screen.findDeep(name))); };
  const char *left[] = {"grbCustomizacao", "grbManutencao", "grbMaoDeObra"};
  const char *right[] = {"grbLicencaUso", "grbLocacao", "grbServiceDesk"};
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(at(left[row]).top(), at(right[row]).top()) << left[row];
    EXPECT_LT(at(left[row]).right(), at(right[row]).left()) << left[row];
    if (row > 0) {
      EXPECT_EQ(at(left[row]).left(), at(left[0]).left()) << left[row];
      EXPECT_GT(at(left[row]).top(), at(left[row - 1]).bottom()) << left[row];
    }
  }
  // The slip box sits under the invoice box of its group.
  EXPECT_GT(at("chbDescBolCZ").top(), at("chbDescFatCZ").bottom());

  // What the model says is what the widgets show.
  EXPECT_TRUE(widgetOf(*screen.findDeep("chbDescFatMN"))->isEnabled());
  EXPECT_FALSE(widgetOf(*screen.findDeep("chbDescFatCZ"))->isEnabled());
  EXPECT_FALSE(widgetOf(*screen.findDeep("btpCliente"))->isEnabled());
}

} // namespace
} // namespace kdr::qt
