// The automatic-registration screen against a real kdr-server: what a confirmation leaves on the
// server, read back the way the billing-parameters screen reads it, and a refused copy that
// leaves the screen as the user set it.
#include <gtest/gtest.h>

#include <functional>

#include "platform/data/clientdataset.h"
#include "platform/host/consiste.h"
#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/net/netconnection.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"
#include "tests/module/module_host.h"

namespace kdr::test {
namespace {

using Rows = std::vector<std::string>;

class AutomTest : public ModuleHostTest {
protected:
  // The list search reads the clients from the host's local copy.
  AutomTest() { Zelnor::AtualizaLocalCache(Variant("CLIENTE")); }

  // The billing-parameters screen with the client of that number loaded.
  void loadModel(const std::string &number) {
    dispatch([&] { module.call("IniProc"); });
    user::type(*billing()->find<TWinControl>("medNrInsJurClie"), number);
    user::focus(*billing()->find<TWinControl>("dbgPadrao"));
  }
  void launch() {
    dispatch([&] { module.call("CriaImportacaoParam"); });
    ASSERT_NE(screen(), nullptr);
  }
  void openOver(const std::string &number) {
    loadModel(number);
    launch();
  }
  // The model's rows as the billing-parameters screen shows them, changed by edit without that
  // screen's own saving, as if rows had come or gone there.
  void changeModelRows(const std::function<void(TClientDataSet &)> &edit) {
    auto &rows = *billing()->find<TClientDataSet>("cdsParamFatCli");
    TClientDataSet changed;
    changed.SetData(rows.Data());
    edit(changed);
    changed.MergeChangeLog();
    rows.SetData(changed.Data());
  }
  TForm *billing() {
    return static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03020", "frmParamFatCli"));
  }
  TForm *screen() {
    return static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03030", "frmCadAutomFatCli"));
  }
  // "Lista" with the clients whose list rows hold these texts.
  void chooseList(std::vector<std::string> clients) {
    click("rbgListaClie");
    user.expectList("Cliente", std::move(clients));
    click("btpCliente");
  }
  // The question that counts the copy before it goes, whatever its counts.
  void expectCopyQuestion(int answer) {
    user.expectMessageLike(mtConfirmation, "Serão copiados parâmetros para * cliente(s): *. Confirma?",
                           answer);
  }
  TButtonControl &box(const std::string &name) { return *screen()->find<TButtonControl>(name); }
  void click(const std::string &name) { ASSERT_TRUE(user::click(*screen()->find<TControl>(name))) << name; }
  std::string &stCliente() { return module.variable<std::string>("Cli_kdr03030", "stCliente"); }

  // A client's rows on the server as "type company current-month | invoice | slip".
  Rows rowsOf(const std::string &client) {
    TClientDataSet rows;
    rows.SetData(Consiste::CheckResultServ(other.Call("GetParamFatCli", {client})));
    Rows out;
    for (rows.First(); !rows.Eof(); rows.Next())
      out.push_back(
          rows.FieldByName("IDTPFATUCLIE").AsString() + " " + rows.FieldByName("CDEMPRESA").AsString() + " " +
          rows.FieldByName("IDFATMESATUCLIE").AsString() + " | " +
          rows.FieldByName("DSFATURCLIE").AsString() + " | " + rows.FieldByName("DSBOLETCLIE").AsString());
    return out;
  }
};

TEST_F(AutomTest, AConfirmedCopyLeavesTheTargetsRowsAsTheCopyRuleSays) {
  const Rows padaria = rowsOf("101"), mercado = rowsOf("102"), oficina = rowsOf("1010"), joao = rowsOf("103");
  openOver("22333444000172"); // model 102: type 1 at company 02, type 4 at company 03
  chooseList({"Oficina", "João da Silva"});
  click("chbDescFatCZ");
  click("chbDescBolCZ");
  click("chbDescFatLC");

  // The copy is counted from the server's preview of this very order, and asked first: "Não"
  // writes nothing and leaves the screen as the user set it. 1010: its two type 1 rows replaced,
  // type 4 added; 103: types 1 and 4 added.
  user.expectMessage(
      mtConfirmation,
      "Serão copiados parâmetros para 2 cliente(s): 3 incluído(s) e 2 substituído(s). Confirma?", mrNo);
  click("sbtConfirma");
  user.verify();
  ASSERT_NE(screen(), nullptr);
  EXPECT_EQ(rowsOf("1010"), oficina);
  EXPECT_EQ(rowsOf("103"), joao);
  EXPECT_TRUE(box("chbDescBolCZ").Checked());
  EXPECT_FALSE(Application().Wait().isOn());
  EXPECT_FALSE(screen()->find<TClientDataSet>("cdsParamClienteCopia")->Active());

  expectCopyQuestion(mrYes);
  user.expectMessage(mtInformation, "Cliente(s) Importado com Sucesso.");
  click("sbtConfirma");
  user.verify();

  // The list offered every client but the model.
  const DialogRecord &list = user.transcript().front();
  EXPECT_EQ(list.buttons.size(), 9u);
  for (const auto &row : list.buttons) EXPECT_EQ(row.find("Mercado São João"), std::string::npos) << row;
  EXPECT_EQ(stCliente(), "'103','1010'"); // in the list's order, by registration number
  EXPECT_EQ(screen(), nullptr);
  EXPECT_FALSE(module.flag("Cli_kdr03030", "boidcriado"));
  EXPECT_FALSE(Application().Wait().isOn());

  // 1010 keeps both companies of its type 1 and takes the texts; it gets type 4 from the model,
  // whose slip text was not copied and so is the type's default.
  EXPECT_EQ(rowsOf("1010"), (Rows{"1 01 N | Customização do módulo fiscal. | Boleto de customização.",
                                  "1 02 N | Customização do módulo fiscal. | Boleto de customização.",
                                  "4 03 S | Locação de equipamentos. | Prestação de serviços."}));
  EXPECT_EQ(rowsOf("103"),
            (Rows{"1 02 N | Customização do módulo fiscal. | Boleto de customização.",
                  "2 01 N | Cessão de direito de uso do sistema. | Cessão de direito de uso do sistema.",
                  "4 03 S | Locação de equipamentos. | Prestação de serviços."}));
  // 101 lies inside "1010" but was not chosen; the model is never a target.
  EXPECT_EQ(rowsOf("101"), padaria);
  EXPECT_EQ(rowsOf("102"), mercado);
}

TEST_F(AutomTest, ARefusedCopyKeepsTheScreenOpenWithItsChoicesAndCanBeConfirmedAgain) {
  openOver("22333444000172");
  click("rbgListaClie");
  user.expectList("Cliente", {"Oficina"});
  click("btpCliente");
  click("chbDescFatCZ");
  click("chbDescBolLC");
  const Rows oficina = rowsOf("1010");

  // Another desktop removes the model's type 4 row: the order no longer matches the model.
  TClientDataSet model;
  model.SetData(Consiste::CheckResultServ(other.Call("GetParamFatCli", {"102"})));
  ASSERT_TRUE(model.Locate("IDTPFATUCLIE", Variant("4")));
  model.Delete();
  Consiste::CheckResultServ(other.Call("SetParamFatCli", {model.Delta()}));

  user.expectError("O cliente modelo 102 não tem mais parâmetro do tipo de faturamento 4 (Locação). Nada foi "
                   "gravado; recarregue os parâmetros do cliente modelo.");
  click("sbtConfirma");
  user.verify();
  ASSERT_NE(screen(), nullptr);
  EXPECT_TRUE(module.flag("Cli_kdr03030", "boidcriado"));
  EXPECT_TRUE(box("rbgListaClie").Checked());
  EXPECT_TRUE(box("chbDescFatCZ").Checked());
  EXPECT_TRUE(box("chbDescBolLC").Checked());
  EXPECT_EQ(stCliente(), "'1010'");
  EXPECT_FALSE(Application().Wait().isOn());
  EXPECT_FALSE(screen()->find<TClientDataSet>("cdsParamClienteCopia")->Active());
  EXPECT_EQ(rowsOf("1010"), oficina);

  // Without the type that is gone, the same choices go through.
  click("chbDescBolLC");
  expectCopyQuestion(mrYes);
  user.expectMessage(mtInformation, "Cliente(s) Importado com Sucesso.");
  click("sbtConfirma");
  user.verify();
  EXPECT_EQ(screen(), nullptr);
  EXPECT_EQ(rowsOf("1010").front(), "1 01 N | Customização do módulo fiscal. | Boleto Alfa.");
}

// A billing type that is empty or not a number enables nothing and stops nothing: the opening
// compares the codes as text.
TEST_F(AutomTest, OddBillingTypesOfTheModelEnableNothingAndStopNothing) {
  loadModel("55666777000145"); // 108: one legacy row of type "9"
  changeModelRows([](TClientDataSet &rows) {
    for (const char *code : {"", "x", " 3", "3"}) {
      rows.Append();
      rows.FieldByName("IDTPFATUCLIE").SetAsString(code);
      rows.Post();
    }
  });

  launch();
  user.verify();
  for (const char *suffix : {"CZ", "LU", "LC", "MO", "SD"}) {
    EXPECT_FALSE(box(std::string("chbDescFat") + suffix).Enabled()) << suffix;
    EXPECT_FALSE(box(std::string("chbDescBol") + suffix).Enabled()) << suffix;
  }
  EXPECT_TRUE(box("chbDescFatMN").Enabled());
  EXPECT_TRUE(box("chbDescBolMN").Enabled());
}

// The boxes are fixed at the opening, the order is built from the model rows present at the
// confirmation: a row of a type whose boxes were never enabled adds nothing, and a checked type
// whose rows went away adds nothing. Either would otherwise reach the server, which refuses an order
// row with no model row of its type.
TEST_F(AutomTest, TheOrderFollowsTheModelRowsPresentAtTheConfirmation) {
  const Rows ana = rowsOf("109");
  openOver("22333444000172"); // model 102: types 1 and 4
  click("chbDescFatCZ");
  click("chbDescFatLC");
  changeModelRows([](TClientDataSet &rows) {
    ASSERT_TRUE(rows.Locate("IDTPFATUCLIE", Variant("4")));
    rows.Delete();
    rows.Append();
    rows.FieldByName("IDTPFATUCLIE").SetAsString("3");
    rows.FieldByName("CDEMPRESA").SetAsString("01");
    rows.Post();
  });
  EXPECT_FALSE(box("chbDescFatMN").Enabled());
  expectCopyQuestion(mrYes);
  user.expectMessage(mtInformation, "Cliente(s) Importado com Sucesso.");
  click("sbtConfirma");
  user.verify();
  EXPECT_EQ(screen(), nullptr);
  EXPECT_EQ(stCliente(), "T");
  EXPECT_TRUE(ana.empty());
  EXPECT_EQ(
      rowsOf("109"),
      Rows{"1 02 N | Customização do módulo fiscal. | Prestação de serviços de processamento de dados."});
}

} // namespace
} // namespace kdr::test
