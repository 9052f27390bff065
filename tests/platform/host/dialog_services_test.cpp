#include "platform/host/dialog_services.h"

#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"
#include "platform/host/consiste.h"
#include "platform/host/controls.h"
#include "platform/host/messages.h"
#include "platform/net/netconnection.h"
#include "platform/rtl/exceptions.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"
#include "tests/platform/host/host_fixture.h"
#include "tests/support/server_process.h"

namespace kdr {
namespace {

// Two clients in a dataset behind a data source, as the searches get them.
class Clients {
public:
  Clients() {
    cds.AddStringField("CDCLIENTE", 21).SetVisible(false);
    cds.AddStringField("NMFANTCLIE", 50);
    cds.CreateDataSet();
    for (const auto &[code, name] : {std::pair{"101", "Padaria"}, std::pair{"1010", "Oficina"}}) {
      cds.Append();
      cds.FieldByName("CDCLIENTE").SetAsString(code);
      cds.FieldByName("NMFANTCLIE").SetAsString(name);
      cds.Post();
    }
    cds.First();
    dts.SetDataSet(&cds);
  }
  TClientDataSet cds;
  TDataSource dts;
};

using DialogServicesTest = test::HostTest;

TEST_F(DialogServicesTest, CatalogueFindsKeysRegardlessOfCaseAndShowsThem) {
  TMessages msg(nullptr);
  msg.Messages = {"Cliente|Cliente", "not_cli|Cliente não cadastrado.", "cliente|segunda", "sem barra"};
  EXPECT_EQ(msg.Msg("CLIENTE"), "Cliente");
  EXPECT_EQ(msg.Msg("Not_Cli"), "Cliente não cadastrado.");
  // A key the catalogue lacks is the screen's bug: the desktop goes on with an empty text, the
  // scripted user fails the test at once.
  std::vector<std::string> diagnosed;
  auto previous = Application().setDiagnosticSink([&](const std::string &m) { diagnosed.push_back(m); });
  EXPECT_EQ(msg.Msg("sem barra"), "");
  EXPECT_EQ(msg.Msg("nada"), "");
  Application().setDiagnosticSink(previous);
  EXPECT_EQ(diagnosed.size(), 2u);
  {
    std::vector<std::string> failures;
    ScriptedUser strict([&](const std::string &m) { failures.push_back(m); });
    EXPECT_THROW(msg.Msg("nada"), ScriptFailure);
    EXPECT_THROW(strict.verify(), ScriptFailure);
  }

  user().expectMessage(mtConfirmation, "Cliente não cadastrado.", mrYes);
  EXPECT_EQ(msg.ShowMsg("not_cli", mtConfirmation, {mbYes, mbNo}, 0), mrYes);
}

TEST_F(DialogServicesTest, MensErroShowsOnceAndStopsTheOperation) {
  bool reachedTheEnd = false;
  user().expectError("Cliente deve ser informado.");
  EXPECT_FALSE(dispatch([&] {
    Consiste::MensErro("Cliente deve ser informado.", true);
    reachedTheEnd = true;
  }));
  EXPECT_FALSE(reachedTheEnd);
  EXPECT_EQ(user().transcript().size(), 1u);
}

TEST_F(DialogServicesTest, CustomCaptionQuestionAnswersTenForTheFirst) {
  user()
      .expectQuestion("Deseja importar a descrição?", "Sim")
      .expectQuestion("Deseja importar a descrição?", "Não");
  EXPECT_EQ(Tmsgaler::MsgAlertEx("Deseja importar a descrição?", mtConfirmation, {"Sim", "Não"}, 2, 0, 0),
            10);
  EXPECT_EQ(Tmsgaler::MsgAlertEx("Deseja importar a descrição?", mtConfirmation, {"Sim", "Não"}, 2, 0, 0),
            11);
}

TEST_F(DialogServicesTest, SingleChoiceSearchPositionsOrShowsTheEmptyText) {
  Clients clients;
  user().expectSearch("Cliente", "Oficina");
  EXPECT_TRUE(Pesquisa::Pesquisar(clients.dts, "Cliente|Não há cliente cadastrado.", false, true));
  EXPECT_EQ(clients.cds.FieldByName("CDCLIENTE").AsString(), "1010");

  user().expectSearchCancel("Cliente");
  EXPECT_FALSE(Pesquisa::Pesquisar(clients.dts, "Cliente|Não há cliente cadastrado.", false, true));
  EXPECT_EQ(clients.cds.FieldByName("CDCLIENTE").AsString(), "1010");

  clients.cds.EmptyDataSet();
  user().expectMessage(mtInformation, "Não há cliente cadastrado.");
  EXPECT_FALSE(Pesquisa::Pesquisar(clients.dts, "Cliente|Não há cliente cadastrado.", false, true));
  EXPECT_EQ(user().transcript().back().title, "Cliente");
}

TEST_F(DialogServicesTest, MultiChoiceSearchWritesQuotedKeys) {
  Clients clients;
  std::string selection = "anterior";
  user().expectListCancel("Cliente");
  EXPECT_FALSE(Pesqlista::PesquisaLista(clients.dts, "CDCLIENTE", "Cliente|Cliente não cadastrado.", false,
                                        selection));
  EXPECT_EQ(selection, "anterior");

  user().expectList("Cliente", {"Padaria", "Oficina"});
  EXPECT_TRUE(Pesqlista::PesquisaLista(clients.dts, "CDCLIENTE", "Cliente|Cliente não cadastrado.", false,
                                       selection));
  EXPECT_EQ(selection, "'101','1010'");

  clients.cds.Close();
  user().expectMessage(mtInformation, "Cliente não cadastrado.");
  EXPECT_FALSE(Pesqlista::PesquisaLista(clients.dts, "CDCLIENTE", "Cliente|Cliente não cadastrado.", false,
                                        selection));
}

TEST_F(DialogServicesTest, FindDialogPositionsTheDataset) {
  Clients clients;
  user().expectFind("ofi");
  EXPECT_TRUE(Procurar::Procura(clients.cds));
  EXPECT_EQ(clients.cds.FieldByName("CDCLIENTE").AsString(), "1010");
}

// A form with an edit, the search button beside it and a grid elsewhere to hold the focus.
class SearchForm : public TForm {
public:
  explicit SearchForm(TComponent *owner) : TForm(owner) {
    SetName("frmBusca");
    grid = new TDBGrid(this);
    grid->SetName("dbgOutro");
    grid->SetParent(this);
    edit = new TEdit(this);
    edit->SetName("edtCliente");
    edit->SetParent(this);
    button = new TBtnPesquisa(this);
    button->SetName("btpCliente");
    button->SetParent(this);
    button->Associate = edit;
    button->DataSource = &clients.dts;
    button->FieldNome = "CDCLIENTE";
    button->Title = "Cliente";
    button->EmptyError = "Não há cliente cadastrado.";
  }
  ~SearchForm() override { DestroyComponents(); }
  Clients clients;
  TDBGrid *grid;
  TEdit *edit;
  TBtnPesquisa *button;
};

TEST_F(DialogServicesTest, SearchButtonFillsItsEditAndLeavesTheFocusThere) {
  SearchForm *form = nullptr;
  Application().CreateForm(form);
  form->Show();
  user::focus(*form->grid);

  std::vector<std::string> calls;
  form->button->OnBeforePesq = [&](TComponent *, bool &) { calls.push_back("before"); };
  user().expectSearch("Cliente", "Oficina");
  ASSERT_TRUE(user::click(*form->button));
  EXPECT_EQ(form->edit->Text(), "1010");
  EXPECT_EQ(form->focusedControl(), form->edit);

  form->button->OnBeforePesq = [&](TComponent *, bool &go) {
    calls.push_back("before, stop");
    go = false;
  };
  user::click(*form->button);

  form->button->OnBeforePesq = [&](TComponent *, bool &) { form->clients.cds.EmptyDataSet(); };
  form->button->OnAfterPesq = [&](TComponent *) { calls.push_back("after"); };
  user().expectMessage(mtInformation, "Não há cliente cadastrado.");
  user::click(*form->button);

  form->button->OnClick = [&](TComponent *) { calls.push_back("click"); };
  user::click(*form->button);
  EXPECT_EQ(calls, (std::vector<std::string>{"before", "before, stop", "click"}));
}

TEST_F(DialogServicesTest, IndiceColFindsTheColumnOfAField) {
  TForm *form = TForm::create<TForm>(&Application());
  auto *grid = new TDBGrid(form);
  grid->addColumn("IDTPFATUCLIE");
  grid->addColumn("CDEMPRESA");
  EXPECT_EQ(Consiste::IndiceCol(*grid, "CDEMPRESA"), 1);
  EXPECT_EQ(Consiste::IndiceCol(*grid, "cdempresa"), 1);
  EXPECT_EQ(Consiste::IndiceCol(*grid, "NMEMPRESA"), -1);
}

// The host's server check against a real server: one message, a silent stop, nothing loaded and
// the wait indicator off again, the way the screens call it.
class ServerResultTest : public test::HostTest {
protected:
  void SetUp() override {
    connection.ServerName = "KDR03020.rdmParamFatCli";
    connection.ThrowException = false;
    connection.HostName = server.host();
    connection.Port = server.port();
    connection.Token = server.signIn();
    connection.Open();
  }

  // Loads the answer of a call into cds behind the wait indicator; false when it stopped.
  bool load(const char *method, Variant::Array args) {
    return dispatch([&] {
      Showavi::ActiveShowAvi(nullptr, 1);
      try {
        cds.SetData(Consiste::CheckResultServ(connection.Call(method, std::move(args)), true, 0));
      } catch (...) {
        Showavi::DeactiveShowAvi();
        throw;
      }
      Showavi::DeactiveShowAvi();
    });
  }

  test::ServerProcess server{{"--seed", "demo"}};
  TNetConnection connection;
  TClientDataSet cds;
};

TEST_F(ServerResultTest, PayloadIsLoaded) {
  EXPECT_TRUE(load("GetCliente", {Variant(""), Variant("T")}));
  EXPECT_GT(cds.RecordCount(), 0u);
  EXPECT_FALSE(Application().Wait().isOn());
}

TEST_F(ServerResultTest, ServerErrorIsShownOnceAndNothingLoaded) {
  user().expectError("GetCliente espera 2 argumento(s) e recebeu 1.");
  EXPECT_FALSE(load("GetCliente", {Variant("")}));
  EXPECT_FALSE(cds.Active());
  EXPECT_FALSE(Application().Wait().isOn());
  EXPECT_EQ(user().transcript().size(), 1u);
}

TEST_F(ServerResultTest, ServerDownGivesAClearMessageNamingTheAddress) {
  server.stop();
  user().expectError("Não foi possível comunicar com o servidor de aplicação em " + connection.Address() +
                     " (servidor fora do ar ou conexão recusada).");
  EXPECT_FALSE(load("GetCliente", {Variant(""), Variant("T")}));
  EXPECT_FALSE(cds.Active());
  EXPECT_FALSE(Application().Wait().isOn());
}

} // namespace
} // namespace kdr
