// The automatic-registration screen of the real module in real widgets, on the offscreen platform:
// every control shows, inside its container and clear of its neighbours, and the six billing-type
// groups stand in two columns of three.
#include <gtest/gtest.h>

#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/qt/qtwidgetset.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"
#include "platform/ui/userdoor.h"
#include "tests/module/loaded_module.h"

#include <QApplication>
#include <QWidget>

#include <map>

namespace kdr::qt {
namespace {

int argc = 1;
char arg0[] = "test_qt";
char *argv[] = {arg0, nullptr};

class AutomWindow : public ::testing::Test {
protected:
  AutomWindow() {
    Zelnor::config.webUrl = server.host();
    Zelnor::config.webPort = server.port();
    dtmDBGeral = &db;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Application().reset();
    install(argc, argv);
    TForm *frame = TForm::create<TForm>(&Application());
    Application().SetMainForm(frame);
    frame->Show();
  }
  ~AutomWindow() override {
    // The screens go while the module's code and Qt are both still there.
    Application().reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    dtmDBGeral = nullptr;
  }

  // The automatic-registration screen over the model client 101, laid out as shown.
  TForm &openScreen() {
    dispatch([&] { module.call("IniProc"); });
    auto *billing = static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03020", "frmParamFatCli"));
    user::type(*billing->find<TWinControl>("medNrInsJurClie"), "11222333000181");
    user::focus(*billing->find<TWinControl>("dbgPadrao"));
    dispatch([&] { module.call("CriaImportacaoParam"); });
    auto *screen = static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03030", "frmCadAutomFatCli"));
    EXPECT_NE(screen, nullptr);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return *screen;
  }

  test::ServerProcess server{{"--seed", "demo"}};
  test::TempDir dir;
  TdtmDBGeral db{dir.file("local.db")};
  test::LoadedModule module;
  ScriptedUser user{[](const std::string &failure) { ADD_FAILURE() << failure; }};
};

// The widget's rectangle in its window's coordinates.
QRect inWindow(const QWidget &w) { return QRect(w.mapTo(w.window(), QPoint(0, 0)), w.size()); }

TEST_F(AutomWindow, EveryControlShowsInsideItsGroupAndClearOfItsNeighbours) {
  TForm &screen = openScreen();
  std::map<const TWinControl *, std::vector<const QWidget *>> byParent;
  int controls = 0;
  for (int i = 0; i < screen.ComponentCount(); ++i) {
    auto *control = dynamic_cast<TControl *>(screen.Components(i));
    if (!control) continue;
    ++controls;
    const QWidget *w = widgetOf(*control);
    ASSERT_NE(w, nullptr) << control->Name();
    EXPECT_TRUE(w->isVisible()) << control->Name();
    EXPECT_GE(w->width(), 12) << control->Name();
    EXPECT_GE(w->height(), 12) << control->Name();
    if (const TWinControl *parent = control->Parent(); parent && parent != &screen) {
      const QWidget *box = widgetOf(*parent);
      ASSERT_NE(box, nullptr) << parent->Name();
      EXPECT_TRUE(inWindow(*box).contains(inWindow(*w))) << control->Name() << " outside " << parent->Name();
      byParent[parent].push_back(w);
    }
  }
  // Toolbar 3, the data group 1, model 2, targets 4, billing types 1 + 6 groups + 12 boxes.
  EXPECT_EQ(controls, 29);
  for (const auto &[parent, children] : byParent)
    for (std::size_t a = 0; a < children.size(); ++a)
      for (std::size_t b = a + 1; b < children.size(); ++b)
        EXPECT_FALSE(inWindow(*children[a]).intersects(inWindow(*children[b])))
            << children[a]->objectName().toStdString() << " over " << children[b]->objectName().toStdString()
            << " in " << parent->Name();

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
