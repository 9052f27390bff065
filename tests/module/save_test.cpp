// Saving billing parameters against a real server, with another desktop at work on the same
// client: what a scenario cannot stage (a second desktop, a server that goes away mid-post, a
// cache refresh that fails after the save).
#include <functional>
#include <utility>

#include "platform/data/clientdataset.h"
#include "platform/host/messages.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"
#include "tests/module/module_host.h"
#include "tests/support/scratch_database.h"

namespace kdr::test {
namespace {

constexpr const char *descPad =
    "Existe descrição padrão cadastrada para empresa/faturamento informados. Deseja importar a descrição?";
constexpr const char *typeTaken = "Tipo de Faturamento já cadastrado para o cliente informado.";

// The scripted user at this desktop, plus what another desktop does while this one waits at its
// next question, and failures to reach the server counted rather than matched (their wording
// names the address and the system's reason).
class Desk : public Dialogs {
public:
  explicit Desk(ScriptedUser &user) : user_(user), previous_(Application().installedDialogs()) {
    Application().setDialogs(this);
  }
  ~Desk() override { Application().setDialogs(previous_); }

  std::function<void()> atNextQuestion;
  int unreachable = 0;

  int messageDlg(const std::string &title, const std::string &text, TMsgDlgType type,
                 const TMsgDlgButtons &buttons) override {
    if (type == mtError && text.starts_with("Não foi possível comunicar")) {
      ++unreachable;
      return mrOk;
    }
    return user_.messageDlg(title, text, type, buttons);
  }
  int question(const std::string &title, const std::string &text, TMsgDlgType type,
               const std::vector<std::string> &captions, std::size_t defaultCaption = 0) override {
    if (atNextQuestion) std::exchange(atNextQuestion, {})();
    return user_.question(title, text, type, captions, defaultCaption);
  }
  bool searchList(const std::string &title, TDataSource &source) override {
    return user_.searchList(title, source);
  }
  bool multiList(const std::string &title, TDataSource &source, const std::string &keyField,
                 std::vector<std::string> &keys) override {
    return user_.multiList(title, source, keyField, keys);
  }
  bool find(const std::string &title, TDataSet &dataset) override { return user_.find(title, dataset); }
  void runModal(TForm &form) override { user_.runModal(form); }

private:
  ScriptedUser &user_;
  Dialogs *previous_;
};

// Another desktop on the same server, signed in as an operator of its own: the data layer a
// screen uses, without a screen.
class OtherDesktop {
public:
  OtherDesktop(const kdr::test::ServerProcess &server, const std::string &operatorCode = "supervisor") {
    connection.ServerName = "KDR03020.rdmParamFatCli";
    connection.Port = server.port();
    connection.Token = server.signIn(operatorCode);
    connection.ThrowException = false;
    connection.Open();
    for (const char *name : {"CDCLIENTE", "IDTPFATUCLIE", "DSFATURCLIE", "DSBOLETCLIE", "CDEMPRESA"})
      params.AddStringField(name, 400);
  }
  void load(const std::string &client) {
    params.SetData(TNetConnection::payloadOf(connection.Call("GetParamFatCli", {client})));
  }
  // Sends the change log; true when the server took it.
  bool save() {
    const bool ok = !TNetConnection::isErrorResult(connection.Call("SetParamFatCli", {params.Delta()}));
    if (ok) params.MergeChangeLog();
    return ok;
  }
  void set(const char *field, const std::string &value) { params.FieldByName(field).SetAsString(value); }

  TNetConnection connection;
  TClientDataSet params;
};

// The database comes before the server that is started on it.
struct ScratchFirst {
  explicit ScratchFirst(const std::string &engine) : scratch(engine) {}
  ScratchDatabase scratch;
};

// Each case on SQLite, and on PostgreSQL where the suite has a cluster.
class SaveTest : protected ScratchFirst,
                 public ModuleHostTest,
                 public ::testing::WithParamInterface<std::string> {
protected:
  explicit SaveTest(std::vector<std::string> extraArgs = {})
      : ScratchFirst(GetParam()), ModuleHostTest(serverArgs(scratch, std::move(extraArgs))) {}
  void SetUp() override {
    if (!scratch.available()) GTEST_SKIP() << "PostgreSQL cases skipped: KDR_TEST_PG is not set";
  }
  static std::vector<std::string> serverArgs(const ScratchDatabase &db, std::vector<std::string> extra) {
    std::vector<std::string> args{"--seed", "demo"};
    if (db.available()) args.insert(args.end(), {"--db", db.url()});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }

  TForm *screen() {
    return static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03020", "frmParamFatCli"));
  }
  template <class T> T &part(const std::string &name) { return *screen()->find<T>(name); }
  TClientDataSet &dataset(const std::string &name) { return part<TClientDataSet>(name); }
  TField &field(const char *name) { return dataset("cdsParamFatCli").FieldByName(name); }
  void open() {
    dispatch([&] { module.call("IniProc"); });
  }
  void close() { user::closeForm(*screen()); }
  void loadClient(const std::string &number) {
    open();
    user::type(part<TWinControl>("medNrInsJurClie"), number);
    user::focus(part<TWinControl>("dbgPadrao"));
  }
  void insertRow(const std::string &type, const std::string &company) {
    user::click(part<TControl>("sbtIncluir"));
    dispatch([&] {
      field("IDTPFATUCLIE").SetAsString(type);
      field("CDEMPRESA").SetAsString(company);
    });
  }
  void confirm() { user::click(part<TControl>("sbtConfirmar")); }
  // The server's rows of the client as "type/company".
  std::vector<std::string> stored(const std::string &client) {
    OtherDesktop reader(server);
    reader.load(client);
    std::vector<std::string> out;
    for (reader.params.First(); !reader.params.Eof(); reader.params.Next())
      out.push_back(reader.params.FieldByName("IDTPFATUCLIE").AsString() + "/" +
                    reader.params.FieldByName("CDEMPRESA").AsString());
    return out;
  }
  bool &boImportado() { return module.flag("Cli_kdr03020", "boImportado"); }
  std::string catalogue(const char *key) { return part<TMessages>("msgPadrao").Msg(key); }

  Desk desk{user};
};

// Both desktops checked their own copy of client 104 (no rows) and insert "Customização" at the
// same moment: the server keeps one and refuses the other for good. The refused row leaves the
// change log and the screen shows the server's rows, so the next change goes alone and passes.
TEST_P(SaveTest, ARefusedChangeLeavesTheLogAndTheNextOneGoesAlone) {
  loadClient("98765432100");
  OtherDesktop other(server);
  other.load("104");
  desk.atNextQuestion = [&] {
    other.params.Append();
    other.set("CDCLIENTE", "104");
    other.set("IDTPFATUCLIE", "1");
    other.set("CDEMPRESA", "01");
    other.params.Post();
    ASSERT_TRUE(other.save());
  };
  insertRow("1", "02");
  user.expectQuestion(descPad, "Não").expectError(typeTaken);
  confirm();
  user.verify();
  TClientDataSet &params = dataset("cdsParamFatCli");
  EXPECT_EQ(params.State(), dsBrowse);
  EXPECT_EQ(params.ChangeCount(), 0);
  ASSERT_EQ(params.RecordCount(), 1u);
  EXPECT_EQ(field("CDEMPRESA").AsString(), "01") << "the server's row, not the refused one";
  EXPECT_FALSE(Application().Wait().isOn());

  insertRow("3", "04");
  confirm();
  user.verify();
  EXPECT_EQ(params.ChangeCount(), 0);
  EXPECT_EQ(stored("104"), (std::vector<std::string>{"1/01", "3/04"}));
  close();
}

// The other desktop (the clerk) saved the same row first: the save is refused and the user sees both
// versions of what differs, with who changed it, and chooses. "Usar a gravada" shows the server's
// row; "Manter a minha" sends the user's text again over it; closed without a choice, the user's
// text waits in the row, in edit.
TEST_P(SaveTest, RowChangedByAnotherDesktopIsSettledByTheUser) {
  loadClient("11222333000181");
  OtherDesktop other(server, "atendente");
  TClientDataSet &params = dataset("cdsParamFatCli");
  auto race = [&](const std::string &theirs, const std::string &mine) {
    other.load("101");
    other.params.Edit();
    other.set("DSFATURCLIE", theirs);
    other.params.Post();
    ASSERT_TRUE(other.save());
    dispatch([&] {
      params.Edit();
      field("DSFATURCLIE").SetAsString(mine);
    });
  };
  auto conflict = [](const std::string &mine, const std::string &theirs) {
    return "atendente alterou este parâmetro em *; nada foi gravado. Qual versão fica?\n\nDescrição da "
           "fatura: A "
           "sua «" +
           mine + "»; A gravada «" + theirs + "»";
  };

  race("Texto do outro desktop.", "Meu texto.");
  user.expectQuestion(descPad, "Não")
      .expectQuestionLike(conflict("Meu texto.", "Texto do outro desktop."), "Usar a gravada");
  confirm();
  user.verify();
  EXPECT_EQ(params.State(), dsBrowse);
  EXPECT_EQ(params.ChangeCount(), 0);
  EXPECT_EQ(field("DSFATURCLIE").AsString(), "Texto do outro desktop.");
  EXPECT_EQ(field("IDTPFATUCLIE").AsString(), "3") << "on the row of the conflict";

  race("Terceira versão.", "Meu texto.");
  user.expectQuestion(descPad, "Não")
      .expectQuestionLike(conflict("Meu texto.", "Terceira versão."), "Manter a minha")
      .expectQuestion(descPad, "Não");
  confirm();
  user.verify();
  EXPECT_EQ(params.ChangeCount(), 0);
  other.load("101");
  EXPECT_EQ(other.params.FieldByName("DSFATURCLIE").AsString(), "Meu texto.");

  race("Quarta versão.", "Meu texto revisto.");
  user.expectQuestion(descPad, "Não")
      .expectQuestionLike(conflict("Meu texto revisto.", "Quarta versão."), "");
  confirm();
  user.verify();
  EXPECT_EQ(params.State(), dsEdit);
  EXPECT_EQ(field("DSFATURCLIE").AsString(), "Meu texto revisto.");
  EXPECT_EQ(params.ChangeCount(), 0) << "nothing unsent is left behind the row being edited";
  dispatch([&] { params.Cancel(); });
  EXPECT_EQ(field("DSFATURCLIE").AsString(), "Quarta versão.");
  close();
  user.verify();
}

// A row the other desktop removed: the server holds nothing, and keeping the user's version puts
// the row back with every check of a new row.
TEST_P(SaveTest, RowRemovedByAnotherDesktopCanBeKept) {
  loadClient("12345678909"); // 103: one Licença de uso row
  OtherDesktop other(server, "atendente");
  other.load("103");
  other.params.Delete();
  ASSERT_TRUE(other.save());
  TClientDataSet &params = dataset("cdsParamFatCli");
  dispatch([&] {
    params.Edit();
    field("DSBOLETCLIE").SetAsString("Boleto novo.");
  });
  user.expectQuestionLike(
      "atendente alterou este parâmetro em *Descrição do boleto: A sua «Boleto novo.»; A gravada "
      "«(excluído)»*",
      "Manter a minha");
  confirm();
  user.verify();
  EXPECT_EQ(params.ChangeCount(), 0);
  EXPECT_EQ(stored("103"), (std::vector<std::string>{"2/01"}));
  other.load("103");
  EXPECT_EQ(other.params.FieldByName("DSBOLETCLIE").AsString(), "Boleto novo.");
  close();
}

// What does not depend on the engine runs on SQLite only.
using SaveOnOneEngine = SaveTest;

// The rate is bounded by 0 and 100, both allowed, except for clients of the home country; an
// empty rate reads as 0. Lisboa Trading (107, country "0351") has one Manutenção row.
TEST_P(SaveOnOneEngine, InvoiceRateBoundsApartFromTheHomeCountry) {
  loadClient("44555666000154");
  TClientDataSet &params = dataset("cdsParamFatCli");
  const std::string refused = catalogue("Perc_Inv");
  for (const auto &[rate, ok] :
       std::vector<std::pair<double, bool>>{{100.01, false}, {-0.01, false}, {100, true}, {0, true}}) {
    SCOPED_TRACE(rate);
    dispatch([&] {
      params.Edit();
      field("VRPERCAJUSTEINV").SetAsFloat(rate);
    });
    if (!ok) user.expectError(refused);
    confirm();
    user.verify();
    EXPECT_EQ(params.State(), ok ? dsBrowse : dsEdit);
    if (!ok) {
      EXPECT_EQ(part<TPageControl>("pgcPadrao").ActivePage()->Name(), "tshOutros");
      EXPECT_TRUE(part<TWinControl>("dbePercAjust").Focused());
      dispatch([&] { params.Cancel(); });
    }
  }
  EXPECT_EQ(params.ChangeCount(), 0);
  dispatch([&] {
    params.Edit();
    field("VRPERCAJUSTEINV").Clear();
  });
  confirm();
  EXPECT_EQ(field("VRPERCAJUSTEINV").AsFloat(), 0) << "an empty rate is saved as 0";
  EXPECT_FALSE(field("VRPERCAJUSTEINV").IsNull());
  close();

  // Padaria Pão Quente is of the home country: any rate.
  loadClient("11222333000181");
  dispatch([&] {
    dataset("cdsParamFatCli").Edit();
    field("VRPERCAJUSTEINV").SetAsFloat(150);
  });
  user.expectQuestion(descPad, "Não");
  confirm();
  user.verify();
  EXPECT_EQ(dataset("cdsParamFatCli").ChangeCount(), 0);
  close();
}

// The server goes away while the user answers the offer: the row stays posted and unsaved, and
// going back to the client says so once before the rows are dropped.
TEST_P(SaveOnOneEngine, ServerGoneKeepsTheRowUntilTheUserLeavesIt) {
  loadClient("98765432100");
  desk.atNextQuestion = [&] {
    // The idle keep-alive connection would hold the server's shutdown; the screen reconnects.
    auto &connection = part<TNetConnection>("netParamFatCliServ");
    connection.Close();
    connection.Open();
    server.stop();
  };
  insertRow("1", "02");
  user.expectQuestion(descPad, "Sim");
  confirm();
  user.verify();
  EXPECT_EQ(desk.unreachable, 1);
  TClientDataSet &params = dataset("cdsParamFatCli");
  EXPECT_EQ(params.RecordCount(), 1u);
  EXPECT_GT(params.ChangeCount(), 0);
  EXPECT_TRUE(boImportado()) << "kept until a save succeeds";
  EXPECT_FALSE(Application().Wait().isOn());

  user.expectMessage(mtWarning, catalogue("Alt_NGrav"));
  user::focus(part<TWinControl>("medNrInsJurClie"));
  user.verify();
  EXPECT_FALSE(params.Active());
  close();
  user.verify();
}

// The cache refresh after a save finds the session ended (the screen's call still had it): the
// save itself went through, so the user is warned, not told it failed, and the next post may
// offer again.
class SaveBehindToken : public SaveTest {
protected:
  SaveBehindToken() : SaveTest({"--token", "s3cret"}) { Zelnor::config.token = "s3cret"; }
  ~SaveBehindToken() override { Zelnor::config.token.clear(); }
};

TEST_P(SaveBehindToken, CacheRefreshFailureAfterTheSaveIsAWarning) {
  loadClient("98765432100");
  const std::string session = Zelnor::config.session;
  Zelnor::config.session = "encerrada";
  insertRow("1", "02");
  user.expectQuestion(descPad, "Sim")
      .expectMessage(mtWarning,
                     catalogue("Cache_NAtu") +
                         "\nNão foi possível atualizar a cópia local da tabela PARCLIEKDR: A sessão "
                         "foi encerrada ou expirou. Entre novamente com operador e senha.");
  confirm();
  user.verify();
  EXPECT_EQ(dataset("cdsParamFatCli").ChangeCount(), 0);
  EXPECT_FALSE(boImportado());
  // "Sim" took the company's texts as they stand: its bank-slip text is empty.
  EXPECT_EQ(field("DSFATURCLIE").AsString(), "Customização conforme proposta comercial.");
  EXPECT_TRUE(field("DSBOLETCLIE").IsNull());
  Zelnor::config.session = session;
  EXPECT_EQ(stored("104"), (std::vector<std::string>{"1/02"}));
  close();
}

INSTANTIATE_TEST_SUITE_P(Engines, SaveTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });
INSTANTIATE_TEST_SUITE_P(Engines, SaveOnOneEngine, ::testing::Values("sqlite"),
                         [](const auto &info) { return info.param; });
INSTANTIATE_TEST_SUITE_P(Engines, SaveBehindToken, ::testing::Values("sqlite"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::test
