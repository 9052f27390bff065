// The default-descriptions screen against a real kdr-server, with another desktop on the same
// server: sends the server refuses, a refused send while moving between pairs, loads counted by
// the wait animation, and what a scenario cannot reach (codes differing in case, a text set by
// code, a load refused while the screen is made).
#include <gtest/gtest.h>

#include "platform/data/clientdataset.h"
#include "platform/host/consiste.h"
#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/net/netconnection.h"
#include "platform/ui/dbctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"
#include "tests/module/module_host.h"

namespace kdr::test {
namespace {

using Rows = std::vector<std::string>;

// Rows of default texts as "company type | invoice | slip", in the dataset's order.
Rows rowsOf(TDataSet &texts) {
  Rows out;
  for (texts.First(); !texts.Eof(); texts.Next())
    out.push_back(texts.FieldByName("CDEMPRESA").AsString() + " " +
                  texts.FieldByName("IDTPFATUEMPRESA").AsString() + " | " +
                  texts.FieldByName("DSFATUREMPRESA").AsString() + " | " +
                  texts.FieldByName("DSBOLETEMPRESA").AsString());
  return out;
}

class DescPadTest : public ModuleHostTest {
protected:
  using ModuleHostTest::ModuleHostTest;

  // Opens the screen from the host; drive runs while it is shown and must close it.
  void open(std::function<void()> drive) {
    user.expectModal("frmDescPad", [this, drive = std::move(drive)](TForm &form) {
      drive();
      user::closeForm(form);
    });
    dispatch([&] { module.call("CriaDescPad"); });
  }
  TForm *screen() {
    return static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03021", "frmDescPad"));
  }
  template <class T> T &part(const std::string &name) { return *screen()->find<T>(name); }
  TClientDataSet &texts() { return part<TClientDataSet>("cdsEmpresaKdr"); }
  TMemo &memo(const std::string &name) { return part<TMemo>(name); }
  void choose(const std::string &grid, std::size_t row) {
    ASSERT_TRUE(user::clickCell(part<TDBGrid>(grid), row - 1, 0)) << grid << " " << row;
  }
  void click(const std::string &name) { ASSERT_TRUE(user::click(part<TControl>(name))) << name; }
  void typeInto(const std::string &name, const std::string &text) {
    ASSERT_TRUE(user::type(memo(name), text)) << name;
  }

  // The default texts as the server keeps them now.
  Rows serverRows() {
    TClientDataSet rows;
    rows.SetData(Consiste::CheckResultServ(other.Call("GetParEmpKdr", {})).array().at(0));
    return rowsOf(rows);
  }
  // Another desktop changes the server's default texts behind the screen's back.
  void otherDesktop(const std::function<void(TClientDataSet &)> &change) {
    TClientDataSet rows;
    rows.SetData(Consiste::CheckResultServ(other.Call("GetParEmpKdr", {})).array().at(0));
    change(rows);
    Consiste::CheckResultServ(other.Call("SetParEmpKdr", {rows.Delta()}));
  }
  // Another desktop writes the invoice text of a pair.
  void otherWritesInvoiceText(const char *company, const char *type, const std::string &text) {
    otherDesktop([&](TClientDataSet &rows) {
      ASSERT_TRUE(rows.Locate("CDEMPRESA;IDTPFATUEMPRESA", Variant::Array{company, type}));
      rows.Edit();
      rows.FieldByName("DSFATUREMPRESA").SetAsString(text);
      rows.Post();
    });
  }
  int loads() const { return Application().Wait().timesShown(); }
};

const std::string conflictAlfaServiceDesk =
    "A descrição padrão da empresa 01, tipo de faturamento 6 (Service Desk), foi "
    "alterada ou excluída por outro usuário. Nada foi gravado; recarregue as "
    "descrições.";

TEST_F(DescPadTest, FirstOpeningLoadsTwiceAndLaterOpeningsShowTheSameInstanceOnce) {
  open([&] {
    EXPECT_EQ(loads(), 2) << "the creation and the first activation each load";
    EXPECT_EQ(part<TClientDataSet>("cdsFaturamento").FieldByName("DSFATURAMENTO").AsString(), "Service Desk");
    EXPECT_EQ(memo("memDesFatu").Text(), "Service desk Alfa.");
  });
  TForm *first = screen();
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->Visible());
  open([&] { EXPECT_EQ(loads(), 3); });
  EXPECT_EQ(screen(), first);
  // Returning from the screen's own question is not an activation: nothing reloads.
  open([&] {
    typeInto("memDesFatu", "!");
    user.expectMessage(mtConfirmation, "Cancelar operação?", mrNo);
    click("sbtCancelar");
    EXPECT_EQ(loads(), 4);
    user.expectMessage(mtConfirmation, "Cancelar operação?", mrYes);
    click("sbtCancelar");
  });
  user.verify();
}

// Over the billing-parameters screen, the screen works through that screen's connection; opened
// alone, through one of its own.
TEST_F(DescPadTest, TheBillingScreensConnectionWhileThatScreenIsOpen) {
  dispatch([&] { module.call("IniProc"); });
  auto *billing = static_cast<TForm *>(module.variable<TComponent *>("Cli_kdr03020", "frmParamFatCli"));
  user.expectModal("frmDescPad", [&](TForm &form) {
    EXPECT_EQ(memo("memDesFatu").Text(), "Service desk Alfa.");
    user::closeForm(form);
  });
  ASSERT_TRUE(user::click(*billing->find<TControl>("sbtDescPad")));
  EXPECT_FALSE(part<TNetConnection>("netDescPadServ").Connected());
  user::closeForm(*billing);
  open([&] { EXPECT_EQ(memo("memDesFatu").Text(), "Service desk Alfa."); });
  EXPECT_TRUE(part<TNetConnection>("netDescPadServ").Connected());
  user.verify();
}

// The navigator of the bottom bar only moves through the companies, and only while no change is
// pending.
TEST_F(DescPadTest, TheNavigatorMovesOnlyTheCompaniesWhileBrowsing) {
  open([&] {
    auto &navigator = part<TDBNavigator>("dbnPadrao");
    for (TNavigateBtn b : {nbInsert, nbDelete, nbEdit, nbPost, nbCancel})
      EXPECT_FALSE(navigator.VisibleButtons.contains(b));
    typeInto("memDesFatu", " Navegado.");
    EXPECT_FALSE(user::clickNavigator(navigator, nbLast));
    click("sbtConfirmar");
    ASSERT_TRUE(user::clickNavigator(navigator, nbLast));
    EXPECT_EQ(part<TControl>("dbtNome").Caption(), "Delta Consultoria Ltda");
    EXPECT_EQ(memo("memDesFatu").Text(), "");
  });
  user.verify();
}

// Each kind of change the server refuses (a row another desktop changed, deleted, or inserted
// first) leaves no change in the log, the rows as they were before Confirmar, and the typed texts
// in the editors.
TEST_F(DescPadTest, ARefusedSendLeavesTheChangeLogEmptyAndTheRowsAsBefore) {
  open([&] {
    const Rows before = rowsOf(texts());

    // Changed elsewhere: the modification no longer matches the server's row.
    otherWritesInvoiceText("01", "6", "Texto do outro usuário.");
    typeInto("memDesFatu", " Meu texto.");
    user.expectError(conflictAlfaServiceDesk);
    click("sbtConfirmar");
    EXPECT_EQ(texts().ChangeCount(), 0);
    EXPECT_EQ(texts().State(), dsBrowse);
    EXPECT_EQ(rowsOf(texts()), before);
    EXPECT_EQ(memo("memDesFatu").Text(), "Service desk Alfa. Meu texto.");
    EXPECT_FALSE(Application().Wait().isOn());

    // Deleted elsewhere: the screen's delete finds no row; the row comes back here.
    otherDesktop([](TClientDataSet &rows) {
      ASSERT_TRUE(rows.Locate("CDEMPRESA;IDTPFATUEMPRESA", Variant::Array{"01", "3"}));
      rows.Delete();
    });
    choose("dbgFat", 3);
    user::selectAll(memo("memDesFatu"));
    user::press(memo("memDesFatu"), VK_DELETE);
    user::selectAll(memo("memDescBol"));
    user::press(memo("memDescBol"), VK_DELETE);
    user.expectError(
        "A descrição padrão da empresa 01, tipo de faturamento 3 (Manutenção), foi alterada ou excluída "
        "por outro usuário. Nada foi gravado; recarregue as descrições.");
    click("sbtConfirmar");
    EXPECT_EQ(texts().ChangeCount(), 0);
    EXPECT_EQ(rowsOf(texts()), before);

    // Inserted elsewhere first: the screen's insert would be a second row of the pair.
    otherDesktop([](TClientDataSet &rows) {
      rows.Insert();
      rows.FieldByName("CDEMPRESA").SetAsString("01");
      rows.FieldByName("IDTPFATUEMPRESA").SetAsString("2");
      rows.FieldByName("DSFATUREMPRESA").SetAsString("Licença do outro usuário.");
      rows.Post();
    });
    choose("dbgFat", 2);
    typeInto("memDesFatu", "Minha licença.");
    user.expectError(
        "A empresa 01 já tem descrição padrão do tipo de faturamento 2 (Licença de uso). Nada foi "
        "gravado.");
    click("sbtConfirmar");
    EXPECT_EQ(texts().ChangeCount(), 0);
    EXPECT_EQ(rowsOf(texts()), before);
    EXPECT_EQ(memo("memDesFatu").Text(), "Minha licença.");

    // After a reload the texts typed again go.
    click("sbtVerificar");
    EXPECT_EQ(memo("memDesFatu").Text(), "Licença do outro usuário.");
    choose("dbgFat", 6);
    typeInto("memDesFatu", " De novo.");
    click("sbtConfirmar");
  });
  user.verify();
  EXPECT_EQ(serverRows(), (Rows{"01 2 | Licença do outro usuário. | ",
                                "01 6 | Texto do outro usuário. De novo. | "
                                "Boleto de service desk Alfa.",
                                "02 1 | Customização conforme proposta comercial. | ",
                                "03 4 | Locação conforme contrato. | Boleto de locação Gama."}));
}

// The texts typed for one pair are sent for that pair when the user moves on; when the server
// refuses them, the pair moved to shows its own texts, so they can never be confirmed under it.
TEST_F(DescPadTest, ARefusedSendWhileMovingShowsTheNewPairsTexts) {
  open([&] {
    otherWritesInvoiceText("01", "6", "Service desk do outro usuário.");
    typeInto("memDesFatu", " Perdido.");
    user.expectError(conflictAlfaServiceDesk);
    choose("dbgFat", 3);
    EXPECT_EQ(texts().State(), dsBrowse);
    EXPECT_EQ(texts().ChangeCount(), 0);
    EXPECT_EQ(memo("memDesFatu").Text(), "Manutenção mensal do sistema Alfa.");
    EXPECT_EQ(memo("memDescBol").Text(), "Pagável em qualquer banco até o vencimento.");
    EXPECT_FALSE(part<TControl>("sbtConfirmar").Enabled());

    typeInto("memDescBol", " Ok.");
    click("sbtConfirmar");
  });
  user.verify();
  const Rows rows = serverRows();
  EXPECT_EQ(rows.at(0),
            "01 3 | Manutenção mensal do sistema Alfa. | Pagável em qualquer banco até o vencimento. Ok.");
  EXPECT_EQ(rows.at(1), "01 6 | Service desk do outro usuário. | Boleto de service desk Alfa.");
}

// A text put into an editor by code is not limited by the editor; the field stores its first 400
// characters, while the editor keeps the whole text until the pair is shown again.
TEST_F(DescPadTest, ATextSetByCodeIsStoredCutTo400) {
  const std::string text401 = std::string(399, 'a') + "çé";
  open([&] {
    choose("dbgFat", 1);
    memo("memDesFatu").SetText(text401);
    EXPECT_EQ(texts().State(), dsEdit);
    click("sbtConfirmar");
    EXPECT_EQ(texts().FieldByName("DSFATUREMPRESA").AsString(), std::string(399, 'a') + "ç");
    EXPECT_EQ(memo("memDesFatu").Text(), text401);
    choose("dbgPadrao", 2);
    choose("dbgPadrao", 1);
    EXPECT_EQ(memo("memDesFatu").Text(), std::string(399, 'a') + "ç");

    // Both blank for a pair without a row: Confirmar sends nothing.
    choose("dbgFat", 5);
    typeInto("memDesFatu", "x");
    user::press(memo("memDesFatu"), VK_BACK);
    const int shown = loads();
    click("sbtConfirmar");
    EXPECT_EQ(loads(), shown) << "no call to the server";
    EXPECT_EQ(texts().State(), dsBrowse);
  });
  user.verify();
  EXPECT_EQ(serverRows().at(0), "01 1 | " + std::string(399, 'a') + "ç | ");
}

// Opened alone, the screen's own connection carries the host's session: what it stores is
// recorded under the signed-in operator, like every other write.
TEST_F(DescPadTest, ASaveOfTheScreenOpenedAloneIsRecordedUnderTheSignedInOperator) {
  open([&] {
    choose("dbgFat", 2);
    typeInto("memDesFatu", "Cessão de uso Alfa.");
    click("sbtConfirmar");
  });
  user.verify();
  TClientDataSet history;
  history.SetData(Consiste::CheckResultServ(other.Call("GetHistorico", {"", "", ""})));
  ASSERT_GE(history.RecordCount(), 1u);
  EXPECT_EQ(history.FieldByName("NMUSUARIO").AsString(), "supervisor");
  EXPECT_EQ(history.FieldByName("NMMETODO").AsString(), "SetParEmpKdr");
}

// Codes are matched regardless of case, both when showing a pair and when confirming it.
TEST_F(DescPadTest, PairsAreLocatedRegardlessOfCase) {
  open([&] {
    auto packet = [](std::vector<std::pair<const char *, int>> fields,
                     std::vector<std::vector<std::string>> rows) {
      TClientDataSet ds;
      for (const auto &[name, size] : fields) ds.AddStringField(name, size);
      ds.CreateDataSet();
      for (const auto &row : rows) {
        ds.Insert();
        for (std::size_t i = 0; i < row.size(); ++i) ds.Fields()[i]->SetAsString(row[i]);
        ds.Post();
      }
      return ds.Data();
    };
    texts().SetData(
        packet({{"CDEMPRESA", 2}, {"IDTPFATUEMPRESA", 1}, {"DSFATUREMPRESA", 400}, {"DSBOLETEMPRESA", 400}},
               {{"ab", "6", "Texto de ab.", "Boleto de ab."}}));
    part<TClientDataSet>("cdsEmpresa")
        .SetData(packet({{"NMEMPRESA", 40}, {"CDEMPRESA", 2}}, {{"Empresa AB", "AB"}}));
    EXPECT_EQ(memo("memDesFatu").Text(), "Texto de ab.");
    EXPECT_EQ(memo("memDescBol").Text(), "Boleto de ab.");
  });
  user.verify();
}

// A server that refuses every call (the host's session has ended and nobody is asked again): the
// screen is still made with its six billing types, shows nothing to edit, and offers nothing to
// confirm.
class DescPadRefusedLoad : public DescPadTest {
protected:
  DescPadRefusedLoad() { Zelnor::config.session = "encerrada"; }
};

TEST_F(DescPadRefusedLoad, TheBillingTypesAreBuiltAndNothingCanBeEdited) {
  const std::string refused = "A sessão foi encerrada ou expirou. Entre novamente com operador e senha.";
  user.expectError(refused).expectError(refused);
  open([&] {
    EXPECT_EQ(part<TClientDataSet>("cdsFaturamento").RecordCount(), 6u);
    EXPECT_EQ(part<TClientDataSet>("cdsFaturamento").FieldByName("IDFATURAMENTO").AsString(), "6");
    EXPECT_FALSE(Application().Wait().isOn());
    EXPECT_TRUE(memo("memDesFatu").ReadOnly());
    typeInto("memDesFatu", "x");
    EXPECT_EQ(memo("memDesFatu").Text(), "");
    EXPECT_FALSE(part<TControl>("sbtConfirmar").Enabled());
    EXPECT_FALSE(part<TControl>("sbtVerificar").Enabled());
  });
  user.verify();
}

} // namespace
} // namespace kdr::test
