// The billing-parameters screen as the host meets it: the library loaded by dlopen, a real
// kdr-server, the user door and the scripted user. These are the cases a scenario cannot set up:
// a server without clients, a screen destroyed behind the module's back, the close order.
#include <gtest/gtest.h>

#include "platform/data/clientdataset.h"
#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"
#include "tests/module/loaded_module.h"

namespace kdr::test {
namespace {

class ScreenTest : public ::testing::Test {
protected:
  explicit ScreenTest(std::vector<std::string> serverArgs = {"--seed", "demo"})
      : server(std::move(serverArgs)) {
    Zelnor::config.webUrl = server.host();
    Zelnor::config.webPort = server.port();
    Zelnor::config.token.clear();
    Zelnor::config.session = server.signIn();
    // The host's frame is the main form; the module's screens are its children.
    TForm *frame = TForm::create<TForm>(&Application());
    Application().SetMainForm(frame);
    frame->Show();
  }
  ~ScreenTest() override { dtmDBGeral = nullptr; }

  TForm *screen() {
    return static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03020", "frmParamFatCli"));
  }
  template <class T> T &part(const std::string &name) { return *screen()->find<T>(name); }
  TClientDataSet &dataset(const std::string &name) { return part<TClientDataSet>(name); }
  bool &boIdCriado() { return module.flag("Cli_kdr03020", "boIdCriado"); }
  void open() {
    dispatch([&] { module.call("IniProc"); });
  }
  void close() { user::closeForm(*screen()); }

  ServerProcess server;
  TempDir dir;
  TdtmDBGeral db{dir.file("local.db")};
  LoadedModule module;

private:
  // The forms go after the scripted user has seen what the test left open, and before the module
  // whose code they run is unloaded.
  struct ResetApplication {
    ~ResetApplication() { Application().reset(); }
  } resetApplication;

protected:
  ScriptedUser user{[](const std::string &failure) { ADD_FAILURE() << failure; }};

private:
  struct InstallDb {
    explicit InstallDb(TdtmDBGeral &db) { dtmDBGeral = &db; }
  } installDb{db};
};

// The demo's operators, none of its clients (taken out of the server's file).
class ScreenWithoutClients : public ScreenTest {
protected:
  ScreenWithoutClients() {
    TLocalConnection serverFile(server.databasePath());
    for (const char *table : {"PARCLIEKDR", "CLITIPOSERV", "CLIENTE"})
      serverFile.execute(std::string("DELETE FROM ") + table);
  }
};

// A server that asks for a token: the screen's connection presents the host's.
class ScreenBehindToken : public ScreenTest {
protected:
  ScreenBehindToken() : ScreenTest({"--seed", "demo", "--token", "s3cret"}) {
    Zelnor::config.token = "s3cret";
  }
  ~ScreenBehindToken() override { Zelnor::config.token.clear(); }
};

TEST_F(ScreenBehindToken, LookupPresentsTheHostsToken) {
  open();
  user::type(part<TWinControl>("medNrInsJurClie"), "11222333000181");
  user::focus(part<TWinControl>("dbgPadrao"));
  user.verify();
  EXPECT_EQ(part<TEdit>("edtNmCliente").Text(), "Padaria Pão Quente");
  EXPECT_EQ(dataset("cdsParamFatCli").RecordCount(), 3u);
  close();
}

TEST_F(ScreenWithoutClients, EmptySearchSaysSoAndChangesNothing) {
  open();
  user.expectMessage(mtInformation, "Não há cliente cadastrado.");
  user::click(part<TControl>("btpCliente"));
  user.verify();
  EXPECT_EQ(part<TMaskEdit>("medNrInsJurClie").Text(), "");
  EXPECT_FALSE(dataset("cdsCliente").Active());
  EXPECT_TRUE(part<TWinControl>("medNrInsJurClie").Focused());
  close();
}

TEST_F(ScreenTest, ReferenceIsClearedWhenTheScreenGoesWithoutClosing) {
  open();
  ASSERT_NE(screen(), nullptr);
  ASSERT_TRUE(boIdCriado());
  // The application frees its forms at the end without running their close.
  Application().reset();
  EXPECT_EQ(screen(), nullptr);
  EXPECT_FALSE(boIdCriado());
  open();
  EXPECT_NE(screen(), nullptr);
  EXPECT_EQ(Application().forms().size(), 1u) << "a screen without a frame";
  close();
}

TEST_F(ScreenTest, CloseSettlesDataThenReleasesAfterTheEvent) {
  open();
  user::type(part<TWinControl>("medNrInsJurClie"), "11222333000181");
  user::focus(part<TWinControl>("dbgPadrao"));
  ASSERT_EQ(dataset("cdsParamFatCli").RecordCount(), 3u);

  // Close outside any event: the close work is done, the screen itself goes with the next drain.
  TForm *form = screen();
  Ref<TForm> alive(form);
  form->Close();
  EXPECT_FALSE(boIdCriado());
  EXPECT_TRUE(alive);
  EXPECT_FALSE(form->find<TClientDataSet>("cdsParamFatCli")->Active());
  EXPECT_FALSE(form->find<TClientDataSet>("cdsCliente")->Active());
  Application().drainDeferred();
  EXPECT_FALSE(alive);
  EXPECT_EQ(screen(), nullptr);
}

TEST_F(ScreenTest, FailedLookupKeepsTheUserInTheEditAndLoadsNothing) {
  open();
  user::type(part<TWinControl>("medNrInsJurClie"), "11222333000181");
  server.stop();
  // The connection reports the unreachable server itself; its exact words are the platform's.
  user.expectMessageLike(mtError, "*");
  user::focus(part<TWinControl>("dbgPadrao"));
  user.verify();
  EXPECT_TRUE(part<TWinControl>("medNrInsJurClie").Focused());
  EXPECT_FALSE(dataset("cdsParamFatCli").Active());
  close();
}

// What a scenario cannot choose: the grid has no way to set "Locação", and a text that matches
// no row of a conversion leaves the stored code as it was.
TEST_F(ScreenTest, TheGridsConversionsKeepTheCodeForATextOfNoRow) {
  open();
  user::type(part<TWinControl>("medNrInsJurClie"), "11222333000181");
  user::focus(part<TWinControl>("dbgPadrao"));
  TClientDataSet &rows = dataset("cdsParamFatCli");
  TField &type = rows.FieldByName("IDTPFATUCLIE");
  TField &branch = rows.FieldByName("IDFATURAPFILI");
  rows.Edit();
  for (const char *text : {"Locação", "Manutenção ", "service desk", ""}) {
    type.SetText(text);
    EXPECT_EQ(type.AsString(), "3") << text;
  }
  type.SetText("Service Desk");
  EXPECT_EQ(type.AsString(), "6");
  for (const char *text : {"sim", "S", "Nao"}) {
    branch.SetText(text);
    EXPECT_EQ(branch.AsString(), "N") << text;
  }
  branch.SetText("Sim");
  EXPECT_EQ(branch.AsString(), "S");
  rows.Cancel();
  close();
}

// Page "Outros" with the server gone: a switch while browsing asks it nothing (no message); a
// service type whose lookup fails is handled as one the server refused.
TEST_F(ScreenTest, PageOutrosWithTheServerGone) {
  open();
  user::type(part<TWinControl>("medNrInsJurClie"), "11222333000181");
  auto &grid = part<TWinControl>("dbgPadrao");
  user::focus(grid);
  user::press(grid, VK_DOWN);
  user::press(grid, VK_DOWN);
  auto &pages = part<TPageControl>("pgcPadrao");
  auto &outros = part<TTabSheet>("tshOutros");
  server.stop();
  ASSERT_TRUE(user::switchPage(pages, outros));
  ASSERT_TRUE(user::switchPage(pages, part<TTabSheet>("tshPadrao")));
  user.verify();

  ASSERT_TRUE(user::switchPage(pages, outros));
  auto &serviceType = part<TCustomEdit>("dbeTipoServico");
  user::selectAll(serviceType);
  user::type(serviceType, "2");
  user.expectMessageLike(mtError, "*");
  user::focus(part<TWinControl>("dbDescreveFat"));
  user.verify();
  EXPECT_TRUE(dataset("cdsParamFatCli").FieldByName("CDTIPOSERV").IsNull());
  EXPECT_TRUE(serviceType.Focused());
  EXPECT_EQ(pages.ActivePage(), &outros);
  dataset("cdsParamFatCli").Cancel();
  close();
}

// The screen's own command sits before Imprimir, and its non-visual parts are components it owns.
TEST_F(ScreenTest, ToolbarOrderAndOwnedDataParts) {
  open();
  auto &bar = part<TWinControl>("panMenu");
  std::vector<std::string> buttons;
  for (int i = 0; i < bar.ControlCount(); ++i) buttons.push_back(bar.Controls(i)->Name());
  EXPECT_EQ(buttons,
            (std::vector<std::string>{"lblCodTela", "sbtIncluir", "sbtExcluir", "sbtProcurar", "sbtVerificar",
                                      "sbtConfirmar", "sbtCancelar", "sbtDescPad", "sbtImprimir"}));
  const std::pair<const char *, const char *> parts[] = {
      {"cdsCliente", "TClientDataSet"},      {"dtsCliente", "TDataSource"},
      {"dtsPadrao", "TDataSource"},          {"qryEmpresa", "TADOIBQuery"},
      {"dtsEmpresa", "TDataSource"},         {"netParamFatCliServ", "TNetConnection"},
      {"qryGrupoImplantacao", "TADOIBQuery"}};
  for (const auto &[name, kind] : parts) {
    TComponent *c = screen()->FindComponent(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(c->className(), kind) << name;
  }
  close();
}

} // namespace
} // namespace kdr::test
